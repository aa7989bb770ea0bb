// The subcommands' diagnostics, written and counted in one place.
#include "kit/commands/sink.h"

#include <cstdio>

#include "kit/commands/command.h"

namespace kit {

void Sink::write(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

void Sink::add(const Finding& finding) {
  switch (finding.severity) {
    case Severity::kError: ++errors_; break;
    case Severity::kWarning: ++warnings_; break;
    case Severity::kNote: ++notes_; break;
  }
  write(format_finding(finding));
}

void Sink::add(const std::vector<Finding>& findings) {
  for (const Finding& f : findings) add(f);
}

void Sink::error(std::string_view message) {
  ++errors_;
  write(who_ + ": error: " + std::string(message));
}

void Sink::warning(std::string_view message) {
  ++warnings_;
  write(who_ + ": warning: " + std::string(message));
}

void Sink::note(std::string_view message) {
  ++notes_;
  write(who_ + ": note: " + std::string(message));
}

void Sink::summary(std::string_view message) { write(who_ + ": " + std::string(message)); }

void Sink::io_error(std::string_view message) {
  io_failed_ = true;
  error(message);
}

int Sink::status() const {
  if (io_failed_) return kStatusUsage;
  return errors_ > 0 ? kStatusFindings : kStatusOk;
}

}  // namespace kit
