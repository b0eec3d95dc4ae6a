#pragma once

// The tag records kept in extended entity data under the application "TEV":
// a reach tag of 5 items on a reach's centre line, a section tag of 10 items
// (readers accept 7 to 10) on a section's profile polyline and its centre
// point. Items are addressed by position only.

#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace palvane::model {

inline constexpr const char* kTagApp = "TEV";
inline constexpr const char* kReachKind = "REACH";
inline constexpr const char* kSectionKind = "SECTION";

// The kind of an object's tag: item 1 of its "TEV" data as text, or "Null"
// when it has no such data.
std::string GetTagKind(host::Object& object);
// The same, from the object's "TEV" data already read.
std::string TagKindOf(const host::XData& data);
// Whether TagKindOf(data) is `kind`, without making its text when item 1
// already is text: the lookups ask it of every polyline of a drawing.
bool IsTagKind(const host::XData& data, std::string_view kind);

// Whether `data` is a section tag; one whose kind cannot be read is as good
// as none.
bool CarriesSectionTag(const host::XData& data);

// Item `index` of a tag's values; "Subscript out of range" past the end.
const host::Variant& TagItem(const std::vector<host::Variant>& values, size_t index);

}  // namespace palvane::model
