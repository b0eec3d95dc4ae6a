// The entity kinds of straight segments in space: lines and 3D polylines,
// which hold a survey's points along a cross-section.

#include <algorithm>
#include <vector>

#include "geometry/vec.h"
#include "host/memory/entities.h"

namespace palvane::host::memory {

namespace g = palvane::geometry;

namespace {

void Widen(const Point3& p, Point3& min, Point3& max) {
  for (int j = 0; j < 3; ++j) {
    min[j] = std::min(min[j], p[j]);
    max[j] = std::max(max[j], p[j]);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Lines

Point3 MemLine::StartPoint() {
  Enter("StartPoint");
  return fields().start;
}
Point3 MemLine::EndPoint() {
  Enter("EndPoint");
  return fields().end;
}
void MemLine::Translate(const Point3& d) {
  fields().start = g::Add(fields().start, d);
  fields().end = g::Add(fields().end, d);
}
bool MemLine::Extents(Point3& min, Point3& max) const {
  min = max = fields().start;
  Widen(fields().end, min, max);
  return true;
}
EntityCore* MemLine::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemLine>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->fields() = fields();
  return copy;
}

// ---------------------------------------------------------------------------
// 3D polylines

std::vector<double> MemPolyline3D::Coordinates() {
  Enter("Coordinates");
  std::vector<double> flat;
  flat.reserve(fields().vertices.size() * 3);
  for (const Point3& p : fields().vertices) flat.insert(flat.end(), p.begin(), p.end());
  return flat;
}
bool MemPolyline3D::Closed() {
  Enter("Closed");
  return fields().closed;
}
void MemPolyline3D::Translate(const Point3& d) {
  for (Point3& p : fields().vertices) p = g::Add(p, d);
}
bool MemPolyline3D::Extents(Point3& min, Point3& max) const {
  const std::vector<Point3>& v = fields().vertices;
  if (v.empty()) return false;
  min = max = v.front();
  for (const Point3& p : v) Widen(p, min, max);
  return true;
}
EntityCore* MemPolyline3D::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemPolyline3D>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->fields() = fields();
  return copy;
}

}  // namespace palvane::host::memory
