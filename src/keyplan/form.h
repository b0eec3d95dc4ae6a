#pragma once

// The identifier-code form: a small dialog asking for a cross-section
// identifier code, described here as data so that each platform can build
// the real window from it. No operation shows or reads it, and its OK button
// does nothing.

#include <string>
#include <vector>

namespace palvane::keyplan {

enum class ControlKind { kTextBox, kCommandButton, kLabel };

struct FormControl {
  std::string name;
  ControlKind kind;
  std::string text;
  // Position and size in twips (1/1440 inch), from the client area's top left.
  int left, top, width, height;
  int tab_index;
};

struct FormDescription {
  std::string name;
  std::string caption;
  int client_width, client_height;    // twips
  std::vector<FormControl> controls;  // in stored order
};

// The form "NeloForm".
const FormDescription& NeloForm();

// The OK button's action: none. The form stays open with its text.
inline void OnOKCommandClick() {}

// Twips to pixels at `dpi` dots per inch (15 twips a pixel at 96), rounded.
inline int TwipsToPixels(int twips, int dpi = 96) { return (twips * dpi + 720) / 1440; }

}  // namespace palvane::keyplan
