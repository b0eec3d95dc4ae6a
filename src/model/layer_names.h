#pragma once

// How a section's layers are named: its number, then what the layer holds
// ("12_Profile", "12_SectionLine", ...). Every reader and writer of section
// layers names them through these, and a section-line layer gives its
// section's number.

#include <optional>
#include <string>
#include <string_view>

namespace palvane::model {

// The profile polyline, which carries the section tag.
inline constexpr std::string_view kProfileLayer = "_Profile";
// The section line: a layer of this name makes a section of its number.
inline constexpr std::string_view kSectionLineLayer = "_SectionLine";
// The centre point, which carries a copy of the section tag.
inline constexpr std::string_view kSectionCenterLayer = "_SectionCenter";
// The survey: as taken ("_3d"), and as processed for the section view.
inline constexpr std::string_view kSurveyLayer = "_3d";
inline constexpr std::string_view kSurveyLpsoLayer = "_3d_LPSO";
inline constexpr std::string_view kSurveyLinvLayer = "_3d_LINV";

// The layer of section `number` holding what `suffix` (one of the above) names.
std::string SectionLayer(std::string_view number, std::string_view suffix);

// The section number a section-line layer names: the text before the first
// "_SectionLine" in it; nothing for any other layer.
std::optional<std::string> SectionNumberOf(std::string_view layer_name);

// The section number a profile layer names: the text before a closing
// "_Profile" (in any letter case); nothing for any other layer.
std::optional<std::string> SectionNumberOfProfileLayer(std::string_view layer_name);

// A suffix without its leading "_", for names whose prefix already ends in
// one ("12_" + "SectionCenter").
constexpr std::string_view AfterUnderscore(std::string_view suffix) { return suffix.substr(1); }

}  // namespace palvane::model
