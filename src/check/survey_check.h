#pragma once

// A survey drawing's problems, found before it goes into a river model: the
// reach and section records read as the exports read them, and the section
// lines measured against their reach's centre line. Reads the drawing only.

#include <string>
#include <vector>

#include "geometry/polyline.h"
#include "host/host.h"

namespace palvane::check {

enum class Severity { kNote, kWarning, kError };
const char* SeverityName(Severity severity);  // "note", "warning", "error"

struct Finding {
  Severity severity = Severity::kError;
  std::string code;                  // fixed, one per kind of problem
  std::string reach;                 // the reach number it concerns, if any
  std::string section;               // the section number; empty for a reach or the drawing
  std::vector<std::string> handles;  // the entities concerned
  std::string text;
};

struct CheckOptions {
  double chainage_tolerance = 0.5;  // drawing units
  double bearing_tolerance = 1.0;   // degrees
};

// What a picture of the check needs, in world plan coordinates.
struct CheckedReach {
  std::string number, handle;
  bool current = false;
  geometry::PlanPolyline line;
};
struct CheckedSection {
  std::string number, handle;
  geometry::Point2 first{}, last{};  // the section line, as the keyplan draws it
};

struct CheckResult {
  std::vector<Finding> findings;  // errors and warnings
  // What the check inferred (the chainage direction and bearing convention
  // of each reach), apart from the findings: they are no problem.
  std::vector<Finding> notes;
  std::vector<CheckedReach> reaches;
  std::vector<CheckedSection> sections;
  size_t errors() const;
};

// The fixed codes, for callers that act on one kind.
namespace code {
inline constexpr const char* kNoReach = "no-reach";
inline constexpr const char* kNoCurrentReach = "no-current-reach";
inline constexpr const char* kSeveralCurrentReaches = "several-current-reaches";
inline constexpr const char* kReachTagUnreadable = "reach-tag-unreadable";
inline constexpr const char* kDuplicateReachNumber = "duplicate-reach-number";
inline constexpr const char* kNoProfile = "no-profile";
inline constexpr const char* kSeveralProfiles = "several-profiles";
inline constexpr const char* kNoCentrePoint = "no-centre-point";
inline constexpr const char* kSeveralCentrePoints = "several-centre-points";
inline constexpr const char* kTagRestorable = "tag-restorable";
inline constexpr const char* kTagLost = "tag-lost";
inline constexpr const char* kTagTooShort = "tag-too-short";
inline constexpr const char* kTagUnreadable = "tag-unreadable";
inline constexpr const char* kDuplicateSectionLayer = "duplicate-section-layer";
inline constexpr const char* kDuplicateSectionNumber = "duplicate-section-number";
inline constexpr const char* kSectionNumberMismatch = "section-number-mismatch";
inline constexpr const char* kUnknownReach = "unknown-reach";
inline constexpr const char* kProfileTooShort = "profile-too-short";
inline constexpr const char* kNotInPlan = "not-in-plan";
inline constexpr const char* kNoCrossing = "no-crossing";
inline constexpr const char* kSeveralCrossings = "several-crossings";
inline constexpr const char* kChainageDirection = "chainage-direction";
inline constexpr const char* kChainageDirectionUnknown = "chainage-direction-unknown";
inline constexpr const char* kChainageMismatch = "chainage-mismatch";
inline constexpr const char* kBearingConvention = "bearing-convention";
inline constexpr const char* kBearingConventionUnknown = "bearing-convention-unknown";
inline constexpr const char* kBearingMismatch = "bearing-mismatch";
inline constexpr const char* kChainageOrder = "chainage-order";
inline constexpr const char* kSectionsCross = "sections-cross";
inline constexpr const char* kChainageBeyondReach = "chainage-beyond-reach";
inline constexpr const char* kHostError = "host-error";
}  // namespace code

// Checks the drawing. Host failures become findings of their own (code
// "host-error") and the check goes on with what it can still read.
CheckResult CheckSurvey(const host::Ref<host::Document>& drawing, const CheckOptions& options);

}  // namespace palvane::check
