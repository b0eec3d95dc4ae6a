#include "cad_double.h"

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/convert.h"

namespace palvane::testing {
namespace {

using host::Point3;
using host::Ref;

std::string Utf8(BSTR s) {
  if (s == nullptr) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(::SysStringLen(s)), nullptr,
                                      0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(::SysStringLen(s)), out.data(), n, nullptr,
                        nullptr);
  return out;
}

BSTR Bstr(const std::string& utf8) {
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  BSTR b = ::SysAllocStringLen(nullptr, static_cast<UINT>(n));
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), b, n);
  return b;
}

// Arguments of one call, first to last, by-reference values followed.
struct Call {
  DISPPARAMS* params;
  WORD kind;
  VARIANT* result;
  UINT count() const { return params->cArgs - params->cNamedArgs * (kind == DISPATCH_PROPERTYPUT); }
  const VARIANT& arg(UINT i) const {
    const VARIANT& v = params->rgvarg[params->cArgs - 1 - i];
    return (v.vt == (VT_BYREF | VT_VARIANT)) ? *v.pvarVal : v;
  }
  // The value of a property put.
  const VARIANT& value() const { return params->rgvarg[0]; }
};

void Need(bool ok) {
  if (!ok) throw host::Error(static_cast<int32_t>(DISP_E_TYPEMISMATCH), "Type mismatch (double)");
}

// Points must come as arrays of three Doubles, exactly.
Point3 PointArg(const VARIANT& v) {
  Need(v.vt == (VT_ARRAY | VT_R8) && v.parray != nullptr);
  LONG lo = 0, hi = -1;
  ::SafeArrayGetLBound(v.parray, 1, &lo);
  ::SafeArrayGetUBound(v.parray, 1, &hi);
  Need(hi - lo == 2);
  Point3 p{};
  for (LONG i = 0; i < 3; ++i) {
    LONG at = lo + i;
    ::SafeArrayGetElement(v.parray, &at, &p[static_cast<size_t>(i)]);
  }
  return p;
}

std::vector<double> DoublesArg(const VARIANT& v) {
  Need(v.vt == (VT_ARRAY | VT_R8) && v.parray != nullptr);
  LONG lo = 0, hi = -1;
  ::SafeArrayGetLBound(v.parray, 1, &lo);
  ::SafeArrayGetUBound(v.parray, 1, &hi);
  std::vector<double> out;
  for (LONG i = lo; i <= hi; ++i) {
    double d = 0;
    ::SafeArrayGetElement(v.parray, &i, &d);
    out.push_back(d);
  }
  return out;
}

double DoubleArg(const VARIANT& v) {
  VARIANT d;
  ::VariantInit(&d);
  Need(SUCCEEDED(::VariantChangeType(&d, const_cast<VARIANT*>(&v), 0, VT_R8)));
  return d.dblVal;
}
int32_t LongArg(const VARIANT& v) {
  VARIANT d;
  ::VariantInit(&d);
  Need(SUCCEEDED(::VariantChangeType(&d, const_cast<VARIANT*>(&v), 0, VT_I4)));
  return d.lVal;
}
bool BoolArg(const VARIANT& v) {
  VARIANT d;
  ::VariantInit(&d);
  Need(SUCCEEDED(::VariantChangeType(&d, const_cast<VARIANT*>(&v), 0, VT_BOOL)));
  return d.boolVal != VARIANT_FALSE;
}
std::string TextArg(const VARIANT& v) {
  Need(v.vt == VT_BSTR);
  return Utf8(v.bstrVal);
}

void SetPoint(VARIANT* r, const Point3& p) {
  SAFEARRAY* a = ::SafeArrayCreateVector(VT_R8, 0, 3);
  for (LONG i = 0; i < 3; ++i)
    ::SafeArrayPutElement(a, &i, const_cast<double*>(&p[static_cast<size_t>(i)]));
  r->vt = VT_ARRAY | VT_R8;
  r->parray = a;
}
void SetDoubles(VARIANT* r, const std::vector<double>& d) {
  SAFEARRAY* a = ::SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(d.size()));
  for (LONG i = 0; i < static_cast<LONG>(d.size()); ++i) {
    ::SafeArrayPutElement(a, &i, const_cast<double*>(&d[static_cast<size_t>(i)]));
  }
  r->vt = VT_ARRAY | VT_R8;
  r->parray = a;
}
void SetDouble(VARIANT* r, double d) {
  r->vt = VT_R8;
  r->dblVal = d;
}
void SetLong(VARIANT* r, int32_t l) {
  r->vt = VT_I4;
  r->lVal = l;
}
void SetBool(VARIANT* r, bool b) {
  r->vt = VT_BOOL;
  r->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}
void SetText(VARIANT* r, const std::string& s) {
  r->vt = VT_BSTR;
  r->bstrVal = Bstr(s);
}

VARIANT FromHost(const host::Variant& h) {
  VARIANT v;
  ::VariantInit(&v);
  switch (h.type()) {
    case host::Variant::Type::kEmpty:
      break;
    case host::Variant::Type::kBoolean:
      SetBool(&v, h.AsBooleanUnchecked());
      break;
    case host::Variant::Type::kInteger:
      v.vt = VT_I2;
      v.iVal = h.AsIntegerUnchecked();
      break;
    case host::Variant::Type::kLong:
      SetLong(&v, h.AsLongUnchecked());
      break;
    case host::Variant::Type::kDouble:
      SetDouble(&v, h.AsDoubleUnchecked());
      break;
    case host::Variant::Type::kDate:
      v.vt = VT_DATE;
      v.date = h.AsDateUnchecked().serial;
      break;
    case host::Variant::Type::kString:
      SetText(&v, h.AsStringUnchecked());
      break;
    case host::Variant::Type::kArray: {
      std::vector<double> d;
      for (const auto& e : h.AsArrayUnchecked()) d.push_back(host::ToDouble(e));
      SetDoubles(&v, d);
      break;
    }
    case host::Variant::Type::kObject:
      break;
  }
  return v;
}

host::Variant ToHost(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY:
      return {};
    case VT_BOOL:
      return host::Variant(v.boolVal != VARIANT_FALSE);
    case VT_I2:
      return host::Variant(static_cast<int16_t>(v.iVal));
    case VT_I4:
      return host::Variant(static_cast<int32_t>(v.lVal));
    case VT_R8:
      return host::Variant(v.dblVal);
    case VT_DATE:
      return host::Variant(host::Date{v.date});
    case VT_BSTR:
      return host::Variant(Utf8(v.bstrVal));
    case VT_ARRAY | VT_R8: {
      host::Variant::Array a;
      for (double d : DoublesArg(v)) a.emplace_back(d);
      return host::Variant(std::move(a));
    }
    default:
      Need(false);
      return {};
  }
}

// Group codes (an array of 16-bit integers) and their values (an array of
// Variants), as extended data and selection filters come; exactly those types.
void CodesAndValues(const VARIANT& types, const VARIANT& values, std::vector<int16_t>& codes,
                    std::vector<host::Variant>& items) {
  Need(types.vt == (VT_ARRAY | VT_I2) && values.vt == (VT_ARRAY | VT_VARIANT));
  LONG lo = 0, hi = -1;
  ::SafeArrayGetLBound(types.parray, 1, &lo);
  ::SafeArrayGetUBound(types.parray, 1, &hi);
  for (LONG i = lo; i <= hi; ++i) {
    int16_t code = 0;
    ::SafeArrayGetElement(types.parray, &i, &code);
    VARIANT item;
    ::VariantInit(&item);
    ::SafeArrayGetElement(values.parray, &i, &item);
    codes.push_back(code);
    items.push_back(ToHost(item));
    ::VariantClear(&item);
  }
}

class Object;
IDispatch* Wrap(Ref<host::Document> d);
IDispatch* Wrap(Ref<host::Entity> e);

using Member = std::function<void(const Call&)>;

// One automation object: members by name, each for the invoke kinds it takes.
class Object final : public IDispatch {
 public:
  struct Entry {
    Member get, put, method;
  };
  std::map<std::wstring, Entry> members;
  std::shared_ptr<void> target;  // the host object, kept alive

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = --refs_;
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
                                   VARIANT* result, EXCEPINFO* info, UINT*) override {
    if (id < 1 || id > static_cast<DISPID>(members.size())) return DISP_E_MEMBERNOTFOUND;
    auto it = members.begin();
    std::advance(it, id - 1);
    // As the program's type library does: a property put is never a put-by-reference.
    const Member& member = (kind & DISPATCH_PROPERTYPUT)                     ? it->second.put
                           : (kind & DISPATCH_PROPERTYGET) && it->second.get ? it->second.get
                                                                             : it->second.method;
    if (!member) return DISP_E_MEMBERNOTFOUND;
    VARIANT ignored;
    ::VariantInit(&ignored);
    try {
      member(Call{params, kind, result != nullptr ? result : &ignored});
    } catch (const host::Error& e) {
      if (info != nullptr) {
        std::memset(info, 0, sizeof *info);
        info->scode = e.number();
        info->bstrDescription = Bstr(e.description());
        info->bstrSource = ::SysAllocString(L"AutoCAD.Application");
      }
      ::VariantClear(&ignored);
      return DISP_E_EXCEPTION;
    }
    ::VariantClear(&ignored);
    return S_OK;
  }

 private:
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

// The host object behind an argument made by this double.
template <class T>
Ref<T> Unwrap(const VARIANT& v) {
  Need(v.vt == VT_DISPATCH && v.pdispVal != nullptr);
  auto* o = dynamic_cast<Object*>(v.pdispVal);
  Need(o != nullptr);
  auto p = std::static_pointer_cast<T>(o->target);
  return Ref<T>(p);
}

// The entities of an array of objects made by this double.
std::vector<Ref<host::Entity>> EntitiesArg(const VARIANT& a) {
  Need(a.vt == (VT_ARRAY | VT_DISPATCH));
  LONG lo = 0, hi = -1;
  ::SafeArrayGetLBound(a.parray, 1, &lo);
  ::SafeArrayGetUBound(a.parray, 1, &hi);
  std::vector<Ref<host::Entity>> items;
  for (LONG i = lo; i <= hi; ++i) {
    VARIANT e;
    ::VariantInit(&e);
    e.vt = VT_DISPATCH;
    ::SafeArrayGetElement(a.parray, &i, &e.pdispVal);
    items.push_back(Unwrap<host::Entity>(e));
    ::VariantClear(&e);
  }
  return items;
}

template <class T>
void AddObjectMembers(Object* o, const Ref<T>& t) {
  o->members[L"Handle"].get = [t](const Call& c) { SetText(c.result, t->Handle()); };
  o->members[L"ObjectName"].get = [t](const Call& c) { SetText(c.result, t->ObjectName()); };
  o->members[L"Document"].get = [t](const Call& c) { SetObject(c.result, Wrap(t->Document())); };
  o->members[L"GetXData"].method = [t](const Call& c) {
    Need(c.count() == 3);
    // The two results come back through by-reference VARIANTs.
    VARIANT* types =
        c.params->rgvarg[1].vt == (VT_BYREF | VT_VARIANT) ? c.params->rgvarg[1].pvarVal : nullptr;
    VARIANT* values =
        c.params->rgvarg[0].vt == (VT_BYREF | VT_VARIANT) ? c.params->rgvarg[0].pvarVal : nullptr;
    Need(types != nullptr && values != nullptr);
    const host::XData x = t->GetXData(TextArg(c.arg(0)));
    ::VariantClear(types);
    ::VariantClear(values);
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
  };
  o->members[L"SetXData"].method = [t](const Call& c) {
    Need(c.count() == 2);
    std::vector<int16_t> codes;
    std::vector<host::Variant> items;
    CodesAndValues(c.arg(0), c.arg(1), codes, items);
    t->SetXData(codes, items);
  };
}

template <class T>
void AddEntityMembers(Object* o, const Ref<T>& t) {
  AddObjectMembers(o, t);
  o->members[L"Layer"].get = [t](const Call& c) { SetText(c.result, t->Layer()); };
  o->members[L"Layer"].put = [t](const Call& c) { t->SetLayer(TextArg(c.value())); };
  o->members[L"Color"].get = [t](const Call& c) { SetLong(c.result, t->Color()); };
  o->members[L"Color"].put = [t](const Call& c) { t->SetColor(LongArg(c.value())); };
  o->members[L"Move"].method = [t](const Call& c) {
    t->Move(PointArg(c.arg(0)), PointArg(c.arg(1)));
  };
  o->members[L"GetBoundingBox"].method = [t](const Call& c) {
    VARIANT* lo = c.params->rgvarg[1].pvarVal;
    VARIANT* hi = c.params->rgvarg[0].pvarVal;
    Need(c.params->rgvarg[1].vt == (VT_BYREF | VT_VARIANT) &&
         c.params->rgvarg[0].vt == (VT_BYREF | VT_VARIANT));
    Point3 a, b;
    t->GetBoundingBox(a, b);
    ::VariantClear(lo);
    ::VariantClear(hi);
    SetPoint(lo, a);
    SetPoint(hi, b);
  };
}

IDispatch* Wrap(Ref<host::Entity> e) {
  if (!e) return nullptr;
  Object* o = New(e);
  AddEntityMembers(o, e);
  if (auto p = std::dynamic_pointer_cast<host::LWPolyline>(e.shared())) {
    Ref<host::LWPolyline> t(p);
    o->members[L"Coordinates"].get = [t](const Call& c) { SetDoubles(c.result, t->Coordinates()); };
    o->members[L"Coordinate"].get = [t](const Call& c) {
      const auto v = t->Coordinate(LongArg(c.arg(0)));
      SetDoubles(c.result, {v[0], v[1]});
    };
    o->members[L"GetBulge"].method = [t](const Call& c) {
      SetDouble(c.result, t->GetBulge(LongArg(c.arg(0))));
    };
    o->members[L"SetBulge"].method = [t](const Call& c) {
      t->SetBulge(LongArg(c.arg(0)), DoubleArg(c.arg(1)));
    };
    o->members[L"SetWidth"].method = [t](const Call& c) {
      t->SetWidth(LongArg(c.arg(0)), DoubleArg(c.arg(1)), DoubleArg(c.arg(2)));
    };
    o->members[L"Closed"].get = [t](const Call& c) { SetBool(c.result, t->Closed()); };
    o->members[L"Closed"].put = [t](const Call& c) { t->SetClosed(BoolArg(c.value())); };
    o->members[L"Elevation"].get = [t](const Call& c) { SetDouble(c.result, t->Elevation()); };
    o->members[L"Normal"].get = [t](const Call& c) { SetPoint(c.result, t->Normal()); };
    o->members[L"Length"].get = [t](const Call& c) { SetDouble(c.result, t->Length()); };
  } else if (auto q = std::dynamic_pointer_cast<host::PointEntity>(e.shared())) {
    Ref<host::PointEntity> t(q);
    o->members[L"Coordinates"].get = [t](const Call& c) { SetPoint(c.result, t->Coordinates()); };
  } else if (auto m = std::dynamic_pointer_cast<host::MText>(e.shared())) {
    Ref<host::MText> t(m);
    o->members[L"TextString"].get = [t](const Call& c) { SetText(c.result, t->TextString()); };
    o->members[L"InsertionPoint"].get = [t](const Call& c) {
      SetPoint(c.result, t->InsertionPoint());
    };
    o->members[L"Height"].get = [t](const Call& c) { SetDouble(c.result, t->Height()); };
    o->members[L"Height"].put = [t](const Call& c) { t->SetHeight(DoubleArg(c.value())); };
  } else if (auto r = std::dynamic_pointer_cast<host::BlockReference>(e.shared())) {
    Ref<host::BlockReference> t(r);
    o->members[L"Name"].get = [t](const Call& c) { SetText(c.result, t->Name()); };
    o->members[L"InsertionPoint"].get = [t](const Call& c) {
      SetPoint(c.result, t->InsertionPoint());
    };
  }
  return o;
}

IDispatch* WrapBlock(Ref<host::Block> b) {
  Object* o = New(b);
  AddObjectMembers(o, b);
  o->members[L"Name"].get = [b](const Call& c) { SetText(c.result, b->Name()); };
  o->members[L"Count"].get = [b](const Call& c) { SetLong(c.result, b->Count()); };
  o->members[L"Item"].method = [b](const Call& c) {
    SetObject(c.result, Wrap(b->Item(LongArg(c.arg(0)))));
  };
  o->members[L"AddLightWeightPolyline"].method = [b](const Call& c) {
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddLightWeightPolyline(DoublesArg(c.arg(0))))));
  };
  o->members[L"AddMText"].method = [b](const Call& c) {
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddMText(PointArg(c.arg(0)), DoubleArg(c.arg(1)),
                                                           TextArg(c.arg(2))))));
  };
  o->members[L"AddAttribute"].method = [b](const Call& c) {
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddAttribute(
                            DoubleArg(c.arg(0)), LongArg(c.arg(1)), TextArg(c.arg(2)),
                            PointArg(c.arg(3)), TextArg(c.arg(4)), TextArg(c.arg(5))))));
  };
  o->members[L"InsertBlock"].method = [b](const Call& c) {
    Need(c.count() == 6);  // the password left out
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
  return o;
}

template <class Collection, class F>
void AddItem(Object* o, const Ref<Collection>& coll, F wrap) {
  o->members[L"Count"].get = [coll](const Call& c) { SetLong(c.result, coll->Count()); };
  o->members[L"Item"].method = [coll, wrap](const Call& c) {
    const VARIANT& index = c.arg(0);
    if (index.vt == VT_BSTR) {
      if constexpr (requires { coll->Item(std::string()); }) {
        SetObject(c.result, wrap(coll->Item(Utf8(index.bstrVal))));
        return;
      }
    }
    SetObject(c.result, wrap(coll->Item(LongArg(index))));
  };
}

IDispatch* Wrap(Ref<host::Document> d) {
  if (!d) return nullptr;
  Object* o = New(d);
  o->members[L"Name"].get = [d](const Call& c) { SetText(c.result, d->Name()); };
  o->members[L"Application"].get = [d](const Call& c) {
    auto app = d->Application();
    Object* a = New(app);
    a->members[L"Documents"].get = [app](const Call& c2) {
      auto docs = app->Documents();
      Object* ds = New(docs);
      AddItem(ds, docs, [](Ref<host::Document> x) { return Wrap(x); });
      ds->members[L"Add"].method = [docs](const Call& c3) {
        Need(c3.count() == 0);  // no template
        SetObject(c3.result, Wrap(docs->Add()));
      };
      SetObject(c2.result, ds);
    };
    a->members[L"ZoomExtents"].method = [app](const Call&) { app->ZoomExtents(); };
    a->members[L"ZoomScaled"].method = [app](const Call& c2) {
      Need(c2.arg(1).vt == VT_I4);
      app->ZoomScaled(DoubleArg(c2.arg(0)), LongArg(c2.arg(1)));
    };
    SetObject(c.result, a);
  };
  o->members[L"Utility"].get = [d](const Call& c) {
    auto u = d->Utility();
    Object* x = New(u);
    x->members[L"TranslateCoordinates"].method = [u](const Call& c2) {
      SetPoint(c2.result,
               u->TranslateCoordinates(PointArg(c2.arg(0)), LongArg(c2.arg(1)), LongArg(c2.arg(2)),
                                       LongArg(c2.arg(3)) != 0, PointArg(c2.arg(4))));
    };
    x->members[L"AngleFromXAxis"].method = [u](const Call& c2) {
      SetDouble(c2.result, u->AngleFromXAxis(PointArg(c2.arg(0)), PointArg(c2.arg(1))));
    };
    x->members[L"PolarPoint"].method = [u](const Call& c2) {
      SetPoint(c2.result,
               u->PolarPoint(PointArg(c2.arg(0)), DoubleArg(c2.arg(1)), DoubleArg(c2.arg(2))));
    };
    SetObject(c.result, x);
  };
  o->members[L"ModelSpace"].get = [d](const Call& c) {
    SetObject(c.result, WrapBlock(d->ModelSpace()));
  };
  o->members[L"Blocks"].get = [d](const Call& c) {
    auto bs = d->Blocks();
    Object* x = New(bs);
    AddItem(x, bs, [](Ref<host::Block> b) { return WrapBlock(b); });
    x->members[L"Add"].method = [bs](const Call& c2) {
      SetObject(c2.result, WrapBlock(bs->Add(PointArg(c2.arg(0)), TextArg(c2.arg(1)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"Layers"].get = [d](const Call& c) {
    auto ls = d->Layers();
    Object* x = New(ls);
    AddItem(x, ls, [](Ref<host::Layer> l) { return WrapLayer(l); });
    x->members[L"Add"].method = [ls](const Call& c2) {
      SetObject(c2.result, WrapLayer(ls->Add(TextArg(c2.arg(0)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"UserCoordinateSystems"].get = [d](const Call& c) {
    auto us = d->UserCoordinateSystems();
    Object* x = New(us);
    x->members[L"Add"].method = [us](const Call& c2) {
      auto ucs = us->Add(PointArg(c2.arg(0)), PointArg(c2.arg(1)), PointArg(c2.arg(2)),
                         TextArg(c2.arg(3)));
      Object* u = New(ucs);
      u->members[L"Name"].get = [ucs](const Call& c3) { SetText(c3.result, ucs->Name()); };
      SetObject(c2.result, u);
    };
    SetObject(c.result, x);
  };
  o->members[L"SelectionSets"].get = [d](const Call& c) {
    auto ss = d->SelectionSets();
    auto wrap_set = [](Ref<host::SelectionSet> s) -> IDispatch* {
      Object* x = New(s);
      x->members[L"Name"].get = [s](const Call& c3) { SetText(c3.result, s->Name()); };
      x->members[L"Count"].get = [s](const Call& c3) { SetLong(c3.result, s->Count()); };
      x->members[L"Item"].method = [s](const Call& c3) {
        SetObject(c3.result, Wrap(s->Item(LongArg(c3.arg(0)))));
      };
      x->members[L"Delete"].method = [s](const Call&) { s->Delete(); };
      x->members[L"Select"].method = [s](const Call& c3) {
        Need(c3.count() == 5 && c3.arg(1).vt == VT_ERROR && c3.arg(2).vt == VT_ERROR);
        std::vector<int16_t> codes;
        std::vector<host::Variant> values;
        CodesAndValues(c3.arg(3), c3.arg(4), codes, values);
        s->Select(LongArg(c3.arg(0)), codes, values);
      };
      x->members[L"RemoveItems"].method = [s](const Call& c3) {
        s->RemoveItems(EntitiesArg(c3.arg(0)));
      };
      return x;
    };
    Object* x = New(ss);
    AddItem(x, ss, wrap_set);
    x->members[L"Add"].method = [ss, wrap_set](const Call& c2) {
      SetObject(c2.result, wrap_set(ss->Add(TextArg(c2.arg(0)))));
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
    auto vp = d->ActiveViewport();
    Object* x = New(vp);
    x->members[L"Direction"].put = [vp](const Call& c2) { vp->SetDirection(PointArg(c2.value())); };
    x->members[L"UCSIconOn"].put = [vp](const Call& c2) { vp->SetUCSIconOn(BoolArg(c2.value())); };
    x->members[L"UCSIconAtOrigin"].put = [vp](const Call& c2) {
      vp->SetUCSIconAtOrigin(BoolArg(c2.value()));
    };
    SetObject(c.result, x);
  };
  o->members[L"ActiveViewport"].put = [d](const Call& c) {
    d->SetActiveViewport(Unwrap<host::Viewport>(c.value()));
  };
  o->members[L"ActiveUCS"].put = [d](const Call& c) {
    d->SetActiveUCS(Unwrap<host::UCS>(c.value()));
  };
  o->members[L"CopyObjects"].method = [d](const Call& c) {
    const auto copies = d->CopyObjects(EntitiesArg(c.arg(0)), Unwrap<host::Block>(c.arg(1)));
    SAFEARRAY* out = ::SafeArrayCreateVector(VT_DISPATCH, 0, static_cast<ULONG>(copies.size()));
    for (LONG i = 0; i < static_cast<LONG>(copies.size()); ++i) {
      IDispatch* w = Wrap(copies[static_cast<size_t>(i)]);
      ::SafeArrayPutElement(out, &i, w);
      w->Release();
    }
    c.result->vt = VT_ARRAY | VT_DISPATCH;
    c.result->parray = out;
  };
  o->members[L"SetVariable"].method = [d](const Call& c) {
    d->SetVariable(TextArg(c.arg(0)), ToHost(c.arg(1)));
  };
  o->members[L"Regen"].method = [d](const Call& c) {
    Need(c.arg(0).vt == VT_I4);
    d->Regen(LongArg(c.arg(0)));
  };
  o->members[L"Activate"].method = [d](const Call&) { d->Activate(); };
  o->members[L"PurgeAll"].method = [d](const Call&) { d->PurgeAll(); };
  return o;
}

}  // namespace

IDispatch* DispatchDocument(const host::Ref<host::Document>& document) { return Wrap(document); }
IDispatch* DispatchEntity(const host::Ref<host::Entity>& entity) { return Wrap(entity); }

}  // namespace palvane::testing
