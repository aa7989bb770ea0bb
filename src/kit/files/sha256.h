// SHA-256 digests, the identity of a coefficient file.
#ifndef SURGE_KIT_FILES_SHA256_H_
#define SURGE_KIT_FILES_SHA256_H_

#include <string>
#include <string_view>

namespace kit {

// The SHA-256 digest of `bytes` as 64 lower-case hexadecimal digits.
std::string sha256_hex(std::string_view bytes);

}  // namespace kit

#endif  // SURGE_KIT_FILES_SHA256_H_
