#pragma once

// A river's cross-sections in the exchange formats of hydraulic models: a
// table of points (CSV), HEC-RAS's GIS import file, a Flood Modeller data
// file and MIKE 11's cross-section raw data. Each writer makes the file's
// text; the caller writes it.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sections/survey.h"

namespace palvane::sections {

enum class Format { kCsv, kHecRas, kFloodModeller, kMike11 };

// A format by its name ("csv", "hecras", "floodmodeller", "mike11").
std::optional<Format> FormatNamed(std::string_view name);
// A format by the name of the file written: ".csv", ".sdf", ".dat", ".txt".
std::optional<Format> FormatOfPath(std::string_view path);
const char* FormatName(Format format);

struct FormatOptions {
  std::string river;  // the river's (stream's, branch's) name
  bool metric = true;
  double manning = 0.035;
  std::string topo_id;  // MIKE 11; empty for the year of the water date
  bool thin = true;     // HEC-RAS: thin sections of too many points, else refuse them
  std::string title;    // a first line or comment naming the source
};

// Refused: the survey cannot be written in the format as it stands.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Written {
  std::string text;
  std::vector<std::string> notes;  // what was changed to fit, one line each
};

// The most points HEC-RAS takes in one cross-section.
inline constexpr size_t kHecRasMostPoints = 500;

Written Write(Format format, const Survey& survey, const FormatOptions& options);

// The river station of a chainage as at most `width` characters, with as
// many decimals (up to 3) as fit; nothing when even the whole number does
// not fit.
std::optional<std::string> StationText(double station, size_t width = 8);

// Thins `points` to at most `most`, keeping the first and last, the marked
// ones, and otherwise those whose removal changes the section's area most.
// Returns how many were removed.
size_t Thin(std::vector<SurveyPoint>& points, size_t most);

}  // namespace palvane::sections
