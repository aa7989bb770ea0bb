// Output statements: building records, walking format programs, writing records.
#include "recio/output.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "recio/messages.h"
#include "recio/units.h"

namespace recio {
namespace {

constexpr int kLineLength = 80;

struct OutputStatement {
  UnitBlock* unit = nullptr;
  FormatProgram format;
  size_t element = 0;  // word index of the current element
  bool first_item = true;
  bool previous_is_number = false;
  bool has_previous = false;
};

thread_local OutputStatement t_statement;

void fresh_record(UnitBlock& unit) {
  OutputRecord& r = unit.out;
  if (r.capacity < kLineLength + 1) {
    r.buffer = std::make_unique<char[]>(kLineLength + 1);
    r.capacity = kLineLength + 1;
  }
  std::memset(r.buffer.get(), ' ', r.capacity);
  r.position = 0;
  r.high_water = 0;
  r.room = kLineLength;
  t_statement.first_item = true;
  t_statement.has_previous = false;
  t_statement.previous_is_number = false;
}

void complete_record(UnitBlock& unit) {
  OutputRecord& r = unit.out;
  if (r.capacity < r.high_water + 2) {
    auto bigger = std::make_unique<char[]>(r.high_water + 2);
    std::memcpy(bigger.get(), r.buffer.get(), r.high_water);
    r.buffer = std::move(bigger);
    r.capacity = r.high_water + 2;
  }
  r.buffer[r.high_water] = '\r';
  r.buffer[r.high_water + 1] = '\n';
  platform::Status status =
      unit.text_mode ? platform::write_text_mode(unit.handle, r.buffer.get(), r.high_water + 2)
                     : platform::write(unit.handle, r.buffer.get(), r.high_water + 2);
  if (!status.ok()) {
    unit.os_error = status.os_code;
    report_io_error(38, unit);
  }
  fresh_record(unit);
}

// Makes room for n more bytes at the position, growing a formatted record.
void reserve(UnitBlock& unit, size_t n) {
  OutputRecord& r = unit.out;
  if (r.position + n <= r.capacity) return;
  size_t shortfall = r.position + n - r.capacity;
  size_t grow = std::max({shortfall, size_t{512}, r.capacity / 8});
  auto bigger = std::make_unique<char[]>(r.capacity + grow);
  std::memcpy(bigger.get(), r.buffer.get(), r.capacity);
  std::memset(bigger.get() + r.capacity, ' ', grow);
  r.buffer = std::move(bigger);
  r.capacity += grow;
}

void put(UnitBlock& unit, const char* bytes, size_t n) {
  reserve(unit, n);
  OutputRecord& r = unit.out;
  std::memcpy(r.buffer.get() + r.position, bytes, n);
  r.position += n;
  if (r.position > r.high_water) r.high_water = r.position;
}

// Integer v right-justified in w columns with at least one digit; asterisks
// when it does not fit.
void render_integer(int64_t v, int w, char* field) {
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(v));
  if (n > w) {
    std::memset(field, '*', w);
    return;
  }
  std::memset(field, ' ', w - n);
  std::memcpy(field + (w - n), digits, n);
}

// Fixed-point form of x in w columns with d digits after the point.
void render_fixed(double x, int w, int d, char* field) {
  char text[400];
  int n;
  if (std::isnan(x)) {
    n = w < 3 ? w + 1 : std::snprintf(text, sizeof text, "NaN");
  } else if (std::isinf(x)) {
    const char* sign = x < 0 ? "-" : "";
    n = std::snprintf(text, sizeof text, "%sInfinity", sign);
    if (n > w) n = std::snprintf(text, sizeof text, "%sInf", sign);
  } else {
    n = std::snprintf(text, sizeof text, "%.*f", d, std::fabs(x));
    bool zero = true;
    for (int i = 0; i < n; ++i) {
      if (text[i] >= '1' && text[i] <= '9') zero = false;
    }
    const char* digits = text;
    if (text[0] == '0' && n > 1) {  // integer part 0: the "0" only when a column is free
      digits = text + 1;
      --n;
    }
    char signed_text[400];
    int m = std::snprintf(signed_text, sizeof signed_text, "%s%.*s",
                          (x < 0 && !zero) ? "-" : "", n, digits);
    if (digits != text && m < w) {
      m = std::snprintf(signed_text, sizeof signed_text, "%s0%.*s",
                        (x < 0 && !zero) ? "-" : "", n, digits);
    }
    std::memcpy(text, signed_text, m + 1);
    n = m;
  }
  if (n > w) {
    std::memset(field, '*', w);
    return;
  }
  std::memset(field, ' ', w - n);
  std::memcpy(field + (w - n), text, n);
}

uint8_t code_of(uint32_t word) { return static_cast<uint8_t>(word & 0xff); }
uint16_t operand_of(uint32_t word) { return static_cast<uint16_t>(word >> 16); }

bool is_data_descriptor(uint8_t code) {
  return code == FMT_A || code == FMT_I || code == FMT_I_W || code == FMT_F_W_D;
}

// Walks literals and slashes up to the next data edit descriptor or the end.
void walk_format(UnitBlock& unit) {
  OutputStatement& s = t_statement;
  for (;;) {
    assert(s.element < s.format.size());
    uint32_t word = s.format[s.element];
    uint8_t code = code_of(word);
    if (code == FMT_LITERAL) {
      uint16_t n = operand_of(word);
      put(unit, reinterpret_cast<const char*>(&s.format[s.element + 1]), n);
      s.element += 1 + (n + 3) / 4;
    } else if (code == FMT_SLASH) {
      for (uint16_t i = 0; i < operand_of(word); ++i) complete_record(unit);
      s.element += 1;
    } else if (is_data_descriptor(code) || code == FMT_END) {
      return;
    } else {
      assert(false && "unsupported format element");
      return;
    }
  }
}

void end_statement() {
  OutputStatement& s = t_statement;
  UnitBlock& unit = *s.unit;
  if (s.format.empty() && unit.out.high_water == 0) put(unit, " ", 1);
  complete_record(unit);
  s.unit = nullptr;
  release_unit(unit);
}

void free_form_item(UnitBlock& unit, const OutputItem& item) {
  OutputStatement& s = t_statement;
  OutputRecord& r = unit.out;
  if (item.kind == ItemKind::kInt16 || item.kind == ItemKind::kInt32) {
    int w = item.kind == ItemKind::kInt16 ? 7 : 12;
    if (r.room < w) complete_record(unit);
    char field[12];
    render_integer(item.kind == ItemKind::kInt16 ? item.i16 : item.i32, w, field);
    put(unit, field, w);
    r.room -= w;
    s.previous_is_number = true;
  } else {
    const char* text = item.text.data;
    size_t n = item.text.size;
    int room_before = r.room;
    if (s.first_item && n <= static_cast<size_t>(r.room)) {
      put(unit, " ", 1);
      r.room -= 1;
    } else if (s.has_previous && s.previous_is_number && r.room > 0) {
      put(unit, " ", 1);
      r.room -= 1;
    }
    if (n <= static_cast<size_t>(room_before) || r.high_water == 0) {
      if (r.high_water == 0 && r.room == kLineLength) {  // nothing at all yet: first-item blank
        put(unit, " ", 1);
        r.room -= 1;
      }
      while (n > static_cast<size_t>(r.room)) {  // split across records
        put(unit, text, r.room);
        text += r.room;
        n -= r.room;
        complete_record(unit);
        put(unit, " ", 1);
        r.room -= 1;
      }
      put(unit, text, n);
      r.room -= static_cast<int>(n);
    } else {
      complete_record(unit);
      put(unit, " ", 1);
      r.room -= 1;
      while (n > static_cast<size_t>(r.room)) {
        put(unit, text, r.room);
        text += r.room;
        n -= r.room;
        complete_record(unit);
        put(unit, " ", 1);
        r.room -= 1;
      }
      put(unit, text, n);
      r.room -= static_cast<int>(n);
    }
    s.previous_is_number = false;
  }
  s.has_previous = true;
  s.first_item = false;
}

void formatted_item(UnitBlock& unit, const OutputItem& item) {
  OutputStatement& s = t_statement;
  uint32_t word = s.format[s.element];
  uint8_t code = code_of(word);
  assert(is_data_descriptor(code) && "more items than data edit descriptors");
  const bool integer = item.kind == ItemKind::kInt16 || item.kind == ItemKind::kInt32;
  if (code == FMT_A) {
    if (item.kind != ItemKind::kText) report_io_error(61, unit);
    put(unit, item.text.data, item.text.size);
    s.element += 1;
  } else if (code == FMT_I || code == FMT_I_W) {
    if (!integer) report_io_error(61, unit);
    int w = code == FMT_I ? (item.kind == ItemKind::kInt16 ? 7 : 12)
                          : static_cast<int>(s.format[s.element + 2]);
    int64_t v = item.kind == ItemKind::kInt16 ? item.i16 : item.i32;
    reserve(unit, w);
    char field[64];
    render_integer(v, w, field);
    put(unit, field, w);
    s.element += code == FMT_I ? 1 : 3;
  } else {
    if (item.kind != ItemKind::kReal64) report_io_error(61, unit);
    int w = static_cast<int>(s.format[s.element + 2]);
    int d = static_cast<int>(word >> 24);
    char field[512];
    render_fixed(item.r64, w, d, field);
    put(unit, field, w);
    s.element += 3;
  }
  walk_format(unit);
}

}  // namespace

void begin_output(int32_t unit_number, FormatProgram format) {
  UnitBlock& unit = claim_unit(unit_number);
  OutputStatement& s = t_statement;
  s = OutputStatement{};
  s.unit = &unit;
  s.format = format;
  fresh_record(unit);
  if (!format.empty()) {
    assert(code_of(format[0]) == FMT_BEGIN);
    s.element = 1;
    walk_format(unit);
  }
}

void output_item(const OutputItem& item) {
  OutputStatement& s = t_statement;
  assert(s.unit != nullptr && "output_item outside a statement");
  if (s.format.empty()) {
    free_form_item(*s.unit, item);
  } else {
    formatted_item(*s.unit, item);
  }
  if (item.last) end_statement();
}

void finish_output() {
  assert(t_statement.unit != nullptr && "finish_output outside a statement");
  end_statement();
}

}  // namespace recio
