// Writing a finished text (a plot, a page) to a named file or to stdout.
#ifndef SURGE_KIT_OUTPUT_FILE_H_
#define SURGE_KIT_OUTPUT_FILE_H_

#include <string>
#include <string_view>

namespace kit {

// Writes `text` to `path` ("-" for standard output), replacing the file. On
// failure prints "who: path: reason" to stderr and returns false.
bool write_output_file(const std::string& path, std::string_view text, const char* who);

}  // namespace kit

#endif  // SURGE_KIT_OUTPUT_FILE_H_
