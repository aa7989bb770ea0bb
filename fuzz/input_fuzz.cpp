// Fuzz target: arbitrary bytes as the records of free-form input statements
// with items of every kind, until the input ends or a fault stops a statement.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

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
  return 0;
}
