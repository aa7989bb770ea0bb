// An in-memory stand-in for the OS layer, for running the whole program inside a
// test or fuzz process: console input from a string, output captured, files in
// a map, and the end of the process thrown as an exception.
#ifndef SURGE_PLATFORM_PLATFORM_FAKE_H_
#define SURGE_PLATFORM_PLATFORM_FAKE_H_

#include <map>
#include <string>

namespace platform {

// Thrown by exit_process: the status that the process would have ended with.
struct ProcessExit {
  int status;
};

// Everything the fake OS holds. Handles 0, 1 and 2 are the standard streams;
// opened files get handles from 3 up.
struct FakeSystem {
  std::string console_input;  // what standard input delivers
  bool console_is_terminal = false;
  std::string console_output;  // bytes written to standard output
  std::string error_output;    // bytes written to standard error
  std::map<std::string, std::string> files;        // full path -> content
  std::map<std::string, std::string> environment;  // variable -> value
  std::string current_directory = "/work";
  size_t fail_write_after = static_cast<size_t>(-1);  // writes allowed before a broken pipe
};

// The fake's state; tests set it up before a run and read it afterwards.
FakeSystem& fake_system();
// Clears the fake: no files, no input, no output, no open handles.
void reset_fake_system();

}  // namespace platform

#endif  // SURGE_PLATFORM_PLATFORM_FAKE_H_
