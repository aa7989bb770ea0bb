// Reading and checking the bridge sites file.
#include "kit/files/sites.h"

#include <array>
#include <cmath>

#include "kit/files/csv.h"
#include "kit/core/number.h"
#include "model/site_table.h"

namespace kit {
namespace {

struct Columns {
  int location = -1, name = -1, alongshore = -1, low_chord = -1;
  int datum_offset = -1, tide_amplitude = -1;
};

bool is_blank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

class SitesReader {
 public:
  SitesReader(const std::string& file, std::vector<Finding>* findings)
      : file_(file), findings_(findings) {}

  void error(uint64_t line, std::string message) {
    findings_->push_back({file_, line, 0, Severity::kError, std::move(message)});
  }
  void warning(uint64_t line, std::string message) {
    findings_->push_back({file_, line, 0, Severity::kWarning, std::move(message)});
  }

  // Finds the columns by name; false when a needed one is missing.
  bool read_header(const std::vector<std::string_view>& fields, uint64_t line) {
    std::vector<std::string> header(fields.begin(), fields.end());
    columns_.location = column_index(header, "location");
    columns_.name = column_index(header, "name");
    columns_.alongshore = column_index(header, "alongshore_km");
    columns_.low_chord = column_index(header, "low_chord_m");
    columns_.datum_offset = column_index(header, "datum_offset_m");
    columns_.tide_amplitude = column_index(header, "tide_amplitude_m");
    bool ok = true;
    for (auto [index, name] : {std::pair{columns_.location, "location"},
                               std::pair{columns_.name, "name"},
                               std::pair{columns_.alongshore, "alongshore_km"}}) {
      if (index < 0) {
        error(line, std::string("the header has no column '") + name + "'");
        ok = false;
      }
    }
    for (const std::string& h : header) {
      if (h != "location" && h != "name" && h != "alongshore_km" && h != "low_chord_m" &&
          h != "datum_offset_m" && h != "tide_amplitude_m") {
        warning(line, "column '" + h + "' is not used");
      }
    }
    width_ = header.size();
    return ok;
  }

  // Reads one data row into *site; false (with a finding) when it is unusable.
  bool read_row(const std::vector<std::string_view>& f, uint64_t line, Site* site) {
    if (f.size() != width_) {
      error(line, "the row has " + std::to_string(f.size()) + " fields; the header has " +
                      std::to_string(width_));
      return false;
    }
    double location = 0;
    if (!parse_real(f[columns_.location], &location) || location != std::floor(location) ||
        location < 1 || location > surge::kLocations) {
      error(line, "location: '" + std::string(f[columns_.location]) +
                      "' is not a location number 1 to 20");
      return false;
    }
    site->location = static_cast<int>(location);
    site->name = std::string(f[columns_.name]);
    if (!parse_real(f[columns_.alongshore], &site->alongshore_km) ||
        !std::isfinite(site->alongshore_km)) {
      error(line, "alongshore_km: '" + std::string(f[columns_.alongshore]) +
                      "' is not a finite number");
      return false;
    }
    site->has_low_chord = false;
    if (columns_.low_chord >= 0) {
      std::string_view text = f[columns_.low_chord];
      if (text.find_first_not_of(' ') != std::string_view::npos) {
        if (!parse_real(text, &site->low_chord_m) || !std::isfinite(site->low_chord_m)) {
          error(line, "low_chord_m: '" + std::string(text) +
                          "' is not a finite number (leave it empty when unknown)");
          return false;
        }
        if (site->low_chord_m < 0) {
          error(line, "low_chord_m: '" + std::string(text) +
                          "' is below 0: a low chord lies above the surge's datum");
          return false;
        }
        site->has_low_chord = true;
      }
    }
    return read_water(f, line, site);
  }

  // The optional datum offset and tide amplitude; an empty field leaves them unknown.
  bool read_water(const std::vector<std::string_view>& f, uint64_t line, Site* site) {
    site->has_datum_offset = false;
    site->tide_amplitude_m = 0;
    if (columns_.datum_offset >= 0 && !is_blank(f[columns_.datum_offset])) {
      const std::string_view text = f[columns_.datum_offset];
      if (!parse_real(text, &site->datum_offset_m) || !std::isfinite(site->datum_offset_m)) {
        error(line, "datum_offset_m: '" + std::string(text) +
                        "' is not a finite number (leave it empty when unknown)");
        return false;
      }
      site->has_datum_offset = true;
    }
    if (columns_.tide_amplitude >= 0 && !is_blank(f[columns_.tide_amplitude])) {
      const std::string_view text = f[columns_.tide_amplitude];
      if (!parse_real(text, &site->tide_amplitude_m) || !std::isfinite(site->tide_amplitude_m)) {
        error(line, "tide_amplitude_m: '" + std::string(text) +
                        "' is not a finite number (leave it empty for no tide)");
        return false;
      }
      if (site->tide_amplitude_m < 0) {
        error(line, "tide_amplitude_m: '" + std::string(text) +
                        "' is below 0: it is half the tidal range");
        return false;
      }
    }
    return true;
  }

 private:
  std::string file_;
  std::vector<Finding>* findings_;
  Columns columns_;
  size_t width_ = 0;
};

bool is_blank_record(const std::vector<std::string_view>& fields) {
  return fields.size() == 1 && fields[0].find_first_not_of(" \t\r") == std::string_view::npos;
}

}  // namespace

std::vector<Finding> read_sites(std::FILE* in, const std::string& file, std::vector<Site>* sites) {
  std::vector<Finding> findings;
  SitesReader reader(file, &findings);
  CsvReader csv(in);
  std::array<Site, surge::kLocations + 1> by_location{};
  std::array<uint64_t, surge::kLocations + 1> seen_on{};  // line of each location, 0 if absent
  bool header_read = false, header_ok = false;
  while (csv.next()) {
    if (is_blank_record(csv.fields())) continue;
    if (!header_read) {
      header_read = true;
      header_ok = reader.read_header(csv.fields(), csv.line());
      if (!header_ok) break;
      continue;
    }
    Site site;
    if (!reader.read_row(csv.fields(), csv.line(), &site)) continue;
    if (seen_on[site.location] != 0) {
      reader.error(csv.line(), "location " + std::to_string(site.location) +
                                   " is given again (first on line " +
                                   std::to_string(seen_on[site.location]) + ")");
      continue;
    }
    seen_on[site.location] = csv.line();
    by_location[site.location] = std::move(site);
  }
  if (!csv.error().empty()) {
    reader.error(csv.line(), csv.error());
  } else if (!header_read) {
    reader.error(0, "the file is empty: it needs a header row and one row per location");
  } else if (header_ok) {
    for (int k = 1; k <= surge::kLocations; ++k) {
      if (seen_on[k] == 0) reader.error(0, "location " + std::to_string(k) + " is missing");
    }
  }
  bool failed = false;
  for (const Finding& f : findings) failed = failed || f.severity == Severity::kError;
  if (!failed) sites->assign(by_location.begin() + 1, by_location.end());
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

bool load_sites(const std::string& dir, std::vector<Site>* sites, std::vector<Finding>* findings) {
  const std::string path = path_in(dir, kSitesFileName);
  std::FILE* in = std::fopen(path.c_str(), "rb");
  std::vector<Finding> found;
  if (in == nullptr) {
    found.push_back({path, 0, 0, Severity::kError, "cannot open the bridge sites file"});
  } else {
    found = read_sites(in, path, sites);
    std::fclose(in);
  }
  const bool failed = has_error(found);
  findings->insert(findings->end(), found.begin(), found.end());
  return !failed;
}

}  // namespace kit
