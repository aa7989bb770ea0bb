// Lexical path arithmetic.
#include "platform/paths.h"

#include <vector>

namespace platform {
namespace {

// True when `path` is absolute and has nothing to fold: no empty, "." or ".."
// segment and no trailing slash (the root aside), as a working directory is.
bool is_folded(std::string_view path) {
  if (path.empty() || path.front() != '/') return false;
  if (path.size() == 1) return true;
  if (path.back() == '/') return false;
  for (size_t i = 0; i < path.size();) {
    const size_t next = path.find('/', i + 1);
    const std::string_view segment = path.substr(i + 1, next - i - 1);
    if (segment.empty() || segment == "." || segment == "..") return false;
    if (next == std::string_view::npos) break;
    i = next;
  }
  return true;
}

}  // namespace

std::string fold_full_path(std::string_view cwd, std::string_view name) {
  // The common case, a plain file name in a folded directory, is a join.
  if (!name.empty() && name.find('/') == std::string_view::npos && name != "." &&
      name != ".." && is_folded(cwd)) {
    std::string out;
    out.reserve(cwd.size() + 1 + name.size());
    out.append(cwd.size() == 1 ? std::string_view() : cwd);
    out.push_back('/');
    out.append(name);
    return out;
  }
  std::string joined;
  if (name.empty() || name.front() != '/') {
    joined.append(cwd);
    joined.push_back('/');
  }
  joined.append(name);
  std::vector<std::string_view> parts;
  std::string_view rest(joined);
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (std::string_view part : parts) {
    out.push_back('/');
    out.append(part);
  }
  // "dir/" names a directory only; keep the slash so that a file there is refused.
  if (out.empty() || (!name.empty() && name.back() == '/')) out.push_back('/');
  return out;
}

}  // namespace platform
