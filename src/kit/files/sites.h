// The bridge sites file: where each location lies along the coast and, where
// known, the height of its low chord.
#ifndef SURGE_KIT_FILES_SITES_H_
#define SURGE_KIT_FILES_SITES_H_

#include <cstdio>
#include <string>
#include <vector>

#include "kit/core/diagnostics.h"
#include "kit/core/limits.h"
#include "kit/files/data_folder.h"

namespace kit {

// One bridge. The distance of a landfall at alongshore position L to it is
// alongshore_km - L: positive when the bridge lies right (east) of the landfall.
struct Site {
  int location = 0;          // 1 to 20
  std::string name;
  double alongshore_km = 0;  // position along the coast
  bool has_low_chord = false;
  double low_chord_m = 0;    // low chord above the site's datum, when given
  bool has_datum_offset = false;
  double datum_offset_m = 0;    // mean sea level above the site's datum, when given
  double tide_amplitude_m = 0;  // half the tidal range, >= 0; 0 when not given
};

// Reads "location,name,alongshore_km[,low_chord_m][,datum_offset_m]
// [,tide_amplitude_m]" (a header row naming the columns, in any order) from `in`, naming it `file` in findings. Every
// location 1 to 20 must appear exactly once; *sites receives them in location
// order when no finding is an error. Findings are in line order.
std::vector<Finding> read_sites(std::FILE* in, const std::string& file, std::vector<Site>* sites);

// Checks the sites file of `dir`. A folder without one has nothing to check,
// since only the ensemble and hazard subcommands need it.
std::vector<Finding> check_sites_file(const std::string& dir);

// Loads the sites file of `dir` into *sites, appending what the reading found
// to *findings. False when any finding is an error, or when the file cannot be
// read at all (missing, a folder, a read failure): then *unreadable receives
// "cannot read PATH: REASON" and *findings is left unchanged.
bool load_sites(const std::string& dir, std::vector<Site>* sites, std::vector<Finding>* findings,
                std::string* unreadable);

}  // namespace kit

#endif  // SURGE_KIT_FILES_SITES_H_
