#pragma once

// A synthetic surveyed river, drawn into a drawing: for the generate
// command, the tests and the benchmarks.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"

namespace palvane::generator {

// The faults a river can be given, each named by the code of the finding
// that `palvane check` reports for it.
extern const std::vector<std::string> kFaultKinds;

struct RiverShape {
  int32_t sections = 20;  // cross-sections along the current reach
  uint64_t seed = 1;      // the same seed gives the same drawing
  int32_t clutter = 0;    // unrelated entities per cross-section
  // The faults to inject, each once; none at all for a clean river. Without
  // a list, the river has its one usual fault: the fifth section's profile
  // has lost its tag (its centre point keeps it).
  std::optional<std::vector<std::string>> faults;
  // No "TEV" tag anywhere: the river as a surveyor draws it, to be tagged.
  // Only without faults.
  bool untagged = false;
  // Points of each section's original survey (a 3D polyline on its "_3d"
  // layer), of which every other one, the ends kept, makes the processed
  // survey on "_3d_LPSO"; and two bank lines on kBankLinesLayer. None for
  // 0; a fault of the survey asks for kSurveyForFaults when none is given.
  int32_t survey = 0;
};

inline constexpr const char* kBankLinesLayer = "Bank_Lines";
inline constexpr int32_t kSurveyForFaults = 20;

// One section's survey as generated: stations along its profile from the
// profile's first vertex, with elevations.
struct GeneratedSection {
  std::string number;
  double length = 0;  // of the profile
  std::vector<std::array<double, 2>> original, processed;
  double left_bank = 0, right_bank = 0;  // where the bank lines cross it
};

// One fault put into a river: its kind, the sections it was put into (none
// for a fault of a reach) and the entities it changed or added.
struct InjectedFault {
  std::string kind;
  std::string reach;
  std::vector<std::string> sections;
  std::vector<std::string> handles;
};

// The faults `--faults` names: "none", "all" (every kind that leaves a
// current reach to check against) or kinds separated by commas, each once.
// The kinds are not checked here.
std::vector<std::string> FaultsNamed(const std::string& text);

// The sections a river needs for `faults`; throws std::invalid_argument
// naming a kind that is not one of kFaultKinds, and listing those.
int32_t SectionsNeeded(const std::vector<std::string>& faults);

// The faults injected, as the JSON array `generate --faults` prints.
std::string InjectedJson(const std::vector<InjectedFault>& injected);

// Draws a synthetic surveyed river into `doc`: a current reach whose centre
// line meanders with arcs, a second (tributary) reach, and per cross-section
// a tagged profile polyline across the river, a tagged centre point, and the
// section's SectionLine, 3d and 3d_LPSO layers, with the faults of `shape`.
// Survey points, bank lines and notes on other layers stand for the rest of
// a real drawing. Returns the faults injected. REQUIRES: shape.sections is
// at least SectionsNeeded(*shape.faults) when there are faults.
// With `survey`, each surveyed section's survey is added to it, in order.
std::vector<InjectedFault> GenerateRiver(host::Document& doc, const RiverShape& shape,
                                         std::vector<GeneratedSection>* survey = nullptr);

// The same river in a new drawing from the template, as the bytes of its file.
std::string RiverFile(const RiverShape& shape);

}  // namespace palvane::generator
