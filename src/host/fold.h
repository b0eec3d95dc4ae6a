#pragma once

// Letter case folded as the CAD program ignores it in names: in any script,
// not ASCII alone. The folding here covers the letters of Latin-1, Latin
// Extended-A, Greek and Cyrillic, which the names in survey drawings use.

#include <string>
#include <string_view>

namespace palvane::host {

// A letter's lower case, or the character itself.
char32_t FoldLetter(char32_t c);

// UTF-8 text with every letter folded to lower case; bytes that are no
// valid UTF-8 stay as they are. The byte length never changes.
std::string FoldedText(std::string_view utf8);

// Whether two names are the same, letter case aside.
bool SameFolded(std::string_view a, std::string_view b);

// Whether `text` holds a byte outside ASCII.
bool HasNonAscii(std::string_view text);

}  // namespace palvane::host
