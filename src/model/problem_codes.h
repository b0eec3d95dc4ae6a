#pragma once

// The fixed codes of the problems a survey drawing can have, one per kind:
// what the river reader records against a reach or section, and what the
// check reports as findings.

namespace palvane::model::code {
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
inline constexpr const char* kNoSurvey = "no-survey";
inline constexpr const char* kSurveyOffLine = "survey-off-line";
inline constexpr const char* kStationConflict = "station-conflict";
inline constexpr const char* kTooManyPoints = "too-many-points";
inline constexpr const char* kBankLineMiss = "bank-line-miss";
inline constexpr const char* kTooFewPoints = "too-few-points";
inline constexpr const char* kFlowUphill = "flow-uphill";
}  // namespace palvane::model::code
