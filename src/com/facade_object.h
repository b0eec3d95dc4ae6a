#pragma once

// The automation facade's own parts: its one object class, answering by
// member name, and what building objects of it takes. Only the facade's
// sources include this.

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
#include "com/facade.h"
#include "com/facade_args.h"
#include "host/convert.h"

namespace palvane::com::facade {

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

inline void SetObject(VARIANT* r, IDispatch* d) {
  r->vt = VT_DISPATCH;
  r->pdispVal = d;
}

inline Object* FacadeObject(IDispatch* d) {
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
std::vector<Ref<host::Entity>> EntitiesArg(const VARIANT& a);

// New objects over a drawing and an entity.
IDispatch* Wrap(Ref<host::Document> d);
IDispatch* Wrap(Ref<host::Entity> e);

// Extended data as the program gives it: two arrays, of codes and values.
void SetXDataArrays(VARIANT* types, VARIANT* values, const host::XData& x);

// Objects returned in an array, as CopyObjects returns its copies.
void SetObjects(VARIANT* r, const std::vector<Ref<host::Entity>>& entities);

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

}  // namespace palvane::com::facade
