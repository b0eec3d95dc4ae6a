// palvane check: a survey drawing's problems found before modelling, and a
// picture of them.

#include "commands/check.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "command.h"
#include "console.h"
#include "drawing_files.h"
#include "failure.h"
#include "outputs.h"
#include "picture/svg.h"

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

std::string CheckSvg(const check::CheckResult& result, host::Document& blank) {
  constexpr int32_t kRed = 1, kBlue = 5, kBlack = 7, kGrey = 8;
  std::map<std::string, std::set<std::string>> codes;  // by section
  for (const check::Finding& f : result.findings) {
    if (!f.section.empty()) codes[f.section].insert(f.code);
  }
  const auto space = blank.ModelSpace();
  // Labels as high as a quarter of a section line, but never lost in the
  // picture of a long river.
  double longest = 0, lo_x = INFINITY, hi_x = -INFINITY, lo_y = INFINITY, hi_y = -INFINITY;
  for (const check::CheckedSection& s : result.sections) {
    longest = std::max(longest, std::hypot(s.last[0] - s.first[0], s.last[1] - s.first[1]));
    for (const auto& p : {s.first, s.last}) {
      lo_x = std::min(lo_x, p[0]);
      hi_x = std::max(hi_x, p[0]);
      lo_y = std::min(lo_y, p[1]);
      hi_y = std::max(hi_y, p[1]);
    }
  }
  const double extent = result.sections.empty() ? 0 : std::max(hi_x - lo_x, hi_y - lo_y);
  const double text_height = std::max({longest / 4, extent / 120, 1e-3});
  for (const check::CheckedReach& r : result.reaches) {
    if (r.line.vertices.size() < 2) continue;
    std::vector<double> flat;
    for (const auto& v : r.line.vertices) {
      flat.push_back(v[0]);
      flat.push_back(v[1]);
    }
    const auto line = space->AddLightWeightPolyline(flat);
    for (size_t i = 0; i < r.line.bulges.size(); ++i) {
      line->SetBulge(static_cast<int32_t>(i), r.line.bulges[i]);
    }
    line->SetClosed(r.line.closed);
    line->SetColor(r.current ? kBlue : kGrey);
  }
  for (const check::CheckedSection& s : result.sections) {
    const auto found = codes.find(s.number);
    const bool flagged = found != codes.end();
    const auto line = space->AddLightWeightPolyline({s.first[0], s.first[1], s.last[0], s.last[1]});
    line->SetColor(flagged ? kRed : kBlack);
    std::string label = s.number;
    if (flagged) {
      for (const std::string& code : found->second) label += " " + code;
    }
    const auto text = space->AddMText({s.last[0], s.last[1], 0}, 0, label);
    text->SetHeight(text_height);
    text->SetColor(flagged ? kRed : kBlack);
  }
  return DrawingSvg(blank);
}

// ------------------------------------------------------------------ the command

namespace {

struct Args {
  std::string drawing, svg;
  check::CheckOptions options;
  bool json = false, overwrite = false;
};

int Run(const Args& a) {
  const double d = a.options.chainage_tolerance, angle = a.options.bearing_tolerance;
  if (!(d >= 0) || !std::isfinite(d)) throw Failure{2, "--chainage-tolerance must be 0 or more"};
  if (!(angle >= 0) || !(angle <= 180)) {
    throw Failure{2, "--bearing-tolerance must be from 0 to 180 degrees"};
  }
  if (!a.svg.empty() && SameFile(a.drawing, a.svg)) {
    throw Failure{2, "the picture would overwrite the drawing; choose another --svg"};
  }
  CheckReplaceable(a.svg, a.overwrite);
  OpenedDrawing drawing(a.drawing);
  drawing.progress().Phase("checking");
  const check::CheckResult result = check::CheckSurvey(drawing.Seen(), a.options);
  // What was inferred goes with the messages: the findings are the problems.
  for (const auto& note : result.notes) Say("note: " + note.text);
  Print(a.json ? FindingsJson(result) : FindingsText(result), "the findings");
  if (!a.svg.empty()) {
    const host::Ref<host::Document> blank = drawing.application().Documents()->Add();
    Outputs outputs(drawing.progress());
    outputs.AddFile(a.svg, CheckSvg(result, *blank), a.overwrite, "the picture");
    outputs.Commit();
  }
  return result.errors() > 0 ? 1 : 0;
}

}  // namespace

Command AddCheck(CLI::App& cli) {
  auto a = std::make_shared<Args>();
  CLI::App* app = cli.add_subcommand(
      "check", "Find a survey drawing's problems before modelling (exit status 1 on errors)");
  app->add_option("DRAWING", a->drawing, "The drawing (DXF)")->required();
  app->add_flag("--json", a->json, "Print a JSON array of the findings");
  app->add_option("--svg", a->svg, "Also draw the reaches and sections, findings in red");
  app->add_flag("--overwrite", a->overwrite, "Replace the picture if it exists");
  app->add_option("--chainage-tolerance", a->options.chainage_tolerance,
                  "Largest difference of a tagged chainage from the measured one")
      ->capture_default_str();
  app->add_option("--bearing-tolerance", a->options.bearing_tolerance,
                  "Largest difference of a tagged bearing from its line's, in degrees")
      ->capture_default_str();
  return {app, [a] { return Run(*a); }};
}

}  // namespace palvane::tools
