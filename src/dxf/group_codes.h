#pragma once

// The group codes of what every object has, of the markers around an
// object's own tags, and of the parts of the file that frame them.

#include <cstdint>

namespace palvane::dxf::group {

inline constexpr int16_t kType = 0;  // an object's type, or a section's marker
inline constexpr int16_t kName = 2;  // a table entry's, a table's or a section's name
inline constexpr int16_t kHandle = 5;
inline constexpr int16_t kLayer = 8;
inline constexpr int16_t kVariable = 9;  // a header variable's name
inline constexpr int16_t kColor = 62;
inline constexpr int16_t kAttributesFollow = 66;
inline constexpr int16_t kEntryCount = 70;  // in a table's head
inline constexpr int16_t kSubclass = 100;
inline constexpr int16_t kEmbeddedObject = 101;
inline constexpr int16_t kGroup = 102;        // "{NAME" ... "}" of reactors or a dictionary
inline constexpr int16_t kTableHandle = 105;  // a DIMSTYLE entry's handle
inline constexpr int16_t kOwner = 330;
inline constexpr int16_t kXDataApp = 1001;

}  // namespace palvane::dxf::group
