#pragma once

// Late binding to automation objects: calling members by name through
// IDispatch, with UTF-8 inside and UTF-16 only here, and the automation
// types the host interface uses. Every failure becomes a host::Error carrying
// the callee's number and description.

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

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
  void Call(const wchar_t* name, WORD kind, std::vector<VARIANT> args, VARIANT* result) const;

 private:
  IDispatch* p_ = nullptr;
};

// Raises the host error for a failed call, with the callee's description.
[[noreturn]] void Raise(HRESULT hr, const EXCEPINFO* info, const wchar_t* member);

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

}  // namespace palvane::com
