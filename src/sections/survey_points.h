#pragma once

// The survey points of a layer, read from whatever entities hold them, and
// a shared layer's points found by place.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "geometry/polyline.h"
#include "host/host.h"

namespace palvane::sections {

// A survey point in world coordinates, and the layer it was drawn on.
struct RawPoint {
  host::Point3 p;
  std::string layer;
};

// The vertices of the POINT, LINE and polyline entities (lightweight, 2D
// and 3D; the plane ones at their elevation) on `layer`, in world
// coordinates, found through the selection set `selection_set`.
std::vector<RawPoint> PointsOnLayer(const host::Ref<host::Document>& drawing,
                                    const std::string& selection_set, const std::string& layer,
                                    host::Utility& utility);

// The shared survey points, found by place.
class SharedPoints {
 public:
  explicit SharedPoints(std::vector<RawPoint> points) : points_(std::move(points)) {
    std::vector<geometry::BoxGrid::Box> boxes;
    boxes.reserve(points_.size());
    for (const RawPoint& r : points_) boxes.push_back({r.p[0], r.p[1], r.p[0], r.p[1]});
    grid_.emplace(std::move(boxes));
  }
  // The points within `within` of the box of `path`.
  std::vector<const RawPoint*> Near(const std::vector<geometry::Point2>& path,
                                    double within) const {
    std::vector<const RawPoint*> out;
    if (points_.empty() || path.empty()) return out;
    geometry::BoxGrid::Box box{path[0][0], path[0][1], path[0][0], path[0][1]};
    for (const geometry::Point2& p : path) {
      box.min_x = std::min(box.min_x, p[0]), box.min_y = std::min(box.min_y, p[1]);
      box.max_x = std::max(box.max_x, p[0]), box.max_y = std::max(box.max_y, p[1]);
    }
    box.min_x -= within, box.min_y -= within, box.max_x += within, box.max_y += within;
    for (size_t i : grid_->Candidates(box)) out.push_back(&points_[i]);
    std::sort(out.begin(), out.end());  // drawing order
    return out;
  }

 private:
  std::vector<RawPoint> points_;
  std::optional<geometry::BoxGrid> grid_;
};

}  // namespace palvane::sections
