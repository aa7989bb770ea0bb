// Location and range selections on the command line.
#include "kit/core/selection.h"

#include <charconv>

#include "model/site_table.h"

namespace kit {
namespace {

bool parse_int(std::string_view text, int* value) {
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end;
}

}  // namespace

bool parse_locations(std::string_view text, std::vector<int>* locations) {
  if (text == "all") {
    locations->clear();
    for (int i = 1; i <= surge::kLocations; ++i) locations->push_back(i);
    return true;
  }
  int n = 0;
  if (!parse_int(text, &n) || n < 1 || n > surge::kLocations) return false;
  locations->assign(1, n);
  return true;
}

bool parse_integer_range(std::string_view text, std::vector<int>* values, size_t max_count) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view rest = text.substr(colon + 1);
  const size_t colon2 = rest.find(':');
  int first = 0, last = 0, step = 1;
  if (!parse_int(text.substr(0, colon), &first)) return false;
  if (!parse_int(rest.substr(0, colon2), &last)) return false;
  if (colon2 != std::string_view::npos && !parse_int(rest.substr(colon2 + 1), &step)) return false;
  if (first > last || step <= 0) return false;
  const long long steps = (static_cast<long long>(last) - first) / step;
  // A step that misses LAST still ends the range at LAST.
  const bool end_missed = first + steps * step != last;
  const long long count = steps + 1 + (end_missed ? 1 : 0);
  if (static_cast<unsigned long long>(count) > max_count) return false;
  values->clear();
  for (long long i = 0; i <= steps; ++i) values->push_back(static_cast<int>(first + i * step));
  if (end_missed) values->push_back(last);
  return true;
}

}  // namespace kit
