#pragma once

// Cross-sections drawn as modellers review them: station against
// elevation at a chosen vertical exaggeration, the banks and the lowest
// point marked, over a grid of round values; several sections a page, in
// chainage order.

#include <string>
#include <vector>

#include "picture/canvas.h"
#include "sections/survey.h"

namespace palvane::tools::picture {

struct PlotOptions {
  Paper paper{"A4", 297, 210};
  double exaggeration = 5;  // vertical against horizontal
  size_t per_page = 4;      // 1 to 12
  std::string drawing_name, date;
  std::string unit = "m";  // of the drawing's lengths, as the axes name it
};

struct SectionPlots {
  std::vector<std::string> files;    // one for a PDF; none for a survey without sections
  std::vector<std::string> skipped;  // sections whose panel left no room for a plot
};

SectionPlots DrawSectionPlots(const sections::Survey& survey, const PlotOptions& options,
                              PictureFormat format);

// A round step for about `count` grid lines over `range`: 1, 2 or 5 times a
// power of ten.
double GridStep(double range, int count);

}  // namespace palvane::tools::picture
