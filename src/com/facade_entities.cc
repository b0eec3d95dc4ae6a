// The facade's entity objects: what every entity answers, and each kind's
// own members.

#include "com/facade_object.h"

namespace palvane::com::facade {
namespace {

// The class name the program gives an entity, from the entity's kind. It is
// answered here rather than asked of the host, as the program knows it
// without a call.
template <class T>
std::string ClassName(const Ref<T>& e) {
  if (e.template Is<host::LWPolyline>()) return "AcDbPolyline";
  if (e.template Is<host::PointEntity>()) return "AcDbPoint";
  if (e.template Is<host::Line>()) return "AcDbLine";
  if (e.template Is<host::Polyline3D>()) return "AcDb3dPolyline";
  if (e.template Is<host::Polyline2D>()) return "AcDb2dPolyline";
  if (e.template Is<host::MText>()) return "AcDbMText";
  if (e.template Is<host::Text>()) return "AcDbText";
  if (e.template Is<host::AttributeDefinition>()) return "AcDbAttributeDefinition";
  if (e.template Is<host::Attribute>()) return "AcDbAttribute";
  if (e.template Is<host::BlockReference>()) return "AcDbBlockReference";
  return "";
}

template <class T>
void AddEntityMembers(Object* o, const Ref<T>& t) {
  AddObjectMembers(o, t);
  const std::string class_name = ClassName(t);
  if (!class_name.empty()) {
    o->members[L"ObjectName"].get = [class_name](const Call& c) { SetText(c.result, class_name); };
  }
  o->members[L"Layer"].get = [t](const Call& c) { SetText(c.result, t->Layer()); };
  o->members[L"Layer"].put = [t](const Call& c) { t->SetLayer(TextArg(c.value())); };
  o->members[L"Color"].get = [t](const Call& c) { SetLong(c.result, t->Color()); };
  o->members[L"Color"].put = [t](const Call& c) { t->SetColor(LongArg(c.value())); };
  o->members[L"Move"].method = [t](const Call& c) {
    c.NeedCount(c.count() == 2);
    t->Move(PointArg(c.arg(0)), PointArg(c.arg(1)));
  };
  o->members[L"GetBoundingBox"].method = [t](const Call& c) {
    c.NeedCount(c.count() == 2);
    VARIANT* lo = c.out(0);
    VARIANT* hi = c.out(1);
    Point3 a, b;
    t->GetBoundingBox(a, b);
    ::VariantClear(lo);
    ::VariantClear(hi);
    SetPoint(lo, a);
    SetPoint(hi, b);
  };
}

void AddPolylineMembers(Object* o, const Ref<host::LWPolyline>& t) {
  o->members[L"Coordinates"].get = [t](const Call& c) { SetDoubles(c.result, t->Coordinates()); };
  o->members[L"Coordinate"].get = [t](const Call& c) {
    c.NeedCount(c.count() == 1);
    const auto v = t->Coordinate(LongArg(c.arg(0)));
    SetDoubles(c.result, {v[0], v[1]});  // two values, in the polyline's own system
  };
  o->members[L"GetBulge"].method = [t](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetDouble(c.result, t->GetBulge(LongArg(c.arg(0))));
  };
  o->members[L"SetBulge"].method = [t](const Call& c) {
    c.NeedCount(c.count() == 2);
    t->SetBulge(LongArg(c.arg(0)), DoubleArg(c.arg(1)));
  };
  o->members[L"GetWidth"].method = [t](const Call& c) {
    c.NeedCount(c.count() == 3);
    // The two widths come back through by-reference Doubles.
    VARIANT& a = c.params->rgvarg[1];
    VARIANT& b = c.params->rgvarg[0];
    c.last_read = 1;
    Need(a.vt == (VT_BYREF | VT_R8));
    c.last_read = 0;
    Need(b.vt == (VT_BYREF | VT_R8));
    t->GetWidth(LongArg(c.arg(0)), *a.pdblVal, *b.pdblVal);
  };
  o->members[L"SetWidth"].method = [t](const Call& c) {
    c.NeedCount(c.count() == 3);
    t->SetWidth(LongArg(c.arg(0)), DoubleArg(c.arg(1)), DoubleArg(c.arg(2)));
  };
  o->members[L"Closed"].get = [t](const Call& c) { SetBool(c.result, t->Closed()); };
  o->members[L"Closed"].put = [t](const Call& c) { t->SetClosed(BoolArg(c.value())); };
  o->members[L"Elevation"].get = [t](const Call& c) { SetDouble(c.result, t->Elevation()); };
  o->members[L"Elevation"].put = [t](const Call& c) { t->SetElevation(DoubleArg(c.value())); };
  o->members[L"Normal"].get = [t](const Call& c) { SetPoint(c.result, t->Normal()); };
  o->members[L"Normal"].put = [t](const Call& c) { t->SetNormal(PointArg(c.value())); };
  o->members[L"Length"].get = [t](const Call& c) { SetDouble(c.result, t->Length()); };
}

}  // namespace

IDispatch* Wrap(Ref<host::Entity> e) {
  if (!e) return nullptr;
  Object* o = New(e);
  o->entity = e.shared();
  AddEntityMembers(o, e);
  if (auto p = std::dynamic_pointer_cast<host::LWPolyline>(e.shared())) {
    AddPolylineMembers(o, Ref<host::LWPolyline>(p));
  } else if (auto q = std::dynamic_pointer_cast<host::PointEntity>(e.shared())) {
    Ref<host::PointEntity> t(q);
    o->members[L"Coordinates"].get = [t](const Call& c) { SetPoint(c.result, t->Coordinates()); };
  } else if (auto l = std::dynamic_pointer_cast<host::Line>(e.shared())) {
    Ref<host::Line> t(l);
    o->members[L"StartPoint"].get = [t](const Call& c) { SetPoint(c.result, t->StartPoint()); };
    o->members[L"EndPoint"].get = [t](const Call& c) { SetPoint(c.result, t->EndPoint()); };
  } else if (auto p3 = std::dynamic_pointer_cast<host::Polyline3D>(e.shared())) {
    Ref<host::Polyline3D> t(p3);
    o->members[L"Coordinates"].get = [t](const Call& c) { SetDoubles(c.result, t->Coordinates()); };
    o->members[L"Closed"].get = [t](const Call& c) { SetBool(c.result, t->Closed()); };
  } else if (auto p2 = std::dynamic_pointer_cast<host::Polyline2D>(e.shared())) {
    Ref<host::Polyline2D> t(p2);
    // Three numbers a vertex, as the CAD program gives them: the third is
    // the plane's height.
    o->members[L"Coordinates"].get = [t](const Call& c) {
      const std::vector<double> xy = t->Coordinates();
      const double z = t->Elevation();
      std::vector<double> xyz;
      for (size_t i = 0; i + 1 < xy.size(); i += 2) xyz.insert(xyz.end(), {xy[i], xy[i + 1], z});
      SetDoubles(c.result, xyz);
    };
    o->members[L"GetBulge"].method = [t](const Call& c) {
      c.NeedCount(c.count() == 1);
      SetDouble(c.result, t->GetBulge(LongArg(c.arg(0))));
    };
    o->members[L"Closed"].get = [t](const Call& c) { SetBool(c.result, t->Closed()); };
    o->members[L"Elevation"].get = [t](const Call& c) { SetDouble(c.result, t->Elevation()); };
    o->members[L"Normal"].get = [t](const Call& c) { SetPoint(c.result, t->Normal()); };
  } else if (auto m = std::dynamic_pointer_cast<host::MText>(e.shared())) {
    Ref<host::MText> t(m);
    o->members[L"TextString"].get = [t](const Call& c) { SetText(c.result, t->TextString()); };
    o->members[L"InsertionPoint"].get = [t](const Call& c) {
      SetPoint(c.result, t->InsertionPoint());
    };
    o->members[L"Width"].get = [t](const Call& c) { SetDouble(c.result, t->Width()); };
    o->members[L"Height"].get = [t](const Call& c) { SetDouble(c.result, t->Height()); };
    o->members[L"Height"].put = [t](const Call& c) { t->SetHeight(DoubleArg(c.value())); };
  } else if (auto x = std::dynamic_pointer_cast<host::Text>(e.shared())) {
    Ref<host::Text> t(x);
    o->members[L"TextString"].get = [t](const Call& c) { SetText(c.result, t->TextString()); };
    o->members[L"InsertionPoint"].get = [t](const Call& c) {
      SetPoint(c.result, t->InsertionPoint());
    };
    o->members[L"TextAlignmentPoint"].get = [t](const Call& c) {
      SetPoint(c.result, t->TextAlignmentPoint());
    };
    o->members[L"Alignment"].get = [t](const Call& c) { SetLong(c.result, t->Alignment()); };
    o->members[L"Height"].get = [t](const Call& c) { SetDouble(c.result, t->Height()); };
  } else if (auto a = std::dynamic_pointer_cast<host::AttributeDefinition>(e.shared())) {
    Ref<host::AttributeDefinition> t(a);
    o->members[L"TagString"].get = [t](const Call& c) { SetText(c.result, t->TagString()); };
    o->members[L"PromptString"].get = [t](const Call& c) { SetText(c.result, t->PromptString()); };
    o->members[L"TextString"].get = [t](const Call& c) { SetText(c.result, t->TextString()); };
    o->members[L"InsertionPoint"].get = [t](const Call& c) {
      SetPoint(c.result, t->InsertionPoint());
    };
    o->members[L"Height"].get = [t](const Call& c) { SetDouble(c.result, t->Height()); };
    o->members[L"Mode"].get = [t](const Call& c) { SetLong(c.result, t->Mode()); };
  } else if (auto b = std::dynamic_pointer_cast<host::Attribute>(e.shared())) {
    Ref<host::Attribute> t(b);
    o->members[L"TagString"].get = [t](const Call& c) { SetText(c.result, t->TagString()); };
    o->members[L"TextString"].get = [t](const Call& c) { SetText(c.result, t->TextString()); };
    o->members[L"InsertionPoint"].get = [t](const Call& c) {
      SetPoint(c.result, t->InsertionPoint());
    };
    o->members[L"Height"].get = [t](const Call& c) { SetDouble(c.result, t->Height()); };
  } else if (auto r = std::dynamic_pointer_cast<host::BlockReference>(e.shared())) {
    Ref<host::BlockReference> t(r);
    o->members[L"Name"].get = [t](const Call& c) { SetText(c.result, t->Name()); };
    o->members[L"InsertionPoint"].get = [t](const Call& c) {
      SetPoint(c.result, t->InsertionPoint());
    };
    o->members[L"XScaleFactor"].get = [t](const Call& c) {
      SetDouble(c.result, t->ScaleFactors()[0]);
    };
    o->members[L"YScaleFactor"].get = [t](const Call& c) {
      SetDouble(c.result, t->ScaleFactors()[1]);
    };
    o->members[L"ZScaleFactor"].get = [t](const Call& c) {
      SetDouble(c.result, t->ScaleFactors()[2]);
    };
    o->members[L"Rotation"].get = [t](const Call& c) { SetDouble(c.result, t->Rotation()); };
    o->members[L"GetAttributes"].method = [t](const Call& c) {
      const auto attributes = t->GetAttributes();
      SAFEARRAY* out =
          ::SafeArrayCreateVector(VT_DISPATCH, 0, static_cast<ULONG>(attributes.size()));
      for (LONG i = 0; i < static_cast<LONG>(attributes.size()); ++i) {
        IDispatch* w = Wrap(Ref<host::Entity>(attributes[static_cast<size_t>(i)]));
        ::SafeArrayPutElement(out, &i, w);
        w->Release();
      }
      c.result->vt = VT_ARRAY | VT_DISPATCH;
      c.result->parray = out;
    };
  }
  return o;
}

void SetObjects(VARIANT* r, const std::vector<Ref<host::Entity>>& entities) {
  SAFEARRAY* out = ::SafeArrayCreateVector(VT_DISPATCH, 0, static_cast<ULONG>(entities.size()));
  for (LONG i = 0; i < static_cast<LONG>(entities.size()); ++i) {
    IDispatch* w = Wrap(entities[static_cast<size_t>(i)]);
    ::SafeArrayPutElement(out, &i, w);
    if (w != nullptr) w->Release();
  }
  r->vt = VT_ARRAY | VT_DISPATCH;
  r->parray = out;
}

}  // namespace palvane::com::facade
