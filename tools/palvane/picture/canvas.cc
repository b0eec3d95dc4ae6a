#include "picture/canvas.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <cmath>
#include <stdexcept>

namespace palvane::tools::picture {
namespace {

constexpr double kPointsPerMm = 72 / 25.4;
// DejaVu Sans: capitals stand 0.729 of the font's size.
constexpr double kCapHeight = 0.729;
constexpr const char* kFamily = "DejaVu Sans";

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

void Check(cairo_status_t status, const char* what) {
  if (status != CAIRO_STATUS_SUCCESS) {
    throw std::runtime_error(std::string("cannot draw ") + what + ": " +
                             cairo_status_to_string(status));
  }
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    size_t len = 0;
    if (c < 0x80) {
      len = 1;
    } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
    } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
      len = 4;
    }
    bool valid = len > 0 && i + len <= n;
    for (size_t k = 1; valid && k < len; ++k) valid = (s[i + k] & 0xC0) == 0x80;
    if (valid && len == 3) {
      const unsigned v = ((c & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6);
      valid = v >= 0x800 && (v < 0xD800 || v > 0xDFFF);
    }
    if (valid && len == 4) {
      const unsigned v = ((c & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12);
      valid = v >= 0x10000 && v <= 0x10FFFF;
    }
    if (!valid) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (len == 1 && (c < 0x20 || c == 0x7F) && c != '\n') {
      out += "\xEF\xBF\xBD";
    } else {
      out.append(text, i, len);
    }
    i += len;
  }
  return out;
}

Canvas::Canvas(PictureFormat format, const Paper& paper, const std::string& title)
    : format_(format), paper_(paper), title_(Printable(title)) {
  font_ = pango_font_description_new();
  pango_font_description_set_family(font_, kFamily);
  try {
    StartPage();
  } catch (...) {
    Release();
    throw;
  }
}

Canvas::~Canvas() { Release(); }

void Canvas::Release() {
  if (layout_) g_object_unref(layout_);
  layout_ = nullptr;
  if (cr_) cairo_destroy(cr_);
  cr_ = nullptr;
  if (surface_) cairo_surface_destroy(surface_);
  surface_ = nullptr;
  if (font_) pango_font_description_free(font_);
  font_ = nullptr;
}

void Canvas::StartPage() {
  // A PDF's pages all go into the one stream.
  if (format_ != PictureFormat::kPdf || !surface_) bytes_.clear();
  switch (format_) {
    case PictureFormat::kPdf:
      if (!surface_) {
        surface_ = cairo_pdf_surface_create_for_stream(Append, &bytes_, paper_.width * kPointsPerMm,
                                                       paper_.height * kPointsPerMm);
        cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_TITLE, title_.c_str());
        cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR, "palvane");
      }
      break;
    case PictureFormat::kSvg:
      // Sized in millimetres, so that user units are millimetres too.
      surface_ = cairo_svg_surface_create_for_stream(Append, &bytes_, paper_.width, paper_.height);
      cairo_svg_surface_set_document_unit(surface_, CAIRO_SVG_UNIT_MM);
      break;
    case PictureFormat::kPng:
      surface_ = cairo_image_surface_create(
          CAIRO_FORMAT_RGB24, static_cast<int>(std::ceil(paper_.width / 25.4 * kPngDotsPerInch)),
          static_cast<int>(std::ceil(paper_.height / 25.4 * kPngDotsPerInch)));
      break;
  }
  Check(cairo_surface_status(surface_), "the picture");
  if (!cr_) {
    cr_ = cairo_create(surface_);
    Check(cairo_status(cr_), "the picture");
    if (format_ == PictureFormat::kPdf) cairo_scale(cr_, kPointsPerMm, kPointsPerMm);
    if (format_ == PictureFormat::kPng) {
      cairo_scale(cr_, kPngDotsPerInch / 25.4, kPngDotsPerInch / 25.4);
    }
    layout_ = pango_cairo_create_layout(cr_);
    // Metrics as the font designs them, not fitted to a device's pixels:
    // text takes the same room on every kind of page.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout_), options);
    // User units are millimetres: glyphs rounded to whole ones would stand
    // apart.
    pango_context_set_round_glyph_positions(pango_layout_get_context(layout_), FALSE);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout_);
    // Glyphs at their own advances, one per letter: kerning and ligatures
    // would split or join words for a reader of the PDF's text.
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_font_features_new("kern 0, liga 0, clig 0"));
    pango_layout_set_attributes(layout_, attributes);
    pango_attr_list_unref(attributes);
  }
  cairo_save(cr_);
  cairo_set_source_rgb(cr_, 1, 1, 1);
  cairo_rectangle(cr_, 0, 0, paper_.width, paper_.height);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void Canvas::EndPage() {
  // A context that failed draws nothing more: its pages would be blank.
  Check(cairo_status(cr_), "the picture");
  switch (format_) {
    case PictureFormat::kPdf:
      cairo_show_page(cr_);
      break;
    case PictureFormat::kSvg:
      cairo_show_page(cr_);
      cairo_surface_finish(surface_);
      Check(cairo_surface_status(surface_), "the SVG picture");
      files_.push_back(std::move(bytes_));
      break;
    case PictureFormat::kPng:
      cairo_surface_flush(surface_);
      Check(cairo_surface_write_to_png_stream(surface_, Append, &bytes_), "the PNG picture");
      files_.push_back(std::move(bytes_));
      break;
  }
}

void Canvas::NextPage() {
  EndPage();
  if (format_ == PictureFormat::kPdf) {
    StartPage();
    return;
  }
  // A file per page: a new surface, drawn on by the same context's state.
  cairo_destroy(cr_);
  cr_ = nullptr;
  cairo_surface_destroy(surface_);
  surface_ = nullptr;
  g_object_unref(layout_);
  layout_ = nullptr;
  StartPage();
}

std::vector<std::string> Canvas::Finish() {
  EndPage();
  if (format_ == PictureFormat::kPdf) {
    cairo_surface_finish(surface_);
    Check(cairo_surface_status(surface_), "the PDF picture");
    files_.push_back(std::move(bytes_));
  }
  return std::move(files_);
}

void Canvas::SetFont(const std::string& text, const Font& font) {
  pango_font_description_set_absolute_size(font_, font.height / kCapHeight * PANGO_SCALE);
  pango_font_description_set_weight(font_, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout_, font_);
  // Lines apart by a little more than their height, so that no two lines'
  // boxes touch.
  pango_layout_set_spacing(layout_, static_cast<int>(font.height * 0.12 * PANGO_SCALE));
  if (font.wrap > 0) {
    pango_layout_set_width(layout_, static_cast<int>(font.wrap * PANGO_SCALE));
    pango_layout_set_wrap(layout_, PANGO_WRAP_WORD_CHAR);
  } else {
    pango_layout_set_width(layout_, -1);
  }
  const std::string printable = Printable(text);
  pango_layout_set_text(layout_, printable.data(), static_cast<int>(printable.size()));
}

Box Canvas::Measure(const std::string& text, const Font& font) {
  SetFont(text, font);
  PangoRectangle logical;
  pango_layout_get_extents(layout_, nullptr, &logical);
  return {0, 0, static_cast<double>(logical.width) / PANGO_SCALE,
          static_cast<double>(logical.height) / PANGO_SCALE};
}

void Canvas::Text(const std::string& text, double x, double y, const Font& font,
                  const Rgb& colour) {
  SetFont(text, font);
  PangoRectangle logical;
  pango_layout_get_extents(layout_, nullptr, &logical);
  cairo_set_source_rgb(cr_, colour.r, colour.g, colour.b);
  cairo_move_to(cr_, x - static_cast<double>(logical.x) / PANGO_SCALE,
                y - static_cast<double>(logical.y) / PANGO_SCALE);
  pango_cairo_show_layout(cr_, layout_);
}

void Canvas::Stroke(const std::vector<geometry::Point2>& points, double width, const Rgb& colour,
                    bool closed) {
  if (points.size() < 2) return;
  cairo_move_to(cr_, points[0][0], points[0][1]);
  for (size_t i = 1; i < points.size(); ++i) cairo_line_to(cr_, points[i][0], points[i][1]);
  if (closed) cairo_close_path(cr_);
  cairo_set_source_rgb(cr_, colour.r, colour.g, colour.b);
  cairo_set_line_width(cr_, width);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
  cairo_stroke(cr_);
}

void Canvas::StrokeMany(const std::vector<std::vector<geometry::Point2>>& lines, double width,
                        const Rgb& colour) {
  bool any = false;
  for (const auto& points : lines) {
    if (points.size() < 2) continue;
    cairo_move_to(cr_, points[0][0], points[0][1]);
    for (size_t i = 1; i < points.size(); ++i) cairo_line_to(cr_, points[i][0], points[i][1]);
    any = true;
  }
  if (!any) return;
  cairo_set_source_rgb(cr_, colour.r, colour.g, colour.b);
  cairo_set_line_width(cr_, width);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
  cairo_stroke(cr_);
}

void Canvas::Rectangle(const Box& box, double width, const Rgb& colour, std::optional<Rgb> fill) {
  cairo_rectangle(cr_, box.x0, box.y0, box.Width(), box.Height());
  if (fill) {
    cairo_set_source_rgb(cr_, fill->r, fill->g, fill->b);
    cairo_fill_preserve(cr_);
  }
  cairo_set_source_rgb(cr_, colour.r, colour.g, colour.b);
  cairo_set_line_width(cr_, width);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER);
  cairo_stroke(cr_);
}

}  // namespace palvane::tools::picture
