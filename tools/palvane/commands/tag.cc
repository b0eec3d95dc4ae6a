// palvane tag: the way in for a drawing that carries no tags yet. "tag
// reach" writes a reach tag on a centre line; "tag sections" tags the
// sections whose profiles cross the reach, measured from their lines.

#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "command.h"
#include "console.h"
#include "destination.h"
#include "drawing_files.h"
#include "failure.h"
#include "host/convert.h"
#include "model/layer_names.h"
#include "model/measures.h"
#include "model/units.h"
#include "operation_host.h"
#include "outputs.h"
#include "tagging/tagging.h"

namespace palvane::tools {
namespace {

const std::string kProfile(model::kProfileLayer);

// ------------------------------------------------------------------ tag reach

struct ReachArgs {
  std::string drawing, handle, number, photos;
  bool current = false;
  Destination to;
};

int RunReach(const ReachArgs& a, const CLI::App& app) {
  a.to.CheckPaths(a.drawing);
  OpenedDrawing drawing(a.drawing);
  drawing.RefuseWithoutLightweightPolylines();
  tagging::ReachTagged tagged;
  std::optional<std::string> photos;
  if (app.count("--photos") > 0) photos = a.photos;
  std::string copy;
  try {
    const host::Ref<host::LWPolyline> line = drawing.PlanPolyline(a.handle, copy);
    tagged = tagging::TagReach(drawing.Seen(), line, a.number, a.current, photos, a.to.dry_run);
  } catch (const tagging::TagError& e) {
    throw Failure{2, e.what()};
  }
  if (!copy.empty()) {
    Say("polyline " + a.handle + " is a " + copy + " is tagged as the reach, and polyline " +
        a.handle + " is kept");
  }
  for (const std::string& reach : tagged.no_longer_current) {
    Say("reach " + reach + (a.to.dry_run ? " would be" : " is") + " no longer current");
  }
  Print("polyline " + a.handle + ": reach " + tagged.number + (tagged.current ? " (current)" : "") +
            (a.to.dry_run ? ", not written (dry run)" : "") + "\n",
        "the reach");
  a.to.Write(drawing);
  return 0;
}

// ------------------------------------------------------------------ tag sections

struct SectionArgs {
  std::string drawing, reach, chainage_from = "start", bearing = "north-degrees", title,
                              section_name, water_date, through;
  std::string from_layer, rename_layers;
  int64_t first = 1, step = 1;
  double numbers_from_text = 0;
  bool retag = false, json = false;
  Destination to;
};

// The options of the arguments; a Failure (status 2) names a bad value.
tagging::SectionTagOptions OptionsOf(const SectionArgs& a, const CLI::App& app) {
  tagging::SectionTagOptions o;
  o.reach = a.reach;
  o.from_end = a.chainage_from == "end";
  o.chainage_auto = a.chainage_from == "auto";
  bool known = false;
  for (size_t c = 0; c < std::size(model::kConventions); ++c) {
    if (a.bearing != model::kConventions[c].key) continue;
    o.convention = c;
    known = true;
  }
  if (!known) {
    std::string keys;
    for (const auto& c : model::kConventions) keys += std::string(keys.empty() ? "" : ", ") + c.key;
    throw Failure{2, "--bearing \"" + a.bearing + "\" is none of " + keys};
  }
  if (app.count("--title") > 0) o.title = a.title;
  if (app.count("--section-name") > 0) o.name_pattern = a.section_name;
  if (app.count("--water-date") > 0) {
    try {
      // The day as ISO text, whatever the locale.
      if (a.water_date.size() != 10 || a.water_date[4] != '-' || a.water_date[7] != '-') {
        throw host::Error::TypeMismatch();
      }
      o.water_date = host::InvariantConversions().TextToDate(a.water_date);
    } catch (const host::Error&) {
      throw Failure{2, "--water-date \"" + a.water_date + "\" is no date YYYY-MM-DD"};
    }
  }
  if (app.count("--through") > 0) o.through = a.through == "yes";
  o.retag = a.retag;
  o.from_layer = a.from_layer;
  o.first = a.first;
  o.step = a.step;
  o.numbers_from_text = a.numbers_from_text;
  o.rename_prefix = a.rename_layers;
  if (a.from_layer.empty() && (app.count("--first") > 0 || app.count("--step") > 0)) {
    throw Failure{2,
                  "--first and --step number the lines of --from-layer: give it, or leave "
                  "them out"};
  }
  if (app.count("--numbers-from-text") > 0) {
    if (a.from_layer.empty()) {
      throw Failure{2, "--numbers-from-text numbers the lines of --from-layer: give it too"};
    }
    if (!(a.numbers_from_text > 0) || !std::isfinite(a.numbers_from_text)) {
      throw Failure{2, "--numbers-from-text needs a distance above 0"};
    }
  }
  if (app.count("--rename-layers") > 0 && a.rename_layers.empty()) {
    throw Failure{2, "--rename-layers needs a prefix, such as CH"};
  }
  return o;
}

std::string Line(const tagging::TaggedSection& s, bool dry_run) {
  std::string text = s.number.empty() ? "line " + s.handle : "section " + s.number;
  if (!s.renamed.empty()) text += " (now " + s.renamed + ")";
  text += ": ";
  if (!tagging::IsTagged(s.outcome)) {
    return text + (tagging::IsFailure(s.outcome) ? "not tagged: " : "left alone: ") + s.why + "\n";
  }
  text += "chainage " + Millimetres(s.chainage) + ", bearing " +
          host::FormatFixedWithPoint(s.bearing, 4) + ", ";
  if (s.outcome == tagging::Outcome::kKept) return text + "tagged already, kept\n";
  text += std::string(s.outcome == tagging::Outcome::kRetagged ? "retagged" : "tagged");
  if (dry_run) text += " (dry run)";
  for (const std::string& done : s.done) text += "; " + done;
  for (size_t i = 0; i < s.made.size(); ++i) {
    text += (i == 0 ? "; made " : ", ") + s.made[i];
  }
  return text + "\n";
}

int RunSections(const SectionArgs& a, const CLI::App& app) {
  const tagging::SectionTagOptions options = OptionsOf(a, app);
  a.to.CheckPaths(a.drawing);
  OpenedDrawing drawing(a.drawing);
  drawing.RefuseWithoutLightweightPolylines();
  // Chainages agree within half a metre, in the drawing's units, as the
  // check takes them.
  tagging::SectionTagOptions measured = options;
  measured.chainage_tolerance = 0.5 / model::MetresPer(model::UnitsOf(*drawing.document()).unit);
  host::StderrMessageSink sink;
  tagging::SectionsTagged tagged;
  try {
    tagged = tagging::TagSections(drawing.Seen(), sink, measured, a.to.dry_run);
  } catch (const tagging::TagError& e) {
    throw Failure{2, e.what()};
  }
  if (options.chainage_auto) {
    Say(std::string("chainages from the ") + (tagged.from_end ? "last" : "first") +
        " vertex of the centre line of reach " + tagged.reach_no + ", as its tagged sections run");
  }
  size_t untagged = 0, changed = 0;
  nlohmann::ordered_json json = nlohmann::ordered_json::array();
  std::string text;
  for (const tagging::TaggedSection& s : tagged.sections) {
    untagged += tagging::IsFailure(s.outcome) ? 1 : 0;
    changed += s.outcome == tagging::Outcome::kTagged || s.outcome == tagging::Outcome::kRetagged;
    if (!a.json) {
      text += Line(s, a.to.dry_run);
      continue;
    }
    json.push_back({{"section", s.number},
                    {"handle", s.handle},
                    {"outcome", tagging::OutcomeName(s.outcome)},
                    {"chainage", tagging::IsTagged(s.outcome) ? nlohmann::ordered_json(s.chainage)
                                                              : nlohmann::ordered_json(nullptr)},
                    {"bearing", tagging::IsTagged(s.outcome) ? nlohmann::ordered_json(s.bearing)
                                                             : nlohmann::ordered_json(nullptr)},
                    {"made", s.made},
                    {"done", s.done},
                    {"renamed", s.renamed.empty() ? nlohmann::ordered_json(nullptr)
                                                  : nlohmann::ordered_json(s.renamed)},
                    {"text", s.why}});
  }
  Print(a.json ? json.dump(2) + "\n" : text, "the sections");
  if (tagged.sections.empty()) {
    Say("no layer is named N" + kProfile + ": no section to tag against reach " + tagged.reach_no);
  }
  if (untagged > 0) {
    Say(std::to_string(untagged) + " of " + std::to_string(tagged.sections.size()) +
        " sections were not tagged");
  }
  // A drawing nothing was written into is not written.
  if (changed == 0) {
    if (!a.to.dry_run) Say("no section was tagged: nothing written");
  } else {
    a.to.Write(drawing);
  }
  return untagged > 0 || tagged.sections.empty() ? 1 : 0;
}

}  // namespace

Command AddTag(CLI::App& cli) {
  CLI::App* tag =
      cli.add_subcommand("tag", "Write reach and section tags into a drawing that has none yet");
  tag->require_subcommand(1);

  auto r = std::make_shared<ReachArgs>();
  CLI::App* reach = tag->add_subcommand("reach", "Tag a polyline as a reach's centre line");
  reach->add_option("DRAWING", r->drawing, "The drawing (DXF)")->required();
  reach->add_option("--polyline", r->handle, "Handle of the centre line")->required();
  reach->add_option("--number", r->number, "The reach number (a whole number)")->required();
  reach->add_flag("--current", r->current, "Make it the current reach (and no other)");
  reach->add_option("--photos", r->photos, "The reach's photo directory");
  r->to.Add(*reach);
  reach->callback([r] { r->to.Check(); });

  auto s = std::make_shared<SectionArgs>();
  CLI::App* sections =
      tag->add_subcommand("sections", "Tag the sections whose profiles (on layers N" + kProfile +
                                          ") cross the reach, from their lines "
                                          "(exit status 1 when one could not be tagged)");
  sections->add_option("DRAWING", s->drawing, "The drawing (DXF)")->required();
  sections->add_option("--reach", s->reach, "The reach number (default: the current reach)");
  sections
      ->add_option("--chainage-from", s->chainage_from,
                   "Chainages from the centre line's first vertex or its last")
      ->check(CLI::IsMember({"start", "end", "auto"}))
      ->capture_default_str();
  std::string keys;
  for (const auto& c : model::kConventions) {
    keys +=
        std::string(keys.empty() ? "" : "; ") + c.key + " (" + c.text + ", of each line " +
        (c.reversed ? "from its last vertex to its first" : "from its first vertex to its last") +
        ")";
  }
  sections->add_option("--bearing", s->bearing, "How bearings are written: " + keys)
      ->capture_default_str();
  sections->add_option("--title", s->title, "The sections' description");
  sections->add_option("--section-name", s->section_name,
                       "The section name; {n} stands for the number (default {n})");
  sections->add_option("--water-date", s->water_date, "The water date, YYYY-MM-DD");
  sections->add_option("--through", s->through, "Through sections: yes or no")
      ->check(CLI::IsMember({"yes", "no"}));
  sections->add_flag("--retag", s->retag,
                     "Measure tagged sections too: their chainage, bearing and reach anew, "
                     "every other item kept unless given");
  sections->add_option("--from-layer", s->from_layer,
                       "The sections are the polylines of this layer that cross the centre line: "
                       "numbered in chainage order and moved onto layers N" +
                           kProfile);
  sections->add_option("--first", s->first, "With --from-layer, the first section's number")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{0}, int64_t{1} << 40));
  sections->add_option("--step", s->step, "With --from-layer, the step between numbers")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{1}, int64_t{1} << 20));
  sections
      ->add_option("--numbers-from-text", s->numbers_from_text,
                   "DISTANCE: with --from-layer, number each line by the TEXT or MTEXT nearest "
                   "its first vertex, within DISTANCE")
      ->excludes("--first")
      ->excludes("--step");
  sections->add_option("--rename-layers", s->rename_layers,
                       "PREFIX: rename each section's layers after its chainage (12" + kProfile +
                           " becomes PREFIX1235" + kProfile + "), its tag's number with them");
  sections->add_flag("--json", s->json, "Print a JSON array");
  s->to.Add(*sections);
  sections->callback([s] { s->to.Check(); });

  return {tag, [r, s, reach, sections] {
            if (reach->parsed()) return RunReach(*r, *reach);
            return RunSections(*s, *sections);
          }};
}

}  // namespace palvane::tools
