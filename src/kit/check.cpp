// surgekit check: the coefficient files, read as the calculator reads them.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "kit/coefficients.h"
#include "kit/commands.h"

namespace kit {

CommandEntry define_check(CLI::App& sub, const CommonOptions& common) {
  sub.footer("Example: surgekit check --data examples");
  return [&common] {
    CoefficientSet set;
    if (!load_coefficients(common.data_dir, &set)) return kStatusFindings;
    std::printf("%d locations read\n", surge::kLocations);
    return kStatusOk;
  };
}

}  // namespace kit
