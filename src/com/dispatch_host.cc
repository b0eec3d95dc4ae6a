#include "com/dispatch_host.h"

#include "host/error.h"

namespace palvane::com {
namespace {

using host::Point2;
using host::Point3;
using host::Ref;

[[noreturn]] void NotAdapted(const char* member) {
  throw host::Error(static_cast<int32_t>(E_NOTIMPL),
                    std::string(member) + " is not adapted to the CAD program yet");
}

// Arguments built by Point(), Doubles() and Text() own memory; this frees
// them after a call.
struct Args {
  std::vector<VARIANT> list;
  ~Args() {
    for (auto& v : list) ::VariantClear(&v);
  }
};

class DispUtility final : public host::Utility {
 public:
  explicit DispUtility(DispatchPtr d) : d_(std::move(d)) {}
  Point3 TranslateCoordinates(const Point3& point, int32_t from, int32_t to, bool displacement,
                              const Point3& normal) override {
    Var result;
    Args args{{Point(point), Long(from), Long(to), Long(displacement ? 1 : 0), Point(normal)}};
    d_.Call(L"TranslateCoordinates", DISPATCH_METHOD, args.list, result.get());
    return ToPoint3(*result);
  }
  double AngleFromXAxis(const Point3& start, const Point3& end) override {
    Var result;
    Args args{{Point(start), Point(end)}};
    d_.Call(L"AngleFromXAxis", DISPATCH_METHOD, args.list, result.get());
    return AsDouble(*result);
  }
  Point3 PolarPoint(const Point3& point, double angle, double distance) override {
    Var result;
    Args args{{Point(point), Double(angle), Double(distance)}};
    d_.Call(L"PolarPoint", DISPATCH_METHOD, args.list, result.get());
    return ToPoint3(*result);
  }

 private:
  DispatchPtr d_;
};

class DispPolyline final : public host::LWPolyline {
 public:
  explicit DispPolyline(DispatchPtr d) : d_(std::move(d)) {}
  std::string Handle() override { return GetText(L"Handle"); }
  std::string ObjectName() override { return GetText(L"ObjectName"); }
  Ref<host::Document> Document() override { NotAdapted("Document"); }
  host::XData GetXData(const std::string&) override { NotAdapted("GetXData"); }
  void SetXData(const std::vector<int16_t>&, const std::vector<host::Variant>&) override {
    NotAdapted("SetXData");
  }
  std::string Layer() override { return GetText(L"Layer"); }
  void SetLayer(const std::string&) override { NotAdapted("Layer (assign)"); }
  int32_t Color() override { NotAdapted("Color"); }
  void SetColor(int32_t) override { NotAdapted("Color (assign)"); }
  void Move(const Point3&, const Point3&) override { NotAdapted("Move"); }
  void GetBoundingBox(Point3&, Point3&) override { NotAdapted("GetBoundingBox"); }
  std::vector<double> Coordinates() override {
    Var v;
    d_.Call(L"Coordinates", DISPATCH_PROPERTYGET, {}, v.get());
    return ToDoubles(*v);
  }
  Point2 Coordinate(int32_t index) override {
    Var v;
    d_.Call(L"Coordinate", DISPATCH_PROPERTYGET, {Long(index)}, v.get());
    return ToPoint2(*v);
  }
  double GetBulge(int32_t index) override {
    Var v;
    d_.Call(L"GetBulge", DISPATCH_METHOD, {Long(index)}, v.get());
    return AsDouble(*v);
  }
  void SetBulge(int32_t, double) override { NotAdapted("SetBulge"); }
  void GetWidth(int32_t, double&, double&) override { NotAdapted("GetWidth"); }
  void SetWidth(int32_t, double, double) override { NotAdapted("SetWidth"); }
  bool Closed() override {
    Var v;
    d_.Call(L"Closed", DISPATCH_PROPERTYGET, {}, v.get());
    return AsBool(*v);
  }
  void SetClosed(bool) override { NotAdapted("Closed (assign)"); }
  double Elevation() override {
    Var v;
    d_.Call(L"Elevation", DISPATCH_PROPERTYGET, {}, v.get());
    return AsDouble(*v);
  }
  void SetElevation(double) override { NotAdapted("Elevation (assign)"); }
  Point3 Normal() override {
    Var v;
    d_.Call(L"Normal", DISPATCH_PROPERTYGET, {}, v.get());
    return ToPoint3(*v);
  }
  void SetNormal(const Point3&) override { NotAdapted("Normal (assign)"); }
  double Length() override {
    Var v;
    d_.Call(L"Length", DISPATCH_PROPERTYGET, {}, v.get());
    return AsDouble(*v);
  }

 private:
  std::string GetText(const wchar_t* name) {
    Var v;
    d_.Call(name, DISPATCH_PROPERTYGET, {}, v.get());
    return AsText(*v);
  }
  DispatchPtr d_;
};

class DispDocument final : public host::Document {
 public:
  explicit DispDocument(DispatchPtr d) : d_(std::move(d)) {}
  std::string Name() override {
    Var v;
    d_.Call(L"Name", DISPATCH_PROPERTYGET, {}, v.get());
    return AsText(*v);
  }
  Ref<host::Application> Application() override { NotAdapted("Application"); }
  Ref<host::Utility> Utility() override {
    Var v;
    d_.Call(L"Utility", DISPATCH_PROPERTYGET, {}, v.get());
    if ((*v).vt != VT_DISPATCH || (*v).pdispVal == nullptr) throw host::Error::ObjectNotSet();
    return Ref<host::Utility>(std::make_shared<DispUtility>(DispatchPtr((*v).pdispVal)));
  }
  Ref<host::Block> ModelSpace() override { NotAdapted("ModelSpace"); }
  Ref<host::Blocks> Blocks() override { NotAdapted("Blocks"); }
  Ref<host::Layers> Layers() override { NotAdapted("Layers"); }
  Ref<host::UCSs> UserCoordinateSystems() override { NotAdapted("UserCoordinateSystems"); }
  Ref<host::SelectionSets> SelectionSets() override { NotAdapted("SelectionSets"); }
  Ref<host::Layer> ActiveLayer() override { NotAdapted("ActiveLayer"); }
  void SetActiveLayer(const Ref<host::Layer>&) override { NotAdapted("ActiveLayer (assign)"); }
  Ref<host::Viewport> ActiveViewport() override { NotAdapted("ActiveViewport"); }
  void SetActiveViewport(const Ref<host::Viewport>&) override {
    NotAdapted("ActiveViewport (assign)");
  }
  Ref<host::UCS> ActiveUCS() override { NotAdapted("ActiveUCS"); }
  void SetActiveUCS(const Ref<host::UCS>&) override { NotAdapted("ActiveUCS (assign)"); }
  std::vector<Ref<host::Entity>> CopyObjects(const std::vector<Ref<host::Entity>>&,
                                             const Ref<host::Block>&) override {
    NotAdapted("CopyObjects");
  }
  host::Variant GetVariable(const std::string&) override { NotAdapted("GetVariable"); }
  void SetVariable(const std::string&, const host::Variant&) override { NotAdapted("SetVariable"); }
  void Regen(int32_t which) override {
    Var v;
    d_.Call(L"Regen", DISPATCH_METHOD, {Long(which)}, v.get());
  }
  void Activate() override {
    Var v;
    d_.Call(L"Activate", DISPATCH_METHOD, {}, v.get());
  }
  void PurgeAll() override {
    Var v;
    d_.Call(L"PurgeAll", DISPATCH_METHOD, {}, v.get());
  }

 private:
  DispatchPtr d_;
};

}  // namespace

Ref<host::Document> WrapDocument(IDispatch* document) {
  if (document == nullptr) return {};
  return Ref<host::Document>(std::make_shared<DispDocument>(DispatchPtr(document)));
}

Ref<host::LWPolyline> WrapPolyline(IDispatch* polyline) {
  if (polyline == nullptr) return {};
  return Ref<host::LWPolyline>(std::make_shared<DispPolyline>(DispatchPtr(polyline)));
}

}  // namespace palvane::com
