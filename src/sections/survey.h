#pragma once

// A river's cross-sections as a hydraulic model takes them: each section's
// survey points as station and elevation along its section line, read from
// the left bank looking downstream, with its banks, lowest point and the
// distances to the next section downstream. Reads the drawing only, through
// the river reader and the section's survey layers.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/polyline.h"
#include "host/host.h"
#include "host/message_sink.h"
#include "model/river.h"

namespace palvane::sections {

using geometry::Point2;

// Which way the river flows against the drawing's chainage; kAuto takes
// the way the sections' lowest bed levels fall.
enum class Flow { kAgainstChainage, kWithChainage, kAuto };

struct SurveyOptions {
  std::optional<std::string> reach;  // one reach; every reach when empty
  bool original_data = false;        // the survey as taken, not as processed
  std::string points_layer;          // a shared layer of survey points, if any
  double within = 0.5;               // how far from the line a point may lie
  // The drawing's unit in metres: the survey's own small distances (a
  // millimetre's reach of a bank line past its end, ...) are metric.
  double metres_per_unit = 1;
  Flow flow = Flow::kAuto;
  // Layers of polylines along the banks, if any: each line gives a bank on
  // whichever side of the centre line it crosses a section.
  std::vector<std::string> bank_lines_layers;
  // A section of fewer survey points is skipped, before the reach lengths
  // are measured between the sections kept.
  size_t least_points = 0;
};

// What a point is to a model, as bit flags. kInserted marks a point put
// into the survey where a bank line crosses between two surveyed points.
enum Marker : uint8_t { kLeftBank = 1, kLowest = 2, kRightBank = 4, kInserted = 8 };

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
  // Once read, each is the station of the survey point marked as that bank,
  // so that every format puts the bank in one place.
  double left_bank = 0, right_bank = 0;
  // Banks from bank lines that do not cross: each false for a side whose
  // bank is the section's end for want of a crossing.
  bool left_bank_crossed = true, right_bank_crossed = true;
  // Which bank line crosses at each bank (-1 for none), and how far along
  // it: the overbank reach lengths are measured along them.
  std::array<int, 2> bank_line{-1, -1};
  std::array<double, 2> bank_along{0, 0};
  std::array<Point2, 2> bank_at{};  // where each crosses, on the line
  // To the next section downstream: left overbank, channel, right overbank.
  std::array<double, 3> reach_lengths{0, 0, 0};
  double along = 0;  // where it crosses its reach's centre line
};

// How the lowest bed levels of a reach's sections run along it.
struct BedFall {
  size_t sections = 0;  // with a lowest point
  // The fitted fall from the centre line's first vertex to its last (a
  // rise when negative), and the range of the lowest levels.
  double fall = 0, relief = 0;
  // A survey's own noise: a centimetre, in the drawing's units.
  double noise = 0.01;
  // Whether the fall is clear: more than a tenth of the relief, and more
  // than the noise, which two sections alone, whose fall is always their
  // relief, could otherwise pass for.
  bool clear() const {
    return sections >= 2 && std::fabs(fall) > relief / 10 && std::fabs(fall) > noise;
  }
};

struct SurveyReach {
  std::string number;
  std::string handle;                // of its centre line
  std::vector<Point2> centre;        // the centre line in plan, from its first vertex
  std::vector<double> centre_along;  // each centre point's distance along it, arcs followed
  double length = 0;
  bool chainage_from_end = false;
  // The way it flows against its chainage, as asked or, for kAuto, as its
  // bed falls (never kAuto), and so against its centre line.
  Flow flow = Flow::kAgainstChainage;
  bool flows_forward = false;  // from the centre line's first vertex to its last
  BedFall bed;
  // Sections in order downstream.
  std::vector<CrossSection> sections;
};

// A section that could not be read, and why.
struct SkippedSection {
  std::string reach, number, text;
};

struct Survey {
  size_t bank_lines = 0;  // found on the bank lines' layers
  // Shared survey points equally near two section lines, which join neither.
  size_t shared_ambiguous = 0;
  // What was inferred or chosen, and warnings about it, one line each.
  std::vector<std::string> notes;
  std::vector<SurveyReach> reaches;
  std::vector<SkippedSection> skipped;
  size_t turned = 0;  // sections read the other way round
};

// "against-chainage", "with-chainage" or "auto", and back (nothing for
// another name).
const char* FlowName(Flow flow);
std::optional<Flow> FlowNamed(std::string_view name);

// Reads the cross-sections of the drawing's reaches (or one). Host
// failures propagate; a section that cannot be placed on its reach is
// skipped with the reason.
Survey ReadSurvey(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                  const SurveyOptions& options);
// The same over `river`, the drawing's river read already (model::ReadRiver):
// a caller that has read it reads it no second time.
Survey ReadSurvey(const host::Ref<host::Document>& drawing, const model::River& river,
                  const SurveyOptions& options);

// The chainage of a place `along` the reach's centre line from its first
// vertex, as the reach's tags count it.
double ChainageAt(const SurveyReach& reach, double along);
// The river station a model orders sections by, highest upstream: the
// chainage where it rises upstream, else the reach's length less it.
double RiverStation(const Survey& survey, const SurveyReach& reach, double chainage);

}  // namespace palvane::sections
