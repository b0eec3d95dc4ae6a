#pragma once

// Late binding to automation objects: calling members by name through
// IDispatch, with UTF-8 inside and UTF-16 only here, and the automation
// types the host interface uses. Every failure becomes a host::Error carrying
// the callee's number and description.

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <initializer_list>
#include <string>
#include <vector>

#include "host/host.h"

namespace palvane::com {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const wchar_t* wide, int length = -1);
std::string BstrText(BSTR text);        // all of it, embedded nulls too
BSTR NewBstr(const std::string& utf8);  // the caller frees it

// An owned VARIANT, cleared on every way out.
class Var {
 public:
  Var() { ::VariantInit(&v_); }
  ~Var() { ::VariantClear(&v_); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }

 private:
  VARIANT v_;
};

// An argument of a call, owned from the moment it is made: in a braced list
// of them, the ones made already are freed when making a later one throws.
// A by-reference argument points at storage the caller owns and frees.
class Arg {
 public:
  Arg(VARIANT v) noexcept : v_(v) {}  // NOLINT: takes the value over
  Arg(Arg&& o) noexcept : v_(o.v_) { ::VariantInit(&o.v_); }
  Arg(const Arg&) = delete;
  Arg& operator=(const Arg&) = delete;
  ~Arg() { ::VariantClear(&v_); }
  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }

 private:
  VARIANT v_;
};

// A by-reference argument to `target`, which the callee fills.
VARIANT ByRef(VARIANT* target);
VARIANT ByRef(double* target);

// A counted reference to an IDispatch, released on every way out.
class DispatchPtr {
 public:
  DispatchPtr() = default;
  explicit DispatchPtr(IDispatch* p, bool add_ref = true) : p_(p) {
    if (p_ != nullptr && add_ref) p_->AddRef();
  }
  DispatchPtr(const DispatchPtr& o) : DispatchPtr(o.p_) {}
  DispatchPtr& operator=(DispatchPtr o) {
    std::swap(p_, o.p_);
    return *this;
  }
  ~DispatchPtr() {
    if (p_ != nullptr) p_->Release();
  }
  IDispatch* get() const { return p_; }

  // Calls member `name` with `args` (in order; each argument may be a
  // by-reference VARIANT for an out parameter) and returns its result.
  void Call(const wchar_t* name, WORD kind, std::initializer_list<Arg> args, VARIANT* result) const;

 private:
  IDispatch* p_ = nullptr;
};

// Raises the host error for a failed call, with the callee's description.
[[noreturn]] void Raise(HRESULT hr, const EXCEPINFO* info, const wchar_t* member);

// A new one-dimensional array of `count` elements of `type`, from index 0
// (the caller clears it); running out of memory throws std::bad_alloc.
VARIANT NewArray(VARTYPE type, size_t count);
// The element type of an array value, VT_EMPTY when it is no array.
VARTYPE ElementType(const VARIANT& v);

// Conversions between automation values and the host's.
VARIANT Point(const host::Point3& p);
host::Point3 ToPoint3(const VARIANT& v);
host::Point2 ToPoint2(const VARIANT& v);
std::vector<double> ToDoubles(const VARIANT& v);
VARIANT Doubles(const std::vector<double>& values);
VARIANT Long(int32_t v);
VARIANT Double(double v);
VARIANT Bool(bool v);
VARIANT Text(const std::string& utf8);  // the caller clears it
double AsDouble(const VARIANT& v);
int32_t AsLong(const VARIANT& v);
bool AsBool(const VARIANT& v);
std::string AsText(const VARIANT& v);

// A host value as an automation value (the caller clears it); an object is a
// type mismatch.
VARIANT FromHost(const host::Variant& h);
// An automation value as a host value: arrays as arrays of Doubles, anything
// else not a host type as its text.
host::Variant ToHost(const VARIANT& v);

// An argument left out (the caller's optional argument not given).
VARIANT Missing();
// An object as a value, counted (the caller clears it).
VARIANT DispatchValue(IDispatch* d);
// Objects as an array of objects (the caller clears it).
VARIANT DispatchArray(const std::vector<IDispatch*>& objects);
// The objects of an array result, whether it holds objects or Variants of
// objects (the program's type library leaves this open).
std::vector<DispatchPtr> ObjectsOf(const VARIANT& v);
// An extended data value in its group code's own type, converted as the
// automation runtime converts it (a date to its text in the user's locale),
// so that nothing depends on the program converting it: 1000 to 1005 text,
// 1010 to 1013 three Doubles, 1040 to 1042 a Double, 1070 a 16-bit and 1071
// a 32-bit integer. The caller clears it.
VARIANT XDataValue(int16_t code, const host::Variant& value);

}  // namespace palvane::com
