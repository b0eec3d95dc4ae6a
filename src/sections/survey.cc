#include "sections/survey.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include "along/station.h"
#include "geometry/densify.h"
#include "host/convert.h"
#include "host/wildcard.h"
#include "model/layer_names.h"
#include "model/lookup.h"
#include "model/river.h"
#include "sections/survey_points.h"

namespace palvane::sections {

using geometry::PolylineIndex;
using host::Ref;

namespace {

// Arcs become chords within this of the arc, as the check draws them.
constexpr double kPathTolerance = 1e-4;
// Stations closer than this are one station.
constexpr double kSameStation = 1e-6;

// The distances a survey is read with, given in metres and held in the
// drawing's units.
struct Lengths {
  explicit Lengths(double metres_per_unit)
      : output(0.01 / metres_per_unit),
        centre(0.001 / metres_per_unit),
        end_reach(0.001 / metres_per_unit),
        bank_snap(0.01 / metres_per_unit),
        noise(0.01 / metres_per_unit) {}
  // Lines written out have arcs as chords within `output`; centre lines,
  // along which stations are measured, within a millimetre.
  double output, centre;
  // A bank line is taken to reach this far past its ends; a shared survey
  // point this much nearer one section line than another belongs to it.
  double end_reach;
  // A survey point this near a bank line's crossing is the bank; otherwise
  // a point is put into the survey there.
  double bank_snap;
  // A survey's own noise: a bed that falls less does not tell the flow.
  double noise;
};
constexpr const char* kSelectionSet = "PalvaneSurvey";

double Cross(const Point2& a, const Point2& b) { return a[0] * b[1] - a[1] * b[0]; }

struct BankLine {
  PolylineIndex index;
  std::vector<Point2> path;
};

// The centre line as a model's stream network takes it: arcs as chords
// within a millimetre, and each point's distance along the line itself
// (arcs followed), so that stations along it lose nothing to the chords.
void CentreOf(const geometry::PlanPolyline& plan, double tolerance, SurveyReach& reach) {
  const size_t n = plan.vertices.size();
  const size_t segments = plan.closed ? n : n - 1;
  double along = 0;
  for (size_t i = 0; i < segments; ++i) {
    const Point2& a = plan.vertices[i];
    const Point2& b = plan.vertices[(i + 1) % n];
    const double bulge = i < plan.bulges.size() ? plan.bulges[i] : 0.0;
    const size_t before = reach.centre.size();
    geometry::AppendSegment(a, b, bulge, tolerance, reach.centre);
    const size_t pieces = reach.centre.size() - before;
    const double length = geometry::SegmentLength(std::hypot(b[0] - a[0], b[1] - a[1]), bulge);
    for (size_t k = 0; k < pieces; ++k) {
      reach.centre_along.push_back(along +
                                   length * static_cast<double>(k) / static_cast<double>(pieces));
    }
    along += length;
  }
  reach.centre.push_back(plan.closed ? plan.vertices[0] : plan.vertices[n - 1]);
  reach.centre_along.push_back(along);
}

// Which end chainages run from, as the sections' tags agree: the end whose
// distances along the centre line come nearer the tagged chainages.
template <class Sections, class Of>
bool ChainageFromEnd(const Sections& sections, double length, Of&& of) {
  double forward = 0, backward = 0;
  for (const auto& item : sections) {
    const CrossSection& s = of(item);
    forward += std::fabs(s.chainage - s.along);
    backward += std::fabs(s.chainage - (length - s.along));
  }
  return backward < forward;
}

class Reader {
  // A section read and not yet put in order.
  struct Pending {
    size_t reach;
    CrossSection x;
    Point2 down_centre;  // the centre line's direction of travel at the crossing
    Point2 across;       // the section line's there
    PolylineIndex line;  // the section line
  };

 public:
  Reader(const Ref<host::Document>& drawing, const SurveyOptions& options)
      : drawing_(drawing),
        options_(options),
        len_(options.metres_per_unit),
        utility_(drawing->Utility()) {}

  Survey Run(const model::River& river) {
    model::DeleteSetAfter cleanup(drawing_, kSelectionSet);
    ReadShared();
    std::map<std::string, size_t> reach_of;  // by number
    for (const model::RiverReach& r : river.reaches) {
      if (options_.reach && r.record.ReachNo != *options_.reach) continue;
      if (reach_of.count(r.record.ReachNo) != 0 || !r.record.Profile) continue;
      const auto plan = along::ReadWorldPlan(*r.record.Profile, *utility_);
      if (!plan || plan->vertices.size() < 2) continue;
      SurveyReach reach;
      reach.number = r.record.ReachNo;
      reach.handle = r.handle;
      CentreOf(*plan, len_.centre, reach);
      centres_.emplace_back(*plan);
      reach.length = centres_.back().Length();
      reach_of[reach.number] = survey_.reaches.size();
      survey_.reaches.push_back(std::move(reach));
    }
    for (const model::RiverSection& s : river.sections) {
      if (!s.complete || s.profiles.empty()) continue;
      const auto it = reach_of.find(s.record.ReachNo);
      if (it == reach_of.end()) {
        OtherLine(s);
        continue;
      }
      ReadSection(s, it->second);
    }
    AssignSharedPoints();
    for (size_t r = 0; r < survey_.reaches.size(); ++r) Finish(r);
    if (survey_.shared_ambiguous > 0) {
      survey_.notes.push_back(std::to_string(survey_.shared_ambiguous) + " point" +
                              (survey_.shared_ambiguous == 1 ? " of " : "s of ") +
                              options_.points_layer +
                              (survey_.shared_ambiguous == 1 ? " is" : " are") +
                              " equally near two section lines and joins neither");
    }
    return std::move(survey_);
  }

 private:
  void ReadShared() {
    if (!options_.points_layer.empty()) {
      shared_.emplace(PointsOnLayer(drawing_, kSelectionSet, options_.points_layer, *utility_));
    }
    for (const std::string& layer : options_.bank_lines_layers) ReadBankLines(layer);
    survey_.bank_lines = banks_.size();
  }

  // Polylines of any form, 3D ones (break lines) in plan. Each is
  // drawn on a millimetre past its ends, so that a line drawn to end on a
  // section crosses it whatever the rounding at the drawing's coordinates.
  void ReadBankLines(const std::string& layer) {
    const auto entities = model::SelectAll(drawing_, kSelectionSet, {8},
                                           {host::Variant(host::EscapeWildcards(layer))});
    for (const auto& e : entities) {
      std::optional<geometry::PlanPolyline> plan = along::ReadLinePlan(*e, *utility_);
      if (!plan || plan->vertices.size() < 2) continue;
      if (!plan->closed) ExtendEnds(*plan);
      banks_.push_back({PolylineIndex(*plan), geometry::Densify(plan->vertices, plan->bulges,
                                                                plan->closed, kPathTolerance)});
    }
  }

  // The points `end_reach` before a chain's first point and past its last,
  // along its direction there; none at an end where it has no length.
  std::pair<std::optional<Point2>, std::optional<Point2>> EndsBeyond(
      const std::vector<Point2>& path) const {
    auto beyond = [this](const Point2& from, const Point2& to) -> std::optional<Point2> {
      const double dx = to[0] - from[0], dy = to[1] - from[1];
      const double d = std::hypot(dx, dy);
      if (!(d > 0)) return std::nullopt;
      return Point2{to[0] + dx / d * len_.end_reach, to[1] + dy / d * len_.end_reach};
    };
    std::optional<Point2> start, end;
    for (size_t i = 1; i < path.size() && !start; ++i) start = beyond(path[i], path[0]);
    for (size_t i = path.size() - 1; i-- > 0 && !end;) end = beyond(path[i], path.back());
    return {start, end};
  }

  // A straight piece of `end_reach` added before a line's first vertex and
  // after its last.
  void ExtendEnds(geometry::PlanPolyline& plan) const {
    const auto [start, end] =
        EndsBeyond(geometry::Densify(plan.vertices, plan.bulges, false, kPathTolerance));
    if (start) {
      plan.vertices.insert(plan.vertices.begin(), *start);
      plan.bulges.insert(plan.bulges.begin(), 0.0);
    }
    if (end) {
      plan.bulges.back() = 0.0;  // the new piece leaving the old end is straight
      plan.vertices.push_back(*end);
      plan.bulges.push_back(0.0);
    }
  }

  // The same for a chain of points.
  void ExtendPath(std::vector<Point2>& path) const {
    const auto [start, end] = EndsBeyond(path);
    if (start) path.insert(path.begin(), *start);
    if (end) path.push_back(*end);
  }

  void Skip(const std::string& reach, const std::string& number, std::string text) {
    survey_.skipped.push_back({reach, number, std::move(text)});
  }

  void ReadSection(const model::RiverSection& s, size_t reach_index) {
    const PolylineIndex& centre = centres_[reach_index];
    CrossSection x;
    x.reach = survey_.reaches[reach_index].number;
    x.number = s.number;
    x.name = s.record.SectionName;
    x.chainage = s.record.Chainage;
    x.handle = s.handle;
    if (s.record.WaterDate.serial != 0) x.water_date = host::DateToText(s.record.WaterDate);
    const auto plan = along::ReadWorldPlan(*s.profiles.front(), *utility_);
    if (!plan || plan->vertices.size() < 2) {
      return Skip(x.reach, x.number, "its profile does not lie flat in plan");
    }
    const std::vector<Point2> path =
        geometry::Densify(plan->vertices, plan->bulges, plan->closed, kPathTolerance);
    x.cut = geometry::Densify(plan->vertices, plan->bulges, plan->closed, len_.output);
    const PolylineIndex line(*plan);
    x.length = line.Length();
    if (!(x.length > 0)) return Skip(x.reach, x.number, "its profile has no length");
    const auto crossings = geometry::CrossingsOfPath(centre, path);
    if (crossings.size() != 1) {
      others_.push_back({line, x.cut});
      return Skip(x.reach, x.number,
                  crossings.empty() ? "its section line does not cross the centre line"
                                    : "its section line crosses the centre line more than once");
    }
    x.along = crossings.front().chainage;
    // The crossing on the section line, and the river's direction there.
    const auto on_line = line.Nearest(crossings.front().point);
    const double middle = on_line ? on_line->chainage : x.length / 2;
    const double theta = DirectionAt(centre, x.along);
    const Point2 down_centre{std::cos(theta), std::sin(theta)};
    // Which way the line runs where it crosses: a bent line's ends may say
    // otherwise.
    const double phi = DirectionAt(line, middle);
    const Point2 across{std::cos(phi), std::sin(phi)};
    if (std::fabs(Cross(down_centre, across)) < 1e-9) {
      others_.push_back({line, x.cut});
      return Skip(x.reach, x.number,
                  "its line runs along the centre line where they cross: its banks cannot be told");
    }

    ReadPoints(s.number, line, x);
    ReadBanks(line, path, middle, x);
    pending_.push_back({reach_index, std::move(x), down_centre, across, line});
  }

  // The direction of travel along a line at a chainage, radians from east:
  // found from the segments' running distances, not by a search of them all.
  static double DirectionAt(const PolylineIndex& line, double chainage) {
    const auto& segments = line.segments();
    auto it = std::upper_bound(segments.begin(), segments.end(), chainage,
                               [](double c, const geometry::PlanSegment& s) { return c < s.from; });
    if (it != segments.begin()) --it;
    // A crossing at a vertex takes the direction of the segment leaving it.
    while (std::next(it) != segments.end() && it->length == 0) ++it;
    double bearing = 0;
    it->PointAt(std::clamp(chainage - it->from, 0.0, it->length), &bearing);
    return bearing;
  }

  void ReadPoints(const std::string& number, const PolylineIndex& line, CrossSection& x) {
    std::vector<RawPoint> raw;
    const std::vector<std::string_view> suffixes =
        options_.original_data
            ? std::vector<std::string_view>{model::kSurveyLayer}
            : std::vector<std::string_view>{model::kSurveyLpsoLayer, model::kSurveyLinvLayer};
    for (std::string_view suffix : suffixes) {
      auto more =
          PointsOnLayer(drawing_, kSelectionSet, model::SectionLayer(number, suffix), *utility_);
      raw.insert(raw.end(), std::make_move_iterator(more.begin()),
                 std::make_move_iterator(more.end()));
    }
    for (const RawPoint& r : raw) {
      const Point2 p{r.p[0], r.p[1]};
      const auto place = line.Nearest(p);
      if (!place || !std::isfinite(r.p[2])) continue;
      if (place->distance > options_.within) {
        x.off_line.push_back({p, place->distance, r.layer});
        continue;
      }
      x.points.push_back({place->chainage, r.p[2], place->point, place->distance, r.layer, 0});
    }
  }

  // A section line that is no section of the reaches read (another reach's,
  // or one left out): it still takes the shared points nearest it.
  void OtherLine(const model::RiverSection& s) {
    if (!shared_ || s.profiles.empty()) return;
    const auto plan = along::ReadWorldPlan(*s.profiles.front(), *utility_);
    if (!plan || plan->vertices.size() < 2) return;
    others_.push_back({PolylineIndex(*plan),
                       geometry::Densify(plan->vertices, plan->bulges, plan->closed, len_.output)});
  }

  // Each shared survey point joins the one section line nearest it, within
  // `within`: where sections stand closer than that (across a weir), a
  // point joining both would give each the other's ground. A point equally
  // near two lines (within `end_reach`) joins neither and is counted; one
  // nearest a line that is no section read here joins none. A point that
  // misses its nearest section by less than `within` again (a thalweg shot
  // a little off the line) is left out and reported with its offset, as a
  // section's own points are: points between the sections lie farther.
  void AssignSharedPoints() {
    if (!shared_) return;
    struct Nearest {
      size_t line = 0;  // pending_'s index, then others_' after them
      geometry::NearestPlace place;
      double second = std::numeric_limits<double>::infinity();
    };
    const double reported = 2 * options_.within;
    std::map<const RawPoint*, Nearest> nearest;  // in drawing order
    for (size_t k = 0; k < pending_.size() + others_.size(); ++k) {
      const bool read = k < pending_.size();
      const PolylineIndex& line = read ? pending_[k].line : others_[k - pending_.size()].line;
      const std::vector<Point2>& cut = read ? pending_[k].x.cut : others_[k - pending_.size()].cut;
      for (const RawPoint* r : shared_->Near(cut, reported)) {
        if (!std::isfinite(r->p[2])) continue;
        const auto place = line.Nearest({r->p[0], r->p[1]});
        if (!place || place->distance > reported) continue;
        const auto [it, first] = nearest.try_emplace(r, Nearest{k, *place});
        Nearest& n = it->second;
        if (first) continue;
        if (place->distance < n.place.distance) {
          n.second = n.place.distance;
          n.line = k, n.place = *place;
        } else {
          n.second = std::min(n.second, place->distance);
        }
      }
    }
    for (const auto& [r, n] : nearest) {
      if (n.place.distance > options_.within) {
        if (n.line < pending_.size()) {
          pending_[n.line].x.off_line.push_back({{r->p[0], r->p[1]}, n.place.distance, r->layer});
        }
        continue;
      }
      if (n.second - n.place.distance <= len_.end_reach) {
        ++survey_.shared_ambiguous;
        continue;
      }
      if (n.line >= pending_.size()) continue;
      pending_[n.line].x.points.push_back(
          {n.place.chainage, r->p[2], n.place.point, n.place.distance, r->layer, 0});
    }
  }

  // The crossings of the bank lines with the section: the nearest on each
  // side of the centre line.
  void ReadBanks(const PolylineIndex& line, const std::vector<Point2>& path, double middle,
                 CrossSection& x) {
    x.left_bank = 0;
    x.right_bank = x.length;
    if (options_.bank_lines_layers.empty()) return;
    // The section reaches a millimetre past its ends too: a bank line drawn
    // through its end vertex crosses it.
    std::vector<Point2> reaching = path;
    ExtendPath(reaching);
    std::optional<double> before, after;
    for (size_t b = 0; b < banks_.size(); ++b) {
      for (const auto& c : geometry::CrossingsOfPath(banks_[b].index, reaching)) {
        const auto at = line.Nearest(c.point);
        if (!at) continue;
        const int side = at->chainage < middle ? 0 : at->chainage > middle ? 1 : -1;
        if (side == 0 && (!before || at->chainage > *before)) before = at->chainage;
        if (side == 1 && (!after || at->chainage < *after)) after = at->chainage;
        if (side >= 0 && (side == 0 ? *before : *after) == at->chainage) {
          x.bank_line[static_cast<size_t>(side)] = static_cast<int>(b);
          x.bank_along[static_cast<size_t>(side)] = c.chainage;
          x.bank_at[static_cast<size_t>(side)] = at->point;
        }
      }
    }
    if (before) x.left_bank = *before;
    if (after) x.right_bank = *after;
    x.left_bank_crossed = before.has_value();
    x.right_bank_crossed = after.has_value();
  }

  // Orientation, order and markers of each section, then the sections in
  // order downstream with their reach lengths.
  void Finish(size_t reach_index) {
    SurveyReach& reach = survey_.reaches[reach_index];
    std::vector<Pending*> mine;
    for (Pending& p : pending_) {
      if (p.reach == reach_index) mine.push_back(&p);
    }
    reach.chainage_from_end = ChainageFromEnd(
        mine, reach.length, [](const Pending* p) -> const CrossSection& { return p->x; });
    reach.bed = BedFallOf(mine);
    reach.bed.noise = len_.noise;
    reach.flow = ChooseFlow(reach);
    // Flow along the centre line's own direction when chainage falls that way.
    const bool falls_forward = reach.chainage_from_end;
    const bool flow_forward = reach.flow == Flow::kAgainstChainage ? falls_forward : !falls_forward;
    reach.flows_forward = flow_forward;
    std::erase_if(mine, [&](const Pending* p) {
      if (p->x.points.size() >= options_.least_points) return false;
      Skip(p->x.reach, p->x.number,
           "it has " + std::to_string(p->x.points.size()) +
               " survey points; a cross-section needs at least " +
               std::to_string(options_.least_points));
      return true;
    });
    for (Pending* p : mine) {
      CrossSection& x = p->x;
      Point2 down = p->down_centre;
      if (!flow_forward) down = {-down[0], -down[1]};
      // Looking downstream, the left bank lies counter-clockwise of the
      // flow: a line running that way starts at the right bank.
      if (Cross(down, p->across) > 0) Turn(x);
      Order(x);
    }
    std::stable_sort(mine.begin(), mine.end(), [&](const Pending* a, const Pending* b) {
      return flow_forward ? a->x.along < b->x.along : a->x.along > b->x.along;
    });
    for (size_t i = 0; i + 1 < mine.size(); ++i) {
      CrossSection& x = mine[i]->x;
      const CrossSection& next = mine[i + 1]->x;
      const double channel = std::fabs(next.along - x.along);
      x.reach_lengths = {channel, channel, channel};
      if (!banks_.empty()) {
        if (auto d = BankDistance(x, next, 0)) x.reach_lengths[0] = *d;
        if (auto d = BankDistance(x, next, 1)) x.reach_lengths[2] = *d;
      }
    }
    for (Pending* p : mine) reach.sections.push_back(std::move(p->x));
  }

  // The lowest level of each section with points, fitted by least squares
  // against where it crosses the centre line.
  static BedFall BedFallOf(const std::vector<Pending*>& sections) {
    BedFall bed;
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, low = 0, high = 0, first = 0, last = 0;
    for (const Pending* p : sections) {
      if (p->x.points.empty()) continue;
      double lowest = std::numeric_limits<double>::infinity();
      for (const SurveyPoint& q : p->x.points) lowest = std::min(lowest, q.elevation);
      const double a = p->x.along;
      if (bed.sections++ == 0) low = high = lowest, first = last = a;
      low = std::min(low, lowest), high = std::max(high, lowest);
      first = std::min(first, a), last = std::max(last, a);
      n += 1, sx += a, sy += lowest, sxx += a * a, sxy += a * lowest;
    }
    bed.relief = high - low;
    const double spread = n * sxx - sx * sx;
    if (bed.sections >= 2 && spread > 0) {
      const double slope = (n * sxy - sx * sy) / spread;
      bed.fall = -slope * (last - first);
    }
    return bed;
  }

  // The way a reach flows: as asked, with a warning when the bed then
  // clearly rises downstream; for kAuto the way its bed clearly falls, else
  // against chainage, with a note either way.
  Flow ChooseFlow(const SurveyReach& reach) {
    const BedFall& bed = reach.bed;
    // Chainage grows forward along the centre line unless it runs from its end.
    const bool falls_with_chainage = (bed.fall > 0) != reach.chainage_from_end;
    const Flow downhill = falls_with_chainage ? Flow::kWithChainage : Flow::kAgainstChainage;
    const std::string fall = Fixed3(std::fabs(bed.fall)) +
                             " over the sections, against a relief of " + Fixed3(bed.relief);
    if (options_.flow != Flow::kAuto) {
      if (bed.clear() && options_.flow != downhill) {
        survey_.notes.push_back("warning: reach " + reach.number + ": flow " +
                                FlowName(options_.flow) + " makes its bed rise downstream by " +
                                fall);
      }
      return options_.flow;
    }
    if (bed.clear()) {
      survey_.notes.push_back("reach " + reach.number + ": flow " + FlowName(downhill) +
                              ", the way its bed falls (" + fall + ")");
      return downhill;
    }
    // A reach with no section surveyed has nothing to tell, nor to write.
    if (bed.sections > 0) {
      survey_.notes.push_back("reach " + reach.number +
                              ": its bed does not tell which way it flows; flow taken "
                              "against-chainage");
    }
    return Flow::kAgainstChainage;
  }

  static std::string Fixed3(double d) { return host::FormatFixedWithPoint(d, 3); }

  void Turn(CrossSection& x) {
    x.turned = true;
    ++survey_.turned;
    std::reverse(x.cut.begin(), x.cut.end());
    // Read from the other bank, points at one station come in the other
    // order too: a wall drawn top to bottom from the right bank is bottom to
    // top from the left.
    std::reverse(x.points.begin(), x.points.end());
    for (SurveyPoint& p : x.points) p.station = x.length - p.station;
    const double left = x.length - x.right_bank, right = x.length - x.left_bank;
    std::swap(x.left_bank_crossed, x.right_bank_crossed);
    std::swap(x.bank_line[0], x.bank_line[1]);
    std::swap(x.bank_along[0], x.bank_along[1]);
    std::swap(x.bank_at[0], x.bank_at[1]);
    x.left_bank = left, x.right_bank = right;
  }

  // Points by station, drawing order kept at one station; repeated points
  // dropped; banks and the lowest point between them marked.
  void Order(CrossSection& x) const {
    std::stable_sort(
        x.points.begin(), x.points.end(),
        [](const SurveyPoint& a, const SurveyPoint& b) { return a.station < b.station; });
    std::vector<SurveyPoint> kept;
    for (SurveyPoint& p : x.points) {
      if (!kept.empty() && std::fabs(p.station - kept.back().station) <= kSameStation) {
        ++x.same_station;
        if (p.elevation != kept.back().elevation) {
          ++x.conflicting;
        } else {
          continue;  // the same point twice
        }
      }
      kept.push_back(std::move(p));
    }
    x.points = std::move(kept);
    if (x.points.empty()) return;
    BankPoint(x, x.left_bank, x.bank_at[0], kLeftBank);
    const size_t right = BankPoint(x, x.right_bank, x.bank_at[1], kRightBank);
    // The left bank's point, wherever the right bank's insertion put it.
    size_t left = 0;
    while (left < x.points.size() && (x.points[left].markers & kLeftBank) == 0) ++left;
    // The lowest point between the banks; of several as low (a flat bed,
    // a weir's crest), the one nearest the middle, so that the bed's mark
    // falls on a bank only where the bank is lowest.
    const double middle = (x.left_bank + x.right_bank) / 2;
    size_t lowest = left;
    for (size_t i = left; i <= right && i < x.points.size(); ++i) {
      const SurveyPoint& p = x.points[i];
      const SurveyPoint& best = x.points[lowest];
      if (p.elevation < best.elevation ||
          (p.elevation == best.elevation &&
           std::fabs(p.station - middle) < std::fabs(best.station - middle))) {
        lowest = i;
      }
    }
    x.points[lowest].markers |= kLowest;
  }

  // Marks the point that is the bank at `station` (`place` on the line) and
  // returns its index: the survey point within `bank_snap` of it, else a point
  // put in there between its neighbours (its elevation interpolated, marked
  // kInserted), else, beyond the survey's ends, the nearest end. The bank's station becomes the
  // point's, so that every format puts it in the same place.
  size_t BankPoint(CrossSection& x, double& station, const Point2& place, uint8_t marker) const {
    auto& points = x.points;
    const auto after =
        std::lower_bound(points.begin(), points.end(), station,
                         [](const SurveyPoint& p, double s) { return p.station < s; });
    size_t at = static_cast<size_t>(after - points.begin());
    size_t near = at < points.size() ? at : points.size() - 1;
    if (at > 0 &&
        (at == points.size() || station - points[at - 1].station < points[at].station - station)) {
      near = at - 1;
    }
    if (std::fabs(points[near].station - station) > len_.bank_snap && at > 0 &&
        at < points.size()) {
      const SurveyPoint& a = points[at - 1];
      const SurveyPoint& b = points[at];
      const double t = (station - a.station) / (b.station - a.station);
      SurveyPoint p;
      p.station = station;
      p.elevation = a.elevation + t * (b.elevation - a.elevation);
      p.at = place;
      p.layer = a.layer;
      p.markers = kInserted;
      points.insert(points.begin() + static_cast<std::ptrdiff_t>(at), p);
      near = at;
    }
    points[near].markers |= marker;
    station = points[near].station;
    return near;
  }

  // The distance along the bank line of one side between where it crosses
  // two sections; nothing when one bank line does not cross both.
  static std::optional<double> BankDistance(const CrossSection& a, const CrossSection& b,
                                            size_t side) {
    if (a.bank_line[side] < 0 || a.bank_line[side] != b.bank_line[side]) return std::nullopt;
    return std::fabs(a.bank_along[side] - b.bank_along[side]);
  }

  const Ref<host::Document>& drawing_;
  const SurveyOptions& options_;
  const Lengths len_;
  Ref<host::Utility> utility_;
  Survey survey_;
  std::vector<PolylineIndex> centres_;
  std::optional<SharedPoints> shared_;
  // Section lines that are no section read here, for the shared points.
  struct OtherSectionLine {
    PolylineIndex line;
    std::vector<Point2> cut;
  };
  std::vector<OtherSectionLine> others_;
  std::vector<BankLine> banks_;
  std::vector<Pending> pending_;
};

}  // namespace

Survey ReadSurvey(const Ref<host::Document>& drawing, host::MessageSink& sink,
                  const SurveyOptions& options) {
  return ReadSurvey(drawing, model::ReadRiver(drawing, sink), options);
}

Survey ReadSurvey(const Ref<host::Document>& drawing, const model::River& river,
                  const SurveyOptions& options) {
  return Reader(drawing, options).Run(river);
}

double ChainageAt(const SurveyReach& reach, double along) {
  return reach.chainage_from_end ? reach.length - along : along;
}

double RiverStation(const Survey&, const SurveyReach& reach, double chainage) {
  return reach.flow == Flow::kAgainstChainage ? chainage : reach.length - chainage;
}

std::optional<Flow> FlowNamed(std::string_view name) {
  for (const Flow flow : {Flow::kAgainstChainage, Flow::kWithChainage, Flow::kAuto}) {
    if (name == FlowName(flow)) return flow;
  }
  return std::nullopt;
}

const char* FlowName(Flow flow) {
  switch (flow) {
    case Flow::kAgainstChainage:
      return "against-chainage";
    case Flow::kWithChainage:
      return "with-chainage";
    case Flow::kAuto:
      return "auto";
  }
  return "";
}

}  // namespace palvane::sections
