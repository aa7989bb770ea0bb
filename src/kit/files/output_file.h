// An output that appears whole or not at all: a file is written under a
// temporary name beside it and renamed into place only when committed.
#ifndef SURGE_KIT_FILES_OUTPUT_FILE_H_
#define SURGE_KIT_FILES_OUTPUT_FILE_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace kit {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // discards an output that was not committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens the output: standard output for "-"; `path` itself when it is a
  // device, pipe or socket; else a temporary file beside `path` (beside the
  // file a link names). False, with *error set, when it cannot be created.
  bool open(const std::string& path, std::string* error);
  std::FILE* stream() const { return stream_; }
  // Closes the output and, for a file, renames it to its path. False, with
  // *error set (and the temporary file removed), when that fails.
  bool commit(std::string* error);
  // Closes and removes the temporary file; standard output is only flushed.
  void discard();

 private:
  std::FILE* stream_ = nullptr;
  std::string path_, temporary_;
  std::string shown_;  // the path as the user gave it, for messages
};

// Writes `text` whole to `path` ("-" for standard output) through an
// OutputFile. False, with *error saying why, when that fails.
bool write_output_file(const std::string& path, std::string_view text, std::string* error);

}  // namespace kit

#endif  // SURGE_KIT_FILES_OUTPUT_FILE_H_
