#pragma once

// Text as the program shows it: where a single line of text stands, and a
// multi-line text's characters without its formatting codes.

#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace palvane::host {

// Where a single line of text is placed: its insertion point when it is
// aligned left (or aligned or fitted between two points), else its
// alignment point.
Point3 PlacementOf(Text& text);

// Walks a multi-line text's visible characters: `on_text(piece)` for each
// run of shown bytes, `on_break()` at each new line (\P, or \N for a new
// column). Braces are dropped; \\, \{ and \} stand for themselves and \~
// for a space; the switches \L \l \O \o \K \k and \X stand alone; every
// other code (\A1; \fArial|b0; \H2.5x; \S1^2; ...) runs to its semicolon.
template <class OnText, class OnBreak>
void ForEachMTextPiece(std::string_view text, OnText&& on_text, OnBreak&& on_break) {
  size_t run = 0;  // start of the run of plain bytes not handed on yet
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '{' && c != '}' && (c != '\\' || i + 1 == text.size())) continue;
    on_text(text.substr(run, i - run));
    run = i + 1;
    if (c != '\\') continue;
    const char code = text[++i];
    run = i + 1;
    if (code == 'P' || code == 'N') {
      on_break();
    } else if (code == '\\' || code == '{' || code == '}') {
      on_text(text.substr(i, 1));
    } else if (code == '~') {
      on_text(" ");
    } else if (std::string_view("LlOoKkX").find(code) == std::string_view::npos) {
      const size_t end = text.find(';', i);
      i = end == std::string_view::npos ? text.size() : end;
      run = i + 1;
    }
  }
  if (run < text.size()) on_text(text.substr(run));
}

// The lines a multi-line text shows.
std::vector<std::string> MTextLines(std::string_view text);

}  // namespace palvane::host
