// The subcommands of surgekit, one file each.
#ifndef SURGE_KIT_COMMANDS_COMMANDS_H_
#define SURGE_KIT_COMMANDS_COMMANDS_H_

#include "kit/commands/command.h"

namespace kit {

CommandEntry define_check(CLI::App& sub, const CommonOptions& common);
CommandEntry define_run(CLI::App& sub, const CommonOptions& common);
CommandEntry define_diff(CLI::App& sub, const CommonOptions& common);
CommandEntry define_curve(CLI::App& sub, const CommonOptions& common);
CommandEntry define_worst(CLI::App& sub, const CommonOptions& common);
CommandEntry define_envelope(CLI::App& sub, const CommonOptions& common);
CommandEntry define_report(CLI::App& sub, const CommonOptions& common);
CommandEntry define_ensemble(CLI::App& sub, const CommonOptions& common);
CommandEntry define_hazard(CLI::App& sub, const CommonOptions& common);
CommandEntry define_fit(CLI::App& sub, const CommonOptions& common);  // built with Ceres only

}  // namespace kit

#endif  // SURGE_KIT_COMMANDS_COMMANDS_H_
