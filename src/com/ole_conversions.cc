#include "com/ole_conversions.h"

// clang-format off
#include <oleauto.h>
// clang-format on

#include "com/dispatch.h"
#include "host/error.h"

namespace palvane::com {
namespace {

// A conversion's failure as the runtime reports it.
[[noreturn]] void Fail(HRESULT hr) {
  if (hr == DISP_E_OVERFLOW) throw host::Error::Overflow();
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  throw host::Error::TypeMismatch();
}

// A BSTR made by a conversion, as UTF-8; the BSTR is freed.
std::string TakeText(BSTR text) {
  std::string out = Utf8(text, static_cast<int>(::SysStringLen(text)));
  ::SysFreeString(text);
  return out;
}

}  // namespace

double OleConversions::TextToDouble(std::string_view text) const {
  const std::wstring wide = Wide(std::string(text));
  double value = 0;
  const HRESULT hr = ::VarR8FromStr(const_cast<OLECHAR*>(wide.c_str()), locale_, 0, &value);
  if (FAILED(hr)) Fail(hr);
  return value;
}

host::Date OleConversions::TextToDate(std::string_view text) const {
  const std::wstring wide = Wide(std::string(text));
  DATE date = 0;
  const HRESULT hr = ::VarDateFromStr(const_cast<OLECHAR*>(wide.c_str()), locale_, 0, &date);
  if (SUCCEEDED(hr)) return host::Date{date};
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  return host::InvariantConversions().TextToDate(text);
}

std::string OleConversions::DateToText(host::Date date) const {
  BSTR text = nullptr;
  const HRESULT hr = ::VarBstrFromDate(date.serial, locale_, 0, &text);
  if (FAILED(hr)) Fail(hr);
  return TakeText(text);
}

std::string OleConversions::DoubleToText(double value) const {
  BSTR text = nullptr;
  const HRESULT hr = ::VarBstrFromR8(value, locale_, 0, &text);
  if (FAILED(hr)) Fail(hr);
  return TakeText(text);
}

std::string OleConversions::DecimalSeparator() const {
  wchar_t separator[8] = {0};
  const int n = ::GetLocaleInfoW(locale_, LOCALE_SDECIMAL, separator, 8);
  return n > 1 ? Utf8(separator, n - 1) : ".";
}

}  // namespace palvane::com
