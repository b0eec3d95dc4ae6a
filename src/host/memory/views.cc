#include "host/memory/views.h"

#include <cmath>

#include "geometry/vec.h"
#include "host/convert.h"
#include "host/memory/entities.h"
#include "host/memory/views.h"

namespace palvane::host::memory {

namespace g = palvane::geometry;

namespace {

// A copy of the active viewport's settings; assigning it back applies them.
class MemViewport final : public Viewport {
 public:
  MemViewport(std::shared_ptr<MemDocument> doc, const ViewState& view)
      : doc_(std::move(doc)),
        direction_(view.direction),
        icon_on_(view.ucs_icon_on),
        icon_at_origin_(view.ucs_icon_at_origin) {}
  std::string Handle() override { return "29"; }
  std::string ObjectName() override { return "AcDbViewportTableRecord"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("the viewport holds no extended data");
  }
  Point3 Direction() override {
    doc_->Enter("Viewport", "Direction");
    return direction_;
  }
  void SetDirection(const Point3& direction) override {
    doc_->Enter("Viewport", "SetDirection");
    if (g::Norm(direction) == 0) throw Error::InvalidInput("zero view direction");
    direction_ = direction;
  }
  bool UCSIconOn() override {
    doc_->Enter("Viewport", "UCSIconOn");
    return icon_on_;
  }
  void SetUCSIconOn(bool on) override {
    doc_->Enter("Viewport", "SetUCSIconOn");
    icon_on_ = on;
  }
  bool UCSIconAtOrigin() override {
    doc_->Enter("Viewport", "UCSIconAtOrigin");
    return icon_at_origin_;
  }
  void SetUCSIconAtOrigin(bool at_origin) override {
    doc_->Enter("Viewport", "SetUCSIconAtOrigin");
    icon_at_origin_ = at_origin;
  }
  void ApplyTo(ViewState& view) const {
    view.direction = direction_;
    view.ucs_icon_on = icon_on_;
    view.ucs_icon_at_origin = icon_at_origin_;
  }
  MemDocument* doc() const { return doc_.get(); }

 private:
  std::shared_ptr<MemDocument> doc_;
  Point3 direction_;
  bool icon_on_, icon_at_origin_;
};

class MemUtility final : public Utility {
 public:
  explicit MemUtility(MemDocument* doc) : doc_(doc) {}
  Point3 TranslateCoordinates(const Point3& point, int32_t from, int32_t to, bool displacement,
                              const Point3& ocs_normal) override {
    doc_->Enter("Utility", "TranslateCoordinates");
    const Point3 world = ToWorld(point, from, displacement, ocs_normal);
    return FromWorld(world, to, displacement, ocs_normal);
  }
  double AngleFromXAxis(const Point3& start, const Point3& end) override {
    doc_->Enter("Utility", "AngleFromXAxis");
    return g::PlanAngle(start[0], start[1], end[0], end[1]);
  }
  Point3 PolarPoint(const Point3& point, double angle, double distance) override {
    doc_->Enter("Utility", "PolarPoint");
    return {point[0] + distance * std::cos(angle), point[1] + distance * std::sin(angle), point[2]};
  }

 private:
  static void CheckNormal(const Point3& normal) {
    if (g::Norm(normal) == 0) throw Error::InvalidInput("zero normal");
  }
  // The axes of an object coordinate system, those of the last normal kept:
  // a drawing's polylines mostly share one.
  const g::OcsAxes& AxesOf(const Point3& normal) const {
    if (!axes_known_ || std::memcmp(&normal, &axes_normal_, sizeof normal) != 0) {
      axes_ = g::ArbitraryAxes(normal);
      axes_normal_ = normal;
      axes_known_ = true;
    }
    return axes_;
  }
  mutable bool axes_known_ = false;
  mutable Point3 axes_normal_{0, 0, 0};
  mutable g::OcsAxes axes_{};
  Point3 ToWorld(const Point3& p, int32_t cs, bool displacement, const Point3& normal) const {
    switch (cs) {
      case kWorld:
        return p;
      case kObjectCs:
        CheckNormal(normal);
        return g::OcsToWorld(p, AxesOf(normal));
      case kUcs: {
        const MemUCS* u = doc_->active_ucs();
        if (u == nullptr) return p;
        const Point3 z = g::Cross(u->x_axis, u->y_axis);
        Point3 w =
            g::Add(g::Add(g::Scale(u->x_axis, p[0]), g::Scale(u->y_axis, p[1])), g::Scale(z, p[2]));
        return displacement ? w : g::Add(w, u->origin);
      }
      default:
        throw Error::InvalidInput("unsupported coordinate system " + std::to_string(cs));
    }
  }
  Point3 FromWorld(const Point3& p, int32_t cs, bool displacement, const Point3& normal) const {
    switch (cs) {
      case kWorld:
        return p;
      case kObjectCs:
        CheckNormal(normal);
        return g::WorldToOcs(p, AxesOf(normal));
      case kUcs: {
        const MemUCS* u = doc_->active_ucs();
        if (u == nullptr) return p;
        const Point3 d = displacement ? p : g::Sub(p, u->origin);
        return {g::Dot(d, u->x_axis), g::Dot(d, u->y_axis),
                g::Dot(d, g::Cross(u->x_axis, u->y_axis))};
      }
      default:
        throw Error::InvalidInput("unsupported coordinate system " + std::to_string(cs));
    }
  }
  MemDocument* doc_;  // which owns this view of it
};

class MemDocuments final : public Documents {
 public:
  explicit MemDocuments(std::shared_ptr<MemApplication> app) : app_(std::move(app)) {}
  int32_t Count() override {
    app_->monitor().Enter("Documents", "Count");
    return static_cast<int32_t>(app_->documents().size());
  }
  Ref<Document> Item(int32_t index) override {
    app_->monitor().Enter("Documents", "Item");
    return Ref<Document>(
        app_->documents()[static_cast<size_t>(CheckIndex(index, app_->documents().size()))]);
  }
  Ref<Document> Item(const std::string& name) override {
    app_->monitor().Enter("Documents", "Item");
    for (const auto& d : app_->documents()) {
      if (SameName(d->name(), name)) return Ref<Document>(d);
    }
    throw Error::KeyNotFound();
  }
  Ref<Document> Add() override {
    app_->monitor().Enter("Documents", "Add");
    auto doc =
        app_->NewDetachedDocument("Drawing" + std::to_string(app_->NextDrawingNumber()) + ".dwg");
    if (app_->new_drawing_template) app_->new_drawing_template(*doc);
    app_->Open(doc);
    return Ref<Document>(doc);
  }

 private:
  std::shared_ptr<MemApplication> app_;
};

}  // namespace

std::unique_ptr<Utility> NewUtilityView(MemDocument* doc) {
  return std::make_unique<MemUtility>(doc);
}
std::shared_ptr<Documents> NewDocumentsView(std::shared_ptr<MemApplication> app) {
  return std::make_shared<MemDocuments>(std::move(app));
}
std::shared_ptr<Viewport> NewViewportView(std::shared_ptr<MemDocument> doc, const ViewState& view) {
  return std::make_shared<MemViewport>(std::move(doc), view);
}
bool ApplyViewport(const Viewport& viewport, const MemDocument* doc, ViewState& view) {
  const auto* mem = dynamic_cast<const MemViewport*>(&viewport);
  if (mem == nullptr || mem->doc() != doc) return false;
  mem->ApplyTo(view);
  return true;
}

}  // namespace palvane::host::memory
