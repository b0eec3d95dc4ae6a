#pragma once

// Names in selection filters are wild-card patterns in the CAD program, and
// matched without regard to letter case:
//   #  any digit            @  any letter          .  any character that is
//   *  any run, even none   ?  any one character      neither letter nor digit
//   [...] any one of those enclosed, a-z a range; [~...] any one not enclosed
//   ~  at the start of a pattern: any name the rest does not match
//   `  the next character stands for itself
//   ,  between patterns: a name matching any of them
// Letter case is folded in any script the names use (host/fold.h).

#include <optional>
#include <string>
#include <string_view>

namespace palvane::host {

// Whether `name` matches `pattern`, as the program matches a filter's name.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// `text` with each wild-card character escaped by a back-quote, so that as a
// pattern it matches `text` alone (letter case aside).
std::string EscapeWildcards(std::string_view text);

// The one name (letter case aside) a pattern matches when it holds no
// wild-card but escaped ones, unescaped; nothing for a true pattern.
std::optional<std::string> PatternLiteral(std::string_view pattern);

}  // namespace palvane::host
