#pragma once

// The conversions of the automation runtime inside the CAD program: text to
// number and date and back through the system's OLE Automation conversions,
// in a locale (the user's, unless told otherwise), as the runtime the
// operations were written for makes them.

// clang-format off
#include <windows.h>
// clang-format on

#include "host/convert.h"

namespace palvane::com {

class OleConversions final : public host::Conversions {
 public:
  explicit OleConversions(LCID locale = LOCALE_USER_DEFAULT) : locale_(locale) {}

  // The locale's own number text ("1,5" in a comma locale; thousands
  // separators allowed, as the runtime allows them).
  double TextToDouble(std::string_view text) const override;
  // The locale's date and time forms; failing those, the invariant forms
  // (ISO dates, and 30/06/2012), which drawings written elsewhere hold.
  host::Date TextToDate(std::string_view text) const override;
  std::string DateToText(host::Date date) const override;
  std::string DoubleToText(double value) const override;
  std::string DecimalSeparator() const override;

 private:
  LCID locale_;
};

}  // namespace palvane::com
