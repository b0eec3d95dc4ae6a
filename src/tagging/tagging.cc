#include "tagging/tagging.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <numbers>

#include "along/station.h"
#include "geometry/densify.h"
#include "geometry/polyline.h"
#include "host/convert.h"
#include "host/fold.h"
#include "host/symbol_name.h"
#include "host/text.h"
#include "host/wildcard.h"
#include "model/layer_names.h"
#include "model/lookup.h"
#include "model/measures.h"
#include "model/problem_codes.h"
#include "model/river.h"
#include "model/tags.h"

namespace palvane::tagging {
namespace {

using host::Variant;

// The selection set tagging queries through, deleted after each query:
// the sets the exports and the user keep are left alone.
constexpr const char* kSetName = "PalvaneTag";

// How far a profile's arcs may stray from the chords they are measured by,
// as the check measures them.
constexpr double kPathTolerance = 1e-4;
// Lines closer than this in chainage are one section.
constexpr double kSameChainage = 1e-3;

std::vector<host::Ref<host::Entity>> SelectPart(const host::Ref<host::Document>& drawing,
                                                model::SectionPart part,
                                                const std::string& number) {
  const model::DeleteSetAfter delete_after(drawing, kSetName);
  return model::SelectSectionPart(drawing, kSetName, part, number);
}

model::River ReadReaches(const host::Ref<host::Document>& drawing, host::MessageSink& sink) {
  model::RiverOptions options = model::RiverOptions::ReachesOnly();
  options.selection_set = kSetName;
  return model::ReadRiver(drawing, sink, options);
}

// Whether the drawing has a layer of `name` (letter case aside).
bool HasLayer(const host::Ref<host::Document>& drawing, const std::string& name) {
  try {
    drawing->Layers()->Item(name);
    return true;
  } catch (const host::Error& e) {
    if (e.number() != host::Error::kKeyNotFound) throw;
    return false;
  }
}

// The layer of `name`, made when the drawing has none; whether it was made.
bool EnsureLayer(const host::Ref<host::Document>& drawing, const std::string& name) {
  if (HasLayer(drawing, name)) return false;
  drawing->Layers()->Add(name);
  return true;
}

// Whether the drawing has a layer of `name` and it is locked: its entities
// cannot be changed, nor can entities be put on it.
bool IsLocked(const host::Ref<host::Document>& drawing, const std::string& name) {
  if (!HasLayer(drawing, name)) return false;
  return drawing->Layers()->Item(name)->Lock();
}

// TagError before anything is written when `entity` (called `what`) lies on
// a locked layer.
void RefuseLocked(const host::Ref<host::Document>& drawing, const host::Ref<host::Entity>& entity,
                  const std::string& what) {
  const std::string layer = entity->Layer();
  if (IsLocked(drawing, layer)) {
    throw TagError(what + " " + entity->Handle() + " lies on locked layer " + layer +
                   ": its tag cannot be written; unlock the layer first");
  }
}

std::string Replaced(std::string pattern, const std::string& number) {
  for (size_t at = pattern.find("{n}"); at != std::string::npos;
       at = pattern.find("{n}", at + number.size())) {
    pattern.replace(at, 3, number);
  }
  return pattern;
}

std::string Num(double value) { return host::FormatFixedWithPoint(value, 3); }

// A profile measured against the centre line: where it crosses, at what
// chainage, and its bearing; or why it cannot be.
struct Measured {
  Outcome outcome = Outcome::kTagged;
  double chainage = 0, bearing = 0;
  geometry::Point2 at{};
  std::string why;
};

// A section line's plan: a lightweight polyline's in the world, or a heavy
// polyline's (`drawn`) when there is no lightweight one yet.
std::optional<geometry::PlanPolyline> SectionPlan(const host::Ref<host::Document>& drawing,
                                                  const host::Ref<host::LWPolyline>& line,
                                                  const host::Ref<host::Entity>& drawn) {
  if (line) return along::ReadWorldPlan(*line, *drawing->Utility());
  return along::ReadLinePlan(*drawn, *drawing->Utility());
}

// What a heavy polyline is called in what tagging says of it.
std::string HeavyName(const host::Ref<host::Entity>& drawn) {
  return drawn.Is<host::Polyline3D>() ? "3D polyline" : "2D polyline";
}

// For a line that misses the centre line: where the centre line, drawn on
// past an end in its own direction there, would meet it within the line's
// width (a centre line drawn to end just before the last section is a
// common slip), by how much it stops short, as the end of a sentence; else
// nothing.
std::string ShortOfEnd(const geometry::PolylineIndex& centre,
                       const std::vector<geometry::Point2>& path) {
  if (centre.segments().empty() || centre.closed() || path.size() < 2) return "";
  const geometry::PolylineIndex line(
      geometry::PlanPolyline{path, std::vector<double>(path.size(), 0.0), false});
  const double reach = line.Length();
  // The direction of travel leaving a segment's start, and reaching its end.
  auto leaving = [](const geometry::PlanSegment& s) {
    return s.bulge != 0 && s.chord > 0 ? s.start_tangent
                                       : std::atan2(s.end[1] - s.start[1], s.end[0] - s.start[0]);
  };
  auto reaching = [&](const geometry::PlanSegment& s) {
    return s.bulge != 0 && s.chord > 0 ? s.start_tangent + s.turn * s.sweep : leaving(s);
  };
  const geometry::PlanSegment& first = centre.segments().front();
  const geometry::PlanSegment& last = centre.segments().back();
  const struct {
    geometry::Point2 at;
    double direction;
    const char* name;
  } ends[] = {{first.start, leaving(first) + std::numbers::pi, "first"},
              {last.end, reaching(last), "last"}};
  std::optional<std::pair<double, const char*>> shortest;
  for (const auto& end : ends) {
    const geometry::Point2 beyond{end.at[0] + reach * std::cos(end.direction),
                                  end.at[1] + reach * std::sin(end.direction)};
    for (const geometry::Crossing& c : line.Crossings(end.at, beyond)) {
      const double gap = std::hypot(c.point[0] - end.at[0], c.point[1] - end.at[1]);
      if (!shortest || gap < shortest->first) shortest.emplace(gap, end.name);
    }
  }
  if (!shortest) return "";
  return ": the centre line's " + std::string(shortest->second) + " vertex stops " +
         Num(shortest->first) + " short of it; extend the centre line across it";
}

Measured Measure(const std::optional<geometry::PlanPolyline>& line, const std::string& handle,
                 const geometry::PolylineIndex& centre, const std::string& reach_no,
                 const SectionTagOptions& options) {
  Measured m;
  if (!line || line->vertices.size() < 2 || line->vertices.front() == line->vertices.back()) {
    m.outcome = Outcome::kNotInPlan;
    m.why = "its profile " + handle + " does not lie flat in plan, or has no length";
    return m;
  }
  const auto path = geometry::Densify(line->vertices, line->bulges, line->closed, kPathTolerance);
  const auto crossings = geometry::CrossingsOfPath(centre, path);
  if (crossings.empty()) {
    m.outcome = Outcome::kNoCrossing;
    m.why = "its profile " + handle + " does not cross the centre line of reach " + reach_no +
            ShortOfEnd(centre, path);
    return m;
  }
  if (crossings.size() > 1) {
    m.outcome = Outcome::kSeveralCrossings;
    m.why = "its profile " + handle + " crosses the centre line of reach " + reach_no + " " +
            std::to_string(crossings.size()) + " times, at chainages";
    for (size_t i = 0; i < crossings.size(); ++i) {
      m.why += (i ? ", " : " ") + Num(crossings[i].chainage);
    }
    return m;
  }
  const geometry::Crossing& crossing = crossings.front();
  m.chainage = options.from_end ? centre.Length() - crossing.chainage : crossing.chainage;
  m.at = crossing.point;
  const geometry::Point2& first = line->vertices.front();
  const geometry::Point2& last = line->vertices.back();
  m.bearing = model::BearingOf(model::kConventions[options.convention],
                               std::atan2(last[1] - first[1], last[0] - first[0]));
  return m;
}

// The polylines of a layer, in drawing order.
std::vector<host::Ref<host::Entity>> PolylinesOn(const host::Ref<host::Document>& drawing,
                                                 const std::string& layer) {
  const model::DeleteSetAfter delete_after(drawing, kSetName);
  return model::SelectAll(drawing, kSetName, {0, 8},
                          {Variant("LWPOLYLINE,POLYLINE"), Variant(host::EscapeWildcards(layer))});
}

}  // namespace

host::Ref<host::LWPolyline> PlanCopy(const host::Ref<host::Document>& drawing, host::Entity& line) {
  const auto plan = along::ReadLinePlan(line, *drawing->Utility());
  if (!plan) {
    throw TagError("polyline " + line.Handle() + " does not lie flat in plan: no plan copy of it");
  }
  if (plan->vertices.size() < 2) {
    throw TagError("polyline " + line.Handle() + " has fewer than two vertices: no line to tag");
  }
  std::vector<double> flat;
  for (const geometry::Point2& p : plan->vertices) {
    flat.push_back(p[0]);
    flat.push_back(p[1]);
  }
  const auto copy = drawing->ModelSpace()->AddLightWeightPolyline(flat);
  for (size_t i = 0; i < plan->bulges.size(); ++i) {
    if (plan->bulges[i] != 0) copy->SetBulge(static_cast<int32_t>(i), plan->bulges[i]);
  }
  copy->SetLayer(line.Layer());
  copy->SetColor(line.Color());
  if (plan->closed) copy->SetClosed(true);
  return copy;
}

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kTagged:
      return "tagged";
    case Outcome::kRetagged:
      return "retagged";
    case Outcome::kKept:
      return "kept";
    case Outcome::kNoProfile:
      return "no-profile";
    case Outcome::kNotInPlan:
      return "not-in-plan";
    case Outcome::kNoCrossing:
      return "no-crossing";
    case Outcome::kSeveralCrossings:
      return "several-crossings";
    case Outcome::kNumberDiffers:
      return "section-number-mismatch";
    case Outcome::kOtherReach:
      return "other-reach";
    case Outcome::kLeftAlone:
      return "left-alone";
    case Outcome::kNoNumber:
      return "no-number";
  }
  return "tagged";
}

ReachTagged TagReach(const host::Ref<host::Document>& drawing,
                     const host::Ref<host::LWPolyline>& line, const std::string& number,
                     bool current, const std::optional<std::string>& photos, bool dry_run) {
  int32_t value = 0;
  const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
  if (number.empty() || parsed.ec != std::errc() || parsed.ptr != number.data() + number.size()) {
    throw TagError("the reach number \"" + number + "\" is no whole number within 32 bits");
  }
  // As the tag gives it back: "007" is reach 7.
  const std::string reach_no = std::to_string(value);
  const std::string handle = line->Handle();
  if (model::CarriesSectionTag(line->GetXData(model::kTagApp))) {
    throw TagError("polyline " + handle +
                   " carries a section tag: it is a section's profile, not a centre line");
  }
  host::SilentMessageSink silent;
  const model::River river = ReadReaches(drawing, silent);
  if (current && !river.unread_reaches.empty()) {
    throw TagError("the reach tag of polyline " + river.unread_reaches.front().handle +
                   " cannot be read (" + river.unread_reaches.front().error.description() +
                   "): it may be current, and only one reach may be");
  }
  ReachTagged out;
  out.number = reach_no;
  const model::RiverReach* before = nullptr;  // the line's own reach tag
  for (const model::RiverReach& reach : river.reaches) {
    if (reach.handle == handle) {
      before = &reach;
      continue;
    }
    if (reach.record.ReachNo == reach_no) {
      throw TagError("reach " + reach_no + " is polyline " + reach.handle +
                     " already; give another --number");
    }
  }
  if (before != nullptr && before->record.ReachNo != reach_no) {
    // Its sections would be left on no reach.
    host::SilentMessageSink quiet;
    model::RiverOptions all;
    all.selection_set = kSetName;
    size_t sections = 0;
    for (const model::RiverSection& section : model::ReadRiver(drawing, quiet, all).sections) {
      if (section.Has(3) && section.record.ReachNo == before->record.ReachNo) ++sections;
    }
    if (sections > 0) {
      throw TagError("polyline " + handle + " is reach " + before->record.ReachNo + ", and " +
                     std::to_string(sections) +
                     " sections are tagged with that number: renumbering it would leave them "
                     "on no reach");
    }
  }
  try {
    RefuseLocked(drawing, line, "polyline");
    for (const model::RiverReach& reach : river.reaches) {
      if (!current || reach.handle == handle || !reach.record.Status) continue;
      RefuseLocked(drawing, reach.record.Profile, "reach " + reach.record.ReachNo + ", polyline");
    }
    for (const model::RiverReach& reach : river.reaches) {
      if (!current || reach.handle == handle || !reach.record.Status) continue;
      out.no_longer_current.push_back(reach.record.ReachNo + " (polyline " + reach.handle + ")");
      if (dry_run) continue;
      model::TEVReach record = reach.record;
      record.Status = false;
      record.AssignValues();
    }
    // A reach tagged again keeps what is not given anew.
    out.current = current || (before != nullptr && before->record.Status);
    if (!dry_run) {
      model::TEVReach record;
      record.Profile = line;
      record.ReachNo = reach_no;
      record.Status = out.current;
      record.PhotoDirectory =
          photos ? *photos : (before != nullptr ? before->record.PhotoDirectory : "");
      record.AssignValues();
    }
  } catch (const host::Error& e) {
    throw TagError("the reach tags cannot be written: " + e.description());
  }
  return out;
}

namespace {

// A section to tag: its number, and for a line of --from-layer the line.
struct Candidate {
  std::string number;
  host::Ref<host::LWPolyline> line;  // null: the polyline on its profile layer
  // Or a heavy polyline of the layer, whose plan copy becomes the section
  // line; a 3D one is the section's own survey as well.
  host::Ref<host::Entity> drawn;
};

// A section measured and to be written.
struct Pending {
  size_t section;  // in SectionsTagged::sections
  model::TEVSection record;
  host::Ref<host::LWPolyline> move;  // a line to move onto its profile layer
  bool make_point;                   // it has no centre point
  geometry::Point2 at;
  std::string renamed;            // the number its layers are renamed to, if they are
  host::Ref<host::Entity> drawn;  // a heavy polyline to make the section line of
};

// A layer name's key as the drawing compares names: letter case aside.
std::string NameKey(const std::string& name) {
  std::string key = host::HasNonAscii(name) ? host::FoldedText(name) : name;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// The section a layer named N + a section suffix belongs to, or nothing.
std::optional<std::string> OwnerOf(const std::string& name) {
  for (const std::string_view suffix :
       {model::kProfileLayer, model::kSectionLineLayer, model::kSectionCenterLayer,
        model::kSurveyLayer, model::kSurveyLpsoLayer, model::kSurveyLinvLayer}) {
    if (name.size() >= suffix.size() &&
        NameKey(name.substr(name.size() - suffix.size())) == NameKey(std::string(suffix))) {
      return name.substr(0, name.size() - suffix.size());
    }
  }
  return std::nullopt;
}

// The names the pending sections' layers get from `prefix` and their
// chainages (as renameLayerstoChainage names them), refused as a whole when
// the drawing would refuse one, when one would rename another section's
// layer, or when two would collide.
void PlanRenames(const host::Ref<host::Document>& drawing, const std::string& prefix,
                 const SectionsTagged& out, std::vector<Pending>& pending) {
  std::vector<std::string> names;
  {
    const host::Ref<host::Layers> layers = drawing->Layers();
    const int32_t count = layers->Count();
    for (int32_t i = 0; i < count; ++i) names.push_back(layers->Item(i)->Name());
  }
  // The layers writing makes count as well.
  for (const Pending& p : pending) {
    const std::string& number = out.sections[p.section].number;
    for (const std::string_view suffix :
         {model::kProfileLayer, model::kSectionLineLayer, model::kSectionCenterLayer}) {
      const std::string name = model::SectionLayer(number, suffix);
      const bool there = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
        return NameKey(n) == NameKey(name);
      });
      if (!there) names.push_back(name);
    }
  }
  std::map<std::string, std::string> renamed;  // old name -> new name
  for (Pending& p : pending) {
    const std::string& number = out.sections[p.section].number;
    if (number.find('_') != std::string::npos) {
      throw TagError("section " + number +
                     ": a number holding \"_\" names no layers of its own to rename");
    }
    p.renamed = prefix + host::FormatFixed(p.record.Chainage, 0);
    for (const std::string& name : names) {
      const size_t underscore = name.find('_');
      if (underscore == std::string::npos || name.compare(0, underscore, number) != 0 ||
          underscore != number.size()) {
        continue;
      }
      if (const auto owner = OwnerOf(name); owner && *owner != number) {
        throw TagError("renaming the layers of section " + number + " would rename layer " + name +
                       " of section " + *owner + " as well: rename them by hand");
      }
      const std::string to = p.renamed + name.substr(underscore);
      try {
        host::CheckSymbolName(to, "layer");
      } catch (const host::Error& e) {
        throw TagError("--rename-layers \"" + prefix +
                       "\" makes layer names the drawing refuses: " + e.description());
      }
      renamed.emplace(name, to);
    }
  }
  // No two layers may end with one name, nor a renamed one take the name of
  // one that stays.
  std::map<std::string, std::string> taken;  // key -> the layer that will have it
  for (const std::string& name : names) {
    const auto it = renamed.find(name);
    const std::string final_name = it == renamed.end() ? name : it->second;
    const auto [at, fresh] = taken.emplace(NameKey(final_name), name);
    if (!fresh) {
      throw TagError("--rename-layers would give layers " + at->second + " and " + name +
                     " one name, " + final_name +
                     ": sections whose chainages round to one whole number, or a layer of "
                     "that name already");
    }
  }
}

// A text in the drawing that may number a line: what it says, where it
// stands in plan.
struct NumberText {
  std::string text;
  geometry::Point2 at;
};

// Multi-line text without its formatting, its lines joined by spaces.
std::string PlainMText(std::string_view s) {
  std::string out;
  host::ForEachMTextPiece(
      s, [&](std::string_view piece) { out += piece; }, [&] { out += ' '; });
  return out;
}

std::string Trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return std::string(s);
}

// Every TEXT and MTEXT of model space (a sheet's texts stand in its own
// units), with where each is placed.
std::vector<NumberText> NumberTexts(const host::Ref<host::Document>& drawing) {
  std::vector<NumberText> out;
  const host::Ref<host::Block> model = drawing->ModelSpace();
  const int32_t count = model->Count();
  for (int32_t i = 0; i < count; ++i) {
    const host::Ref<host::Entity> entity = model->Item(i);
    host::Point3 p;
    std::string text;
    if (entity.Is<host::Text>()) {
      const auto line = entity.As<host::Text>();
      p = host::PlacementOf(*line);
      text = line->TextString();
    } else if (entity.Is<host::MText>()) {
      const auto m = entity.As<host::MText>();
      p = m->InsertionPoint();
      text = PlainMText(m->TextString());
    } else {
      continue;
    }
    out.push_back({Trimmed(text), {p[0], p[1]}});
  }
  return out;
}

// The number the text nearest `at` within `within` gives, or why none does.
std::optional<std::string> NumberNear(const std::vector<NumberText>& texts,
                                      const geometry::Point2& at, double within, std::string& why) {
  const NumberText* nearest = nullptr;
  bool tie = false;
  double best = within;
  for (const NumberText& t : texts) {
    const double d = std::hypot(t.at[0] - at[0], t.at[1] - at[1]);
    if (d > best) continue;
    if (nearest == nullptr || d < best) {
      nearest = &t;
      tie = false;
    } else if (t.text != nearest->text) {
      tie = true;  // two texts as near that say different things
    }
    best = d;
  }
  if (nearest == nullptr) {
    why = "no TEXT or MTEXT within " + host::FormatFixed(within, 3) + " of its first vertex";
    return std::nullopt;
  }
  if (tie) {
    why = "two texts that differ lie equally near its first vertex";
    return std::nullopt;
  }
  if (nearest->text.empty()) {
    why = "the text nearest its first vertex is empty";
    return std::nullopt;
  }
  try {
    host::CheckSymbolName(model::SectionLayer(nearest->text, model::kProfileLayer), "layer");
  } catch (const host::Error&) {
    why = "the text nearest its first vertex, \"" + nearest->text +
          "\", cannot be a section number in a layer name";
    return std::nullopt;
  }
  return nearest->text;
}

// The sections of reach `reach_no` tagged already, by chainage: a line of
// the layer at one of these chainages is that section over again (the
// heavy polyline a section line was copied from stays on the layer).
std::vector<std::pair<double, std::string>> TaggedChainages(
    const host::Ref<host::Document>& drawing, const std::string& reach_no) {
  std::vector<std::pair<double, std::string>> out;
  // What the lookups say of the river is the check's business, not this.
  host::SilentMessageSink quiet;
  model::RiverOptions options;
  options.selection_set = kSetName;
  model::ForEachSection(drawing, quiet, options, [&](model::RiverSection& section) {
    if (section.Has(4) && section.record.ReachNo == reach_no) {
      out.emplace_back(section.record.Chainage, section.number);
    }
  });
  return out;
}

// Which end of the centre line `centre` the chainages of reach `reach_no`'s
// tagged sections run from, as they agree: each section whose line crosses
// the centre line once is measured there, as the check measures it.
model::ChainageEnd ChainageEndOfReach(const host::Ref<host::Document>& drawing,
                                      const std::string& reach_no,
                                      const geometry::PolylineIndex& centre, double tolerance) {
  std::vector<std::pair<double, double>> measured;
  host::SilentMessageSink quiet;  // the lookups' messages are the check's business
  model::RiverOptions options;
  options.selection_set = kSetName;
  model::ForEachSection(drawing, quiet, options, [&](model::RiverSection& section) {
    if (!section.Has(4) || section.record.ReachNo != reach_no || section.profiles.empty()) return;
    const auto line = along::ReadWorldPlan(*section.profiles.front(), *drawing->Utility());
    if (!line || line->vertices.size() < 2) return;
    const auto path = geometry::Densify(line->vertices, line->bulges, line->closed, kPathTolerance);
    const auto crossings = geometry::CrossingsOfPath(centre, path);
    if (crossings.size() == 1)
      measured.emplace_back(section.record.Chainage, crossings[0].chainage);
  });
  return model::ChainageEndOf(measured, centre.Length(), tolerance);
}

// The lines of the layer `options.from_layer` that cross the centre line
// once, numbered in the order of their chainages. Lines that carry a tag
// already, or lie at the chainage of a section tagged already, are left
// alone, and lines that cannot be sections go to `left`. A number any of
// whose layers exists already is refused.
std::vector<Candidate> LayerLines(const host::Ref<host::Document>& drawing,
                                  const SectionTagOptions& options,
                                  const geometry::PolylineIndex& centre,
                                  const std::string& reach_no, std::vector<TaggedSection>& left) {
  struct Line {
    host::Ref<host::LWPolyline> line;  // null for a heavy polyline
    host::Ref<host::Entity> drawn;     // the heavy polyline its plan copy is made of
    std::string handle;
    std::optional<geometry::PlanPolyline> plan;
    Measured m;
  };
  const auto found = PolylinesOn(drawing, options.from_layer);
  if (found.empty()) throw TagError("layer " + options.from_layer + " holds no polyline");
  std::vector<Line> lines;
  std::vector<std::pair<double, std::string>> tagged;  // read at the first line measured
  bool tagged_read = false;
  for (const auto& entity : found) {
    const std::string handle = entity->Handle();
    auto leave = [&](Outcome outcome, std::string why) {
      left.push_back({"", handle, outcome, 0, 0, {}, std::move(why), "", {}});
    };
    if (!entity->GetXData(model::kTagApp).empty()) {
      leave(Outcome::kLeftAlone, "it carries a \"TEV\" tag already: left where it is");
      continue;
    }
    Line l{nullptr, nullptr, handle, std::nullopt, {}};
    if (entity.Is<host::LWPolyline>()) {
      l.line = entity.As<host::LWPolyline>();
    } else if (entity.Is<host::Polyline3D>() || entity.Is<host::Polyline2D>()) {
      // Measured in plan; its plan copy becomes the section line when the
      // tags are written.
      l.drawn = entity;
    } else {
      leave(Outcome::kNotInPlan, "a polyline mesh, not a line");
      continue;
    }
    l.plan = SectionPlan(drawing, l.line, l.drawn);
    l.m = Measure(l.plan, l.handle, centre, reach_no, options);
    if (l.m.outcome != Outcome::kTagged) {
      left.push_back({"", l.handle, l.m.outcome, 0, 0, {}, l.m.why, "", {}});
      continue;
    }
    if (!tagged_read) tagged = TaggedChainages(drawing, reach_no), tagged_read = true;
    const auto same = std::find_if(tagged.begin(), tagged.end(), [&](const auto& t) {
      return std::fabs(t.first - l.m.chainage) <= kSameChainage;
    });
    if (same != tagged.end()) {
      left.push_back({"",
                      l.handle,
                      Outcome::kLeftAlone,
                      l.m.chainage,
                      l.m.bearing,
                      {},
                      "it lies at chainage " + Num(l.m.chainage) + ", where section " +
                          same->second + " is tagged already",
                      "",
                      {}});
      continue;
    }
    lines.push_back(std::move(l));
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return a.m.chainage < b.m.chainage; });
  std::vector<Candidate> out;
  if (options.numbers_from_text > 0) {
    const std::vector<NumberText> texts = NumberTexts(drawing);
    std::map<std::string, std::string> taken;  // by number folded: the line's handle
    for (const Line& l : lines) {
      std::string why;
      std::optional<std::string> number =
          NumberNear(texts, l.plan->vertices.front(), options.numbers_from_text, why);
      for (const std::string_view suffix :
           {model::kProfileLayer, model::kSectionLineLayer, model::kSectionCenterLayer}) {
        if (!number) break;
        const std::string layer = model::SectionLayer(*number, suffix);
        if (HasLayer(drawing, layer)) {
          why = "the text nearest its first vertex gives " + *number +
                ", a section the drawing has already (layer " + layer + ")";
          number.reset();
        }
      }
      if (number) {
        // Letter case aside, as the drawing's layer names.
        if (const auto [at, fresh] = taken.emplace(host::FoldedText(*number), l.handle); !fresh) {
          why = "the text nearest its first vertex gives " + *number + ", line " + at->second +
                "'s number already";
          number.reset();
        }
      }
      if (number) {
        out.push_back({*number, l.line, l.drawn});
      } else {
        left.push_back(
            {"", l.handle, Outcome::kNoNumber, l.m.chainage, l.m.bearing, {}, why, "", {}});
      }
    }
    return out;
  }
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string number =
        std::to_string(options.first + static_cast<int64_t>(k) * options.step);
    for (const std::string_view suffix :
         {model::kProfileLayer, model::kSectionLineLayer, model::kSectionCenterLayer}) {
      const std::string layer = model::SectionLayer(number, suffix);
      if (HasLayer(drawing, layer)) {
        throw TagError("section " + number + " exists already (layer " + layer +
                       "): give --first to number the new sections after it");
      }
    }
    out.push_back({number, lines[k].line, lines[k].drawn});
  }
  return out;
}

}  // namespace

SectionsTagged TagSections(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                           const SectionTagOptions& options, bool dry_run) {
  const model::River river = ReadReaches(drawing, sink);
  const model::RiverReach* reach = nullptr;
  if (options.reach.empty()) {
    reach = model::CurrentReach(river);
    if (reach == nullptr) {
      throw TagError(
          "the drawing has no current reach: tag its centre line first (palvane tag reach "
          "--current), or give --reach");
    }
  } else {
    for (const model::RiverReach& r : river.reaches) {
      if (r.record.ReachNo != options.reach) continue;
      if (reach == nullptr || r.record.Status) reach = &r;
    }
    if (reach == nullptr) throw TagError("the drawing has no reach " + options.reach);
  }
  const std::string& reach_no = reach->record.ReachNo;
  const auto plan = along::ReadWorldPlan(*reach->record.Profile, *drawing->Utility());
  if (!plan || plan->vertices.size() < 2) {
    throw TagError("the centre line of reach " + reach_no + " (polyline " + reach->handle +
                   ") does not lie flat in plan");
  }
  const geometry::PolylineIndex centre(*plan);
  SectionTagOptions measured_as = options;
  if (options.chainage_auto) {
    const model::ChainageEnd end =
        ChainageEndOfReach(drawing, reach_no, centre, options.chainage_tolerance);
    if (!end.known()) {
      throw TagError("no tagged section of reach " + reach_no +
                     " tells which end of its centre line its chainages run from: give "
                     "--chainage-from start or end");
    }
    measured_as.from_end = end.from_end();
  }

  SectionsTagged out{reach_no, reach->handle, measured_as.from_end, {}};
  std::vector<Candidate> candidates;
  std::vector<TaggedSection> left;  // lines of the layer not made sections
  if (!options.from_layer.empty()) {
    candidates = LayerLines(drawing, measured_as, centre, reach_no, left);
  } else {
    const host::Ref<host::Layers> layers = drawing->Layers();
    const int32_t count = layers->Count();
    for (int32_t i = 0; i < count; ++i) {
      if (auto number = model::SectionNumberOfProfileLayer(layers->Item(i)->Name())) {
        candidates.push_back({std::move(*number), nullptr, nullptr});
      }
    }
  }
  std::vector<Pending> pending;  // what is to be written, once all is measured
  for (const Candidate& candidate : candidates) {
    const std::string& number = candidate.number;
    TaggedSection& s = out.sections.emplace_back();
    s.number = number;
    host::Ref<host::LWPolyline> profile = candidate.line;
    if (!profile && !candidate.drawn) {
      const auto profiles = SelectPart(drawing, model::SectionPart::kProfile, number);
      if (profiles.empty()) {
        s.outcome = Outcome::kNoProfile;
        s.why = "layer " + model::SectionLayer(number, model::kProfileLayer) + " holds no polyline";
        continue;
      }
      profile = profiles.front().As<host::LWPolyline>();
    }
    // A heavy polyline's plan copy is made only once everything is measured
    // and allowed, when the tags are written: until then it is named.
    s.handle = profile ? profile->Handle() : candidate.drawn->Handle();
    // A line of the layer has a fresh number: no centre point yet.
    const auto points = candidate.line
                            ? std::vector<host::Ref<host::Entity>>{}
                            : SelectPart(drawing, model::SectionPart::kCenterPoint, number);
    // Its tag: its own, or the copy its centre point keeps.
    host::XData tag = profile ? profile->GetXData(model::kTagApp) : host::XData{};
    if (!model::CarriesSectionTag(tag)) {
      tag = points.empty() ? host::XData{} : points.front()->GetXData(model::kTagApp);
      if (!model::CarriesSectionTag(tag)) tag = {};
    }
    model::TEVSection record(sink);
    record.Profile = profile;
    bool loaded = false;
    if (!tag.empty()) {
      try {
        record.LoadFrom(tag);
        loaded = true;
      } catch (const host::Error&) {
        // Retagged, its unreadable items are written anew.
      }
      // The tags of another reach's sections are that reach's business.
      if (record.LoadedThrough(3) && record.ReachNo != reach_no) {
        s.outcome = Outcome::kOtherReach;
        s.chainage = record.Chainage;
        s.bearing = record.Bearing;
        s.why = "a section of reach " + record.ReachNo + ": left alone";
        continue;
      }
    }
    if (!tag.empty() && !options.retag) {
      s.outcome = Outcome::kKept;
      s.chainage = record.Chainage;
      s.bearing = record.Bearing;
      continue;
    }
    if (loaded && record.SectionNo != number) {
      s.outcome = Outcome::kNumberDiffers;
      s.why = "its tag gives the section number \"" + record.SectionNo +
              "\", which its layers do not: retag it by hand";
      continue;
    }
    const Measured m = Measure(SectionPlan(drawing, profile, candidate.drawn), s.handle, centre,
                               reach_no, measured_as);
    if (m.outcome != Outcome::kTagged) {
      s.outcome = m.outcome;
      s.why = m.why;
      continue;
    }
    s.chainage = m.chainage;
    s.bearing = m.bearing;
    s.outcome = tag.empty() ? Outcome::kTagged : Outcome::kRetagged;
    if (tag.empty()) {
      record.SectionNo = number;
      record.Title = options.title.value_or("");
      record.SectionName = Replaced(options.name_pattern.value_or("{n}"), number);
      if (options.water_date) record.WaterDate = *options.water_date;
      record.ThroughSection = options.through.value_or(false);
    } else {
      if (!loaded) record.SectionNo = number;
      if (options.title) record.Title = *options.title;
      if (options.name_pattern) record.SectionName = Replaced(*options.name_pattern, number);
      if (options.water_date) record.WaterDate = *options.water_date;
      if (options.through) record.ThroughSection = *options.through;
    }
    record.ReachNo = reach_no;
    record.Chainage = s.chainage;
    record.Bearing = s.bearing;
    // Nothing is written when any of it would reach a locked layer.
    if (profile) RefuseLocked(drawing, profile, "section " + number + ": profile");
    // The plan copy is made on the heavy polyline's layer, and a 3D one
    // moves: neither may be locked.
    if (candidate.drawn) {
      RefuseLocked(drawing, candidate.drawn,
                   "section " + number + ": " + HeavyName(candidate.drawn));
    }
    if (candidate.drawn.Is<host::Polyline3D>()) {
      const std::string layer = model::SectionLayer(number, model::kSurveyLayer);
      if (IsLocked(drawing, layer)) {
        throw TagError("section " + number + ": layer " + layer +
                       " is locked: nothing can be put on it; unlock the layer first");
      }
    }
    for (const auto& point : points) RefuseLocked(drawing, point, "section " + number + ": point");
    for (const auto suffix : {model::kProfileLayer, model::kSectionCenterLayer}) {
      const std::string layer = model::SectionLayer(number, suffix);
      const bool used =
          suffix == model::kProfileLayer ? candidate.line || candidate.drawn : points.empty();
      if (used && IsLocked(drawing, layer)) {
        throw TagError("section " + number + ": layer " + layer +
                       " is locked: nothing can be put on it; unlock the layer first");
      }
    }
    pending.push_back({out.sections.size() - 1, std::move(record), candidate.line, points.empty(),
                       m.at, "", candidate.drawn});
  }
  // Renamed layers are judged before anything is written.
  if (!options.rename_prefix.empty()) PlanRenames(drawing, options.rename_prefix, out, pending);
  for (Pending& p : pending) {
    TaggedSection& s = out.sections[p.section];
    const std::string& number = s.number;
    const std::string profile_layer = model::SectionLayer(number, model::kProfileLayer);
    const std::string line_layer = model::SectionLayer(number, model::kSectionLineLayer);
    const std::string centre_layer = model::SectionLayer(number, model::kSectionCenterLayer);
    const std::string survey_layer = model::SectionLayer(number, model::kSurveyLayer);
    const bool survey = p.drawn.Is<host::Polyline3D>();
    if (dry_run) {
      if (p.move || p.drawn) s.done.push_back("moved onto layer " + profile_layer);
      if (survey) s.done.push_back("3D polyline moved onto layer " + survey_layer);
      if (p.make_point) s.made.push_back("centre point");
      if (!p.renamed.empty()) s.made.push_back("layers renamed to " + p.renamed + "_...");
      continue;
    }
    try {
      if (p.drawn) {
        // The section line is the heavy polyline's plan copy, tagged.
        p.move = PlanCopy(drawing, *p.drawn);
        p.record.Profile = p.move;
        s.done.push_back("plan copy " + p.move->Handle() + " made of " + HeavyName(p.drawn) + " " +
                         s.handle);
        s.handle = p.move->Handle();
      }
      if (p.move) {
        EnsureLayer(drawing, profile_layer);
        p.move->SetLayer(profile_layer);
        s.done.push_back("moved onto layer " + profile_layer);
      }
      if (survey) {
        if (EnsureLayer(drawing, survey_layer)) s.made.push_back("layer " + survey_layer);
        p.drawn->SetLayer(survey_layer);
        s.done.push_back("3D polyline moved onto layer " + survey_layer);
      }
      if (EnsureLayer(drawing, line_layer)) s.made.push_back("layer " + line_layer);
      if (p.make_point) {
        if (EnsureLayer(drawing, centre_layer)) s.made.push_back("layer " + centre_layer);
        const auto point = drawing->ModelSpace()->AddPoint({p.at[0], p.at[1], 0});
        point->SetLayer(centre_layer);
        s.made.push_back("centre point " + point->Handle());
      }
      p.record.AssignValues(drawing);
      if (!p.renamed.empty()) {
        // Its layers, and the number its tag gives, become the chainage's.
        p.record.renameLayerstoChainage(options.rename_prefix);
        p.record.SectionNo = p.renamed;
        p.record.AssignValues(drawing);
        s.made.push_back("layers renamed to " + p.renamed + "_...");
      }
    } catch (const host::Error& e) {
      throw TagError("section " + number + " (profile " + s.handle +
                     "): its tag cannot be written: " + e.description());
    }
    s.renamed = p.renamed;
  }
  out.sections.insert(out.sections.end(), left.begin(), left.end());
  return out;
}

std::vector<FixWritten> WriteFixes(const host::Ref<host::Document>& drawing,
                                   host::MessageSink& sink, const std::vector<model::Fix>& fixes,
                                   const std::vector<std::string>& codes, bool dry_run) {
  // A dry run first: whatever refuses (a locked layer) refuses before any
  // fix is written.
  if (!dry_run) WriteFixes(drawing, sink, fixes, codes, true);
  std::vector<FixWritten> out;
  for (const model::Fix& fix : fixes) {
    if (std::find(codes.begin(), codes.end(), fix.code) == codes.end()) continue;
    FixWritten& w = out.emplace_back();
    w.code = fix.code;
    w.section = fix.section;
    w.handle = fix.handle;
    w.from = fix.from;
    w.to = fix.to;
    try {
      const auto profiles = SelectPart(drawing, model::SectionPart::kProfile, fix.section);
      if (profiles.empty() || profiles.front()->Handle() != fix.handle) {
        w.why = "its profile is no longer " + fix.handle;
        continue;
      }
      const auto& profile = profiles.front();
      const auto points = SelectPart(drawing, model::SectionPart::kCenterPoint, fix.section);
      const host::XData own = profile->GetXData(model::kTagApp);
      const host::XData copy =
          points.empty() ? host::XData{} : points.front()->GetXData(model::kTagApp);
      const bool lost = !model::CarriesSectionTag(own);
      if (lost && !model::CarriesSectionTag(copy)) {
        w.why = "neither its profile nor its centre point carries a section tag";
        continue;
      }
      if (fix.code == model::code::kTagRestorable) {
        if (!lost) {
          w.why = "its profile carries its tag again";
          continue;
        }
        RefuseLocked(drawing, profile, "section " + fix.section + ": profile");
        w.written = true;
        // The tag as the centre point keeps it, item for item.
        if (!dry_run) profile->SetXData(copy.codes, copy.values);
        continue;
      }
      // The one item changes, on every entity that carries the tag; every
      // other item stays as it is, even one that cannot be read.
      const size_t item = fix.code == model::code::kChainageMismatch ? 4 : 5;
      std::vector<std::pair<host::Ref<host::Entity>, host::XData>> owners;
      if (!lost) owners.emplace_back(profile, own);
      if (model::CarriesSectionTag(copy)) owners.emplace_back(points.front(), copy);
      for (const auto& [owner, tag] : owners) {
        if (tag.values.size() <= item) {
          w.why = "the tag of " + owner->Handle() + " has no item " + std::to_string(item);
          break;
        }
      }
      if (!w.why.empty()) continue;
      for (const auto& [owner, tag] : owners) {
        RefuseLocked(drawing, owner, "section " + fix.section + ": entity");
      }
      w.written = true;
      if (dry_run) continue;
      for (auto& [owner, tag] : owners) {
        tag.values[item] = host::Variant(fix.to);
        tag.codes[item] = 1040;
        owner->SetXData(tag.codes, tag.values);
      }
    } catch (const host::Error& e) {
      throw TagError("section " + fix.section + " (profile " + fix.handle +
                     "): its tag cannot be written: " + e.description());
    }
  }
  return out;
}

}  // namespace palvane::tagging
