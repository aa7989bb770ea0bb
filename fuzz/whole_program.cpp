// Runs the whole program in-process on the in-memory OS layer.
#include "whole_program.h"

#include <cstdio>
#include <cstdlib>

#include "dialogue/dialogue.h"
#include "model/site_table.h"
#include "platform/platform_fake.h"
#include "recio/input.h"
#include "recio/messages.h"
#include "recio/output.h"
#include "recio/units.h"

namespace surge_fuzz {
namespace {

constexpr const char* kRow =
    "1.0 1.0 2.0 0.5 3.0 1.0 0.25 0.0 4.0 1.0 15.0 2.0 0.8 -1.0 1.5 0.4 -3.0 1.0 0.2 0.5 2.0\n";

[[noreturn]] void finding(const char* what, const platform::FakeSystem& system, int status) {
  std::fprintf(stderr, "finding: %s (status %d)\nstandard error:\n%s\n", what, status,
               system.error_output.c_str());
  std::abort();
}

void reset_everything() {
  recio::reset_output_for_test();
  recio::reset_input_for_test();
  recio::reset_units_for_test();
  surge::reset_dialogue_for_test();
  surge::reset_site_table_for_test();
  platform::reset_fake_system();
}

// The program's main routine; the end of the process arrives as an exception.
int run_program() {
  try {
    recio::start_runtime();
    surge::run_dialogue();
  } catch (const platform::ProcessExit& end) {
    return end.status;
  }
}

}  // namespace

std::string good_parameter_file() {
  std::string text;
  for (int i = 0; i < 20; ++i) text += kRow;
  return text;
}

std::string good_slope_file() {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "0.1\n";
  return text;
}

void run_and_check(std::string_view console_input, std::string_view parameter_file,
                   std::string_view slope_file) {
  reset_everything();
  platform::FakeSystem& system = platform::fake_system();
  system.console_input = console_input;
  system.files[system.current_directory + "/srfparamsVelko.dat"] = parameter_file;
  system.files[system.current_directory + "/pslope.dat"] = slope_file;

  const int status = run_program();

  if (!system.console_output.empty() && !system.console_output.ends_with("\r\n")) {
    finding("standard output ends inside a record", system, status);
  }
  if (status == 0) {
    if (!system.error_output.empty()) finding("a report on a normal end", system, status);
  } else {
    const recio::MessageRow* row = recio::find_message(status);
    if (row == nullptr || row->severity != 4) finding("status is no severe message", system, status);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "forrtl: severe (%d): ", status);
    const std::string& err = system.error_output;
    if (!err.starts_with(prefix)) finding("report does not name the status", system, status);
    if (err.find("\r\r\n") == std::string::npos) finding("report line incomplete", system, status);
  }
}

int run_one_case(std::optional<std::string_view> parameter_file,
                 std::optional<std::string_view> slope_file) {
  reset_everything();
  platform::FakeSystem& system = platform::fake_system();
  system.console_input = "5\n950\n30\n60\n0\n";
  if (parameter_file) system.files[system.current_directory + "/srfparamsVelko.dat"] = *parameter_file;
  if (slope_file) system.files[system.current_directory + "/pslope.dat"] = *slope_file;
  return run_program();
}

}  // namespace surge_fuzz
