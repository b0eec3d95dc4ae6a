#pragma once

// Invariants: conditions that only a fault in this program can break, such
// as a table that lacks a row its users need. A broken one is reported on
// standard error with where it failed, and ends the program at once: it is
// neither an automation error nor bad input, and going on could only
// corrupt a drawing.

#include <cstdio>
#include <cstdlib>

#define PALVANE_CHECK(condition)                                              \
  do {                                                                        \
    if (!(condition)) ::palvane::CheckFailed(#condition, __FILE__, __LINE__); \
  } while (false)

namespace palvane {

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "palvane: internal error: %s does not hold (%s:%d)\n", condition, file,
               line);
  std::fflush(stderr);
  std::abort();
}

}  // namespace palvane
