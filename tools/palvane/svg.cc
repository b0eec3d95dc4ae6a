#include "svg.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <numbers>

#include "dxf/tags.h"
#include "geometry/vec.h"
#include "host/memory/entities.h"

namespace palvane::tools {
namespace {

using host::Point3;
using host::memory::EntityCore;

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
        out += c;
    }
  }
  return out;
}

// The lines of a multi-line text, its formatting codes left out.
std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines{""};
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '{' || c == '}') continue;
    if (c == '\\' && i + 1 < text.size()) {
      const char code = text[i + 1];
      if (code == 'P') {
        lines.emplace_back();
        ++i;
      } else if (code == '\\' || code == '{' || code == '}') {
        lines.back() += code;
        ++i;
      } else if (code == '~') {
        lines.back() += ' ';
        ++i;
      } else {
        const size_t end = text.find(';', i);
        i = end == std::string::npos ? text.size() : end;
      }
      continue;
    }
    lines.back() += c;
  }
  return lines;
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

  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char buf[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    out.append(buf, static_cast<size_t>(std::min(n, static_cast<int>(sizeof buf) - 1)));
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

int LayerColour(const EntityCore& e) {
  if (e.color() > 0 && e.color() < 256) return e.color();
  return e.layer() != nullptr ? e.layer()->color() : 7;
}

std::vector<std::array<double, 3>> WorldVertices(const host::memory::MemLWPolyline& p,
                                                 const std::function<Point3(Point3)>& place) {
  std::vector<std::array<double, 3>> v;
  for (const auto& vertex : p.vertices()) {
    const Point3 w = place(geometry::OcsToWorld({vertex.x, vertex.y, p.elevation()}, p.normal()));
    // A mirrored normal turns arcs the other way.
    v.push_back({w[0], w[1], p.normal()[2] < 0 ? -vertex.bulge : vertex.bulge});
  }
  return v;
}

double Width(const host::memory::MemLWPolyline& p) {
  double w = p.constant_width();
  for (const auto& v : p.vertices()) w = std::max({w, v.start_width, v.end_width});
  return w;
}

}  // namespace

std::string DrawingSvg(const host::memory::MemDocument& doc, int width) {
  Point3 min, max;
  if (!doc.ModelExtents(min, max)) min = max = {0, 0, 0};
  Picture pic(min, max, width);
  std::string body;
  auto identity = [](Point3 p) { return p; };
  for (const auto& e : doc.model_space()->entities()) {
    const char* colour = Colour(LayerColour(*e));
    if (auto* p = dynamic_cast<host::memory::MemLWPolyline*>(e)) {
      pic.Polyline(WorldVertices(*p, identity), p->closed(), Width(*p), colour);
    } else if (auto* t = dynamic_cast<host::memory::MemMText*>(e)) {
      pic.Text(TextLines(t->text()), t->insertion()[0], t->insertion()[1], t->height(), colour);
    } else if (auto* r = dynamic_cast<host::memory::MemBlockReference*>(e)) {
      const host::memory::MemBlock* block = doc.FindBlock(r->block_name());
      if (block != nullptr) {
        const auto place = r->PlacementOf(block);
        for (const auto& inner : block->entities()) {
          if (auto* inner_line = dynamic_cast<host::memory::MemLWPolyline*>(inner)) {
            pic.Polyline(WorldVertices(*inner_line, place), inner_line->closed(),
                         Width(*inner_line), Colour(LayerColour(*inner_line)));
          }
        }
      }
      for (const auto& a : r->attributes) {
        pic.Text({a->value()}, a->insertion()[0], a->insertion()[1] + a->height(), a->height(),
                 colour);
      }
    } else if (auto* pt = dynamic_cast<host::memory::MemPoint*>(e)) {
      pic.Printf("<circle cx=\"%s\" cy=\"%s\" r=\"1.5\" fill=\"%s\"/>\n",
                 Picture::Num(pic.X(pt->position()[0])).c_str(),
                 Picture::Num(pic.Y(pt->position()[1])).c_str(), colour);
    }
  }
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(pic.width_) +
         "\" height=\"" + std::to_string(pic.height_) + "\" viewBox=\"0 0 " +
         std::to_string(pic.width_) + " " + std::to_string(pic.height_) + "\">\n";
  svg += "<title>" + Escape(doc.name()) + "</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += pic.out;
  svg += "</svg>\n";
  return svg;
}

}  // namespace palvane::tools
