#pragma once

// Compares drawing files tag by tag, by value: numbers by what they read as,
// texts after decoding (code page, \U+ escapes), so that two files holding
// the same tags with the same values compare equal whatever their form.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace palvane::testing {

using NormalTags = std::vector<std::pair<int, std::string>>;

NormalTags NormalizeDxf(std::string_view bytes);

// The first difference between two files, or "" when they hold the same tags.
std::string FirstDifference(std::string_view a, std::string_view b);

}  // namespace palvane::testing
