// Outputs renamed into place on success.
#include "kit/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kit {
namespace {

std::string describe(const std::string& what, const std::string& path) {
  return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& path, std::string* error) {
  path_ = path;
  if (path == "-") {
    stream_ = stdout;
    return true;
  }
  // A device, a pipe or a socket is written in place: renaming a file over it
  // would replace it. A link is followed, so that its target is replaced.
  struct stat status;
  std::string target = path;
  if (stat(path.c_str(), &status) == 0) {
    if (!S_ISREG(status.st_mode)) {
      stream_ = std::fopen(path.c_str(), "w");
      if (stream_ == nullptr) *error = describe("open", path);
      return stream_ != nullptr;
    }
    if (char* resolved = realpath(path.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  path_ = target;
  temporary_ = target + ".partial-XXXXXX";
  const int fd = mkstemp(temporary_.data());
  if (fd < 0) {
    *error = describe("create", temporary_);
    temporary_.clear();
    return false;
  }
  // mkstemp gives mode 0600; a finished output gets the usual mode.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  stream_ = fdopen(fd, "w");
  if (stream_ == nullptr) {
    *error = describe("open", temporary_);
    close(fd);
    unlink(temporary_.c_str());
    temporary_.clear();
    return false;
  }
  return true;
}

bool OutputFile::commit(std::string* error) {
  if (stream_ == nullptr) return false;
  if (stream_ == stdout) {
    stream_ = nullptr;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      *error = describe("write", "standard output");
      return false;
    }
    return true;
  }
  const bool written = !std::ferror(stream_);
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (temporary_.empty()) {  // written in place
    if (!written || !closed) *error = describe("write", path_);
    return written && closed;
  }
  if (!written || !closed) {
    *error = describe("write", path_);
    unlink(temporary_.c_str());
  } else if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    *error = describe("rename the output to", path_);
    unlink(temporary_.c_str());
  } else {
    temporary_.clear();
    return true;
  }
  temporary_.clear();
  return false;
}

void OutputFile::discard() {
  if (stream_ == stdout) std::fflush(stdout);
  if (stream_ != nullptr && stream_ != stdout) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
}

bool write_output_file(const std::string& path, std::string_view text, const char* who) {
  OutputFile out;
  std::string error;
  bool ok = out.open(path, &error);
  if (ok) {
    std::fwrite(text.data(), 1, text.size(), out.stream());
    ok = out.commit(&error);  // a short write leaves the stream's error set
  }
  if (!ok) std::fprintf(stderr, "%s: %s\n", who, error.c_str());
  return ok;
}

}  // namespace kit
