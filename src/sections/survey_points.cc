#include "sections/survey_points.h"

#include <algorithm>

#include "host/wildcard.h"
#include "model/lookup.h"

namespace palvane::sections {
namespace {

using host::Ref;

// The vertices of a polyline in a plane, given in its own coordinates, in
// the world's.
void AppendPlanar(const std::vector<double>& c, double z, const host::Point3& normal,
                  const std::string& layer, host::Utility& utility, std::vector<RawPoint>& out) {
  const bool flat = normal[0] == 0 && normal[1] == 0 && normal[2] > 0;
  for (size_t i = 0; i + 1 < c.size(); i += 2) {
    host::Point3 p{c[i], c[i + 1], z};
    if (!flat) p = utility.TranslateCoordinates(p, host::kObjectCs, host::kWorld, false, normal);
    out.push_back({p, layer});
  }
}

// The vertices of a survey entity in world coordinates; none for an entity
// of another kind.
void AppendPoints(const Ref<host::Entity>& e, const std::string& layer, host::Utility& utility,
                  std::vector<RawPoint>& out) {
  if (e.Is<host::PointEntity>()) {
    out.push_back({e.As<host::PointEntity>()->Coordinates(), layer});
  } else if (e.Is<host::Line>()) {
    const auto line = e.As<host::Line>();
    out.push_back({line->StartPoint(), layer});
    out.push_back({line->EndPoint(), layer});
  } else if (e.Is<host::Polyline3D>()) {
    const std::vector<double> c = e.As<host::Polyline3D>()->Coordinates();
    for (size_t i = 0; i + 2 < c.size(); i += 3) out.push_back({{c[i], c[i + 1], c[i + 2]}, layer});
  } else if (e.Is<host::LWPolyline>()) {
    const auto lw = e.As<host::LWPolyline>();
    AppendPlanar(lw->Coordinates(), lw->Elevation(), lw->Normal(), layer, utility, out);
  } else if (e.Is<host::Polyline2D>()) {
    const auto heavy = e.As<host::Polyline2D>();
    AppendPlanar(heavy->Coordinates(), heavy->Elevation(), heavy->Normal(), layer, utility, out);
  }
}

}  // namespace

std::vector<RawPoint> PointsOnLayer(const Ref<host::Document>& drawing,
                                    const std::string& selection_set, const std::string& layer,
                                    host::Utility& utility) {
  std::vector<RawPoint> out;
  const auto entities =
      model::SelectAll(drawing, selection_set, {8}, {host::Variant(host::EscapeWildcards(layer))});
  for (const auto& e : entities) AppendPoints(e, layer, utility, out);
  return out;
}

}  // namespace palvane::sections
