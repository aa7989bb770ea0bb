// Fuzz target: arbitrary bytes as the console answers of a whole run, with
// good data files.
#include <cstddef>
#include <cstdint>
#include <string>

#include "whole_program.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string parameters = surge_fuzz::good_parameter_file();
  static const std::string slopes = surge_fuzz::good_slope_file();
  surge_fuzz::run_and_check(std::string_view(reinterpret_cast<const char*>(data), size),
                            parameters, slopes);
  return 0;
}
