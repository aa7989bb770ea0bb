// Lexical path arithmetic shared by every OS layer.
#ifndef SURGE_PLATFORM_PATHS_H_
#define SURGE_PLATFORM_PATHS_H_

#include <string>
#include <string_view>

namespace platform {

// The full path of `name` against the directory `cwd` (used only when `name` is
// relative), with "." and ".." segments and repeated slashes folded, without
// touching the disk. A trailing slash of `name` is kept.
std::string fold_full_path(std::string_view cwd, std::string_view name);

}  // namespace platform

#endif  // SURGE_PLATFORM_PATHS_H_
