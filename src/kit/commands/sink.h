// Where a subcommand's diagnostics go: one sink per run collects every
// finding and message, writes each to standard error as it comes, counts them
// and gives the exit status they call for.
#ifndef SURGE_KIT_COMMANDS_SINK_H_
#define SURGE_KIT_COMMANDS_SINK_H_

#include <string>
#include <string_view>
#include <vector>

#include "kit/core/diagnostics.h"
#include "kit/core/number.h"  // counted(), for the messages

namespace kit {

class Sink {
 public:
  // `who` begins every message that has no place in a file: "surgekit run".
  explicit Sink(std::string who) : who_(std::move(who)) {}

  const std::string& who() const { return who_; }

  // A finding about a file: "file:line:column: severity: message".
  void add(const Finding& finding);
  void add(const std::vector<Finding>& findings);

  // A message about the run as a whole: "who: severity: message".
  void error(std::string_view message);
  void warning(std::string_view message);
  void note(std::string_view message);
  // A closing line that sums up findings already given: "who: message",
  // counted as none of them.
  void summary(std::string_view message);
  // An input that cannot be read or an output that cannot be written: an
  // error that makes the status 2.
  void io_error(std::string_view message);

  int errors() const { return errors_; }
  int warnings() const { return warnings_; }
  bool io_failed() const { return io_failed_; }

  // 2 after an I/O error, 1 after any other error, 0 otherwise.
  int status() const;

 private:
  void write(std::string_view line);

  std::string who_;
  int errors_ = 0, warnings_ = 0, notes_ = 0;
  bool io_failed_ = false;
};

}  // namespace kit

#endif  // SURGE_KIT_COMMANDS_SINK_H_
