#include "pictures.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "drawing_files.h"
#include "failure.h"
#include "picture/picture_format.h"
#ifdef PALVANE_PICTURES
#include <stdexcept>

#include "picture/draw_plan.h"
#endif

namespace palvane::tools {

std::vector<std::string> PictureArgs::paths() const {
  std::vector<std::string> out;
  for (const std::string* p : {&pdf, &svg, &png}) {
    if (!p->empty()) out.push_back(*p);
  }
  return out;
}

void AddPictureOptions(CLI::App& app, PictureArgs& a, const std::string& what) {
  app.add_option("--pdf", a.pdf, "Also draw " + what + " on sheets of paper as a PDF");
  app.add_option("--svg", a.svg,
                 "Also draw " + what + " as SVG (a file per sheet: NAME-2.svg ...)");
  app.add_option("--png", a.png, "Also draw " + what + " as PNG at 150 dpi (a file per sheet)");
  app.add_option("--paper", a.paper, "Paper of the pictures: A4, A3, A2, A1 or A0")
      ->capture_default_str();
  app.add_flag("--landscape", a.landscape, "Turn the paper to landscape");
  app.add_option("--scale", a.scale,
                 "1:N on paper, drawing units as metres (default: the largest standard scale "
                 "that fits)");
  app.add_option("--margin", a.margin, "Margin of the paper, in millimetres")
      ->capture_default_str();
  app.add_option("--label-height", a.label_height, "Height of label text on paper, in millimetres")
      ->capture_default_str();
  app.add_option("--from", a.from, "Draw the window from this chainage along the centre line");
  app.add_option("--to", a.to, "... to this chainage");
  app.add_flag("--sheets", a.sheets,
               "Cut the reach into consecutive sheets along its centre line, after an overview");
  app.add_option("--title", a.title, "Title in the title block");
}

void CheckPictureArgs(const PictureArgs& a, const std::vector<OtherFile>& others, bool overwrite) {
  if (!a.any()) {
    const bool sheet_options = a.sheets || a.from || a.to || !a.title.empty() || a.landscape ||
                               a.scale != 0 || a.paper != "A4" || a.margin != 10 ||
                               a.label_height != 2.5;
    if (sheet_options) {
      throw Failure{2, "the sheet's options need a picture: give --pdf, --svg or --png"};
    }
    return;
  }
  const struct {
    const std::string* path;
    const char* flag;
    picture::PictureFormat format;
  } outputs[] = {{&a.pdf, "--pdf", picture::PictureFormat::kPdf},
                 {&a.svg, "--svg", picture::PictureFormat::kSvg},
                 {&a.png, "--png", picture::PictureFormat::kPng}};
  for (const auto& o : outputs) {
    if (o.path->empty()) continue;
    for (const OtherFile& other : others) {
      if (!other.path.empty() && SameFile(other.path, *o.path)) {
        throw Failure{2,
                      "the picture would overwrite " + other.what + "; choose another " + o.flag};
      }
    }
    if (picture::PictureFormatOfPath(*o.path) != o.format) {
      throw Failure{2, *o.path + ": the picture of " + o.flag + " must be named *" +
                           picture::ExtensionOf(o.format)};
    }
    CheckReplaceable(*o.path, overwrite);
  }
  const std::vector<std::string> all = a.paths();
  for (size_t i = 0; i < all.size(); ++i) {
    for (size_t k = i + 1; k < all.size(); ++k) {
      if (SameFile(all[i], all[k])) throw Failure{2, "two pictures are named " + all[i]};
    }
  }
#ifndef PALVANE_PICTURES
  throw Failure{2, "this build of palvane draws no pictures (it is built without cairo)"};
#else
  if (!picture::PaperNamed(a.paper, a.landscape)) {
    throw Failure{2, "--paper \"" + a.paper + "\" is none of A4, A3, A2, A1, A0"};
  }
  // 1:0 stands for the default; a scale beyond these would make sheets
  // without end or coordinates cairo cannot hold.
  if (a.scale != 0 && !(a.scale >= 1 && a.scale <= 1e9)) {
    throw Failure{2, "--scale must be a number above 0, from 1 (1:1) to 1000000000"};
  }
  if (!(a.label_height >= 0.5) || a.label_height > 50) {
    throw Failure{2, "--label-height must be from 0.5 to 50 millimetres"};
  }
  if ((a.from && !std::isfinite(*a.from)) || (a.to && !std::isfinite(*a.to))) {
    throw Failure{2, "--from and --to must be numbers"};
  }
  if (!(a.margin >= 0) || a.margin > 100) {
    throw Failure{2, "--margin must be from 0 to 100 millimetres"};
  }
  if (a.sheets && (a.from || a.to)) {
    throw Failure{2, "--sheets cover the whole reach: leave --from and --to out, or --sheets"};
  }
  if (a.from && a.to && !(*a.from < *a.to)) throw Failure{2, "--from must be less than --to"};
#endif
}

std::string PictureDate() {
  std::time_t now = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    char* end = nullptr;
    const long long value = std::strtoll(epoch, &end, 10);
    if (end != epoch && *end == '\0' && value >= 0) now = static_cast<std::time_t>(value);
  }
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &now);
#else
  gmtime_r(&now, &tm);
#endif
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
  return text;
}

void AddPictures(Outputs& outputs, const picture::Plan& plan, const PictureArgs& a,
                 const std::string& default_title, const std::string& drawing_path,
                 const std::string& reach, model::LengthUnit unit, bool overwrite) {
#ifndef PALVANE_PICTURES
  (void)outputs, (void)plan, (void)a, (void)default_title, (void)drawing_path, (void)reach,
      (void)unit, (void)overwrite;
#else
  picture::SheetOptions options;
  options.paper = *picture::PaperNamed(a.paper, a.landscape);
  options.scale = a.scale;
  options.margin = a.margin;
  options.label_height = a.label_height;
  options.from = a.from;
  options.to = a.to;
  options.sheets = a.sheets;
  options.title = a.title.empty() ? default_title : a.title;
  options.drawing_name = FsPath(drawing_path).filename().string();
  options.reach = reach;
  options.date = PictureDate();
  options.metres_per_unit = model::MetresPer(unit);
  options.unit = model::UnitSymbol(unit);
  const std::pair<const std::string*, picture::PictureFormat> wanted[] = {
      {&a.pdf, picture::PictureFormat::kPdf},
      {&a.svg, picture::PictureFormat::kSvg},
      {&a.png, picture::PictureFormat::kPng}};
  bool said = false;
  for (const auto& [path, format] : wanted) {
    if (path->empty()) continue;
    picture::DrawnPlan drawn;
    try {
      drawn = picture::DrawPlan(plan, options, format);
    } catch (const std::runtime_error& e) {
      throw Failure{2, std::string("cannot draw the picture: ") + e.what()};
    }
    // Every format places the same labels: say what was left out once.
    if (!said) {
      for (const std::string& line : drawn.left_out) Say(line);
      said = true;
    }
    for (size_t i = 0; i < drawn.files.size(); ++i) {
      outputs.AddFile(picture::PagePath(*path, i + 1, drawn.files.size()), drawn.files[i],
                      overwrite, "the picture");
    }
  }
#endif
}

}  // namespace palvane::tools
