#include "picture/plan.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "geometry/vec.h"
#include "host/convert.h"
#include "host/fold.h"
#include "host/text.h"
#include "keyplan/export.h"

namespace palvane::tools::picture {
namespace {

using host::Point3;

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

geometry::PlanPolyline PlanOf(host::LWPolyline& p, const std::function<Point3(Point3)>& place,
                              double& width) {
  geometry::PlanPolyline line;
  const std::vector<double> coords = p.Coordinates();
  const double elevation = p.Elevation();
  const Point3 normal = p.Normal();
  for (size_t i = 0; i + 1 < coords.size(); i += 2) {
    const Point3 w = place(geometry::OcsToWorld({coords[i], coords[i + 1], elevation}, normal));
    line.vertices.push_back({w[0], w[1]});
    const double bulge = p.GetBulge(static_cast<int32_t>(i / 2));
    // A mirrored normal turns arcs the other way.
    line.bulges.push_back(normal[2] < 0 ? -bulge : bulge);
  }
  line.closed = p.Closed();
  const size_t segments = line.closed ? line.vertices.size() : line.vertices.size() - 1;
  width = 0;
  for (size_t i = 0; i < segments && !line.vertices.empty(); ++i) {
    double start = 0, end = 0;
    p.GetWidth(static_cast<int32_t>(i), start, end);
    width = std::max({width, start, end});
  }
  return line;
}

// The chainage a section line's layer name carries after the prefix.
std::optional<double> ChainageOfLayer(const std::string& layer, const std::string& prefix) {
  if (layer.size() <= prefix.size() ||
      !host::SameFolded(std::string_view(layer).substr(0, prefix.size()), prefix)) {
    return std::nullopt;
  }
  const std::string rest = layer.substr(prefix.size());
  try {
    const double value = host::TextToDouble(rest);
    if (std::isfinite(value)) return value;
  } catch (const host::Error&) {
  }
  return std::nullopt;
}

// Whether chainage runs from the centre line's end: the sections' tagged
// chainages are compared with where their lines cross it, both ways.
bool ChainageFromEnd(const Plan& plan) {
  if (!plan.centre_line) return false;
  const geometry::PolylineIndex centre(plan.lines[*plan.centre_line].line);
  const double length = centre.Length();
  double forward = 0, backward = 0;
  for (const PlanLine& l : plan.lines) {
    if (l.role != Role::kSection || !l.chainage || l.line.vertices.size() < 2) continue;
    const auto crossings = centre.Crossings(l.line.vertices.front(), l.line.vertices.back());
    if (crossings.size() != 1) continue;
    forward += std::fabs(*l.chainage - crossings[0].chainage);
    backward += std::fabs(*l.chainage - (length - crossings[0].chainage));
  }
  return backward < forward;
}

}  // namespace

Plan PlanOfKeyplan(host::Document& keyplan, const std::string& line_layer_prefix) {
  Plan plan;
  const host::Ref<host::Block> model = keyplan.ModelSpace();
  const auto identity = [](Point3 p) { return p; };
  // The section line a label that follows belongs to, until it has one.
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t waiting = kNone;
  const auto add_line = [&](geometry::PlanPolyline line, const std::string& layer, double width) {
    if (line.vertices.size() < 2) return kNone;
    PlanLine l;
    l.line = std::move(line);
    l.width = width;
    if (host::SameFolded(layer, keyplan::kCentreLineLayer) && !plan.centre_line) {
      l.role = Role::kCentreLine;
      l.colour = kCentreBlue;
      plan.centre_line = plan.lines.size();
    } else if (const auto chainage = ChainageOfLayer(layer, line_layer_prefix)) {
      l.role = Role::kSection;
      l.chainage = chainage;
    } else {
      l.colour = kGrey;
    }
    plan.lines.push_back(std::move(l));
    return plan.lines.size() - 1;
  };
  const int32_t count = model->Count();
  for (int32_t i = 0; i < count; ++i) {
    const host::Ref<host::Entity> e = model->Item(i);
    if (e.Is<host::LWPolyline>()) {
      double width = 0;
      geometry::PlanPolyline line = PlanOf(*e.As<host::LWPolyline>(), identity, width);
      const auto index = add_line(std::move(line), e->Layer(), width);
      if (index != kNone && plan.lines[index].role == Role::kSection) waiting = index;
    } else if (e.Is<host::MText>() && waiting != kNone) {
      plan.labels.push_back({host::MTextLines(e.As<host::MText>()->TextString()), waiting, kBlack});
      waiting = kNone;
    } else if (e.Is<host::BlockReference>()) {
      const auto r = e.As<host::BlockReference>();
      host::Ref<host::Block> block;
      try {
        block = keyplan.Blocks()->Item(r->Name());
      } catch (const host::Error&) {
      }
      size_t section = kNone;
      if (block) {
        const double angle = r->Rotation();
        const Placement place{block->Origin(), r->InsertionPoint(), r->ScaleFactors(),
                              std::cos(angle), std::sin(angle)};
        const int32_t inner_count = block->Count();
        for (int32_t k = 0; k < inner_count; ++k) {
          const host::Ref<host::Entity> inner = block->Item(k);
          if (!inner.Is<host::LWPolyline>()) continue;
          double width = 0;
          geometry::PlanPolyline line = PlanOf(*inner.As<host::LWPolyline>(), place, width);
          const auto index = add_line(std::move(line), inner->Layer(), width);
          if (index != kNone && plan.lines[index].role == Role::kSection && section == kNone) {
            section = index;
          }
        }
      }
      std::vector<std::string> values;
      for (const auto& a : r->GetAttributes()) {
        const std::string value = a->TextString();
        if (!value.empty()) values.push_back(value);
      }
      if (section != kNone && !values.empty()) plan.labels.push_back({values, section, kBlack});
    }
  }
  plan.chainage_from_end = ChainageFromEnd(plan);
  if (plan.centre_line) plan.legend.push_back({"Centre line", kCentreBlue, true});
  plan.legend.push_back({"Section line", kBlack, false});
  return plan;
}

}  // namespace palvane::tools::picture
