// palvane sections: each section's survey as a hydraulic model's
// cross-section, in the model's exchange format.

#include <cmath>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "command.h"
#include "console.h"
#include "drawing_files.h"
#include "failure.h"
#include "outputs.h"
#include "pictures.h"
#include "units.h"
#ifdef PALVANE_PICTURES
#include "picture/section_plot.h"
#endif
#include "model/units.h"
#include "sections/formats.h"
#include "sections/survey.h"

namespace palvane::tools {
namespace {

struct Args {
  std::string drawing, out, format, reach, points_layer, flow = "auto";
  std::vector<std::string> bank_lines;
  std::string river, units, topo_id;
  std::optional<double> within;  // drawing units; half a metre when not given
  double manning = 0.035;
  std::string plot, plot_paper = "A4";
  double exaggeration = 5;
  size_t per_page = 4;
  bool original_data = false, no_thin = false, overwrite = false, json = false;
};

sections::Format FormatOf(const Args& a) {
  if (!a.format.empty()) {
    if (const auto f = sections::FormatNamed(a.format)) return *f;
    throw Failure{2, "-f " + a.format + ": the formats are csv, hecras, floodmodeller, mike11"};
  }
  if (const auto f = sections::FormatOfPath(a.out)) return *f;
  throw Failure{2, "-o " + a.out +
                       ": the name does not say the format (.csv, .RASImport.sdf, .dat, .txt); "
                       "give -f"};
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ",") + n;
  return out;
}

// What the survey left out or changed, said on standard error.
void Report(const sections::Survey& survey) {
  for (const std::string& note : survey.notes) Say(note);
  for (const auto& s : survey.skipped) {
    Say("section " + s.number + " of reach " + s.reach + " is left out: " + s.text);
  }
  for (const auto& reach : survey.reaches) {
    for (const auto& x : reach.sections) {
      for (const auto& p : x.off_line) {
        Say("section " + x.number + ": a point on " + p.layer + " at " + ShortestText(p.at[0]) +
            ", " + ShortestText(p.at[1]) + " lies " + ShortestText(p.offset) +
            " from the line and is left out");
      }
      if (x.same_station > 0) {
        Say("section " + x.number + ": " + std::to_string(x.same_station) +
            (x.same_station == 1 ? " point" : " points") + " at the station of another (" +
            std::to_string(x.conflicting) + " at another elevation, kept in drawing order)");
      }
      if (!x.left_bank_crossed || !x.right_bank_crossed) {
        const char* sides = !x.left_bank_crossed && !x.right_bank_crossed ? "either side"
                            : !x.left_bank_crossed                        ? "its left side"
                                                                          : "its right side";
        Say("section " + x.number + ": no bank line crosses " + sides +
            "; the section's end is its bank");
      }
    }
  }
  if (survey.turned > 0) {
    Say(std::to_string(survey.turned) +
        " section lines were drawn from the right bank and are read the other way round");
  }
}

// Refuses, before any work, plots that cannot be drawn.
void CheckPlot(const Args& a) {
#ifndef PALVANE_PICTURES
  (void)a;
  throw Failure{2, "this build of palvane draws no pictures (it is built without cairo)"};
#else
  if (!picture::PictureFormatOfPath(a.plot)) {
    throw Failure{2, "--plot " + a.plot + ": the name must end in .pdf, .svg or .png"};
  }
  if (!picture::PaperNamed(a.plot_paper, true)) {
    throw Failure{2, "--plot-paper \"" + a.plot_paper + "\" is none of A4, A3, A2, A1, A0"};
  }
  if (!(a.exaggeration > 0) || !std::isfinite(a.exaggeration)) {
    throw Failure{2, "--exaggeration must be a number above 0"};
  }
  if (a.per_page < 1 || a.per_page > 12) throw Failure{2, "--per-page must be from 1 to 12"};
  if (SameFile(a.plot, a.drawing)) {
    throw Failure{2, "the plot would overwrite the drawing; choose another --plot"};
  }
  if (!a.out.empty() && SameFile(a.plot, a.out)) {
    throw Failure{2, "the plot would overwrite the cross-sections; choose another --plot"};
  }
  CheckReplaceable(a.plot, a.overwrite);
#endif
}

void AddPlot(Outputs& outputs, const Args& a, const sections::Survey& survey,
             model::LengthUnit unit) {
#ifdef PALVANE_PICTURES
  picture::PlotOptions options;
  options.paper = *picture::PaperNamed(a.plot_paper, true);
  options.exaggeration = a.exaggeration;
  options.per_page = a.per_page;
  options.drawing_name = std::filesystem::path(FsPath(a.drawing)).filename().string();
  options.date = PictureDate();
  options.unit = model::UnitSymbol(unit);
  const picture::SectionPlots plots =
      picture::DrawSectionPlots(survey, options, *picture::PictureFormatOfPath(a.plot));
  for (const std::string& number : plots.skipped) {
    Say("section " + number +
        " is not plotted: its panel leaves no room for it; give fewer "
        "--per-page or a larger --plot-paper");
  }
  for (size_t i = 0; i < plots.files.size(); ++i) {
    outputs.AddFile(picture::PagePath(a.plot, i + 1, plots.files.size()), plots.files[i],
                    a.overwrite, "the plot");
  }
#else
  (void)outputs, (void)a, (void)survey, (void)unit;
#endif
}

int Run(const Args& a) {
  if (a.out.empty() && a.plot.empty()) throw Failure{2, "give -o OUT, --plot FILE, or both"};
  const bool to_file = !a.out.empty();
  const sections::Format format = to_file ? FormatOf(a) : sections::Format::kCsv;
  if (!a.plot.empty()) CheckPlot(a);
  if (a.within && (!(*a.within >= 0) || !std::isfinite(*a.within))) {
    throw Failure{2, "--within must be a distance of 0 or more"};
  }
  if (!(a.manning > 0) || !std::isfinite(a.manning)) {
    throw Failure{2, "--manning must be a roughness above 0"};
  }
  sections::SurveyOptions options;
  if (!a.reach.empty()) options.reach = a.reach;
  options.original_data = a.original_data;
  options.points_layer = a.points_layer;
  options.bank_lines_layers = a.bank_lines;
  options.least_points = 2;                     // a cross-section is a line of points
  options.flow = *sections::FlowNamed(a.flow);  // one of the names --flow takes
  CheckReplaceable(a.out, a.overwrite);

  OpenedDrawing drawing(a.drawing);
  Progress& progress = drawing.progress();
  const model::LengthUnit unit = UnitsToUse(a.units, *drawing.document());
  options.within = LengthOr(a.within, 0.5, unit);
  options.metres_per_unit = model::MetresPer(unit);
  host::StderrMessageSink sink;
  progress.Phase("reading the sections' survey");
  const sections::Survey survey = sections::ReadSurvey(drawing.Seen(), sink, options);
  drawing.Close();
  if (survey.reaches.empty()) {
    throw Failure{1, a.reach.empty() ? NoRiverMessage() : "the drawing has no reach " + a.reach};
  }
  if (!a.bank_lines.empty() && survey.bank_lines == 0) {
    throw Failure{1, "--bank-lines " + Joined(a.bank_lines) + ": no polyline on " +
                         (a.bank_lines.size() == 1 ? "the layer" : "the layers")};
  }
  Report(survey);
  size_t written_sections = 0;
  for (const auto& reach : survey.reaches) written_sections += reach.sections.size();
  if (written_sections == 0) throw Failure{1, "no section has a survey to write"};

  sections::FormatOptions out;
  out.river = a.river.empty() ? std::filesystem::path(FsPath(a.drawing)).stem().string() : a.river;
  out.metric = unit == model::LengthUnit::kMetre;
  out.manning = a.manning;
  out.topo_id = a.topo_id;
  out.thin = !a.no_thin;
  out.title =
      "Palvane cross-sections of " + std::filesystem::path(FsPath(a.drawing)).filename().string();
  sections::Written written;
  Outputs outputs(progress);
  if (to_file) {
    try {
      written = sections::Write(format, survey, out);
    } catch (const sections::FormatError& e) {
      throw Failure{1,
                    std::string("cannot write ") + sections::FormatName(format) + ": " + e.what()};
    }
    for (const std::string& note : written.notes) Say(note);
    outputs.AddFile(a.out, written.text, a.overwrite, "the cross-sections");
  }
  if (!a.plot.empty()) {
    progress.Phase("plotting the sections");
    AddPlot(outputs, a, survey, unit);
  }
  outputs.Commit();

  size_t count = 0, points = 0;
  for (const auto& reach : survey.reaches) {
    count += reach.sections.size();
    for (const auto& x : reach.sections) points += x.points.size();
  }
  if (a.json) {
    nlohmann::json j{{"format", to_file ? nlohmann::json(sections::FormatName(format)) : nullptr},
                     {"reaches", survey.reaches.size()},
                     {"sections", count},
                     {"points", points},
                     {"turned", survey.turned},
                     {"skipped", survey.skipped.size()},
                     {"notes", written.notes}};
    Print(j.dump(2) + "\n", "the counts");
  }
  return survey.skipped.empty() ? 0 : 1;
}

}  // namespace

Command AddSections(CLI::App& cli) {
  auto a = std::make_shared<Args>();
  CLI::App* app =
      cli.add_subcommand("sections",
                         "Write each section's survey as a model's cross-sections (HEC-RAS, Flood "
                         "Modeller, MIKE 11, CSV)");
  app->add_option("DRAWING", a->drawing, "The drawing (DXF)")->required();
  app->add_option("-o", a->out, "The file to write: .csv, .RASImport.sdf, .dat or .txt");
  app->add_option("--plot", a->plot,
                  "Also plot each section, station against elevation: .pdf (a page per "
                  "--per-page sections), .svg or .png (a file per page)");
  app->add_option("--exaggeration", a->exaggeration, "The plots' vertical exaggeration")
      ->capture_default_str();
  app->add_option("--per-page", a->per_page, "Sections a page of the plots, 1 to 12")
      ->capture_default_str();
  app->add_option("--plot-paper", a->plot_paper, "The plots' paper, landscape: A4 to A0")
      ->capture_default_str();
  app->add_option("-f", a->format, "csv, hecras, floodmodeller or mike11, when OUT does not say");
  app->add_option("--reach", a->reach, "Only this reach (default: every reach)");
  app->add_flag("--original-data", a->original_data,
                "The survey as taken (N_3d), not as processed (N_3d_LPSO, N_3d_LINV)");
  app->add_option("--points-layer", a->points_layer,
                  "A shared layer of survey points: those within --within of a section join it");
  app->add_option("--within", a->within,
                  "How far from its line a section's point may lie, in the drawing's units "
                  "(default: half a metre)");
  app->add_option("--flow", a->flow,
                  "auto (the way the sections' bed falls), against-chainage or with-chainage")
      ->check(CLI::IsMember({"auto", "against-chainage", "with-chainage"}))
      ->capture_default_str();
  app->add_option("--bank-lines", a->bank_lines,
                  "Layers of polylines along the banks (again, or A,B): each line gives a "
                  "section its bank on whichever side it crosses")
      ->delimiter(',');
  app->add_option("--manning", a->manning, "Manning's n of every point")->capture_default_str();
  app->add_option("--river", a->river, "The river's name (default: the drawing's)");
  AddUnitsOption(*app, a->units);
  app->add_option("--topo-id", a->topo_id,
                  "MIKE 11's topo ID (default: the water date's year, else SURVEY)");
  app->add_flag("--no-thin", a->no_thin,
                "Refuse sections of more than 500 points for HEC-RAS instead of thinning them");
  app->add_flag("--overwrite", a->overwrite, "Replace OUT if it exists");
  app->add_flag("--json", a->json, "Print the counts");
  return {app, [a] { return Run(*a); }};
}

}  // namespace palvane::tools
