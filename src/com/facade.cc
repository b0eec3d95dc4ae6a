#include "com/facade.h"

// COM interfaces have no virtual destructors by design: an object deletes
// itself in Release.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "com/dispatch.h"
#include "com/facade_args.h"
#include "host/convert.h"

namespace palvane::com {
namespace {

using host::Point3;
using host::Ref;

using Member = std::function<void(const Call&)>;

// One automation object: members by name, each for the invoke kinds it takes.
class Object final : public IDispatch {
 public:
  struct Entry {
    Member get, put, method;
  };
  std::map<std::wstring, Entry> members;
  std::shared_ptr<void> target;          // the host object, kept alive
  std::shared_ptr<host::Entity> entity;  // set for entities

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = ::InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT n, LCID,
                                          DISPID* ids) override {
    for (UINT i = 0; i < n; ++i) {
      const auto it = members.find(names[i]);
      if (it == members.end()) return DISP_E_UNKNOWNNAME;
      ids[i] = static_cast<DISPID>(std::distance(members.begin(), it) + 1);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT* arg_err) override {
    if (id < 1 || id > static_cast<DISPID>(members.size())) return DISP_E_MEMBERNOTFOUND;
    // As the program's type library has it: object properties are put with
    // a plain put, never by reference.
    if (kind & DISPATCH_PROPERTYPUTREF) return DISP_E_MEMBERNOTFOUND;
    auto it = members.begin();
    std::advance(it, id - 1);
    const Member& member = (kind & DISPATCH_PROPERTYPUT)                     ? it->second.put
                           : (kind & DISPATCH_PROPERTYGET) && it->second.get ? it->second.get
                                                                             : it->second.method;
    if (!member) return DISP_E_MEMBERNOTFOUND;
    // A property put names its value, as type-info dispatch requires.
    if ((kind & DISPATCH_PROPERTYPUT) &&
        (params == nullptr || params->cNamedArgs != 1 || params->rgdispidNamedArgs == nullptr ||
         params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
      if (arg_err != nullptr) *arg_err = 0;
      return DISP_E_PARAMNOTFOUND;
    }
    VARIANT ignored;
    ::VariantInit(&ignored);
    if (result != nullptr) ::VariantInit(result);
    // Nothing the host raises crosses this boundary as an exception.
    HRESULT hr = S_OK;
    Call call{params, kind, result != nullptr ? result : &ignored};
    try {
      member(call);
    } catch (const ArgumentFault& fault) {
      // As type-info dispatch reports it: the code itself, and the
      // argument at fault for a type that does not fit.
      hr = fault.hr;
      if (arg_err != nullptr && hr == DISP_E_TYPEMISMATCH) *arg_err = call.last_read;
    } catch (const host::Error& e) {
      hr = Exception(info, e.number(), e.description());
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    } catch (const std::exception& e) {
      hr = Exception(info, static_cast<int32_t>(E_FAIL), e.what());
    } catch (...) {
      hr = E_UNEXPECTED;
    }
    ::VariantClear(&ignored);
    if (FAILED(hr) && result != nullptr) ::VariantClear(result);
    return hr;
  }

 private:
  static HRESULT Exception(EXCEPINFO* info, int32_t scode, const std::string& description) {
    if (info != nullptr) {
      std::memset(info, 0, sizeof *info);
      info->scode = scode;
      try {
        info->bstrDescription = NewBstr(description);
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      }
      info->bstrSource = ::SysAllocString(L"AutoCAD.Application");
    }
    return DISP_E_EXCEPTION;
  }

  LONG refs_ = 1;
};

template <class T>
Object* New(const Ref<T>& target) {
  auto* o = new Object();
  o->target = target.shared();
  return o;
}

void SetObject(VARIANT* r, IDispatch* d) {
  r->vt = VT_DISPATCH;
  r->pdispVal = d;
}

Object* FacadeObject(IDispatch* d) {
  // Only this facade's own objects are accepted where the program expects
  // one of its objects; anything else is refused like a foreign object.
  return dynamic_cast<Object*>(d);
}

// The host object behind an argument made by this facade.
template <class T>
Ref<T> Unwrap(const VARIANT& v) {
  Need(v.vt == VT_DISPATCH && v.pdispVal != nullptr);
  Object* o = FacadeObject(v.pdispVal);
  Need(o != nullptr && o->target != nullptr);
  return Ref<T>(std::static_pointer_cast<T>(o->target));
}

// The entities of an array of objects, whether it holds objects or Variants
// of objects (the program's reference leaves this open).
std::vector<Ref<host::Entity>> EntitiesArg(const VARIANT& a) {
  Need(a.vt == (VT_ARRAY | VT_DISPATCH) || a.vt == (VT_ARRAY | VT_VARIANT));
  LONG lo = 0, hi = -1;
  ::SafeArrayGetLBound(a.parray, 1, &lo);
  ::SafeArrayGetUBound(a.parray, 1, &hi);
  std::vector<Ref<host::Entity>> items;
  for (LONG i = lo; i <= hi; ++i) {
    VARIANT e;
    ::VariantInit(&e);
    if (a.vt == (VT_ARRAY | VT_DISPATCH)) {
      e.vt = VT_DISPATCH;
      ::SafeArrayGetElement(a.parray, &i, &e.pdispVal);
    } else {
      ::SafeArrayGetElement(a.parray, &i, &e);
    }
    Object* o = e.vt == VT_DISPATCH ? FacadeObject(e.pdispVal) : nullptr;
    const bool ok = o != nullptr && o->entity != nullptr;
    if (ok) items.emplace_back(o->entity);
    ::VariantClear(&e);
    Need(ok);
  }
  return items;
}

IDispatch* Wrap(Ref<host::Document> d);
IDispatch* Wrap(Ref<host::Entity> e);

void SetXDataArrays(VARIANT* types, VARIANT* values, const host::XData& x) {
  ::VariantClear(types);
  ::VariantClear(values);
  // No data for the application: both stay empty, not arrays.
  if (x.empty()) return;
  SAFEARRAY* codes = ::SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(x.codes.size()));
  SAFEARRAY* items = ::SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(x.values.size()));
  for (LONG i = 0; i < static_cast<LONG>(x.codes.size()); ++i) {
    int16_t code = x.codes[static_cast<size_t>(i)];
    ::SafeArrayPutElement(codes, &i, &code);
    VARIANT item = FromHost(x.values[static_cast<size_t>(i)]);
    ::SafeArrayPutElement(items, &i, &item);
    ::VariantClear(&item);
  }
  types->vt = VT_ARRAY | VT_I2;
  types->parray = codes;
  values->vt = VT_ARRAY | VT_VARIANT;
  values->parray = items;
}

template <class T>
void AddObjectMembers(Object* o, const Ref<T>& t) {
  o->members[L"Handle"].get = [t](const Call& c) { SetText(c.result, t->Handle()); };
  o->members[L"ObjectName"].get = [t](const Call& c) { SetText(c.result, t->ObjectName()); };
  o->members[L"Document"].get = [t](const Call& c) { SetObject(c.result, Wrap(t->Document())); };
  o->members[L"GetXData"].method = [t](const Call& c) {
    c.NeedCount(c.count() == 3);
    VARIANT* types = c.out(1);
    VARIANT* values = c.out(2);
    SetXDataArrays(types, values, t->GetXData(TextArg(c.arg(0))));
  };
  o->members[L"SetXData"].method = [t](const Call& c) {
    c.NeedCount(c.count() == 2);
    std::vector<int16_t> codes;
    std::vector<host::Variant> items;
    CodesAndValues(c, 0, codes, items, true);
    t->SetXData(codes, items);
  };
}

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

// Objects returned in an array, as CopyObjects returns its copies.
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

IDispatch* WrapBlock(Ref<host::Block> b) {
  Object* o = New(b);
  AddObjectMembers(o, b);
  o->members[L"Name"].get = [b](const Call& c) { SetText(c.result, b->Name()); };
  o->members[L"Origin"].get = [b](const Call& c) { SetPoint(c.result, b->Origin()); };
  o->members[L"Count"].get = [b](const Call& c) { SetLong(c.result, b->Count()); };
  o->members[L"Item"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(b->Item(LongArg(c.arg(0)))));
  };
  o->members[L"AddLightWeightPolyline"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddLightWeightPolyline(DoublesArg(c.arg(0))))));
  };
  o->members[L"AddMText"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 3);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddMText(PointArg(c.arg(0)), DoubleArg(c.arg(1)),
                                                           TextArg(c.arg(2))))));
  };
  o->members[L"AddText"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 3);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddText(TextArg(c.arg(0)), PointArg(c.arg(1)),
                                                          DoubleArg(c.arg(2))))));
  };
  o->members[L"AddLine"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 2);
    SetObject(c.result,
              Wrap(Ref<host::Entity>(b->AddLine(PointArg(c.arg(0)), PointArg(c.arg(1))))));
  };
  o->members[L"Add3DPoly"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->Add3DPoly(DoublesArg(c.arg(0))))));
  };
  o->members[L"AddPoint"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddPoint(PointArg(c.arg(0))))));
  };
  o->members[L"AddAttribute"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 6);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddAttribute(
                            DoubleArg(c.arg(0)), LongArg(c.arg(1)), TextArg(c.arg(2)),
                            PointArg(c.arg(3)), TextArg(c.arg(4)), TextArg(c.arg(5))))));
  };
  o->members[L"InsertBlock"].method = [b](const Call& c) {
    // The password, the seventh, is optional: left out or passed as missing.
    c.NeedCount(c.count() == 6 || c.count() == 7);
    Need(c.count() == 6 || c.arg(6).vt == VT_ERROR);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->InsertBlock(
                            PointArg(c.arg(0)), TextArg(c.arg(1)), DoubleArg(c.arg(2)),
                            DoubleArg(c.arg(3)), DoubleArg(c.arg(4)), DoubleArg(c.arg(5))))));
  };
  return o;
}

IDispatch* WrapLayer(Ref<host::Layer> l) {
  Object* o = New(l);
  AddObjectMembers(o, l);
  o->members[L"Name"].get = [l](const Call& c) { SetText(c.result, l->Name()); };
  o->members[L"Name"].put = [l](const Call& c) { l->SetName(TextArg(c.value())); };
  o->members[L"Color"].get = [l](const Call& c) { SetLong(c.result, l->Color()); };
  o->members[L"Color"].put = [l](const Call& c) { l->SetColor(LongArg(c.value())); };
  o->members[L"Freeze"].get = [l](const Call& c) { SetBool(c.result, l->Freeze()); };
  o->members[L"Freeze"].put = [l](const Call& c) { l->SetFreeze(BoolArg(c.value())); };
  o->members[L"LayerOn"].get = [l](const Call& c) { SetBool(c.result, l->LayerOn()); };
  o->members[L"LayerOn"].put = [l](const Call& c) { l->SetLayerOn(BoolArg(c.value())); };
  o->members[L"Lock"].get = [l](const Call& c) { SetBool(c.result, l->Lock()); };
  o->members[L"Lock"].put = [l](const Call& c) { l->SetLock(BoolArg(c.value())); };
  return o;
}

IDispatch* WrapUcs(Ref<host::UCS> u) {
  Object* o = New(u);
  AddObjectMembers(o, u);
  o->members[L"Name"].get = [u](const Call& c) { SetText(c.result, u->Name()); };
  o->members[L"Origin"].get = [u](const Call& c) { SetPoint(c.result, u->Origin()); };
  o->members[L"XVector"].get = [u](const Call& c) { SetPoint(c.result, u->XVector()); };
  o->members[L"YVector"].get = [u](const Call& c) { SetPoint(c.result, u->YVector()); };
  return o;
}

IDispatch* WrapViewport(Ref<host::Viewport> v) {
  Object* o = New(v);
  AddObjectMembers(o, v);
  o->members[L"Direction"].get = [v](const Call& c) { SetPoint(c.result, v->Direction()); };
  o->members[L"Direction"].put = [v](const Call& c) { v->SetDirection(PointArg(c.value())); };
  o->members[L"UCSIconOn"].get = [v](const Call& c) { SetBool(c.result, v->UCSIconOn()); };
  o->members[L"UCSIconOn"].put = [v](const Call& c) { v->SetUCSIconOn(BoolArg(c.value())); };
  o->members[L"UCSIconAtOrigin"].get = [v](const Call& c) {
    SetBool(c.result, v->UCSIconAtOrigin());
  };
  o->members[L"UCSIconAtOrigin"].put = [v](const Call& c) {
    v->SetUCSIconAtOrigin(BoolArg(c.value()));
  };
  return o;
}

IDispatch* WrapSelectionSet(Ref<host::SelectionSet> s) {
  Object* o = New(s);
  AddObjectMembers(o, s);
  o->members[L"Name"].get = [s](const Call& c) { SetText(c.result, s->Name()); };
  o->members[L"Count"].get = [s](const Call& c) { SetLong(c.result, s->Count()); };
  o->members[L"Item"].method = [s](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(s->Item(LongArg(c.arg(0)))));
  };
  o->members[L"Delete"].method = [s](const Call&) { s->Delete(); };
  o->members[L"Select"].method = [s](const Call& c) {
    // The whole drawing: the two points are passed as missing.
    c.NeedCount(c.count() == 5);
    Need(c.arg(1).vt == VT_ERROR && c.arg(2).vt == VT_ERROR);
    Need(c.arg(0).vt == VT_I4);
    std::vector<int16_t> codes;
    std::vector<host::Variant> values;
    CodesAndValues(c, 3, codes, values, false);
    s->Select(LongArg(c.arg(0)), codes, values);
  };
  o->members[L"RemoveItems"].method = [s](const Call& c) {
    c.NeedCount(c.count() == 1);
    s->RemoveItems(EntitiesArg(c.arg(0)));
  };
  return o;
}

// Count and Item (by 0-based index or by name) of a collection.
template <class Collection, class F>
void AddItem(Object* o, const Ref<Collection>& coll, F wrap) {
  o->members[L"Count"].get = [coll](const Call& c) { SetLong(c.result, coll->Count()); };
  o->members[L"Item"].method = [coll, wrap](const Call& c) {
    c.NeedCount(c.count() == 1);
    const VARIANT& index = c.arg(0);
    if (index.vt == VT_BSTR) {
      if constexpr (requires { coll->Item(std::string()); }) {
        SetObject(c.result, wrap(coll->Item(BstrText(index.bstrVal))));
        return;
      }
    }
    SetObject(c.result, wrap(coll->Item(LongArg(index))));
  };
}

IDispatch* WrapUtility(Ref<host::Utility> u) {
  Object* x = New(u);
  x->members[L"TranslateCoordinates"].method = [u](const Call& c) {
    c.NeedCount(c.count() == 5);
    Need(c.arg(1).vt == VT_I4 && c.arg(2).vt == VT_I4 && c.arg(3).vt == VT_I4);
    SetPoint(c.result,
             u->TranslateCoordinates(PointArg(c.arg(0)), LongArg(c.arg(1)), LongArg(c.arg(2)),
                                     LongArg(c.arg(3)) != 0, PointArg(c.arg(4))));
  };
  x->members[L"AngleFromXAxis"].method = [u](const Call& c) {
    c.NeedCount(c.count() == 2);
    SetDouble(c.result, u->AngleFromXAxis(PointArg(c.arg(0)), PointArg(c.arg(1))));
  };
  x->members[L"PolarPoint"].method = [u](const Call& c) {
    c.NeedCount(c.count() == 3);
    SetPoint(c.result, u->PolarPoint(PointArg(c.arg(0)), DoubleArg(c.arg(1)), DoubleArg(c.arg(2))));
  };
  return x;
}

IDispatch* WrapApplication(Ref<host::Application> app) {
  Object* a = New(app);
  a->members[L"Documents"].get = [app](const Call& c) {
    auto docs = app->Documents();
    Object* ds = New(docs);
    AddItem(ds, docs, [](Ref<host::Document> x) { return Wrap(x); });
    ds->members[L"Add"].method = [docs](const Call& c2) {
      // No template: left out, or passed as missing.
      c2.NeedCount(c2.count() <= 1);
      Need(c2.count() == 0 || c2.arg(0).vt == VT_ERROR);
      SetObject(c2.result, Wrap(docs->Add()));
    };
    SetObject(c.result, ds);
  };
  a->members[L"ActiveDocument"].get = [app](const Call& c) {
    SetObject(c.result, Wrap(app->ActiveDocument()));
  };
  a->members[L"ZoomExtents"].method = [app](const Call&) { app->ZoomExtents(); };
  a->members[L"ZoomScaled"].method = [app](const Call& c) {
    c.NeedCount(c.count() == 2);
    Need(c.arg(1).vt == VT_I4);
    app->ZoomScaled(DoubleArg(c.arg(0)), LongArg(c.arg(1)));
  };
  return a;
}

IDispatch* Wrap(Ref<host::Document> d) {
  if (!d) return nullptr;
  Object* o = New(d);
  o->members[L"Name"].get = [d](const Call& c) { SetText(c.result, d->Name()); };
  o->members[L"Application"].get = [d](const Call& c) {
    SetObject(c.result, WrapApplication(d->Application()));
  };
  o->members[L"Utility"].get = [d](const Call& c) {
    SetObject(c.result, WrapUtility(d->Utility()));
  };
  o->members[L"ModelSpace"].get = [d](const Call& c) {
    SetObject(c.result, WrapBlock(d->ModelSpace()));
  };
  o->members[L"Blocks"].get = [d](const Call& c) {
    auto bs = d->Blocks();
    Object* x = New(bs);
    AddItem(x, bs, [](Ref<host::Block> b) { return WrapBlock(b); });
    x->members[L"Add"].method = [bs](const Call& c2) {
      c2.NeedCount(c2.count() == 2);
      SetObject(c2.result, WrapBlock(bs->Add(PointArg(c2.arg(0)), TextArg(c2.arg(1)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"Layers"].get = [d](const Call& c) {
    auto ls = d->Layers();
    Object* x = New(ls);
    AddItem(x, ls, [](Ref<host::Layer> l) { return WrapLayer(l); });
    x->members[L"Add"].method = [ls](const Call& c2) {
      c2.NeedCount(c2.count() == 1);
      SetObject(c2.result, WrapLayer(ls->Add(TextArg(c2.arg(0)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"UserCoordinateSystems"].get = [d](const Call& c) {
    auto us = d->UserCoordinateSystems();
    Object* x = New(us);
    AddItem(x, us, [](Ref<host::UCS> u) { return WrapUcs(u); });
    x->members[L"Add"].method = [us](const Call& c2) {
      c2.NeedCount(c2.count() == 4);
      SetObject(c2.result, WrapUcs(us->Add(PointArg(c2.arg(0)), PointArg(c2.arg(1)),
                                           PointArg(c2.arg(2)), TextArg(c2.arg(3)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"SelectionSets"].get = [d](const Call& c) {
    auto ss = d->SelectionSets();
    Object* x = New(ss);
    AddItem(x, ss, [](Ref<host::SelectionSet> s) { return WrapSelectionSet(s); });
    x->members[L"Add"].method = [ss](const Call& c2) {
      c2.NeedCount(c2.count() == 1);
      SetObject(c2.result, WrapSelectionSet(ss->Add(TextArg(c2.arg(0)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"ActiveLayer"].get = [d](const Call& c) {
    SetObject(c.result, WrapLayer(d->ActiveLayer()));
  };
  o->members[L"ActiveLayer"].put = [d](const Call& c) {
    d->SetActiveLayer(Unwrap<host::Layer>(c.value()));
  };
  o->members[L"ActiveViewport"].get = [d](const Call& c) {
    SetObject(c.result, WrapViewport(d->ActiveViewport()));
  };
  o->members[L"ActiveViewport"].put = [d](const Call& c) {
    d->SetActiveViewport(Unwrap<host::Viewport>(c.value()));
  };
  o->members[L"ActiveUCS"].get = [d](const Call& c) {
    SetObject(c.result, WrapUcs(d->ActiveUCS()));
  };
  o->members[L"ActiveUCS"].put = [d](const Call& c) {
    d->SetActiveUCS(Unwrap<host::UCS>(c.value()));
  };
  o->members[L"CopyObjects"].method = [d](const Call& c) {
    // The owner is given; the id pairs are left out or passed as missing.
    c.NeedCount(c.count() == 2 || c.count() == 3);
    Need(c.count() == 2 || c.arg(2).vt == VT_ERROR);
    SetObjects(c.result, d->CopyObjects(EntitiesArg(c.arg(0)), Unwrap<host::Block>(c.arg(1))));
  };
  o->members[L"GetVariable"].method = [d](const Call& c) {
    c.NeedCount(c.count() == 1);
    const std::string name = TextArg(c.arg(0));
    VARIANT v = FromHost(d->GetVariable(name));
    if (VariableType(name) == VT_I2 && v.vt != VT_I2) {
      VARIANT i2;
      ::VariantInit(&i2);
      Need(SUCCEEDED(::VariantChangeType(&i2, &v, 0, VT_I2)));
      ::VariantClear(&v);
      v = i2;
    }
    *c.result = v;
  };
  o->members[L"SetVariable"].method = [d](const Call& c) {
    c.NeedCount(c.count() == 2);
    const std::string name = TextArg(c.arg(0));
    // The value must come in the variable's own type; the program does not
    // convert it (its reference tells callers to convert, as with CInt).
    const VARTYPE type = VariableType(name);
    if (type != VT_EMPTY && c.arg(1).vt != type) {
      throw host::Error::InvalidInput("system variable " + name + " takes a value of another type");
    }
    d->SetVariable(name, ValueArg(c.arg(1)));
  };
  o->members[L"Regen"].method = [d](const Call& c) {
    c.NeedCount(c.count() == 1);
    Need(c.arg(0).vt == VT_I4);
    d->Regen(LongArg(c.arg(0)));
  };
  o->members[L"Activate"].method = [d](const Call&) { d->Activate(); };
  o->members[L"PurgeAll"].method = [d](const Call&) { d->PurgeAll(); };
  return o;
}

}  // namespace

IDispatch* FacadeDocument(const host::Ref<host::Document>& document) { return Wrap(document); }
IDispatch* FacadeEntity(const host::Ref<host::Entity>& entity) { return Wrap(entity); }

host::Ref<host::Entity> FacadeEntityTarget(IDispatch* object) {
  Object* o = object != nullptr ? FacadeObject(object) : nullptr;
  return o != nullptr ? host::Ref<host::Entity>(o->entity) : host::Ref<host::Entity>();
}

}  // namespace palvane::com
