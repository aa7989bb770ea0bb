// Fuzz target: arbitrary bytes as the records of free-form input statements
// with items of every kind, until the input ends or a fault stops a statement.
// Then the same bytes as statements of single-precision items read in one call
// each and in one call per item, which must store the same and fail alike; and
// read again with the values of their records kept, and once more with a byte
// changed, which must store what a read without kept values stores.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "recio/input_testing.h"
#include "recio/scanner.h"

namespace {

using recio::InputFault;
using recio::ItemKind;

constexpr ItemKind kItems[] = {ItemKind::kInt16,  ItemKind::kInt32, ItemKind::kReal32,
                               ItemKind::kReal64, ItemKind::kReal64, ItemKind::kReal32,
                               ItemKind::kInt32};

bool is_reported_number(int n) {
  return n == 24 || n == 39 || n == 41 || n == 59 || n == 64 || n == 98;
}

// Statements of four Real32 items on `text`, read in one call or one call per
// item; returns the stored bits of every statement's items and the fault met.
std::vector<uint32_t> read_rows(const std::string& text, bool byte_reads, bool one_call,
                                InputFault* fault, recio::PlainRunMemo* memo = nullptr) {
  recio::MemoryRecords records(text, 8, byte_reads, memo);
  recio::InputStatement statement;
  std::vector<uint32_t> stored;
  *fault = InputFault::kNone;
  for (int s = 0; s < 64 && *fault == InputFault::kNone; ++s) {
    float row[4] = {-1, -2, -3, -4};
    void* destinations[4] = {&row[0], &row[1], &row[2], &row[3]};
    *fault = statement.begin(&records);
    if (*fault == InputFault::kNone && one_call) {
      *fault = statement.input_items(ItemKind::kReal32, destinations, 4);
    }
    for (void* destination : destinations) {
      if (*fault != InputFault::kNone || one_call) break;
      *fault = statement.input_item(ItemKind::kReal32, destination);
    }
    statement.end();
    for (float v : row) {
      uint32_t bits;
      std::memcpy(&bits, &v, sizeof bits);
      stored.push_back(bits);
    }
  }
  return stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks how the records are read: block reads into a small
  // buffer that must grow, or one byte per read.
  const bool byte_reads = size > 0 && (data[0] & 1) != 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  recio::MemoryRecords records(std::move(text), 8, byte_reads);
  recio::InputStatement statement;
  for (int s = 0; s < 64; ++s) {
    InputFault fault = statement.begin(&records);
    int16_t h = 0;
    int32_t i = 0;
    float f = 0;
    double d = 0;
    for (ItemKind kind : kItems) {
      if (fault != InputFault::kNone) break;
      void* destination = kind == ItemKind::kInt16   ? static_cast<void*>(&h)
                          : kind == ItemKind::kInt32 ? static_cast<void*>(&i)
                          : kind == ItemKind::kReal32 ? static_cast<void*>(&f)
                                                      : static_cast<void*>(&d);
      fault = statement.input_item(kind, destination);
    }
    statement.end();
    if (fault == InputFault::kNone) continue;
    if (!is_reported_number(recio::message_number(fault))) std::abort();
    break;
  }

  const std::string again(reinterpret_cast<const char*>(data), size);
  InputFault each_fault;
  InputFault together_fault;
  if (read_rows(again, byte_reads, false, &each_fault) !=
          read_rows(again, byte_reads, true, &together_fault) ||
      each_fault != together_fault) {
    std::abort();
  }

  const bool one_call = size > 0 && (data[0] & 2) != 0;
  std::string edited(again);
  if (size > 1) edited[data[1] % size] = "0.5,/ *\n9"[data[size - 1] % 9];
  recio::PlainRunMemo memo;
  InputFault kept_fault;
  InputFault fresh_fault;
  read_rows(again, byte_reads, one_call, &kept_fault, &memo);
  const std::string* texts[] = {&again, &edited, &again};
  for (const std::string* text : texts) {
    if (read_rows(*text, byte_reads, one_call, &kept_fault, &memo) !=
            read_rows(*text, byte_reads, one_call, &fresh_fault) ||
        kept_fault != fresh_fault) {
      std::abort();
    }
  }
  return 0;
}
