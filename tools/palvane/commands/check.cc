// palvane check: a survey drawing's problems found before modelling, and a
// picture of them.

#include "commands/check.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "command.h"
#include "console.h"
#include "destination.h"
#include "drawing_files.h"
#include "failure.h"
#include "outputs.h"
#include "picture/plan.h"
#include "pictures.h"
#include "tagging/tagging.h"
#include "units.h"
#ifdef PALVANE_GIS
#include "gis/gis_module.h"
#include "platform/files.h"
#endif

namespace palvane::tools {
namespace {

std::string Place(const check::Finding& f) {
  if (!f.section.empty()) return "section " + f.section;
  if (!f.reach.empty()) return "reach " + f.reach;
  return "drawing";
}

}  // namespace

std::string FindingsText(const check::CheckResult& result) {
  std::string out;
  for (const check::Finding& f : result.findings) {
    out += std::string(check::SeverityName(f.severity)) + " " + Place(f) + ": " + f.text + " [" +
           f.code + "]\n";
  }
  return out;
}

std::string FindingsJson(const check::CheckResult& result) {
  using Json = nlohmann::ordered_json;
  Json out = Json::array();
  for (const check::Finding& f : result.findings) {
    out.push_back({{"severity", check::SeverityName(f.severity)},
                   {"code", f.code},
                   {"reach", f.reach.empty() ? Json(nullptr) : Json(f.reach)},
                   {"section", f.section.empty() ? Json(nullptr) : Json(f.section)},
                   {"handles", f.handles},
                   {"text", f.text}});
  }
  return out.dump(2) + "\n";
}

picture::Plan CheckPlan(const check::CheckResult& result) {
  std::map<std::string, std::set<std::string>> codes;  // by section
  std::map<std::string, size_t> counts;                // sections, by code
  for (const check::Finding& f : result.findings) {
    if (!f.section.empty() && codes[f.section].insert(f.code).second) ++counts[f.code];
  }
  picture::Plan plan;
  const check::CheckedReach* current = nullptr;
  for (const check::CheckedReach& r : result.reaches) {
    if (r.line.vertices.size() < 2) continue;
    picture::PlanLine line;
    line.line = r.line;
    if (r.current && !current) {
      current = &r;
      line.role = picture::Role::kCentreLine;
      line.colour = picture::kCentreBlue;
      plan.centre_line = plan.lines.size();
      plan.chainage_from_end = r.chainage_from_end.value_or(false);
    } else {
      line.colour = picture::kGrey;
    }
    plan.lines.push_back(std::move(line));
  }
  // Sections are placed along the current reach where they cross it.
  std::optional<geometry::PolylineIndex> centre;
  if (current) centre.emplace(current->line);
  for (const check::CheckedSection& s : result.sections) {
    const auto found = codes.find(s.number);
    const bool flagged = found != codes.end();
    picture::PlanLine line;
    line.line.vertices = {s.first, s.last};
    line.line.bulges = {0, 0};
    line.role = picture::Role::kSection;
    line.flagged = flagged;
    line.colour = flagged ? picture::kFindingRed : picture::kBlack;
    if (centre) {
      const auto crossings = centre->Crossings(s.first, s.last);
      if (crossings.size() == 1) {
        line.chainage = plan.chainage_from_end ? centre->Length() - crossings[0].chainage
                                               : crossings[0].chainage;
      }
    }
    std::string label = s.number;
    if (flagged) {
      for (const std::string& code : found->second) label += " " + code;
    }
    plan.labels.push_back({{label}, plan.lines.size(), line.colour});
    plan.lines.push_back(std::move(line));
  }
  if (current) plan.legend.push_back({"Current reach", picture::kCentreBlue, true});
  if (plan.lines.size() > result.sections.size() + (current ? 1 : 0)) {
    plan.legend.push_back({"Other reach", picture::kGrey, false});
  }
  plan.legend.push_back({"Section line", picture::kBlack, false});
  for (const auto& [code, count] : counts) {
    plan.legend.push_back(
        {code + " (" + std::to_string(count) + " section" + (count == 1 ? "" : "s") + ")",
         picture::kFindingRed, false});
  }
  return plan;
}

// ------------------------------------------------------------------ the command

namespace {

struct Args {
  std::string drawing, fix, gis, crs, flow = "auto", units;
  PictureArgs picture;
  check::CheckOptions options;
  // In the drawing's units; half a metre when not given.
  std::optional<double> chainage_tolerance, within;
  bool json = false, overwrite = false;
  Destination to;  // of the fixed drawing
};

// The kinds --fix takes, and the findings each fixes.
constexpr std::pair<const char*, const char*> kFixKinds[] = {
    {"chainage", check::code::kChainageMismatch},
    {"bearing", check::code::kBearingMismatch},
    {"tags", check::code::kTagRestorable},
};

std::vector<std::string> FixCodes(const std::string& kinds) {
  std::vector<std::string> codes;
  for (std::string_view rest = kinds; !rest.empty();) {
    const size_t comma = std::min(rest.find(','), rest.size());
    const std::string_view word = rest.substr(0, comma);
    rest.remove_prefix(std::min(comma + 1, rest.size()));
    if (word.empty()) continue;
    bool known = false;
    for (const auto& [kind, code] : kFixKinds) {
      if (word != kind) continue;
      known = true;
      if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
    }
    if (!known) {
      throw Failure{2, "--fix \"" + std::string(word) + "\" is none of chainage, bearing, tags"};
    }
  }
  if (codes.empty()) throw Failure{2, "--fix needs a kind: chainage, bearing or tags"};
  return codes;
}

// Writes the fixes asked for into the drawing, saying each; the status of
// a check of the drawing fixed.
int Fix(const Args& a, const check::CheckOptions& options, OpenedDrawing& drawing,
        const check::CheckResult& result) {
  const std::vector<std::string> codes = FixCodes(a.fix);
  host::StderrMessageSink sink;
  std::vector<tagging::FixWritten> written;
  try {
    written = tagging::WriteFixes(drawing.Seen(), sink, result.fixes, codes, a.to.dry_run);
  } catch (const tagging::TagError& e) {
    throw Failure{2, e.what()};
  }
  std::string text;
  size_t left = 0;
  for (const tagging::FixWritten& w : written) {
    const bool tags = w.code == check::code::kTagRestorable;
    const std::string what =
        tags ? "tag restored onto profile " + w.handle + " from its centre point"
             : std::string(w.code == check::code::kChainageMismatch ? "chainage " : "bearing ") +
                   Millimetres(w.from) + " -> " + Millimetres(w.to);
    if (w.written) {
      text +=
          (a.to.dry_run ? "would fix section " : "fixed section ") + w.section + ": " + what + "\n";
    } else {
      ++left;
      text += "not fixed section " + w.section + ": " + w.why + "\n";
    }
  }
  Print(text, "the fixes");
  if (written.empty()) Say("nothing to fix of " + a.fix);
  if (left > 0)
    Say(std::to_string(left) + " of " + std::to_string(written.size()) + " fixes were not written");
  if (a.to.dry_run) return result.errors() > 0 ? 1 : 0;
  // The status of the drawing as written.
  return check::CheckSurvey(drawing.Seen(), options).errors() > 0 ? 1 : 0;
}

#ifdef PALVANE_GIS
// The findings as GIS features, each on its section's line as the keyplan
// draws it; a finding of the drawing or a reach has no geometry.
GisRiver FindingsAsGis(const check::CheckResult& result) {
  std::map<std::string, const check::CheckedSection*> lines;
  for (const check::CheckedSection& s : result.sections) lines.emplace(s.number, &s);
  GisRiver river;
  river.findings.emplace();
  for (const check::Finding& f : result.findings) {
    GisFinding out;
    out.severity = check::SeverityName(f.severity);
    out.code = f.code;
    out.reach = f.reach;
    out.section = f.section;
    for (const std::string& h : f.handles) out.handles += (out.handles.empty() ? "" : ",") + h;
    out.text = f.text;
    if (const auto it = lines.find(f.section); !f.section.empty() && it != lines.end()) {
      out.line = {it->second->first, it->second->last};
    }
    river.findings->push_back(std::move(out));
  }
  return river;
}

void WriteFindingsGis(const Args& a, const check::CheckResult& result) {
  const GisOutput output{a.gis,
                         "",
                         a.crs,
                         a.overwrite,
                         a.drawing,
                         platform::RegisterTemporary,
                         platform::ReleaseTemporary};
  const GisWritten written = WriteGisThroughModule(FindingsAsGis(result), output);
  for (const std::string& warning : written.warnings) Say(warning);
}
#else
void WriteFindingsGis(const Args&, const check::CheckResult&) {
  throw Failure{2, "--gis exists only in the Linux build, which has GDAL"};
}
#endif

int Run(const Args& a) {
  const double angle = a.options.bearing_tolerance;
  if (a.chainage_tolerance &&
      (!(*a.chainage_tolerance >= 0) || !std::isfinite(*a.chainage_tolerance))) {
    throw Failure{2, "--chainage-tolerance must be 0 or more"};
  }
  if (!(angle >= 0) || !(angle <= 180)) {
    throw Failure{2, "--bearing-tolerance must be from 0 to 180 degrees"};
  }
  if (a.within && (!(*a.within >= 0) || !std::isfinite(*a.within))) {
    throw Failure{2, "--within must be a distance of 0 or more"};
  }
  if (!a.crs.empty() && a.gis.empty()) throw Failure{2, "--crs goes with --gis"};
#ifndef PALVANE_GIS
  if (!a.gis.empty()) WriteFindingsGis(a, {});
#endif
  CheckPictureArgs(a.picture, {{a.drawing, "the drawing"}, {a.to.out, "the fixed drawing"}},
                   a.overwrite);
  if (!a.fix.empty()) {
    FixCodes(a.fix);
    a.to.CheckPaths(a.drawing);
  }
  OpenedDrawing drawing(a.drawing);
  const model::LengthUnit unit = UnitsToUse(a.units, *drawing.document());
  check::CheckOptions options = a.options;
  options.chainage_tolerance = LengthOr(a.chainage_tolerance, 0.5, unit);
  options.survey_within = LengthOr(a.within, 0.5, unit);
  options.metres_per_unit = model::MetresPer(unit);
  drawing.progress().Phase("checking");
  const check::CheckResult result = check::CheckSurvey(drawing.Seen(), options);
  // What was inferred goes with the messages: the findings are the problems.
  for (const auto& note : result.notes) Say("note: " + note.text);
  Print(a.json ? FindingsJson(result) : FindingsText(result), "the findings");
  // The picture, and the drawing fixed, stand together.
  Outputs outputs(drawing.progress());
  if (a.picture.any()) {
    std::string reach;
    for (const check::CheckedReach& r : result.reaches) {
      if (r.current) {
        reach = r.number;
        break;
      }
    }
    drawing.progress().Phase("drawing the findings");
    AddPictures(outputs, CheckPlan(result), a.picture, "Check", a.drawing, reach, unit,
                a.overwrite);
  }
  int status = result.errors() > 0 ? 1 : 0;
  if (!a.fix.empty()) {
    status = Fix(a, options, drawing, result);
    a.to.AddTo(outputs, drawing);
  }
  outputs.Commit();
  if (!a.gis.empty()) WriteFindingsGis(a, result);
  return status;
}

}  // namespace

Command AddCheck(CLI::App& cli) {
  auto a = std::make_shared<Args>();
  CLI::App* app = cli.add_subcommand(
      "check", "Find a survey drawing's problems before modelling (exit status 1 on errors)");
  app->add_option("DRAWING", a->drawing, "The drawing (DXF)")->required();
  app->add_flag("--json", a->json, "Print a JSON array of the findings");
  AddPictureOptions(*app, a->picture, "the reaches and sections, findings in red");
  app->add_flag("--overwrite", a->overwrite,
                "Replace the pictures, and with --fix OUT or DRAWING.bak, if they exist");
  app->add_option("--chainage-tolerance", a->chainage_tolerance,
                  "Largest difference of a tagged chainage from the measured one, in the "
                  "drawing's units (default: half a metre)");
  app->add_option("--bearing-tolerance", a->options.bearing_tolerance,
                  "Largest difference of a tagged bearing from its line's, in degrees")
      ->capture_default_str();
  app->add_option("--within", a->within,
                  "How far from its line a section's survey point may lie, in the drawing's "
                  "units (default: half a metre)");
  AddUnitsOption(*app, a->units);
  app->add_option("--points-layer", a->options.points_layer,
                  "A shared layer of survey points, read as the sections command reads it");
  app->add_option("--bank-lines", a->options.bank_lines_layers,
                  "Layers of bank lines (again, or A,B), which should cross every section on "
                  "both sides")
      ->delimiter(',');
  app->add_option("--flow", a->flow,
                  "The way the river flows, as the sections command takes it: auto, "
                  "against-chainage or with-chainage")
      ->check(CLI::IsMember({"auto", "against-chainage", "with-chainage"}))
      ->capture_default_str();
  app->add_option("--gis", a->gis,
                  "Also write the findings as a GIS layer (any format palvane gis writes), "
                  "each on its section's line");
  app->add_option("--crs", a->crs, "With --gis: the drawing's coordinate reference system");
  app->add_option("--fix", a->fix,
                  "Write back what was measured, kinds separated by commas: chainage and "
                  "bearing (as measured, in the direction and convention inferred), tags (a "
                  "lost tag restored from its centre point); with -o OUT or --in-place");
  a->to.Add(*app, /*overwrite_flag=*/false);
  app->callback([a] {
    a->options.flow = *sections::FlowNamed(a->flow);  // one of the names --flow takes
    a->to.overwrite = a->overwrite;
    if (!a->fix.empty()) return a->to.Check();
    if (!a->to.out.empty() || a->to.in_place || a->to.dry_run || a->to.no_backup) {
      throw CLI::ValidationError("-o, --in-place, --dry-run and --no-backup", "go with --fix");
    }
  });
  return {app, [a] { return Run(*a); }};
}

}  // namespace palvane::tools
