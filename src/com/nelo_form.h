#pragma once

// clang-format off
#include <windows.h>
// clang-format on

namespace palvane::com {

// Creates the identifier-code form as a modeless dialog from the library's
// form description: its caption, the text box, the OK button (which does
// nothing) and the label, positions converted from twips, tab order as
// described. The caller destroys it with DestroyWindow.
HWND CreateNeloForm(HWND parent);

// How many forms are open: the library is not unloaded while any is.
LONG OpenNeloForms();

}  // namespace palvane::com
