#pragma once

// A river's cross-sections as a hydraulic model takes them: each section's
// survey points as station and elevation along its section line, read from
// the left bank looking downstream, with its banks, lowest point and the
// distances to the next section downstream. Reads the drawing only, through
// the river reader and the section's survey layers.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "geometry/polyline.h"
#include "host/host.h"
#include "host/message_sink.h"

namespace palvane::sections {

using geometry::Point2;

// Which way the river flows against the drawing's chainage.
enum class Flow { kAgainstChainage, kWithChainage };

struct SurveyOptions {
  std::optional<std::string> reach;  // one reach; every reach when empty
  bool original_data = false;        // the survey as taken, not as processed
  std::string points_layer;          // a shared layer of survey points, if any
  double within = 0.5;               // how far from the line a point may lie
  Flow flow = Flow::kAgainstChainage;
  std::string bank_lines_layer;  // polylines along the banks, if any
  // A section of fewer survey points is skipped, before the reach lengths
  // are measured between the sections kept.
  size_t least_points = 0;
};

// What a point is to a model, as bit flags.
enum Marker : uint8_t { kLeftBank = 1, kLowest = 2, kRightBank = 4 };

struct SurveyPoint {
  double station = 0;    // along the cut line from the left bank
  double elevation = 0;  // its Z
  Point2 at{};           // its place on the cut line
  double offset = 0;     // how far it lies from the line
  std::string layer;     // where it was drawn
  uint8_t markers = 0;
};

// A point left out of its section: too far from the line.
struct OffLinePoint {
  Point2 at{};
  double offset = 0;
  std::string layer;
};

struct CrossSection {
  std::string reach, number, name;
  double chainage = 0;
  std::string water_date;           // YYYY-MM-DD, or empty
  std::string handle;               // of the profile
  std::vector<Point2> cut;          // the section line in plan, left bank first, arcs as chords
  double length = 0;                // of the cut line
  bool turned = false;              // the line was drawn from the right bank
  std::vector<SurveyPoint> points;  // by station
  std::vector<OffLinePoint> off_line;
  // Points at one station as another (the later ones kept after it), and
  // of those the ones whose elevation differs.
  size_t same_station = 0, conflicting = 0;
  // Stations of the banks on the cut line; the ends without bank lines.
  double left_bank = 0, right_bank = 0;
  // Banks from bank lines that do not cross: each false for a side whose
  // bank is the section's end for want of a crossing.
  bool left_bank_crossed = true, right_bank_crossed = true;
  // Which bank line crosses at each bank (-1 for none), and how far along
  // it: the overbank reach lengths are measured along them.
  std::array<int, 2> bank_line{-1, -1};
  std::array<double, 2> bank_along{0, 0};
  // To the next section downstream: left overbank, channel, right overbank.
  std::array<double, 3> reach_lengths{0, 0, 0};
  double along = 0;  // where it crosses its reach's centre line
};

struct SurveyReach {
  std::string number;
  std::vector<Point2> centre;  // the centre line in plan, from its first vertex
  double length = 0;
  bool chainage_from_end = false;
  bool flows_forward = false;  // from the centre line's first vertex to its last
  // Sections in order downstream.
  std::vector<CrossSection> sections;
};

// A section that could not be read, and why.
struct SkippedSection {
  std::string reach, number, text;
};

struct Survey {
  Flow flow = Flow::kAgainstChainage;
  size_t bank_lines = 0;  // found on the bank lines' layer
  std::vector<SurveyReach> reaches;
  std::vector<SkippedSection> skipped;
  size_t turned = 0;  // sections read the other way round
};

// Reads the cross-sections of the drawing's reaches (or one). Host
// failures propagate; a section that cannot be placed on its reach is
// skipped with the reason.
Survey ReadSurvey(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                  const SurveyOptions& options);

// The chainage of a place `along` the reach's centre line from its first
// vertex, as the reach's tags count it.
double ChainageAt(const SurveyReach& reach, double along);
// The river station a model orders sections by, highest upstream: the
// chainage where it rises upstream, else the reach's length less it.
double RiverStation(const Survey& survey, const SurveyReach& reach, double chainage);

// The river station of a chainage as at most `width` characters, with as
// many decimals (up to 3) as fit; nothing when even the whole number does
// not fit.
std::optional<std::string> StationText(double station, size_t width = 8);

// Thins `points` to at most `most`, keeping the first and last, the marked
// ones, and otherwise those whose removal changes the section's area most.
// Returns how many were removed.
size_t Thin(std::vector<SurveyPoint>& points, size_t most);

}  // namespace palvane::sections
