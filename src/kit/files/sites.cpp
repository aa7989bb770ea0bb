// Reading and checking the bridge sites file.
#include "kit/files/sites.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "kit/files/table_reader.h"
#include "model/site_table.h"

namespace kit {
namespace {

enum SiteColumn : size_t { kLocation, kName, kAlongshore, kLowChord, kDatumOffset, kTideAmplitude };
constexpr ColumnSpec kSiteSpecs[] = {
    {"location", true, location_rule},
    {"name", true, nullptr},
    {"alongshore_km", true, finite_rule},
    {"low_chord_m", false, low_chord_rule},
    {"datum_offset_m", false, datum_offset_rule},
    {"tide_amplitude_m", false, tide_amplitude_rule},
};

}  // namespace

std::vector<Finding> read_sites(std::FILE* in, const std::string& file, std::vector<Site>* sites) {
  std::vector<Finding> findings;
  TableReader table(in, file, kSiteSpecs);
  std::array<Site, surge::kLocations + 1> by_location{};
  std::array<uint64_t, surge::kLocations + 1> seen_on{};  // line of each location, 0 if absent
  const TableReader::Header header = table.read_header(true, &findings);
  if (header == TableReader::Header::kEmpty) {
    findings.push_back({file, 0, 0, Severity::kError,
                        "the file is empty: it needs a header row and one row per location"});
  }
  if (header != TableReader::Header::kRead) return findings;
  for (TableReader::Row row; (row = table.next()) != TableReader::Row::kEnd;) {
    if (row == TableReader::Row::kFault) {
      findings.push_back(table.fault());
      // A refused row whose location reads is that location given, not
      // missing: its error says what is wrong with it.
      const int at = table.columns().index[kLocation];
      double location = 0;
      std::string unused;
      if (at >= 0 && static_cast<size_t>(at) < table.csv().fields().size() &&
          location_rule(table.csv().fields()[static_cast<size_t>(at)], &location, &unused)) {
        const int k = static_cast<int>(location);
        if (seen_on[k] == 0) seen_on[k] = table.line();
      }
      continue;
    }
    Site site;
    site.location = static_cast<int>(table.value(kLocation));
    site.name = std::string(table.text(kName));
    site.alongshore_km = table.value(kAlongshore);
    site.has_low_chord = table.has(kLowChord) && !std::isnan(table.value(kLowChord));
    if (site.has_low_chord) site.low_chord_m = table.value(kLowChord);
    // The datum the low chord is given in, and the tide: unknown when empty.
    site.has_datum_offset = table.has(kDatumOffset) && !std::isnan(table.value(kDatumOffset));
    if (site.has_datum_offset) site.datum_offset_m = table.value(kDatumOffset);
    if (table.has(kTideAmplitude) && !std::isnan(table.value(kTideAmplitude))) {
      site.tide_amplitude_m = table.value(kTideAmplitude);
    }
    if (seen_on[site.location] != 0) {
      findings.push_back(table.error_at(
          kLocation, "location " + std::to_string(site.location) + " is given again (first on line " +
                         std::to_string(seen_on[site.location]) + ")"));
      continue;
    }
    seen_on[site.location] = table.line();
    by_location[site.location] = std::move(site);
  }
  if (table.read_failed()) {
    findings.push_back(table.fault());
  } else {
    for (int k = 1; k <= surge::kLocations; ++k) {
      if (seen_on[k] == 0) {
        findings.push_back(
            {file, 0, 0, Severity::kError, "location " + std::to_string(k) + " is missing"});
      }
    }
  }
  if (!has_error(findings)) sites->assign(by_location.begin() + 1, by_location.end());
  return findings;
}

std::vector<Finding> check_sites_file(const std::string& dir) {
  const std::string path = path_in(dir, kSitesFileName);
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return {};  // optional: only ensembles and hazard need it
  std::vector<Site> sites;
  std::vector<Finding> findings = read_sites(in, path, &sites);
  std::fclose(in);
  return findings;
}

bool load_sites(const std::string& dir, std::vector<Site>* sites, std::vector<Finding>* findings,
                std::string* unreadable) {
  const std::string path = path_in(dir, kSitesFileName);
  // A folder opens on POSIX and only fails to read: name it as what it is.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *unreadable = "cannot read " + path + ": it is a folder";
    return false;
  }
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    *unreadable = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<Finding> found = read_sites(in, path, sites);
  const bool read_failed = std::ferror(in) != 0;
  const int read_errno = errno;
  std::fclose(in);
  if (read_failed) {
    *unreadable = "cannot read " + path + ": " + std::strerror(read_errno);
    return false;
  }
  const bool failed = has_error(found);
  findings->insert(findings->end(), found.begin(), found.end());
  return !failed;
}

}  // namespace kit
