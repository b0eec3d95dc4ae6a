#include "generate.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include "dxf/drawing.h"
#include "geometry/vec.h"
#include "host/convert.h"

namespace palvane::tools {
namespace {

using host::Ref;
using host::Variant;

constexpr double kPi = std::numbers::pi;
constexpr double kSpacing = 50.0;  // drawing units between sections
constexpr double kEast = 312000.0, kNorth = 745000.0;

// A reproducible stream of numbers: the engine is fully specified by the
// standard, and the mapping to [0, 1) is done here rather than by a
// library distribution whose algorithm may differ between platforms.
class Random {
 public:
  explicit Random(uint64_t seed) : engine_(seed) {}
  double Uniform(double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(engine_() >> 11) * 0x1.0p-53;
  }
  int32_t Below(int32_t n) { return static_cast<int32_t>(engine_() % static_cast<uint64_t>(n)); }

 private:
  std::mt19937_64 engine_;
};

Ref<host::LWPolyline> Polyline(host::Document& doc, const std::string& layer,
                               const std::vector<double>& coords) {
  doc.Layers()->Add(layer);
  Ref<host::LWPolyline> line = doc.ModelSpace()->AddLightWeightPolyline(coords);
  line->SetLayer(layer);
  return line;
}

void TagSection(host::Object& object, const std::string& number, double chainage, double bearing,
                const std::string& title, const std::string& name, host::Date water) {
  object.SetXData(
      {1001, 1000, 1000, 1000, 1040, 1040, 1000, 1000, 1000, 1070},
      {Variant("TEV"), Variant("SECTION"), Variant(number), Variant("1"), Variant(chainage),
       Variant(bearing), Variant(title), Variant(name), Variant(water), Variant(int16_t{0})});
}

}  // namespace

void GenerateRiver(host::Document& doc, const RiverShape& shape) {
  Random random(shape.seed);
  const int32_t n = shape.sections < 0 ? 0 : shape.sections;

  // The centre line: a meander of straight runs and arcs, long enough for
  // every section with a margin at both ends.
  const double length = kSpacing * (n + 1);
  std::vector<double> coords{kEast, kNorth};
  std::vector<double> bulges;
  double x = kEast, y = kNorth, heading = random.Uniform(-0.3, 0.3);
  for (double done = 0; done < length + kSpacing;) {
    const double run = random.Uniform(60, 160);
    x += run * std::cos(heading);
    y += run * std::sin(heading);
    coords.push_back(x);
    coords.push_back(y);
    // Every other segment bends; the bends alternate to keep the river going east.
    bulges.push_back(bulges.size() % 2 == 0
                         ? 0.0
                         : random.Uniform(0.05, 0.2) * (bulges.size() % 4 == 1 ? 1 : -1));
    heading = std::clamp(heading + random.Uniform(-0.5, 0.5), -0.8, 0.8);
    done += run;
  }
  const auto centre = Polyline(doc, "Centreline", coords);
  for (size_t i = 0; i < bulges.size(); ++i) centre->SetBulge(static_cast<int32_t>(i), bulges[i]);
  centre->SetXData({1001, 1000, 1071, 1070, 1000},
                   {Variant("TEV"), Variant("REACH"), Variant("1"), Variant(int16_t{-1}),
                    Variant("Photos\\Reach 1")});
  // A tributary: a second reach, not current.
  const auto tributary =
      Polyline(doc, "Centreline", {kEast + 200, kNorth + 300, kEast + 260, kNorth + 40});
  tributary->SetXData({1001, 1000, 1071, 1070, 1000},
                      {Variant("TEV"), Variant("REACH"), Variant("2"), Variant(int16_t{0}),
                       Variant("Photos\\Reach 2")});

  // Sections stand at increasing chainages: walk the centre line once.
  size_t segment = 0;
  double walked = 0;
  auto segment_length = [&](size_t k) {
    return geometry::SegmentLength(
        std::hypot(coords[2 * k + 2] - coords[2 * k], coords[2 * k + 3] - coords[2 * k + 1]),
        bulges[k]);
  };
  for (int32_t i = 1; i <= n; ++i) {
    const std::string number = std::to_string(i);
    const double chainage = kSpacing * i;
    while (segment < bulges.size() && walked + segment_length(segment) < chainage) {
      walked += segment_length(segment++);
    }
    if (segment >= bulges.size()) break;
    const geometry::SegmentPoint on = geometry::PointOnSegment(
        coords[2 * segment], coords[2 * segment + 1], coords[2 * segment + 2],
        coords[2 * segment + 3], bulges[segment], chainage - walked);
    const struct {
      double point[2];
      double bearing;
    } at_value{{on.x, on.y}, on.bearing};
    const auto* at = &at_value;
    // Across the river: perpendicular to the direction of flow, left bank first.
    const double across = at->bearing + kPi / 2;
    const double half_width = random.Uniform(12, 30);
    const int32_t points = 5 + random.Below(5);
    std::vector<double> profile;
    for (int32_t k = 0; k < points; ++k) {
      const double offset = half_width - 2 * half_width * k / (points - 1);
      const double jitter = k == 0 || k == points - 1 ? 0 : random.Uniform(-0.2, 0.2);
      profile.push_back(at->point[0] + offset * std::cos(across) + jitter);
      profile.push_back(at->point[1] + offset * std::sin(across) + jitter);
    }
    const double compass = std::fmod(450.0 - (across - kPi) * 180 / kPi, 360.0);
    const double bearing = host::RoundToEven(compass, 3);
    const std::string title = i % 7 == 0 ? "Bridge upstream face" : i % 11 == 0 ? "Z" : "Natural";
    const host::Date water = host::MakeDate(2012, 6, 1 + i % 28);
    const auto line = Polyline(doc, number + "_Profile", profile);
    // The fifth section's profile has lost its tag; its centre point keeps it.
    if (i != 5) TagSection(*line, number, chainage, bearing, title, "XS" + number, water);
    doc.Layers()->Add(number + "_SectionCenter");
    const auto center = doc.ModelSpace()->AddPoint({at->point[0], at->point[1], 0});
    center->SetLayer(number + "_SectionCenter");
    TagSection(*center, number, chainage, bearing, title, "XS" + number, water);
    for (const char* suffix : {"_SectionLine", "_3d", "_3d_LPSO"})
      doc.Layers()->Add(number + suffix);

    // Clutter: survey points, bank lines and notes.
    for (int32_t k = 0; k < shape.clutter; ++k) {
      const double px = at->point[0] + random.Uniform(-40, 40);
      const double py = at->point[1] + random.Uniform(-40, 40);
      switch (k % 3) {
        case 0: {
          doc.Layers()->Add("Survey_Points");
          doc.ModelSpace()->AddPoint({px, py, random.Uniform(10, 20)})->SetLayer("Survey_Points");
          break;
        }
        case 1:
          Polyline(doc, k % 2 ? "Banks" : "Fences", {px, py, px + random.Uniform(2, 9), py + 3});
          break;
        default: {
          doc.Layers()->Add("Notes");
          doc.ModelSpace()
              ->AddMText({px, py, 0}, 0, "Level " + host::FormatFixed(random.Uniform(10, 20), 2))
              ->SetLayer("Notes");
        }
      }
    }
  }
  doc.Layers()->Add("Temp");
}

std::string RiverFile(const RiverShape& shape) {
  const auto app = dxf::NewApplication();
  const Ref<host::Document> doc = app->Documents()->Add();
  GenerateRiver(*doc, shape);
  return dxf::WriteDrawing(*doc);
}

}  // namespace palvane::tools
