#include "com/facade_args.h"

namespace palvane::com {

void Need(bool ok) {
  if (!ok) throw ArgumentFault{DISP_E_TYPEMISMATCH};
}

// Points must come as arrays of three Doubles, exactly; lists of Doubles as
// arrays of Doubles.
std::vector<double> DoublesArg(const VARIANT& v) {
  Need(v.vt == (VT_ARRAY | VT_R8) && v.parray != nullptr);
  return ToDoubles(v);
}
host::Point3 PointArg(const VARIANT& v) {
  const std::vector<double> d = DoublesArg(v);
  Need(d.size() == 3);
  return {d[0], d[1], d[2]};
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
  return BstrText(v.bstrVal);
}

// The values a caller may pass where the program takes a Variant.
host::Variant ValueArg(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY:
    case VT_BOOL:
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
    case VT_ARRAY | VT_R8:
      return ToHost(v);
    default:
      Need(false);
      return {};
  }
}

// The type the program stores an extended data value of `code` in; VT_EMPTY
// for codes left to the host. An imitation of the program's checks: its
// reference lists these types for the values of SetXData.
VARTYPE XDataType(int16_t code) {
  if (code >= 1000 && code <= 1005 && code != 1004) return VT_BSTR;
  if (code >= 1010 && code <= 1013) return VT_ARRAY | VT_R8;
  if (code >= 1040 && code <= 1042) return VT_R8;
  if (code == 1070) return VT_I2;
  if (code == 1071) return VT_I4;
  return VT_EMPTY;
}

// Group codes (an array of 16-bit integers) and their values (an array of
// Variants), as extended data and selection filters come; exactly those types.
void CodesAndValues(const Call& c, UINT first, std::vector<int16_t>& codes,
                    std::vector<host::Variant>& items, bool typed_by_code) {
  // Each argument checked as it is read, so that a fault names its own.
  const VARIANT& types = c.arg(first);
  Need(types.vt == (VT_ARRAY | VT_I2));
  const VARIANT& values = c.arg(first + 1);
  Need(values.vt == (VT_ARRAY | VT_VARIANT));
  LONG lo = 0, hi = -1, value_lo = 0, value_hi = -1;
  ::SafeArrayGetLBound(types.parray, 1, &lo);
  ::SafeArrayGetUBound(types.parray, 1, &hi);
  ::SafeArrayGetLBound(values.parray, 1, &value_lo);
  ::SafeArrayGetUBound(values.parray, 1, &value_hi);
  Need(hi - lo == value_hi - value_lo);
  for (LONG i = lo; i <= hi; ++i) {
    int16_t code = 0;
    ::SafeArrayGetElement(types.parray, &i, &code);
    VARIANT item;
    ::VariantInit(&item);
    LONG at = value_lo + (i - lo);
    ::SafeArrayGetElement(values.parray, &at, &item);
    const VARTYPE expected = typed_by_code ? XDataType(code) : VARTYPE{VT_EMPTY};
    if (expected != VT_EMPTY && item.vt != expected) {
      ::VariantClear(&item);
      throw host::Error::InvalidInput("the value of extended data item " + std::to_string(i - lo) +
                                      " (group code " + std::to_string(code) +
                                      ") has the wrong type");
    }
    codes.push_back(code);
    items.push_back(ValueArg(item));
    ::VariantClear(&item);
  }
}

// The type of the system variables the program knows, as it keeps them.
VARTYPE VariableType(const std::string& name) {
  std::string key = name;
  for (char& c : key) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (key == "UCSFOLLOW" || key == "UCSICON") return VT_I2;
  if (key == "TEXTSIZE") return VT_R8;
  if (key == "CLAYER") return VT_BSTR;
  return VT_EMPTY;
}

}  // namespace palvane::com
