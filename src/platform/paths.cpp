// Lexical path arithmetic.
#include "platform/paths.h"

#include <vector>

namespace platform {

std::string fold_full_path(std::string_view cwd, std::string_view name) {
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
