// The files a data folder holds, and how their paths are made.
#ifndef SURGE_KIT_FILES_DATA_FOLDER_H_
#define SURGE_KIT_FILES_DATA_FOLDER_H_

#include <string>

namespace kit {

inline constexpr const char* kParameterFileName = "srfparamsVelko.dat";
inline constexpr const char* kSlopeFileName = "pslope.dat";
inline constexpr const char* kSitesFileName = "sites.csv";

// `dir` joined with a file name ("." gives the name alone).
inline std::string path_in(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

}  // namespace kit

#endif  // SURGE_KIT_FILES_DATA_FOLDER_H_
