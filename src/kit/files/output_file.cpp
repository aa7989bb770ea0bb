// Outputs renamed into place on success.
#include "kit/files/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace kit {
namespace fs = std::filesystem;
namespace {

// Failures name the user's path, never the temporary file beside it.
std::string describe(const std::string& what, const std::string& path, std::error_code error) {
  return "cannot " + what + " " + path + ": " + error.message();
}

// The error the last C library call left in errno.
std::error_code last_error() { return {errno, std::generic_category()}; }

// A fresh name beside `target`; opened exclusively, so a clash is retried.
std::string temporary_name(const std::string& target) {
  static thread_local std::minstd_rand next(std::random_device{}());
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = target + ".partial-";
  for (int i = 0; i < 6; ++i) name.push_back(kLetters[next() % (sizeof kLetters - 1)]);
  return name;
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& path, std::string* error) {
  path_ = path;
  shown_ = path;
  if (path == "-") {
    stream_ = stdout;
    return true;
  }
  // A device, a pipe or a socket is written in place: renaming a file over it
  // would replace it. A link is followed, so that its target is replaced.
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  std::string target = path;
  if (!ec && fs::exists(status)) {
    if (!fs::is_regular_file(status)) {
      stream_ = std::fopen(path.c_str(), "w");
      if (stream_ == nullptr) *error = describe("open", path, last_error());
      return stream_ != nullptr;
    }
    const fs::path resolved = fs::canonical(path, ec);
    if (!ec) target = resolved.string();
  }
  path_ = target;
  for (int attempt = 0; attempt < 100 && stream_ == nullptr; ++attempt) {
    temporary_ = temporary_name(target);
    stream_ = std::fopen(temporary_.c_str(), "wbx");
    if (stream_ == nullptr && errno != EEXIST) break;
  }
  if (stream_ == nullptr) {
    const int reason = errno;
    temporary_.clear();
    *error = describe("create", path, std::error_code{reason, std::generic_category()});
    // An existing file whose folder takes no new file: the reason given is
    // about the user's path, not the temporary name beside it.
    if (!ec && fs::exists(status)) {
      std::FILE* existing = std::fopen(target.c_str(), "r+");  // neither made nor cut
      if (existing == nullptr) {
        *error = describe("write", path, last_error());
      } else {
        std::fclose(existing);
        const std::string folder = fs::path(target).parent_path().string();
        *error = "cannot replace " + path + ": no file can be made in its folder " + folder +
                 " (" + std::strerror(reason) + ")";
      }
    }
    return false;
  }
  return true;
}

bool OutputFile::commit(std::string* error) {
  if (stream_ == nullptr) return false;
  if (stream_ == stdout) {
    stream_ = nullptr;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      *error = describe("write", "standard output", last_error());
      return false;
    }
    return true;
  }
  const bool written = !std::ferror(stream_);
  const std::error_code write_error = last_error();
  const bool closed = std::fclose(stream_) == 0;
  const std::error_code close_error = last_error();
  stream_ = nullptr;
  if (!written || !closed) {
    *error = describe("write", shown_, !written ? write_error : close_error);
    discard();
    return false;
  }
  if (temporary_.empty()) return true;  // written in place
  std::error_code ec;
  fs::rename(temporary_, path_, ec);
  if (ec) {
    *error = describe("replace", shown_, ec);
    discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::discard() {
  if (stream_ == stdout) std::fflush(stdout);
  if (stream_ != nullptr && stream_ != stdout) std::fclose(stream_);
  stream_ = nullptr;
  std::error_code ignored;  // a failure to clean up has nothing to add
  if (!temporary_.empty()) fs::remove(temporary_, ignored);
  temporary_.clear();
}

bool write_output_file(const std::string& path, std::string_view text, std::string* error) {
  OutputFile out;
  bool ok = out.open(path, error);
  if (ok) {
    std::fwrite(text.data(), 1, text.size(), out.stream());
    ok = out.commit(error);  // a short write leaves the stream's error set
  }
  return ok;
}

}  // namespace kit
