// The coefficient check against the calculator run in-process.
#include "check_agreement.h"

#include <cstring>

#include "kit/coefficients/check.h"
#include "model/site_table.h"
#include "whole_program.h"

namespace surge_fuzz {
namespace {

kit::CoefficientFile as_file(const char* name, std::optional<std::string_view> bytes) {
  kit::CoefficientFile file;
  file.path = name;
  file.found = bytes.has_value();
  if (bytes) file.bytes.assign(*bytes);
  if (!bytes) file.failure = "No such file or directory", file.open_message = 29;
  return file;
}

}  // namespace

std::string check_disagreement(std::optional<std::string_view> parameter_file,
                               std::optional<std::string_view> slope_file, bool* loaded) {
  const kit::CheckReport report =
      kit::check_coefficient_contents(as_file(kit::kParameterFileName, parameter_file),
                                      as_file(kit::kSlopeFileName, slope_file));
  const int status = run_one_case(parameter_file, slope_file);
  if (loaded != nullptr) *loaded = status == 0;
  if ((status == 0) != (report.errors == 0)) {
    return "the calculator ends with status " + std::to_string(status) + ", the check finds " +
           std::to_string(report.errors) + " errors";
  }
  if (status != 0 && status != report.calculator_message) {
    return "the calculator ends with run-time error " + std::to_string(status) +
           ", the check expects " + std::to_string(report.calculator_message);
  }
  if (status == 0 &&
      std::memcmp(&surge::site_table(), &report.set.table, sizeof(surge::SiteTable)) != 0) {
    return "the check's values differ from the calculator's";
  }
  return "";
}

FilePair files_from_fuzz_input(std::string_view input) {
  if (input.empty()) return {good_parameter_file(), good_slope_file()};
  const std::string_view rest = input.substr(1);
  switch (static_cast<unsigned char>(input[0]) % 4) {
    case 0: return {std::string(rest), good_slope_file()};
    case 1: return {good_parameter_file(), std::string(rest)};
    case 2: return {std::string(rest), std::string(rest)};
    default: {
      const size_t half = rest.size() / 2;
      return {std::string(rest.substr(0, half)), std::string(rest.substr(half))};
    }
  }
}

}  // namespace surge_fuzz
