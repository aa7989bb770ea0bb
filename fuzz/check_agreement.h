// Whether surgekit's coefficient check agrees with the calculator's loading.
#ifndef SURGE_FUZZ_CHECK_AGREEMENT_H_
#define SURGE_FUZZ_CHECK_AGREEMENT_H_

#include <optional>
#include <string>
#include <string_view>

namespace surge_fuzz {

// Checks a pair of data files (nullopt: missing) and runs the calculator on
// them in-process. They agree when the check finds no error exactly when the
// calculator ends normally, and then holds its 440 values bit for bit, or else
// names the run-time error it ends with. Returns what disagrees, or "";
// *loaded (when given) tells whether the calculator loaded the files.
std::string check_disagreement(std::optional<std::string_view> parameter_file,
                               std::optional<std::string_view> slope_file,
                               bool* loaded = nullptr);

// The two files that fuzz input bytes stand for: the first byte chooses
// (0 mod 4: the rest is the parameter file, the slope file good; 1: the other
// way round; 2: the rest is both files; 3: the rest is cut in half, first
// half the parameter file). The data fuzz corpus's files read the same way.
struct FilePair {
  std::string parameters, slopes;
};
FilePair files_from_fuzz_input(std::string_view input);

}  // namespace surge_fuzz

#endif  // SURGE_FUZZ_CHECK_AGREEMENT_H_
