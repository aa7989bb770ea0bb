// Fuzz target: arbitrary bytes as the data files (see files_from_fuzz_input);
// surgekit's check must agree with the calculator's loading on them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "check_agreement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const surge_fuzz::FilePair files =
      surge_fuzz::files_from_fuzz_input(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string disagreement = surge_fuzz::check_disagreement(files.parameters, files.slopes);
  if (!disagreement.empty()) {
    std::fprintf(stderr, "finding: %s\n", disagreement.c_str());
    std::abort();
  }
  return 0;
}
