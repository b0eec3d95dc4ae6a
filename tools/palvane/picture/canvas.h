#pragma once

// Pages drawn through cairo, in millimetres from the paper's top left
// corner, with text laid out by pango: one drawing routine gives a PDF (all
// pages in one file, its text kept as text), SVG or PNG (a file per page).

#include <cairo.h>
#include <pango/pangocairo.h>

#include <optional>
#include <string>
#include <vector>

#include "picture/picture_format.h"
#include "picture/plan.h"
#include "picture/sheet.h"

namespace palvane::tools::picture {

// Text of `height` millimetres (of capital letters), with how it is laid out.
struct Font {
  double height = 2.5;
  bool bold = false;
  double wrap = 0;  // the width lines are broken at; 0 for none
};

class Canvas {
 public:
  static constexpr double kPngDotsPerInch = 150;

  Canvas(PictureFormat format, const Paper& paper, const std::string& title);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  cairo_t* cr() const { return cr_; }
  const Paper& paper() const { return paper_; }

  // The box `text` takes, from its top left corner.
  Box Measure(const std::string& text, const Font& font);
  // Draws `text` with its box's top left corner at (x, y).
  void Text(const std::string& text, double x, double y, const Font& font, const Rgb& colour);

  void Stroke(const std::vector<geometry::Point2>& points, double width, const Rgb& colour,
              bool closed = false);
  // Many lines of one pen, as one path.
  void StrokeMany(const std::vector<std::vector<geometry::Point2>>& lines, double width,
                  const Rgb& colour);
  void Rectangle(const Box& box, double width, const Rgb& colour,
                 std::optional<Rgb> fill = std::nullopt);

  // Ends the page and starts another.
  void NextPage();
  // Ends the last page: the files' bytes (one for a PDF).
  std::vector<std::string> Finish();

 private:
  void StartPage();
  void EndPage();
  void Release();
  void SetFont(const std::string& text, const Font& font);

  PictureFormat format_;
  Paper paper_;
  std::string title_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  PangoLayout* layout_ = nullptr;
  PangoFontDescription* font_ = nullptr;
  std::string bytes_;
  std::vector<std::string> files_;
};

// `text` as valid UTF-8 without control characters but line ends: what a
// drawing holds may be neither.
std::string Printable(const std::string& text);

}  // namespace palvane::tools::picture
