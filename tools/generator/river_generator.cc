#include "generator/river_generator.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>

#include "dxf/drawing.h"
#include "geometry/polyline.h"
#include "geometry/vec.h"
#include "host/convert.h"
#include "model/layer_names.h"

namespace palvane::generator {
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

// One section's tag items, as the record writes them.
struct SectionTag {
  std::string number, reach = "1";
  Variant chainage;
  double bearing;
  std::string title, name;
  host::Date water;
  size_t items = 10;             // fewer for a tag cut short
  int16_t chainage_code = 1040;  // 1000 for a chainage written as text
};

void TagSection(host::Object& object, const SectionTag& t) {
  std::vector<int16_t> codes{1001, 1000, 1000, 1000, t.chainage_code, 1040, 1000, 1000, 1000, 1070};
  std::vector<Variant> values{Variant("TEV"),     Variant("SECTION"), Variant(t.number),
                              Variant(t.reach),   t.chainage,         Variant(t.bearing),
                              Variant(t.title),   Variant(t.name),    Variant(t.water),
                              Variant(int16_t{0})};
  codes.resize(t.items);
  values.resize(t.items);
  object.SetXData(codes, values);
}

void TagReach(host::Object& object, const std::string& number, bool current,
              const std::string& photos) {
  object.SetXData({1001, 1000, 1071, 1070, 1000},
                  {Variant("TEV"), Variant("REACH"), Variant(number),
                   Variant(int16_t{current ? int16_t{-1} : int16_t{0}}), Variant(photos)});
}

// Faults of the reaches rather than of one section.
bool IsReachFault(const std::string& kind) {
  return kind == "no-reach" || kind == "no-current-reach" || kind == "several-current-reaches" ||
         kind == "reach-tag-unreadable";
}

// Faults of a section's survey.
bool IsSurveyFault(const std::string& kind) {
  return kind == "no-survey" || kind == "survey-off-line" || kind == "station-conflict" ||
         kind == "too-many-points" || kind == "bank-line-miss";
}

// A place along a chain of points, by distance from its first.
geometry::Point2 Along(const std::vector<double>& xy, double distance) {
  for (size_t k = 0; k + 3 < xy.size(); k += 2) {
    const double piece = std::hypot(xy[k + 2] - xy[k], xy[k + 3] - xy[k + 1]);
    if (distance <= piece || k + 4 >= xy.size()) {
      const double t = piece > 0 ? distance / piece : 0;
      return {xy[k] + t * (xy[k + 2] - xy[k]), xy[k + 1] + t * (xy[k + 3] - xy[k + 1])};
    }
    distance -= piece;
  }
  return {xy[0], xy[1]};
}

double ChainLength(const std::vector<double>& xy) {
  double length = 0;
  for (size_t k = 0; k + 3 < xy.size(); k += 2) {
    length += std::hypot(xy[k + 2] - xy[k], xy[k + 3] - xy[k + 1]);
  }
  return length;
}

// A section's survey: a channel between two banks at a quarter and three
// quarters of the line, with noise. Stations from the line's first vertex.
std::vector<std::array<double, 2>> SurveyAcross(double length, int32_t points, Random& random) {
  std::vector<std::array<double, 2>> out;
  const double bed = random.Uniform(8, 10), top = random.Uniform(12, 13);
  for (int32_t k = 0; k < points; ++k) {
    const double t = points > 1 ? static_cast<double>(k) / (points - 1) : 0;
    const double jitter =
        k == 0 || k == points - 1 ? 0 : random.Uniform(-0.3, 0.3) / std::max(points - 1, 1);
    const double station = length * (t + jitter);
    const double u = std::fabs(station / length - 0.5);  // 0 mid-channel, 0.25 at a bank
    const double z = u < 0.25 ? bed + (top - bed) * (u / 0.25) * (u / 0.25) : top + (u - 0.25) * 4;
    out.push_back({station, z + random.Uniform(-0.05, 0.05)});
  }
  return out;
}

// The first section given a fault, and the sections between two faulted
// ones: faults that reach a neighbour (the one before) never meet.
constexpr int32_t kFirstFaulted = 4, kFaultSpacing = 4;

}  // namespace

const std::vector<std::string> kFaultKinds{"no-reach",
                                           "no-current-reach",
                                           "several-current-reaches",
                                           "reach-tag-unreadable",
                                           "no-profile",
                                           "several-profiles",
                                           "no-centre-point",
                                           "several-centre-points",
                                           "tag-restorable",
                                           "tag-lost",
                                           "tag-too-short",
                                           "tag-unreadable",
                                           "duplicate-section-layer",
                                           "duplicate-section-number",
                                           "unknown-reach",
                                           "no-crossing",
                                           "several-crossings",
                                           "chainage-mismatch",
                                           "bearing-mismatch",
                                           "chainage-order",
                                           "sections-cross",
                                           "chainage-beyond-reach",
                                           "no-survey",
                                           "survey-off-line",
                                           "station-conflict",
                                           "too-many-points",
                                           "bank-line-miss"};

std::vector<std::string> FaultsNamed(const std::string& text) {
  std::vector<std::string> kinds;
  if (text == "none") return kinds;
  if (text == "all") {
    for (const std::string& kind : kFaultKinds) {
      if (kind != "no-reach" && kind != "no-current-reach") kinds.push_back(kind);
    }
    return kinds;
  }
  size_t from = 0;
  for (;;) {
    const size_t comma = text.find(',', from);
    const std::string kind = text.substr(from, comma == std::string::npos ? comma : comma - from);
    if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return kinds;
}

int32_t SectionsNeeded(const std::vector<std::string>& faults) {
  int32_t section_faults = 0;
  for (const std::string& kind : faults) {
    if (std::find(kFaultKinds.begin(), kFaultKinds.end(), kind) == kFaultKinds.end()) {
      std::string kinds;
      for (const std::string& k : kFaultKinds) kinds += " " + k;
      throw std::invalid_argument("\"" + kind +
                                  "\" is not a kind of fault; the kinds are:" + kinds);
    }
    if (!IsReachFault(kind)) ++section_faults;
  }
  return section_faults == 0 ? 0 : kFirstFaulted + kFaultSpacing * (section_faults - 1) + 2;
}

std::vector<InjectedFault> GenerateRiver(host::Document& doc, const RiverShape& shape,
                                         std::vector<GeneratedSection>* survey) {
  Random random(shape.seed);
  // The survey draws from a stream of its own, so that the rest of the river
  // is the same with or without it.
  Random survey_random(shape.seed ^ 0x5e77e7ull);
  const int32_t n = shape.sections < 0 ? 0 : shape.sections;
  std::vector<InjectedFault> injected;
  auto wanted = [&](const char* kind) {
    return shape.faults &&
           std::find(shape.faults->begin(), shape.faults->end(), kind) != shape.faults->end();
  };
  // Section faults in the order asked for, each on its own section.
  std::map<int32_t, std::string> fault_at;
  if (shape.faults) {
    int32_t next = kFirstFaulted;
    for (const std::string& kind : *shape.faults) {
      if (IsReachFault(kind)) continue;
      fault_at[next] = kind;
      next += kFaultSpacing;
    }
  } else {
    fault_at[5] = "tag-restorable";
  }
  int32_t survey_points = std::max(shape.survey, 0);
  if (survey_points == 0 && shape.faults &&
      std::any_of(shape.faults->begin(), shape.faults->end(), IsSurveyFault)) {
    survey_points = kSurveyForFaults;
  }
  // The bank lines, each a run of points, one per surveyed section; a run
  // ends where a bank line misses a section.
  std::vector<std::vector<double>> bank_runs[2] = {{{}}, {{}}};

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
  auto segment_length = [&](size_t k) {
    return geometry::SegmentLength(
        std::hypot(coords[2 * k + 2] - coords[2 * k], coords[2 * k + 3] - coords[2 * k + 1]),
        bulges[k]);
  };
  double reach_length = 0;
  for (size_t k = 0; k < bulges.size(); ++k) reach_length += segment_length(k);

  const auto centre = Polyline(doc, "Centreline", coords);
  for (size_t i = 0; i < bulges.size(); ++i) centre->SetBulge(static_cast<int32_t>(i), bulges[i]);
  // A tributary: a second reach, not current.
  const auto tributary =
      Polyline(doc, "Centreline", {kEast + 200, kNorth + 300, kEast + 260, kNorth + 40});
  if (wanted("no-reach")) {
    injected.push_back({"no-reach", "", {}, {centre->Handle(), tributary->Handle()}});
  } else {
    const bool current = !wanted("no-current-reach");
    if (!shape.untagged) TagReach(*centre, "1", current, "Photos\\Reach 1");
    if (!current) injected.push_back({"no-current-reach", "1", {}, {centre->Handle()}});
    const bool also_current = wanted("several-current-reaches");
    if (!shape.untagged) TagReach(*tributary, "2", also_current, "Photos\\Reach 2");
    if (also_current) {
      injected.push_back(
          {"several-current-reaches", "2", {}, {centre->Handle(), tributary->Handle()}});
    }
  }
  if (wanted("reach-tag-unreadable")) {
    // A third reach whose tag ends after its number.
    const auto broken =
        Polyline(doc, "Centreline", {kEast - 300, kNorth - 300, kEast - 200, kNorth - 320});
    broken->SetXData({1001, 1000, 1071}, {Variant("TEV"), Variant("REACH"), Variant("3")});
    injected.push_back({"reach-tag-unreadable", "3", {}, {broken->Handle()}});
  }

  // Sections stand at increasing chainages: walk the centre line once.
  size_t segment = 0;
  double walked = 0;
  geometry::Point2 previous_centre{}, previous_right{};
  for (int32_t i = 1; i <= n; ++i) {
    const std::string number = std::to_string(i);
    const double chainage = kSpacing * i;
    while (segment < bulges.size() && walked + segment_length(segment) < chainage) {
      walked += segment_length(segment++);
    }
    if (segment >= bulges.size()) break;
    const geometry::SegmentPoint at = geometry::PointOnSegment(
        coords[2 * segment], coords[2 * segment + 1], coords[2 * segment + 2],
        coords[2 * segment + 3], bulges[segment], chainage - walked);
    // Across the river: perpendicular to the direction of flow, left bank first.
    const double across = at.bearing + kPi / 2;
    const double half_width = random.Uniform(12, 30);
    const int32_t points = 5 + random.Below(5);
    std::vector<double> profile;
    for (int32_t k = 0; k < points; ++k) {
      const double offset = half_width - 2 * half_width * k / (points - 1);
      const double jitter = k == 0 || k == points - 1 ? 0 : random.Uniform(-0.2, 0.2);
      profile.push_back(at.x + offset * std::cos(across) + jitter);
      profile.push_back(at.y + offset * std::sin(across) + jitter);
    }
    const double compass = std::fmod(450.0 - (across - kPi) * 180 / kPi, 360.0);
    SectionTag tag;
    tag.number = number;
    tag.chainage = Variant(chainage);
    tag.bearing = host::RoundToEven(compass, 3);
    tag.title = i % 7 == 0 ? "Bridge upstream face" : i % 11 == 0 ? "Z" : "Natural";
    tag.name = "XS" + number;
    tag.water = host::MakeDate(2012, 6, 1 + i % 28);
    const geometry::Point2 right{profile[profile.size() - 2], profile.back()};

    const auto fault = fault_at.find(i);
    const std::string kind = fault == fault_at.end() ? "" : fault->second;
    InjectedFault record{kind, "1", {number}, {}};
    bool profile_tagged = true, point_tagged = true;
    if (kind == "no-crossing") {
      // Moved along itself onto its left bank.
      for (size_t k = 0; k < profile.size(); k += 2) {
        profile[k] += (half_width + 10) * std::cos(across);
        profile[k + 1] += (half_width + 10) * std::sin(across);
      }
    } else if (kind == "several-crossings") {
      // Beside the chord of the next bend, on the side the bend bulges to,
      // so that the straight line cuts the bend twice.
      size_t bend = segment;
      while (bend < bulges.size() && bulges[bend] == 0.0) ++bend;
      if (bend == bulges.size()) {
        bend = segment;
        while (bend > 0 && bulges[bend] == 0.0) --bend;
      }
      // Every other segment bends, so there is always one.
      if (bulges[bend] == 0.0) throw std::logic_error("the centre line has no bend");
      const double sx = coords[2 * bend], sy = coords[2 * bend + 1];
      const double ex = coords[2 * bend + 2], ey = coords[2 * bend + 3];
      const double chord = std::hypot(ex - sx, ey - sy);
      const double side = bulges[bend] > 0 ? 1.0 : -1.0;  // a positive bulge bulges right
      const double nx = side * (ey - sy) / chord, ny = -side * (ex - sx) / chord;
      const double shift = std::fabs(bulges[bend]) * chord / 4;
      profile = {sx + nx * shift, sy + ny * shift, ex + nx * shift, ey + ny * shift};
    } else if (kind == "sections-cross") {
      // From its own left bank through the previous section's right half.
      const double mx = (previous_centre[0] + previous_right[0]) / 2;
      const double my = (previous_centre[1] + previous_right[1]) / 2;
      const double dx = mx - profile[0], dy = my - profile[1];
      const double reach = std::hypot(dx, dy);
      profile = {profile[0], profile[1], mx + 10 * dx / reach, my + 10 * dy / reach};
      record.sections.push_back(std::to_string(i - 1));
    } else if (kind == "chainage-mismatch") {
      tag.chainage = Variant(chainage + 37.5);
    } else if (kind == "chainage-order") {
      tag.chainage = Variant(chainage - 1.5 * kSpacing);
      record.sections.push_back(std::to_string(i - 1));
    } else if (kind == "chainage-beyond-reach") {
      tag.chainage = Variant(reach_length + 30);
    } else if (kind == "bearing-mismatch") {
      tag.bearing = std::fmod(tag.bearing + 25, 360.0);
    } else if (kind == "unknown-reach") {
      tag.reach = "9";
    } else if (kind == "duplicate-section-number") {
      tag.number = std::to_string(i - 1);
      record.sections.push_back(tag.number);
    } else if (kind == "tag-too-short") {
      tag.items = 6;
    } else if (kind == "tag-unreadable") {
      // A letter O typed for a zero: text where the number should be.
      tag.chainage = Variant(host::FormatFixed(chainage, 1) + "O");
      tag.chainage_code = 1000;
    } else if (kind == "tag-restorable") {
      profile_tagged = false;
    } else if (kind == "tag-lost") {
      profile_tagged = point_tagged = false;
    }

    const std::string profile_layer = model::SectionLayer(number, model::kProfileLayer);
    const std::string centre_layer = model::SectionLayer(number, model::kSectionCenterLayer);
    doc.Layers()->Add(profile_layer);
    if (kind != "no-profile") {
      const auto line = Polyline(doc, profile_layer, profile);
      if (profile_tagged && !shape.untagged) TagSection(*line, tag);
      record.handles.push_back(line->Handle());
      if (kind == "several-profiles") {
        const auto extra = Polyline(doc, profile_layer, {at.x, at.y, at.x + 1, at.y + 1});
        record.handles.push_back(extra->Handle());
      }
    }
    doc.Layers()->Add(centre_layer);
    if (kind != "no-centre-point") {
      const auto center = doc.ModelSpace()->AddPoint({at.x, at.y, 0});
      center->SetLayer(centre_layer);
      if (point_tagged && !shape.untagged) TagSection(*center, tag);
      record.handles.push_back(center->Handle());
      if (kind == "several-centre-points") {
        const auto extra = doc.ModelSpace()->AddPoint({at.x + 1, at.y, 0});
        extra->SetLayer(centre_layer);
        record.handles.push_back(extra->Handle());
      }
    }
    for (const std::string_view suffix :
         {model::kSectionLineLayer, model::kSurveyLayer, model::kSurveyLpsoLayer}) {
      doc.Layers()->Add(model::SectionLayer(number, suffix));
    }
    if (kind == "duplicate-section-layer") {
      doc.Layers()->Add(model::SectionLayer(number, model::kSectionLineLayer) + "_old");
    }
    if (survey_points > 0 && kind != "no-profile" && kind != "no-survey") {
      const double across_length = ChainLength(profile);
      GeneratedSection generated{number, across_length,     {},
                                 {},     across_length / 4, 3 * across_length / 4};
      generated.original = SurveyAcross(across_length, std::max(survey_points, 2), survey_random);
      for (size_t k = 0; k < generated.original.size(); ++k) {
        if (k % 2 == 0 || k + 1 == generated.original.size()) {
          generated.processed.push_back(generated.original[k]);
        }
      }
      if (kind == "too-many-points") {
        generated.processed = SurveyAcross(across_length, 520, survey_random);
      }
      auto draw = [&](const std::vector<std::array<double, 2>>& taken, std::string_view suffix) {
        std::vector<double> xyz;
        for (const auto& [station, z] : taken) {
          const geometry::Point2 p = Along(profile, station);
          xyz.insert(xyz.end(), {p[0], p[1], z});
        }
        if (kind == "survey-off-line" && suffix == model::kSurveyLpsoLayer) {
          // One point two units downstream of the line.
          xyz[3] += 2 * std::cos(at.bearing);
          xyz[4] += 2 * std::sin(at.bearing);
        }
        if (kind == "station-conflict" && suffix == model::kSurveyLpsoLayer) {
          xyz.insert(xyz.begin() + 6, {xyz[3], xyz[4], xyz[5] + 0.5});
        }
        const auto poly = doc.ModelSpace()->Add3DPoly(xyz);
        poly->SetLayer(model::SectionLayer(number, suffix));
        if (IsSurveyFault(kind)) record.handles.push_back(poly->Handle());
      };
      draw(generated.original, model::kSurveyLayer);
      draw(generated.processed, model::kSurveyLpsoLayer);
      for (int side = 0; side < 2; ++side) {
        if (kind == "bank-line-miss" && side == 0) {
          bank_runs[side].emplace_back();
          continue;
        }
        const geometry::Point2 bank =
            Along(profile, side == 0 ? across_length / 4 : 3 * across_length / 4);
        bank_runs[side].back().insert(bank_runs[side].back().end(), {bank[0], bank[1]});
      }
      if (survey != nullptr) survey->push_back(std::move(generated));
    }
    if (!kind.empty() && shape.faults) injected.push_back(std::move(record));
    previous_centre = {at.x, at.y};
    previous_right = right;

    // Clutter: survey points, bank lines and notes.
    for (int32_t k = 0; k < shape.clutter; ++k) {
      const double px = at.x + random.Uniform(-40, 40);
      const double py = at.y + random.Uniform(-40, 40);
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
  for (const auto& runs : bank_runs) {
    for (const std::vector<double>& run : runs) {
      if (run.size() >= 4) Polyline(doc, kBankLinesLayer, run);
    }
  }
  doc.Layers()->Add("Temp");
  return injected;
}

std::string InjectedJson(const std::vector<InjectedFault>& injected) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& f : injected) {
    list.push_back({{"kind", f.kind},
                    {"reach", f.reach.empty() ? nlohmann::json(nullptr) : nlohmann::json(f.reach)},
                    {"sections", f.sections},
                    {"handles", f.handles}});
  }
  return list.dump(2) + "\n";
}

std::string RiverFile(const RiverShape& shape) {
  const auto app = dxf::NewApplication();
  const Ref<host::Document> doc = app->Documents()->Add();
  GenerateRiver(*doc, shape);
  return dxf::WriteDrawing(*doc);
}

}  // namespace palvane::generator
