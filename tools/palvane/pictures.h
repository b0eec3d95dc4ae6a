#pragma once

// The pictures a command draws of a plan (keyplan, check): their options on
// the command line, the checks made on them before any work, and their
// files added to the command's outputs.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "model/units.h"
#include "outputs.h"

namespace palvane::tools {

namespace picture {
struct Plan;
}

struct PictureArgs {
  std::string pdf, svg, png;
  std::string paper = "A4";
  bool landscape = false;
  double scale = 0;
  double margin = 10;
  double label_height = 2.5;
  std::optional<double> from, to;
  bool sheets = false;
  std::string title;

  bool any() const { return !pdf.empty() || !svg.empty() || !png.empty(); }
  std::vector<std::string> paths() const;
};

// Adds --pdf, --svg, --png and the sheet's options; `what` says what the
// picture shows ("the keyplan").
void AddPictureOptions(CLI::App& app, PictureArgs& args, const std::string& what);

// A file a picture must not replace, and what to call it ("the keyplan").
struct OtherFile {
  std::string path, what;
};

// Refuses, before any work, what cannot be drawn: a bad paper, scale or
// height, a window with --sheets, a picture that would replace one of
// `others`, a name of another format, or a file not to be replaced.
void CheckPictureArgs(const PictureArgs& args, const std::vector<OtherFile>& others,
                      bool overwrite);

// Draws `plan` into every picture asked for and adds their files to
// `outputs`. `drawing_path` and `reach` go into the title block; labels
// left out are said on standard error. Throws Failure (status 2) when the
// sheets cannot be drawn.
// `unit` is the drawing's, for the scale and the scale bar.
void AddPictures(Outputs& outputs, const picture::Plan& plan, const PictureArgs& args,
                 const std::string& default_title, const std::string& drawing_path,
                 const std::string& reach, model::LengthUnit unit, bool overwrite);

// Today's date as YYYY-MM-DD, or that of SOURCE_DATE_EPOCH when it is set,
// so that pictures can be made again byte for byte.
std::string PictureDate();

}  // namespace palvane::tools
