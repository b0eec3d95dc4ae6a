#include "check/survey_check.h"

#include <algorithm>
#include <cmath>

#include "check/checker.h"
#include "host/convert.h"

namespace palvane::check {

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kNote:
      return "note";
    case Severity::kWarning:
      return "warning";
    case Severity::kError:
      return "error";
  }
  return "error";
}

size_t CheckResult::errors() const {
  return static_cast<size_t>(std::count_if(findings.begin(), findings.end(), [](const Finding& f) {
    return f.severity == Severity::kError;
  }));
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Num(double value) {
  std::string text = host::FormatFixed(value, 3);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

const char* ItemName(size_t item) {
  static constexpr const char* kNames[] = {
      "application", "kind",  "section number", "reach number", "chainage",
      "bearing",     "title", "section name",   "water date",   "through-section flag"};
  return item < std::size(kNames) ? kNames[item] : "item";
}

size_t FirstBadItem(const std::vector<Variant>& values) {
  for (size_t item = 2; item < 10; ++item) {
    if (item >= values.size()) return item < 7 ? item : 10;
    try {
      if (item == 4 || item == 5) {
        host::ToDouble(values[item]);
      } else if (item == 8) {
        host::ToDate(values[item]);
      } else if (item == 9) {
        host::ToBoolean(values[item]);
      } else {
        host::ToText(values[item]);
      }
    } catch (const host::Error&) {
      return item;
    }
  }
  return 10;
}

std::string ListOf(const std::vector<std::string>& items) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += i + 1 == items.size() ? " and " : ", ";
    out += items[i];
  }
  return out;
}

CheckResult Checker::Run() {
  // Read as the exports read it, through a selection set of the check's
  // own, deleted after each query: the sets the exports and the user keep
  // are left alone. The lookups' messages are findings here.
  model::RiverOptions read = model::RiverOptions::WithCentrePoints();
  read.selection_set = kSetName;
  river_ = model::ReadRiver(drawing_, silent_, read);
  ReadReaches();
  ReadSections();
  for (size_t r = 0; r < reaches_.size(); ++r) CheckGeometry(r);
  CheckSurveyPoints();
  // What concerns the drawing or a reach first, then section by section
  // in the order of their layers.
  auto rank = [&](const Finding& f) -> size_t {
    if (f.section.empty()) return 0;
    const auto at = order_.find(f.section);
    return at == order_.end() ? SIZE_MAX : at->second + 1;
  };
  std::stable_sort(result_.findings.begin(), result_.findings.end(),
                   [&](const Finding& a, const Finding& b) { return rank(a) < rank(b); });
  return std::move(result_);
}

void Checker::Add(Severity severity, const char* code, std::string reach, std::string section,
                  std::vector<std::string> handles, std::string text) {
  (severity == Severity::kNote ? result_.notes : result_.findings)
      .push_back({severity, code, std::move(reach), std::move(section), std::move(handles),
                  std::move(text)});
}

CheckResult CheckSurvey(const Ref<host::Document>& drawing, const CheckOptions& options) {
  return Checker(drawing, options).Run();
}

}  // namespace palvane::check
