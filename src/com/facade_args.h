#pragma once

// How the automation facade reads the arguments of a call and writes its
// results, with the checks the program's type information makes.

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <cstdint>
#include <string>
#include <vector>

#include "com/dispatch.h"
#include "host/host.h"

namespace palvane::com {

// An argument refused as the program's type information refuses it: the
// call fails with `hr` itself (no exception information), and the caller
// learns which argument from puArgErr.
struct ArgumentFault {
  HRESULT hr;
};

// A refused argument: DISP_E_TYPEMISMATCH.
void Need(bool ok);

// Arguments of one call, first to last, by-reference values followed.
struct Call {
  DISPPARAMS* params;
  WORD kind;
  VARIANT* result;
  // The position in rgvarg of the argument read last, for puArgErr.
  mutable UINT last_read = 0;
  UINT count() const { return params->cArgs - params->cNamedArgs * (kind == DISPATCH_PROPERTYPUT); }
  // Refuses a call of another number of arguments: DISP_E_BADPARAMCOUNT.
  void NeedCount(bool ok) const {
    if (!ok) throw ArgumentFault{DISP_E_BADPARAMCOUNT};
  }
  const VARIANT& arg(UINT i) const {
    NeedCount(i < params->cArgs);
    last_read = params->cArgs - 1 - i;
    const VARIANT& v = params->rgvarg[last_read];
    return (v.vt == (VT_BYREF | VT_VARIANT)) ? *v.pvarVal : v;
  }
  // The value of a property put.
  const VARIANT& value() const {
    last_read = 0;
    const VARIANT& v = params->rgvarg[0];
    return (v.vt == (VT_BYREF | VT_VARIANT)) ? *v.pvarVal : v;
  }
  // The by-reference VARIANT of out argument `i`, which the callee fills.
  VARIANT* out(UINT i) const {
    NeedCount(i < params->cArgs);
    last_read = params->cArgs - 1 - i;
    VARIANT& v = params->rgvarg[last_read];
    Need(v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal != nullptr);
    return v.pvarVal;
  }
};

// Points must come as arrays of three Doubles, exactly; lists of Doubles as
// arrays of Doubles.
std::vector<double> DoublesArg(const VARIANT& v);
host::Point3 PointArg(const VARIANT& v);
double DoubleArg(const VARIANT& v);
int32_t LongArg(const VARIANT& v);
bool BoolArg(const VARIANT& v);
std::string TextArg(const VARIANT& v);

inline void SetPoint(VARIANT* r, const host::Point3& p) { *r = Point(p); }
inline void SetDoubles(VARIANT* r, const std::vector<double>& d) { *r = Doubles(d); }
inline void SetDouble(VARIANT* r, double d) { *r = Double(d); }
inline void SetLong(VARIANT* r, int32_t l) { *r = Long(l); }
inline void SetBool(VARIANT* r, bool b) { *r = Bool(b); }
inline void SetText(VARIANT* r, const std::string& s) { *r = Text(s); }

// The values a caller may pass where the program takes a Variant.
host::Variant ValueArg(const VARIANT& v);

// The type the program stores an extended data value of `code` in; VT_EMPTY
// for codes left to the host. An imitation of the program's checks: its
// reference lists these types for the values of SetXData.
VARTYPE XDataType(int16_t code);

// Group codes (an array of 16-bit integers) and their values (an array of
// Variants), arguments `first` and `first` + 1 of `c`, as extended data and
// selection filters come; exactly those types. With `typed_by_code`, each
// value must have its code's type.
void CodesAndValues(const Call& c, UINT first, std::vector<int16_t>& codes,
                    std::vector<host::Variant>& items, bool typed_by_code);

// The type of the system variables the program knows, as it keeps them.
VARTYPE VariableType(const std::string& name);

}  // namespace palvane::com
