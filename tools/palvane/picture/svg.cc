#include "picture/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <numbers>

#include "geometry/vec.h"
#include "host/text.h"

namespace palvane::tools {
namespace {

using host::Point3;

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // XML allows no control characters but tab and line ends: a
        // drawing's text may hold any.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += "\xEF\xBF\xBD";
        } else {
          out += c;
        }
    }
  }
  return out;
}

const char* Colour(int aci) {
  switch (aci) {
    case 1:
      return "#d62728";
    case 2:
      return "#bcbd22";
    case 3:
      return "#2ca02c";
    case 4:
      return "#17becf";
    case 5:
      return "#1f4fd6";
    case 6:
      return "#9467bd";
    default:
      return "#222222";
  }
}

class Picture {
 public:
  Picture(const Point3& min, const Point3& max, int width) : min_(min), max_(max) {
    const double w = std::max(max[0] - min[0], 1e-9), h = std::max(max[1] - min[1], 1e-9);
    scale_ = (width - 2 * kMargin) / std::max(w, h * 1.5);
    width_ = static_cast<int>(std::ceil(w * scale_ + 2 * kMargin));
    height_ = static_cast<int>(std::ceil(h * scale_ + 2 * kMargin));
  }
  double X(double x) const { return kMargin + (x - min_[0]) * scale_; }
  double Y(double y) const { return kMargin + (max_[1] - y) * scale_; }
  double L(double d) const { return d * scale_; }

  std::string out;
  int width_, height_;

  // Appends the formatted text whole, however long: a path holds every
  // vertex of a reach.
  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
      const size_t at = out.size();
      out.resize(at + static_cast<size_t>(n) + 1);
      std::vsnprintf(out.data() + at, static_cast<size_t>(n) + 1, format, again);
      out.resize(at + static_cast<size_t>(n));
    }
    va_end(again);
  }

  // A polyline given in world coordinates (vertex, bulge), with its width.
  void Polyline(const std::vector<std::array<double, 3>>& v, bool closed, double width,
                const char* colour) {
    if (v.size() < 2) return;
    std::string d = "M" + Num(X(v[0][0])) + " " + Num(Y(v[0][1]));
    const size_t segments = closed ? v.size() : v.size() - 1;
    for (size_t i = 0; i < segments; ++i) {
      const auto& a = v[i];
      const auto& b = v[(i + 1) % v.size()];
      if (a[2] == 0) {
        d += " L" + Num(X(b[0])) + " " + Num(Y(b[1]));
        continue;
      }
      const double chord = std::hypot(b[0] - a[0], b[1] - a[1]);
      const double theta = 4 * std::atan(std::fabs(a[2]));
      const double r = chord / (2 * std::sin(theta / 2));
      // Y is flipped, so a counter-clockwise arc is drawn clockwise.
      d += " A" + Num(L(r)) + " " + Num(L(r)) + " 0 " + (theta > std::numbers::pi ? "1" : "0") +
           " " + (a[2] > 0 ? "0" : "1") + " " + Num(X(b[0])) + " " + Num(Y(b[1]));
    }
    Printf("<path d=\"%s\" fill=\"none\" stroke=\"%s\" stroke-width=\"%s\"/>\n", d.c_str(), colour,
           Num(std::max(L(width), 1.0)).c_str());
  }

  void Text(const std::vector<std::string>& lines, double x, double top, double height,
            const char* colour) {
    const double size = std::max(L(height), 1.0);
    Printf("<text x=\"%s\" y=\"%s\" font-family=\"sans-serif\" font-size=\"%s\" fill=\"%s\">",
           Num(X(x)).c_str(), Num(Y(top) + size).c_str(), Num(size).c_str(), colour);
    for (size_t i = 0; i < lines.size(); ++i) {
      Printf("<tspan x=\"%s\" dy=\"%s\">%s</tspan>", Num(X(x)).c_str(),
             i == 0 ? "0" : Num(size * 5 / 3).c_str(), Escape(lines[i]).c_str());
    }
    out += "</text>\n";
  }

  static std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
  }

 private:
  static constexpr double kMargin = 20;
  Point3 min_, max_;
  double scale_;
};

// The colour an entity is drawn in: its own, or its layer's when it has
// none of its own (by layer, by block, or a layer that cannot be found).
class Colours {
 public:
  explicit Colours(host::Document& doc) : layers_(doc.Layers()) {}
  const char* Of(host::Entity& e) {
    const int32_t own = e.Color();
    if (own > 0 && own < 256) return Colour(own);
    const std::string layer = e.Layer();
    auto it = layer_colours_.find(layer);
    if (it == layer_colours_.end()) {
      int32_t colour = 7;
      try {
        colour = layers_->Item(layer)->Color();
      } catch (const host::Error&) {
      }
      it = layer_colours_.emplace(layer, colour).first;
    }
    return Colour(it->second);
  }

 private:
  host::Ref<host::Layers> layers_;
  std::map<std::string, int32_t> layer_colours_;
};

// Where a block's points land in the drawing through one reference.
struct Placement {
  Point3 base, insertion, scale;
  double cos, sin;
  Point3 operator()(const Point3& p) const {
    const double x = (p[0] - base[0]) * scale[0], y = (p[1] - base[1]) * scale[1];
    return {insertion[0] + x * cos - y * sin, insertion[1] + x * sin + y * cos,
            insertion[2] + (p[2] - base[2]) * scale[2]};
  }
};

std::vector<std::array<double, 3>> WorldVertices(host::LWPolyline& p,
                                                 const std::function<Point3(Point3)>& place) {
  const std::vector<double> coords = p.Coordinates();
  const double elevation = p.Elevation();
  const Point3 normal = p.Normal();
  std::vector<std::array<double, 3>> v;
  for (size_t i = 0; i + 1 < coords.size(); i += 2) {
    const Point3 w = place(geometry::OcsToWorld({coords[i], coords[i + 1], elevation}, normal));
    const double bulge = p.GetBulge(static_cast<int32_t>(i / 2));
    // A mirrored normal turns arcs the other way.
    v.push_back({w[0], w[1], normal[2] < 0 ? -bulge : bulge});
  }
  return v;
}

// The widest a polyline of `vertices` vertices is drawn anywhere.
double Width(host::LWPolyline& p, int32_t vertices, bool closed) {
  const int32_t segments = closed ? vertices : vertices - 1;
  double w = 0;
  for (int32_t i = 0; i < segments; ++i) {
    double start = 0, end = 0;
    p.GetWidth(i, start, end);
    w = std::max({w, start, end});
  }
  return w;
}

void DrawPolyline(Picture& pic, host::LWPolyline& p, const std::function<Point3(Point3)>& place,
                  const char* colour) {
  const std::vector<std::array<double, 3>> vertices = WorldVertices(p, place);
  const bool closed = p.Closed();
  pic.Polyline(vertices, closed, Width(p, static_cast<int32_t>(vertices.size()), closed), colour);
}

// The model-space extents, as the union of the entities' boxes; entities
// without extents are left out.
bool ModelExtents(host::Block& model, Point3& min, Point3& max) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  min = {kInf, kInf, kInf};
  max = {-kInf, -kInf, -kInf};
  bool any = false;
  const int32_t count = model.Count();
  for (int32_t i = 0; i < count; ++i) {
    Point3 a, b;
    try {
      model.Item(i)->GetBoundingBox(a, b);
    } catch (const host::Error&) {
      continue;
    }
    for (int k = 0; k < 3; ++k) {
      min[k] = std::min({min[k], a[k], b[k]});
      max[k] = std::max({max[k], a[k], b[k]});
    }
    any = true;
  }
  return any;
}

}  // namespace

std::string DrawingSvg(host::Document& doc, int width) {
  const host::Ref<host::Block> model = doc.ModelSpace();
  Point3 min, max;
  if (!ModelExtents(*model, min, max)) min = max = {0, 0, 0};
  Picture pic(min, max, width);
  Colours colours(doc);
  auto identity = [](Point3 p) { return p; };
  const int32_t count = model->Count();
  for (int32_t i = 0; i < count; ++i) {
    const host::Ref<host::Entity> e = model->Item(i);
    const char* colour = colours.Of(*e);
    if (e.Is<host::LWPolyline>()) {
      DrawPolyline(pic, *e.As<host::LWPolyline>(), identity, colour);
    } else if (e.Is<host::MText>()) {
      const auto t = e.As<host::MText>();
      const Point3 at = t->InsertionPoint();
      pic.Text(host::MTextLines(t->TextString()), at[0], at[1], t->Height(), colour);
    } else if (e.Is<host::Text>()) {
      // Drawn from its baseline's start; justified text from its alignment
      // point, as near as a picture needs.
      const auto t = e.As<host::Text>();
      const Point3 at = host::PlacementOf(*t);
      pic.Text(host::MTextLines(t->TextString()), at[0], at[1] + t->Height(), t->Height(), colour);
    } else if (e.Is<host::BlockReference>()) {
      const auto r = e.As<host::BlockReference>();
      host::Ref<host::Block> block;
      try {
        block = doc.Blocks()->Item(r->Name());
      } catch (const host::Error&) {
      }
      if (block) {
        const double angle = r->Rotation();
        const Placement place{block->Origin(), r->InsertionPoint(), r->ScaleFactors(),
                              std::cos(angle), std::sin(angle)};
        const int32_t inner_count = block->Count();
        for (int32_t k = 0; k < inner_count; ++k) {
          const host::Ref<host::Entity> inner = block->Item(k);
          if (inner.Is<host::LWPolyline>()) {
            DrawPolyline(pic, *inner.As<host::LWPolyline>(), place, colours.Of(*inner));
          }
        }
      }
      for (const auto& a : r->GetAttributes()) {
        const Point3 at = a->InsertionPoint();
        pic.Text({a->TextString()}, at[0], at[1] + a->Height(), a->Height(), colour);
      }
    } else if (e.Is<host::PointEntity>()) {
      const Point3 at = e.As<host::PointEntity>()->Coordinates();
      pic.Printf("<circle cx=\"%s\" cy=\"%s\" r=\"1.5\" fill=\"%s\"/>\n",
                 Picture::Num(pic.X(at[0])).c_str(), Picture::Num(pic.Y(at[1])).c_str(), colour);
    }
  }
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(pic.width_) +
         "\" height=\"" + std::to_string(pic.height_) + "\" viewBox=\"0 0 " +
         std::to_string(pic.width_) + " " + std::to_string(pic.height_) + "\">\n";
  svg += "<title>" + Escape(doc.Name()) + "</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += pic.out;
  svg += "</svg>\n";
  return svg;
}

}  // namespace palvane::tools
