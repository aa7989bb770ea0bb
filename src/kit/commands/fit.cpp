// surgekit fit: the coefficient files fitted to simulated peak surges, with
// how well they fit, location by location, as CSV on standard output.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kit/coefficients/coefficient_text.h"
#include "kit/coefficients/coefficients.h"
#include "kit/commands/commands.h"
#include "kit/commands/shared.h"
#include "kit/core/number.h"
#include "kit/files/csv.h"
#include "kit/files/data_folder.h"
#include "kit/files/output_file.h"
#include "kit/files/simulations.h"
#include "kit/studies/fit.h"
#include "kit/studies/parallel.h"

namespace kit {
namespace {

constexpr const char* kWho = "surgekit fit";

struct FitOptions {
  std::string input;
  std::string output_dir;
  std::string base_dir;
  std::string note;
  std::string params_path;
  std::string starts_path;
  int threads = 0;  // 0: one per core
  int max_iterations = 500;
  bool timing = false;
};

// The table of how well each location fits, on standard output; false when it
// cannot be written.
bool write_statistics(const FitResult& result) {
  CsvWriter out(stdout);
  for (const char* name :
       {"location", "source", "rows", "rows_left", "rows_tail", "rows_right", "rows_beyond",
        "curves_fitted", "pressure_min_mb", "pressure_max_mb", "radius_min_km", "radius_max_km",
        "x_min", "x_max", "rms_m", "bias_m", "max_abs_error_m", "r2", "cv_rms_m", "jump_x0",
        "jump_x10", "jump_x25", "sigma_m", "sigma_rel", "iterations"}) {
    out.field(name);
  }
  out.end_row();
  for (int location = 1; location <= surge::kLocations; ++location) {
    const LocationFit& f = result.locations[location];
    out.integer(location);
    if (!f.converged) {
      out.field(f.rows == 0 ? "base" : "not_fitted");
      out.integer(f.rows);
      for (int i = 0; i < 22; ++i) out.field("");
      out.end_row();
      continue;
    }
    out.field("fitted");
    out.integer(f.rows);
    for (int c = 0; c < kFitCurves; ++c) out.integer(f.curve_rows[c]);
    out.integer(f.rows_beyond);
    std::string fitted;
    for (int c = 0; c < kFitCurves; ++c) {
      if (!f.curve_fitted[c]) continue;
      if (!fitted.empty()) fitted += ";";
      fitted += kFitCurveNames[c];
    }
    out.field(fitted);
    // The storms' ranges as given; X to three decimals; metres to the
    // millimetre; ratios and responses to six significant digits.
    for (double v : {f.pressure_min, f.pressure_max, f.radius_min, f.radius_max}) out.number(v);
    for (double v : {f.x_min, f.x_max, f.rms, f.bias, f.max_abs}) out.fixed(v, 3);
    significant(out, f.r2);
    out.fixed(f.cv_rms, 3);
    for (double v : {f.jump_0, f.jump_10, f.jump_25}) significant(out, v);
    out.fixed(f.sigma_m, 3);
    significant(out, f.sigma_rel);
    out.integer(f.iterations);
    out.end_row();
  }
  return out.flush();
}

// Each fitted coefficient with its standard error.
std::string parameters_text(const FitResult& result) {
  std::string text = "location,coefficient,value,std_error\n";
  for (int location = 1; location <= surge::kLocations; ++location) {
    const LocationFit& f = result.locations[location];
    if (!f.converged) continue;
    for (int k = 0; k < kCoefficients; ++k) {
      const float value = k < surge::kParameterCount
                              ? (result.table.*surge::kParameterColumns[k])[location]
                              : result.table.slope[location];
      text += std::to_string(location) + ",";
      text += k < surge::kParameterCount ? surge::kParameterNames[k] : "slope";
      text += "," + shortest_float_text(value) + ",";
      if (!std::isnan(f.std_error[k])) append_shortest(&text, f.std_error[k]);
      text += "\n";
    }
  }
  return text;
}

// The solver's starting points, for comparing solvers on the same problem.
std::string starts_text(const FitResult& result) {
  std::string text = "location,start";
  for (const char* name : surge::kParameterNames) text += std::string(",") + name;
  text += ",slope\n";
  for (int location = 1; location <= surge::kLocations; ++location) {
    const LocationFit& f = result.locations[location];
    for (size_t s = 0; s < f.starts.size(); ++s) {
      text += std::to_string(location) + "," + std::to_string(s);
      for (double v : f.starts[s]) {
        text += ",";
        append_shortest(&text, v);
      }
      text += "\n";
    }
  }
  return text;
}

// Whether the output folder is there, or could be made: checked before the
// fit, so that a wrong -o ends at once rather than after the work.
bool output_folder_possible(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::path at = std::filesystem::absolute(folder, ignored);
  while (!at.empty() && !std::filesystem::exists(at, ignored)) {
    if (at == at.parent_path()) break;
    at = at.parent_path();
  }
  return std::filesystem::is_directory(at, ignored);
}

// Writes the two coefficient files into the output folder (made if missing).
// Both are written whole under temporary names before either is renamed into
// place, so that a failure leaves no half-new set. False, with the fault in
// the sink, when that fails.
bool write_coefficient_files(const FitOptions& options, const FitResult& result,
                             const SimulationSet& set, Sink& sink) {
  std::error_code made;
  std::filesystem::create_directories(options.output_dir, made);
  if (made || !std::filesystem::is_directory(options.output_dir)) {
    sink.io_error("cannot make the folder " + options.output_dir +
                  (made ? ": " + made.message() : std::string(": a file is in the way")));
    return false;
  }
  const std::string files[][2] = {
      {path_in(options.output_dir, kParameterFileName),
       parameter_file_text(result.table, fit_note_text(set.sha256, set.rows.size(), options.note, true))},
      {path_in(options.output_dir, kSlopeFileName),
       slope_file_text(result.table, fit_note_text(set.sha256, set.rows.size(), options.note, false))},
  };
  OutputFile outputs[2];
  for (int i = 0; i < 2; ++i) {
    if (!open_output(files[i][0], &outputs[i], sink)) return false;
    if (std::fwrite(files[i][1].data(), 1, files[i][1].size(), outputs[i].stream()) !=
            files[i][1].size() ||
        std::fflush(outputs[i].stream()) != 0) {
      sink.io_error("cannot write " + files[i][0] + ": " + std::strerror(errno));
      return false;
    }
  }
  for (OutputFile& output : outputs) {
    if (!commit_output(&output, sink)) return false;
  }
  return true;
}

int fit(const FitOptions& options, const CommonOptions& common) {
  Sink sink(kWho);
  // The command line first, before any file is read.
  refuse_shared_stdout("-", "the statistics", options.params_path, "--params");
  refuse_shared_stdout("-", "the statistics", options.starts_path, "--starts");
  if (!output_folder_possible(options.output_dir)) {
    throw UsageError{"-o: cannot make the folder " + options.output_dir + ": a file is in the way"};
  }
  if (!options.base_dir.empty() && !std::filesystem::is_directory(options.base_dir)) {
    throw UsageError{"--base: no folder " + options.base_dir};
  }
  std::string bytes, error;
  if (!read_whole_input(options.input, &bytes, &error)) throw IoError{error};

  SimulationSet set;
  std::vector<Finding> findings;
  const std::string name = options.input == "-" ? "<stdin>" : options.input;
  const bool read_ok = read_simulations(name, bytes, &set, &findings);
  sink.add(findings);
  if (!read_ok) return kStatusFindings;

  CoefficientSet base;
  if (!options.base_dir.empty() && !load_coefficient_set(options.base_dir, common.strict, sink, &base)) {
    return sink.status();
  }
  // The optional outputs are opened before the fit, so that one that cannot
  // be written ends the run before the work and leaves nothing behind.
  OutputFile params, starts;
  if (!options.params_path.empty() && !open_output(options.params_path, &params, sink)) {
    return sink.status();
  }
  if (!options.starts_path.empty() && !open_output(options.starts_path, &starts, sink)) {
    return sink.status();
  }

  FitSettings settings;
  settings.threads = options.threads > 0 ? options.threads : default_thread_count();
  settings.max_iterations = options.max_iterations;
  settings.base = options.base_dir.empty() ? nullptr : &base.table;
  settings.source = kWho;
  const auto began = std::chrono::steady_clock::now();
  const FitResult result = fit_coefficients(set.rows, settings);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  sink.add(result.findings);
  if (options.timing) {
    double solving = 0, cost = 0;
    for (const LocationFit& f : result.locations) {
      solving += f.solve_seconds;
      cost += f.cost;
    }
    char line[200];
    std::snprintf(line, sizeof line,
                  "timing: fit %.3f s on %d threads; runs from the starting points %.3f s of CPU "
                  "(summed over locations); best costs summed %.6g",
                  seconds, settings.threads, solving, cost);
    sink.note(line);
  }
  if (!write_statistics(result)) {
    sink.io_error(std::string("cannot write standard output: ") + std::strerror(errno));
    return sink.status();
  }
  if (!options.starts_path.empty() && !finish_output(&starts, starts_text(result), sink)) {
    return sink.status();
  }
  if (has_error(result.findings)) {
    sink.summary("no coefficient files written");
    return sink.status();
  }

  if (!write_coefficient_files(options, result, set, sink)) return sink.status();
  if (!options.params_path.empty() && !finish_output(&params, parameters_text(result), sink)) {
    return sink.status();
  }
  return sink.status();
}

}  // namespace

CommandEntry define_fit(CLI::App& sub, const CommonOptions& common) {
  auto options = std::make_shared<FitOptions>();
  sub.add_option("simulations", options->input,
                 "CSV of simulated peak surges: location,pressure_mb,radius_km,distance_km,"
                 "surge_m in any order, an optional weight, other columns ignored; - for stdin")
      ->required();
  sub.add_option("-o,--output", options->output_dir,
                 "folder to write srfparamsVelko.dat and pslope.dat into (made if missing)")
      ->required();
  CLI::Option* base = sub.add_option("--base", options->base_dir,
                                     "coefficient folder whose values are kept for locations "
                                     "without rows and curves with too few");
  // The only coefficient set fit reads is the base set: the shared --data has
  // nothing to name, and --strict applies to the base set's check alone.
  sub.remove_option(sub.get_option("--data"));
  sub.get_option("--strict")->needs(base);
  sub.add_option("--note", options->note, "a line of text written after the 20th group");
  sub.add_option("--params", options->params_path,
                 "write each coefficient with its standard error to this CSV file");
  sub.add_option("--starts", options->starts_path,
                 "write the solver's starting points, per location, to this CSV file (for "
                 "comparing solvers on the same problem)");
  sub.add_flag("--timing", options->timing,
               "also write to standard error the fit's wall time, the solver's CPU time summed "
               "over locations and the best costs summed");
  sub.add_option("--max-iterations", options->max_iterations,
                 "the solver's iterations at most, per run from a starting point")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  add_threads_option(sub, &options->threads);
  sub.footer(
      "Fits each location's curves and slope to the simulations (least squares in\n"
      "metres) and writes the two coefficient files, each value with the digits that\n"
      "give back its single-precision number. Prints, per location, how well the\n"
      "fitted set reproduces the simulations. --strict refuses a base set with warnings.\n"
      "Example: surgekit fit examples/simulations.csv -o refit --base examples");
  return [options, &common] { return fit(*options, common); };
}

}  // namespace kit
