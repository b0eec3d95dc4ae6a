#pragma once

#include <string>

#include "check/survey_check.h"
#include "host/host.h"
#include "picture/plan.h"

namespace palvane::tools {

// The findings (not the notes) one per line, "severity section N: text
// [code]" (or "reach N:", or "drawing:" for what concerns neither), or as a
// JSON array of objects with "severity", "code", "reach", "section",
// "handles" and "text".
std::string FindingsText(const check::CheckResult& result);
std::string FindingsJson(const check::CheckResult& result);

// What the check's picture shows: the reaches' centre lines (the current
// one as the centre line sheets are laid along) and the section lines. A
// section with an error or a warning is red, labelled with the codes of its
// findings, and the legend lists each code with its count of sections.
picture::Plan CheckPlan(const check::CheckResult& result);

}  // namespace palvane::tools
