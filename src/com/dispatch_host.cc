#include "com/dispatch_host.h"

#include <cmath>

#include "host/convert.h"
#include "host/error.h"

namespace palvane::com {
namespace {

using host::Point2;
using host::Point3;
using host::Ref;

class DispObjectBase {
 public:
  explicit DispObjectBase(DispatchPtr d) : d_(std::move(d)) {}
  virtual ~DispObjectBase() = default;
  IDispatch* dispatch() const { return d_.get(); }

 protected:
  void Get(const wchar_t* name, Var& out, std::initializer_list<Arg> args = {}) const {
    d_.Call(name, DISPATCH_PROPERTYGET, args, out.get());
  }
  std::string GetText(const wchar_t* name) const {
    Var v;
    Get(name, v);
    return AsText(*v);
  }
  double GetDouble(const wchar_t* name) const {
    Var v;
    Get(name, v);
    return AsDouble(*v);
  }
  int32_t GetLong(const wchar_t* name) const {
    Var v;
    Get(name, v);
    return AsLong(*v);
  }
  bool GetBool(const wchar_t* name) const {
    Var v;
    Get(name, v);
    return AsBool(*v);
  }
  Point3 GetPoint(const wchar_t* name) const {
    Var v;
    Get(name, v);
    return ToPoint3(*v);
  }
  DispatchPtr GetObject(const wchar_t* name, std::initializer_list<Arg> args = {},
                        WORD kind = DISPATCH_PROPERTYGET) const {
    Var v;
    d_.Call(name, kind, args, v.get());
    if ((*v).vt != VT_DISPATCH || (*v).pdispVal == nullptr) throw host::Error::ObjectNotSet();
    return DispatchPtr((*v).pdispVal);
  }
  void Put(const wchar_t* name, Arg value) const {
    Var ignored;
    d_.Call(name, DISPATCH_PROPERTYPUT, {std::move(value)}, ignored.get());
  }
  void Method(const wchar_t* name, std::initializer_list<Arg> args, Var* out = nullptr) const {
    Var ignored;
    d_.Call(name, DISPATCH_METHOD, args, out != nullptr ? out->get() : ignored.get());
  }

  host::XData GetXDataOf(const std::string& app) const {
    Var types, values, ignored;
    d_.Call(L"GetXData", DISPATCH_METHOD, {Text(app), ByRef(types.get()), ByRef(values.get())},
            ignored.get());
    host::XData out;
    // No data for the application: both stay empty (not arrays).
    if (ElementType(*types) == VT_EMPTY && ElementType(*values) == VT_EMPTY) return out;
    if (ElementType(*types) != VT_I2 || ElementType(*values) != VT_VARIANT) {
      throw host::Error::TypeMismatch();
    }
    SAFEARRAY* codes = (*types).parray;
    SAFEARRAY* items = (*values).parray;
    LONG lo = 0, hi = -1, items_lo = 0, items_hi = -1;
    ::SafeArrayGetLBound(codes, 1, &lo);
    ::SafeArrayGetUBound(codes, 1, &hi);
    ::SafeArrayGetLBound(items, 1, &items_lo);
    ::SafeArrayGetUBound(items, 1, &items_hi);
    if (hi - lo != items_hi - items_lo) throw host::Error::TypeMismatch();
    for (LONG i = lo; i <= hi; ++i) {
      int16_t code = 0;
      ::SafeArrayGetElement(codes, &i, &code);
      Var item;
      LONG at = items_lo + (i - lo);
      ::SafeArrayGetElement(items, &at, item.get());
      out.codes.push_back(code);
      out.values.push_back(ToHost(*item));
    }
    return out;
  }

  void SetXDataOf(const std::vector<int16_t>& codes,
                  const std::vector<host::Variant>& values) const {
    if (codes.size() != values.size()) throw host::Error::InvalidProcedureCall();
    Arg types = NewArray(VT_I2, codes.size());
    Arg items = NewArray(VT_VARIANT, values.size());
    for (LONG i = 0; i < static_cast<LONG>(codes.size()); ++i) {
      int16_t code = codes[static_cast<size_t>(i)];
      ::SafeArrayPutElement((*types).parray, &i, &code);
      Arg item = XDataValue(code, values[static_cast<size_t>(i)]);
      ::SafeArrayPutElement((*items).parray, &i, item.get());
    }
    Var ignored;
    d_.Call(L"SetXData", DISPATCH_METHOD, {std::move(types), std::move(items)}, ignored.get());
  }

  DispatchPtr d_;
};

Ref<host::Entity> WrapEntity(DispatchPtr d);
Ref<host::Document> WrapDocumentPtr(DispatchPtr d);
Ref<host::Block> WrapBlock(DispatchPtr d);
Ref<host::Layer> WrapLayer(DispatchPtr d);

// The members every object has.
template <class I>
class DispObject : public I, public DispObjectBase {
 public:
  explicit DispObject(DispatchPtr d) : DispObjectBase(std::move(d)) {}
  std::string Handle() override { return GetText(L"Handle"); }
  std::string ObjectName() override { return GetText(L"ObjectName"); }
  Ref<host::Document> Document() override { return WrapDocumentPtr(GetObject(L"Document")); }
  host::XData GetXData(const std::string& app) override { return GetXDataOf(app); }
  void SetXData(const std::vector<int16_t>& codes,
                const std::vector<host::Variant>& values) override {
    SetXDataOf(codes, values);
  }
};

// The members every entity has.
template <class I>
class DispEntityT : public DispObject<I> {
 public:
  using DispObject<I>::DispObject;
  std::string Layer() override { return this->GetText(L"Layer"); }
  void SetLayer(const std::string& name) override { this->Put(L"Layer", Text(name)); }
  int32_t Color() override { return this->GetLong(L"Color"); }
  void SetColor(int32_t color) override { this->Put(L"Color", Long(color)); }
  void Move(const Point3& from, const Point3& to) override {
    this->Method(L"Move", {Point(from), Point(to)});
  }
  void GetBoundingBox(Point3& min, Point3& max) override {
    Var lo, hi, ignored;
    this->d_.Call(L"GetBoundingBox", DISPATCH_METHOD, {ByRef(lo.get()), ByRef(hi.get())},
                  ignored.get());
    min = ToPoint3(*lo);
    max = ToPoint3(*hi);
  }
};

class DispEntity final : public DispEntityT<host::Entity> {
 public:
  using DispEntityT::DispEntityT;
};

class DispPolyline final : public DispEntityT<host::LWPolyline> {
 public:
  using DispEntityT::DispEntityT;
  std::vector<double> Coordinates() override {
    Var v;
    Get(L"Coordinates", v);
    return ToDoubles(*v);
  }
  Point2 Coordinate(int32_t index) override {
    Var v;
    Get(L"Coordinate", v, {Long(index)});
    return ToPoint2(*v);
  }
  double GetBulge(int32_t index) override {
    Var v;
    Method(L"GetBulge", {Long(index)}, &v);
    return AsDouble(*v);
  }
  void SetBulge(int32_t index, double bulge) override {
    Method(L"SetBulge", {Long(index), Double(bulge)});
  }
  void GetWidth(int32_t segment, double& start_width, double& end_width) override {
    Var ignored;
    d_.Call(L"GetWidth", DISPATCH_METHOD, {Long(segment), ByRef(&start_width), ByRef(&end_width)},
            ignored.get());
  }
  void SetWidth(int32_t segment, double start_width, double end_width) override {
    Method(L"SetWidth", {Long(segment), Double(start_width), Double(end_width)});
  }
  bool Closed() override { return GetBool(L"Closed"); }
  void SetClosed(bool closed) override { Put(L"Closed", Bool(closed)); }
  double Elevation() override { return GetDouble(L"Elevation"); }
  void SetElevation(double e) override { Put(L"Elevation", Double(e)); }
  Point3 Normal() override { return GetPoint(L"Normal"); }
  void SetNormal(const Point3& n) override { Put(L"Normal", Point(n)); }
  double Length() override { return GetDouble(L"Length"); }
};

class DispPoint final : public DispEntityT<host::PointEntity> {
 public:
  using DispEntityT::DispEntityT;
  Point3 Coordinates() override { return GetPoint(L"Coordinates"); }
};

class DispLine final : public DispEntityT<host::Line> {
 public:
  using DispEntityT::DispEntityT;
  Point3 StartPoint() override { return GetPoint(L"StartPoint"); }
  Point3 EndPoint() override { return GetPoint(L"EndPoint"); }
};

class Disp3DPolyline final : public DispEntityT<host::Polyline3D> {
 public:
  using DispEntityT::DispEntityT;
  std::vector<double> Coordinates() override {
    Var v;
    Get(L"Coordinates", v);
    return ToDoubles(*v);
  }
  bool Closed() override { return GetBool(L"Closed"); }
};

// The older, heavy polyline in a plane: its coordinates come three to a
// vertex, the third meaning nothing (the plane's height is Elevation).
class Disp2DPolyline final : public DispEntityT<host::Polyline2D> {
 public:
  using DispEntityT::DispEntityT;
  std::vector<double> Coordinates() override {
    Var v;
    Get(L"Coordinates", v);
    const std::vector<double> flat = ToDoubles(*v);
    std::vector<double> out;
    out.reserve(flat.size() / 3 * 2);
    for (size_t i = 0; i + 2 < flat.size(); i += 3) {
      out.push_back(flat[i]);
      out.push_back(flat[i + 1]);
    }
    return out;
  }
  double GetBulge(int32_t index) override {
    Var v;
    Method(L"GetBulge", {Long(index)}, &v);
    return AsDouble(*v);
  }
  bool Closed() override { return GetBool(L"Closed"); }
  double Elevation() override { return GetDouble(L"Elevation"); }
  Point3 Normal() override { return GetPoint(L"Normal"); }
};

class DispMText final : public DispEntityT<host::MText> {
 public:
  using DispEntityT::DispEntityT;
  std::string TextString() override { return GetText(L"TextString"); }
  Point3 InsertionPoint() override { return GetPoint(L"InsertionPoint"); }
  double Width() override { return GetDouble(L"Width"); }
  double Height() override { return GetDouble(L"Height"); }
  void SetHeight(double h) override { Put(L"Height", Double(h)); }
};

class DispText final : public DispEntityT<host::Text> {
 public:
  using DispEntityT::DispEntityT;
  std::string TextString() override { return GetText(L"TextString"); }
  Point3 InsertionPoint() override { return GetPoint(L"InsertionPoint"); }
  Point3 TextAlignmentPoint() override { return GetPoint(L"TextAlignmentPoint"); }
  int32_t Alignment() override { return GetLong(L"Alignment"); }
  double Height() override { return GetDouble(L"Height"); }
};

class DispAttributeDefinition final : public DispEntityT<host::AttributeDefinition> {
 public:
  using DispEntityT::DispEntityT;
  std::string TagString() override { return GetText(L"TagString"); }
  std::string PromptString() override { return GetText(L"PromptString"); }
  std::string TextString() override { return GetText(L"TextString"); }
  Point3 InsertionPoint() override { return GetPoint(L"InsertionPoint"); }
  double Height() override { return GetDouble(L"Height"); }
  int32_t Mode() override { return GetLong(L"Mode"); }
};

class DispAttribute final : public DispEntityT<host::Attribute> {
 public:
  using DispEntityT::DispEntityT;
  std::string TagString() override { return GetText(L"TagString"); }
  std::string TextString() override { return GetText(L"TextString"); }
  Point3 InsertionPoint() override { return GetPoint(L"InsertionPoint"); }
  double Height() override { return GetDouble(L"Height"); }
};

class DispBlockReference final : public DispEntityT<host::BlockReference> {
 public:
  using DispEntityT::DispEntityT;
  std::string Name() override { return GetText(L"Name"); }
  Point3 InsertionPoint() override { return GetPoint(L"InsertionPoint"); }
  Point3 ScaleFactors() override {
    return {GetDouble(L"XScaleFactor"), GetDouble(L"YScaleFactor"), GetDouble(L"ZScaleFactor")};
  }
  double Rotation() override { return GetDouble(L"Rotation"); }
  std::vector<Ref<host::Attribute>> GetAttributes() override {
    Var v;
    Method(L"GetAttributes", {}, &v);
    std::vector<Ref<host::Attribute>> out;
    for (const DispatchPtr& d : ObjectsOf(*v)) {
      out.emplace_back(std::make_shared<DispAttribute>(d));
    }
    return out;
  }
};

Ref<host::Entity> WrapEntity(DispatchPtr d) {
  if (d.get() == nullptr) return {};
  Var name;
  d.Call(L"ObjectName", DISPATCH_PROPERTYGET, {}, name.get());
  const std::string kind = AsText(*name);
  if (kind == "AcDbPolyline") return Ref<host::Entity>(std::make_shared<DispPolyline>(d));
  if (kind == "AcDbPoint") return Ref<host::Entity>(std::make_shared<DispPoint>(d));
  if (kind == "AcDbLine") return Ref<host::Entity>(std::make_shared<DispLine>(d));
  if (kind == "AcDb3dPolyline") return Ref<host::Entity>(std::make_shared<Disp3DPolyline>(d));
  if (kind == "AcDb2dPolyline") return Ref<host::Entity>(std::make_shared<Disp2DPolyline>(d));
  if (kind == "AcDbMText") return Ref<host::Entity>(std::make_shared<DispMText>(d));
  if (kind == "AcDbText") return Ref<host::Entity>(std::make_shared<DispText>(d));
  if (kind == "AcDbAttributeDefinition") {
    return Ref<host::Entity>(std::make_shared<DispAttributeDefinition>(d));
  }
  if (kind == "AcDbAttribute") return Ref<host::Entity>(std::make_shared<DispAttribute>(d));
  if (kind == "AcDbBlockReference") {
    return Ref<host::Entity>(std::make_shared<DispBlockReference>(d));
  }
  return Ref<host::Entity>(std::make_shared<DispEntity>(d));
}

// The automation object behind a host object that came from this adapter.
template <class T>
IDispatch* DispatchOf(const Ref<T>& object) {
  const auto* base = dynamic_cast<const DispObjectBase*>(object.operator->());
  if (base == nullptr) throw host::Error::TypeMismatch();
  return base->dispatch();
}

class DispBlock final : public DispObject<host::Block> {
 public:
  using DispObject::DispObject;
  std::string Name() override { return GetText(L"Name"); }
  Point3 Origin() override { return GetPoint(L"Origin"); }
  int32_t Count() override { return GetLong(L"Count"); }
  Ref<host::Entity> Item(int32_t index) override {
    return WrapEntity(GetObject(L"Item", {Long(index)}, DISPATCH_METHOD));
  }
  Ref<host::LWPolyline> AddLightWeightPolyline(const std::vector<double>& vertices) override {
    return WrapEntity(GetObject(L"AddLightWeightPolyline", {Doubles(vertices)}, DISPATCH_METHOD))
        .As<host::LWPolyline>();
  }
  Ref<host::MText> AddMText(const Point3& insertion, double width,
                            const std::string& text) override {
    return WrapEntity(GetObject(L"AddMText", {Point(insertion), Double(width), Text(text)},
                                DISPATCH_METHOD))
        .As<host::MText>();
  }
  Ref<host::Text> AddText(const std::string& text, const Point3& insertion,
                          double height) override {
    return WrapEntity(GetObject(L"AddText", {Text(text), Point(insertion), Double(height)},
                                DISPATCH_METHOD))
        .As<host::Text>();
  }
  Ref<host::PointEntity> AddPoint(const Point3& point) override {
    return WrapEntity(GetObject(L"AddPoint", {Point(point)}, DISPATCH_METHOD))
        .As<host::PointEntity>();
  }
  Ref<host::Line> AddLine(const Point3& start, const Point3& end) override {
    return WrapEntity(GetObject(L"AddLine", {Point(start), Point(end)}, DISPATCH_METHOD))
        .As<host::Line>();
  }
  Ref<host::Polyline3D> Add3DPoly(const std::vector<double>& points) override {
    return WrapEntity(GetObject(L"Add3DPoly", {Doubles(points)}, DISPATCH_METHOD))
        .As<host::Polyline3D>();
  }
  Ref<host::AttributeDefinition> AddAttribute(double height, int32_t mode,
                                              const std::string& prompt, const Point3& insertion,
                                              const std::string& tag,
                                              const std::string& value) override {
    return WrapEntity(GetObject(L"AddAttribute",
                                {Double(height), Long(mode), Text(prompt), Point(insertion),
                                 Text(tag), Text(value)},
                                DISPATCH_METHOD))
        .As<host::AttributeDefinition>();
  }
  Ref<host::BlockReference> InsertBlock(const Point3& insertion, const std::string& name,
                                        double x_scale, double y_scale, double z_scale,
                                        double rotation) override {
    // The password is optional and left out.
    return WrapEntity(GetObject(L"InsertBlock",
                                {Point(insertion), Text(name), Double(x_scale), Double(y_scale),
                                 Double(z_scale), Double(rotation)},
                                DISPATCH_METHOD))
        .As<host::BlockReference>();
  }
};

Ref<host::Block> WrapBlock(DispatchPtr d) {
  return Ref<host::Block>(std::make_shared<DispBlock>(d));
}

class DispBlocks final : public DispObject<host::Blocks> {
 public:
  using DispObject::DispObject;
  int32_t Count() override { return GetLong(L"Count"); }
  Ref<host::Block> Item(int32_t index) override {
    return WrapBlock(GetObject(L"Item", {Long(index)}, DISPATCH_METHOD));
  }
  Ref<host::Block> Item(const std::string& name) override {
    return WrapBlock(GetObject(L"Item", {Text(name)}, DISPATCH_METHOD));
  }
  Ref<host::Block> Add(const Point3& base, const std::string& name) override {
    return WrapBlock(GetObject(L"Add", {Point(base), Text(name)}, DISPATCH_METHOD));
  }
};

class DispLayer final : public DispObject<host::Layer> {
 public:
  using DispObject::DispObject;
  std::string Name() override { return GetText(L"Name"); }
  void SetName(const std::string& name) override { Put(L"Name", Text(name)); }
  int32_t Color() override { return GetLong(L"Color"); }
  void SetColor(int32_t color) override { Put(L"Color", Long(color)); }
  bool Freeze() override { return GetBool(L"Freeze"); }
  void SetFreeze(bool frozen) override { Put(L"Freeze", Bool(frozen)); }
  bool LayerOn() override { return GetBool(L"LayerOn"); }
  void SetLayerOn(bool on) override { Put(L"LayerOn", Bool(on)); }
  bool Lock() override { return GetBool(L"Lock"); }
  void SetLock(bool locked) override { Put(L"Lock", Bool(locked)); }
};

Ref<host::Layer> WrapLayer(DispatchPtr d) {
  return Ref<host::Layer>(std::make_shared<DispLayer>(d));
}

class DispLayers final : public DispObject<host::Layers> {
 public:
  using DispObject::DispObject;
  int32_t Count() override { return GetLong(L"Count"); }
  Ref<host::Layer> Item(int32_t index) override {
    return WrapLayer(GetObject(L"Item", {Long(index)}, DISPATCH_METHOD));
  }
  Ref<host::Layer> Item(const std::string& name) override {
    return WrapLayer(GetObject(L"Item", {Text(name)}, DISPATCH_METHOD));
  }
  Ref<host::Layer> Add(const std::string& name) override {
    return WrapLayer(GetObject(L"Add", {Text(name)}, DISPATCH_METHOD));
  }
};

class DispUCS final : public DispObject<host::UCS> {
 public:
  using DispObject::DispObject;
  std::string Name() override { return GetText(L"Name"); }
  Point3 Origin() override { return GetPoint(L"Origin"); }
  Point3 XVector() override { return GetPoint(L"XVector"); }
  Point3 YVector() override { return GetPoint(L"YVector"); }
};

class DispUCSs final : public DispObject<host::UCSs> {
 public:
  using DispObject::DispObject;
  int32_t Count() override { return GetLong(L"Count"); }
  Ref<host::UCS> Item(int32_t index) override {
    return Ref<host::UCS>(
        std::make_shared<DispUCS>(GetObject(L"Item", {Long(index)}, DISPATCH_METHOD)));
  }
  Ref<host::UCS> Add(const Point3& origin, const Point3& x_point, const Point3& y_point,
                     const std::string& name) override {
    return Ref<host::UCS>(std::make_shared<DispUCS>(GetObject(
        L"Add", {Point(origin), Point(x_point), Point(y_point), Text(name)}, DISPATCH_METHOD)));
  }
};

class DispViewport final : public DispObject<host::Viewport> {
 public:
  using DispObject::DispObject;
  Point3 Direction() override { return GetPoint(L"Direction"); }
  void SetDirection(const Point3& d) override { Put(L"Direction", Point(d)); }
  bool UCSIconOn() override { return GetBool(L"UCSIconOn"); }
  void SetUCSIconOn(bool on) override { Put(L"UCSIconOn", Bool(on)); }
  bool UCSIconAtOrigin() override { return GetBool(L"UCSIconAtOrigin"); }
  void SetUCSIconAtOrigin(bool at) override { Put(L"UCSIconAtOrigin", Bool(at)); }
};

class DispSelectionSet final : public DispObject<host::SelectionSet> {
 public:
  using DispObject::DispObject;
  std::string Name() override { return GetText(L"Name"); }
  int32_t Count() override { return GetLong(L"Count"); }
  Ref<host::Entity> Item(int32_t index) override {
    return WrapEntity(GetObject(L"Item", {Long(index)}, DISPATCH_METHOD));
  }
  void Select(int32_t mode, const std::vector<int16_t>& codes,
              const std::vector<host::Variant>& values) override {
    if (codes.size() != values.size()) throw host::Error::InvalidProcedureCall();
    Arg types = NewArray(VT_I2, codes.size());
    Arg data = NewArray(VT_VARIANT, values.size());
    for (LONG i = 0; i < static_cast<LONG>(codes.size()); ++i) {
      int16_t code = codes[static_cast<size_t>(i)];
      ::SafeArrayPutElement((*types).parray, &i, &code);
      Arg item = FromHost(values[static_cast<size_t>(i)]);
      ::SafeArrayPutElement((*data).parray, &i, item.get());
    }
    // The whole drawing: no points.
    Method(L"Select", {Long(mode), Missing(), Missing(), std::move(types), std::move(data)});
  }
  void RemoveItems(const std::vector<Ref<host::Entity>>& entities) override {
    std::vector<IDispatch*> objects;
    for (const auto& e : entities) objects.push_back(DispatchOf(e));
    Method(L"RemoveItems", {DispatchArray(objects)});
  }
  void Delete() override { Method(L"Delete", {}); }
};

class DispSelectionSets final : public DispObject<host::SelectionSets> {
 public:
  using DispObject::DispObject;
  int32_t Count() override { return GetLong(L"Count"); }
  Ref<host::SelectionSet> Item(int32_t index) override {
    return Ref<host::SelectionSet>(
        std::make_shared<DispSelectionSet>(GetObject(L"Item", {Long(index)}, DISPATCH_METHOD)));
  }
  Ref<host::SelectionSet> Item(const std::string& name) override {
    return Ref<host::SelectionSet>(
        std::make_shared<DispSelectionSet>(GetObject(L"Item", {Text(name)}, DISPATCH_METHOD)));
  }
  Ref<host::SelectionSet> Add(const std::string& name) override {
    return Ref<host::SelectionSet>(
        std::make_shared<DispSelectionSet>(GetObject(L"Add", {Text(name)}, DISPATCH_METHOD)));
  }
};

class DispUtility final : public host::Utility {
 public:
  explicit DispUtility(DispatchPtr d) : d_(std::move(d)) {}
  Point3 TranslateCoordinates(const Point3& point, int32_t from, int32_t to, bool displacement,
                              const Point3& normal) override {
    Var result;
    d_.Call(L"TranslateCoordinates", DISPATCH_METHOD,
            {Point(point), Long(from), Long(to), Long(displacement ? 1 : 0), Point(normal)},
            result.get());
    return ToPoint3(*result);
  }
  double AngleFromXAxis(const Point3& start, const Point3& end) override {
    Var result;
    d_.Call(L"AngleFromXAxis", DISPATCH_METHOD, {Point(start), Point(end)}, result.get());
    return AsDouble(*result);
  }
  Point3 PolarPoint(const Point3& point, double angle, double distance) override {
    Var result;
    d_.Call(L"PolarPoint", DISPATCH_METHOD, {Point(point), Double(angle), Double(distance)},
            result.get());
    return ToPoint3(*result);
  }

 private:
  DispatchPtr d_;
};

class DispApplication;

class DispDocument final : public host::Document, public DispObjectBase {
 public:
  using DispObjectBase::DispObjectBase;
  std::string Name() override { return GetText(L"Name"); }
  Ref<host::Application> Application() override;
  Ref<host::Utility> Utility() override {
    return Ref<host::Utility>(std::make_shared<DispUtility>(GetObject(L"Utility")));
  }
  Ref<host::Block> ModelSpace() override { return WrapBlock(GetObject(L"ModelSpace")); }
  Ref<host::Blocks> Blocks() override {
    return Ref<host::Blocks>(std::make_shared<DispBlocks>(GetObject(L"Blocks")));
  }
  Ref<host::Layers> Layers() override {
    return Ref<host::Layers>(std::make_shared<DispLayers>(GetObject(L"Layers")));
  }
  Ref<host::UCSs> UserCoordinateSystems() override {
    return Ref<host::UCSs>(std::make_shared<DispUCSs>(GetObject(L"UserCoordinateSystems")));
  }
  Ref<host::SelectionSets> SelectionSets() override {
    return Ref<host::SelectionSets>(
        std::make_shared<DispSelectionSets>(GetObject(L"SelectionSets")));
  }
  Ref<host::Layer> ActiveLayer() override { return WrapLayer(GetObject(L"ActiveLayer")); }
  void SetActiveLayer(const Ref<host::Layer>& layer) override {
    Put(L"ActiveLayer", DispatchValue(DispatchOf(layer)));
  }
  Ref<host::Viewport> ActiveViewport() override {
    return Ref<host::Viewport>(std::make_shared<DispViewport>(GetObject(L"ActiveViewport")));
  }
  void SetActiveViewport(const Ref<host::Viewport>& viewport) override {
    Put(L"ActiveViewport", DispatchValue(DispatchOf(viewport)));
  }
  Ref<host::UCS> ActiveUCS() override {
    return Ref<host::UCS>(std::make_shared<DispUCS>(GetObject(L"ActiveUCS")));
  }
  void SetActiveUCS(const Ref<host::UCS>& ucs) override {
    Put(L"ActiveUCS", DispatchValue(DispatchOf(ucs)));
  }
  std::vector<Ref<host::Entity>> CopyObjects(const std::vector<Ref<host::Entity>>& objects,
                                             const Ref<host::Block>& owner) override {
    std::vector<IDispatch*> list;
    for (const auto& e : objects) list.push_back(DispatchOf(e));
    Var result;
    Method(L"CopyObjects", {DispatchArray(list), DispatchValue(DispatchOf(owner))}, &result);
    std::vector<Ref<host::Entity>> copies;
    for (const DispatchPtr& d : ObjectsOf(*result)) copies.push_back(WrapEntity(d));
    return copies;
  }
  host::Variant GetVariable(const std::string& name) override {
    Var v;
    Method(L"GetVariable", {Text(name)}, &v);
    return ToHost(*v);
  }
  void SetVariable(const std::string& name, const host::Variant& value) override {
    // The program refuses a value whose type differs from the variable's.
    // Its switches are 16-bit integers, never Booleans: a Boolean goes as 1
    // or 0.
    Arg v = FromHost(value);
    if ((*v).vt == VT_BOOL) {
      const bool on = (*v).boolVal != VARIANT_FALSE;
      v.get()->vt = VT_I2;
      v.get()->iVal = on ? 1 : 0;
    }
    Method(L"SetVariable", {Text(name), std::move(v)});
  }
  void Regen(int32_t which) override { Method(L"Regen", {Long(which)}); }
  void Activate() override { Method(L"Activate", {}); }
  void PurgeAll() override { Method(L"PurgeAll", {}); }
};

class DispDocuments final : public host::Documents, public DispObjectBase {
 public:
  using DispObjectBase::DispObjectBase;
  int32_t Count() override { return GetLong(L"Count"); }
  Ref<host::Document> Item(int32_t index) override {
    return WrapDocumentPtr(GetObject(L"Item", {Long(index)}, DISPATCH_METHOD));
  }
  Ref<host::Document> Item(const std::string& name) override {
    return WrapDocumentPtr(GetObject(L"Item", {Text(name)}, DISPATCH_METHOD));
  }
  Ref<host::Document> Add() override {
    return WrapDocumentPtr(GetObject(L"Add", {}, DISPATCH_METHOD));
  }
};

class DispApplication final : public host::Application, public DispObjectBase {
 public:
  using DispObjectBase::DispObjectBase;
  Ref<host::Documents> Documents() override {
    return Ref<host::Documents>(std::make_shared<DispDocuments>(GetObject(L"Documents")));
  }
  Ref<host::Document> ActiveDocument() override {
    return WrapDocumentPtr(GetObject(L"ActiveDocument"));
  }
  void ZoomExtents() override { Method(L"ZoomExtents", {}); }
  void ZoomScaled(double scale, int32_t type) override {
    Method(L"ZoomScaled", {Double(scale), Long(type)});
  }
};

Ref<host::Application> DispDocument::Application() {
  return Ref<host::Application>(std::make_shared<DispApplication>(GetObject(L"Application")));
}

Ref<host::Document> WrapDocumentPtr(DispatchPtr d) {
  if (d.get() == nullptr) return {};
  return Ref<host::Document>(std::make_shared<DispDocument>(std::move(d)));
}

}  // namespace

Ref<host::Document> WrapDocument(IDispatch* document) {
  if (document == nullptr) return {};
  return WrapDocumentPtr(DispatchPtr(document));
}

Ref<host::LWPolyline> WrapPolyline(IDispatch* polyline) {
  if (polyline == nullptr) return {};
  return Ref<host::LWPolyline>(std::make_shared<DispPolyline>(DispatchPtr(polyline)));
}

Ref<host::Entity> WrapEntity(IDispatch* entity) {
  if (entity == nullptr) return {};
  return WrapEntity(DispatchPtr(entity));
}

IDispatch* AutomationObjectOf(const Ref<host::Entity>& entity) {
  const auto* base = dynamic_cast<const DispObjectBase*>(entity.get());
  return base != nullptr ? base->dispatch() : nullptr;
}

}  // namespace palvane::com
