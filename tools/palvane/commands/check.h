#pragma once

#include <string>

#include "check/survey_check.h"
#include "host/host.h"

namespace palvane::tools {

// The findings (not the notes) one per line, "severity section N: text
// [code]" (or "reach N:", or "drawing:" for what concerns neither), or as a
// JSON array of objects with "severity", "code", "reach", "section",
// "handles" and "text".
std::string FindingsText(const check::CheckResult& result);
std::string FindingsJson(const check::CheckResult& result);

// A picture of the check: the reaches' centre lines and the section lines,
// drawn into `blank` (an empty drawing) and then as SVG. A section with an
// error or a warning is red, with the codes of its findings beside it.
std::string CheckSvg(const check::CheckResult& result, host::Document& blank);

}  // namespace palvane::tools
