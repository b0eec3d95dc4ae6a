#include "tagging/layer_lines.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "host/convert.h"
#include "host/fold.h"
#include "host/message_sink.h"
#include "host/symbol_name.h"
#include "host/text.h"
#include "model/layer_names.h"
#include "model/river.h"
#include "model/tags.h"
#include "tagging/edits.h"
#include "tagging/measure.h"

namespace palvane::tagging {
namespace {

// Lines closer than this in chainage are one section.
constexpr double kSameChainage = 1e-3;

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

}  // namespace

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

}  // namespace palvane::tagging
