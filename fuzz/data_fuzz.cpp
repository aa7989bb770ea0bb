// Fuzz target: arbitrary bytes as one of the two data files (the first byte
// picks which), the other file good, and answers for two cases.
#include <cstddef>
#include <cstdint>
#include <string>

#include "whole_program.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string parameters = surge_fuzz::good_parameter_file();
  static const std::string slopes = surge_fuzz::good_slope_file();
  static const std::string answers = "5\n950\n30\n60\n1\n19\n940\n20\n-5\n40\n0\n";
  if (size == 0) return 0;
  std::string_view file(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    surge_fuzz::run_and_check(answers, parameters, file);
  } else {
    surge_fuzz::run_and_check(answers, file, slopes);
  }
  return 0;
}
