#include "com/dispatch.h"

#include <cmath>
#include <cstring>
#include <new>

#include "host/convert.h"
#include "host/error.h"

namespace palvane::com {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(const wchar_t* wide, int length) {
  if (wide == nullptr) return {};
  if (length < 0) length = static_cast<int>(std::wcslen(wide));
  if (length == 0) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), n, nullptr, nullptr);
  return out;
}

std::string BstrText(BSTR text) {
  return text == nullptr ? std::string() : Utf8(text, static_cast<int>(::SysStringLen(text)));
}

BSTR NewBstr(const std::string& utf8) {
  const std::wstring w = Wide(utf8);
  BSTR b = ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  if (b == nullptr) throw std::bad_alloc();
  return b;
}

void Raise(HRESULT hr, const EXCEPINFO* info, const wchar_t* member) {
  // The program out of memory ends the operation as the library's own
  // shortage does.
  if (hr == E_OUTOFMEMORY || (info != nullptr && info->scode == E_OUTOFMEMORY)) {
    if (info != nullptr) {
      ::SysFreeString(info->bstrDescription);
      ::SysFreeString(info->bstrSource);
      ::SysFreeString(info->bstrHelpFile);
    }
    throw std::bad_alloc();
  }
  if (info != nullptr) {
    EXCEPINFO filled = *info;
    if (filled.pfnDeferredFillIn != nullptr) filled.pfnDeferredFillIn(&filled);
    const int32_t number = filled.scode != 0 ? filled.scode : hr;
    std::string description = Utf8(filled.bstrDescription);
    ::SysFreeString(filled.bstrDescription);
    ::SysFreeString(filled.bstrSource);
    ::SysFreeString(filled.bstrHelpFile);
    if (description.empty()) description = "Automation error in " + Utf8(member);
    throw host::Error(number, description);
  }
  // The standard dispatch failures come to a script as the runtime's own
  // errors: so do they here.
  switch (hr) {
    case DISP_E_TYPEMISMATCH:
      throw host::Error::TypeMismatch();
    case DISP_E_OVERFLOW:
      throw host::Error::Overflow();
    case DISP_E_PARAMNOTFOUND:
      throw host::Error(448, "Named argument not found");
    case DISP_E_BADPARAMCOUNT:
      throw host::Error(450, "Wrong number of arguments or invalid property assignment");
    default:
      break;
  }
  wchar_t* text = nullptr;
  ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string description = text != nullptr ? Utf8(text) : "Automation error";
  if (text != nullptr) ::LocalFree(text);
  while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) {
    description.pop_back();
  }
  throw host::Error(static_cast<int32_t>(hr), description + " (" + Utf8(member) + ")");
}

VARIANT ByRef(VARIANT* target) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}

VARIANT ByRef(double* target) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BYREF | VT_R8;
  v.pdblVal = target;
  return v;
}

void DispatchPtr::Call(const wchar_t* name, WORD kind, std::initializer_list<Arg> args,
                       VARIANT* result) const {
  if (p_ == nullptr) throw host::Error::ObjectNotSet();
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = p_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) Raise(hr, nullptr, name);
  // Arguments go in reverse order; a property put names its value.
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  for (auto a = std::rbegin(args); a != std::rend(args); ++a) reversed.push_back(**a);
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO info{};
  UINT bad_arg = 0;
  hr = p_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &info, &bad_arg);
  if (hr == DISP_E_EXCEPTION) Raise(hr, &info, name);
  if (FAILED(hr)) Raise(hr, nullptr, name);
}

VARIANT NewArray(VARTYPE type, size_t count) {
  VARIANT v;
  ::VariantInit(&v);
  v.parray = ::SafeArrayCreateVector(type, 0, static_cast<ULONG>(count));
  if (v.parray == nullptr) throw std::bad_alloc();
  v.vt = VT_ARRAY | type;
  return v;
}

VARTYPE ElementType(const VARIANT& v) {
  if ((v.vt & VT_ARRAY) == 0) return VT_EMPTY;
  SAFEARRAY* a = (v.vt & VT_BYREF) ? *v.pparray : v.parray;
  VARTYPE type = VT_EMPTY;
  if (a == nullptr || ::SafeArrayGetDim(a) != 1 || FAILED(::SafeArrayGetVartype(a, &type))) {
    return VT_EMPTY;
  }
  return type;
}

VARIANT Doubles(const std::vector<double>& values) {
  VARIANT v = NewArray(VT_R8, values.size());
  void* data = nullptr;
  ::SafeArrayAccessData(v.parray, &data);
  if (!values.empty()) std::memcpy(data, values.data(), values.size() * sizeof(double));
  ::SafeArrayUnaccessData(v.parray);
  return v;
}

VARIANT Point(const host::Point3& p) { return Doubles({p[0], p[1], p[2]}); }

std::vector<double> ToDoubles(const VARIANT& v) {
  // Arrays of Doubles, or of Variants each convertible to one.
  const VARTYPE type = ElementType(v);
  if (type != VT_R8 && type != VT_VARIANT) throw host::Error::TypeMismatch();
  SAFEARRAY* a = (v.vt & VT_BYREF) ? *v.pparray : v.parray;
  LONG lo = 0, hi = -1;
  ::SafeArrayGetLBound(a, 1, &lo);
  ::SafeArrayGetUBound(a, 1, &hi);
  std::vector<double> out;
  for (LONG i = lo; i <= hi; ++i) {
    if (type == VT_R8) {
      double d = 0;
      ::SafeArrayGetElement(a, &i, &d);
      out.push_back(d);
    } else {
      Var e;
      ::SafeArrayGetElement(a, &i, e.get());
      out.push_back(AsDouble(*e));
    }
  }
  return out;
}

host::Point3 ToPoint3(const VARIANT& v) {
  const auto d = ToDoubles(v);
  if (d.size() < 3) throw host::Error::SubscriptOutOfRange();
  return {d[0], d[1], d[2]};
}

host::Point2 ToPoint2(const VARIANT& v) {
  const auto d = ToDoubles(v);
  if (d.size() < 2) throw host::Error::SubscriptOutOfRange();
  return {d[0], d[1]};
}

VARIANT Long(int32_t value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Double(double value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}

VARIANT Bool(bool value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT Text(const std::string& utf8) {
  VARIANT v;
  ::VariantInit(&v);
  v.bstrVal = NewBstr(utf8);
  v.vt = VT_BSTR;
  return v;
}

namespace {
VARIANT Changed(const VARIANT& v, VARTYPE type) {
  VARIANT out;
  ::VariantInit(&out);
  const HRESULT hr =
      ::VariantChangeTypeEx(&out, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, type);
  if (hr == DISP_E_OVERFLOW) throw host::Error::Overflow();
  if (FAILED(hr)) throw host::Error::TypeMismatch();
  return out;
}
}  // namespace

double AsDouble(const VARIANT& v) { return Changed(v, VT_R8).dblVal; }
int32_t AsLong(const VARIANT& v) { return Changed(v, VT_I4).lVal; }
bool AsBool(const VARIANT& v) { return Changed(v, VT_BOOL).boolVal != VARIANT_FALSE; }
std::string AsText(const VARIANT& v) {
  VARIANT s = Changed(v, VT_BSTR);
  std::string out = BstrText(s.bstrVal);
  ::VariantClear(&s);
  return out;
}

VARIANT FromHost(const host::Variant& h) {
  VARIANT v;
  ::VariantInit(&v);
  switch (h.type()) {
    case host::Variant::Type::kEmpty:
      break;
    case host::Variant::Type::kBoolean:
      v.vt = VT_BOOL;
      v.boolVal = h.AsBooleanUnchecked() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case host::Variant::Type::kInteger:
      v.vt = VT_I2;
      v.iVal = h.AsIntegerUnchecked();
      break;
    case host::Variant::Type::kLong:
      v = Long(h.AsLongUnchecked());
      break;
    case host::Variant::Type::kDouble:
      v = Double(h.AsDoubleUnchecked());
      break;
    case host::Variant::Type::kDate:
      v.vt = VT_DATE;
      v.date = h.AsDateUnchecked().serial;
      break;
    case host::Variant::Type::kString:
      v = Text(h.AsStringUnchecked());
      break;
    case host::Variant::Type::kArray: {
      std::vector<double> d;
      for (const auto& e : h.AsArrayUnchecked()) d.push_back(host::ToDouble(e));
      v = Doubles(d);
      break;
    }
    case host::Variant::Type::kObject:
      throw host::Error::TypeMismatch();
  }
  return v;
}

host::Variant ToHost(const VARIANT& v) {
  if (v.vt & VT_BYREF) {  // the value referred to
    Var value;
    if (FAILED(::VariantCopyInd(value.get(), const_cast<VARIANT*>(&v)))) {
      throw host::Error::TypeMismatch();
    }
    return ToHost(*value);
  }
  if (v.vt & VT_ARRAY) {
    host::Variant::Array a;
    for (double d : ToDoubles(v)) a.emplace_back(d);
    return host::Variant(std::move(a));
  }
  switch (v.vt) {
    case VT_EMPTY:
      return {};
    case VT_BOOL:
      return host::Variant(v.boolVal != VARIANT_FALSE);
    case VT_I2:
      return host::Variant(static_cast<int16_t>(v.iVal));
    case VT_I4:
      return host::Variant(static_cast<int32_t>(v.lVal));
    case VT_R4:
    case VT_R8:
      return host::Variant(AsDouble(v));
    case VT_DATE:
      return host::Variant(host::Date{v.date});
    default:
      return host::Variant(AsText(v));
  }
}

VARIANT Missing() {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

VARIANT DispatchValue(IDispatch* d) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = d;
  if (d != nullptr) d->AddRef();
  return v;
}

VARIANT DispatchArray(const std::vector<IDispatch*>& objects) {
  VARIANT v = NewArray(VT_DISPATCH, objects.size());
  for (LONG i = 0; i < static_cast<LONG>(objects.size()); ++i) {
    ::SafeArrayPutElement(v.parray, &i, objects[static_cast<size_t>(i)]);
  }
  return v;
}

std::vector<DispatchPtr> ObjectsOf(const VARIANT& v) {
  std::vector<DispatchPtr> out;
  const VARTYPE type = ElementType(v);
  if (type == VT_EMPTY) return out;  // no array: no objects
  if (type != VT_DISPATCH && type != VT_VARIANT) throw host::Error::TypeMismatch();
  SAFEARRAY* a = (v.vt & VT_BYREF) ? *v.pparray : v.parray;
  LONG lo = 0, hi = -1;
  ::SafeArrayGetLBound(a, 1, &lo);
  ::SafeArrayGetUBound(a, 1, &hi);
  for (LONG i = lo; i <= hi; ++i) {
    if (type == VT_DISPATCH) {
      IDispatch* d = nullptr;
      ::SafeArrayGetElement(a, &i, &d);  // counted: the pointer takes it over
      if (d != nullptr) out.emplace_back(d, false);
    } else {
      Var e;
      ::SafeArrayGetElement(a, &i, e.get());
      if ((*e).vt == VT_DISPATCH && (*e).pdispVal != nullptr) out.emplace_back((*e).pdispVal);
    }
  }
  return out;
}

VARIANT XDataValue(int16_t code, const host::Variant& value) {
  if (code >= 1000 && code <= 1005 && code != 1004) return Text(host::ToText(value));
  if (code >= 1010 && code <= 1013) {
    if (!value.IsArray() || value.AsArrayUnchecked().size() != 3) {
      throw host::Error::TypeMismatch();
    }
    const auto& a = value.AsArrayUnchecked();
    return Point({host::ToDouble(a[0]), host::ToDouble(a[1]), host::ToDouble(a[2])});
  }
  if (code >= 1040 && code <= 1042) return Double(host::ToDouble(value));
  if (code == 1070) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = host::ToInteger(value);
    return v;
  }
  if (code == 1071) {
    // A reach number's text must be a whole number: 12.5 is refused rather
    // than stored as 12.
    if (value.type() == host::Variant::Type::kString) {
      const double number = host::TextToDouble(value.AsStringUnchecked());
      if (number != std::trunc(number)) throw host::Error::TypeMismatch();
      return Long(host::DoubleToLong(number));
    }
    return Long(host::ToLong(value));
  }
  return FromHost(value);
}

}  // namespace palvane::com
