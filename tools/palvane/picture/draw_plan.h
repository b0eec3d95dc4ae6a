#pragma once

// A plan drawn on sheets of paper: the map in its frame, labels placed
// where they cover nothing, and a title block with the legend, the title's
// texts, a north arrow and a scale bar.

#include <string>
#include <vector>

#include "picture/canvas.h"
#include "picture/plan.h"
#include "picture/sheet.h"

namespace palvane::tools::picture {

struct DrawnPlan {
  std::vector<std::string> files;  // a PDF's one file, or a file per page
  size_t pages = 0;
  // One line per sheet that left labels out, naming each.
  std::vector<std::string> left_out;
};

// Throws std::runtime_error when the sheets cannot be laid out (a window
// the plan cannot give) or drawn.
DrawnPlan DrawPlan(const Plan& plan, const SheetOptions& options, PictureFormat format);

}  // namespace palvane::tools::picture
