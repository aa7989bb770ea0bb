// Output files written whole, with the failure reported once.
#include "kit/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kit {

bool write_output_file(const std::string& path, std::string_view text, const char* who) {
  const bool to_stdout = path == "-";
  std::FILE* f = to_stdout ? stdout : std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "%s: %s: %s\n", who, path.c_str(), std::strerror(errno));
    return false;
  }
  errno = 0;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (to_stdout ? std::fflush(f) == 0 : std::fclose(f) == 0) && ok;
  if (!ok) {
    std::fprintf(stderr, "%s: %s: %s\n", who, path.c_str(),
                 errno ? std::strerror(errno) : "write failed");
  }
  return ok;
}

}  // namespace kit
