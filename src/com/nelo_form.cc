#include "com/nelo_form.h"

#include <algorithm>
#include <string>
#include <vector>

#include "com/dispatch.h"
#include "keyplan/form.h"

namespace palvane::com {
namespace {

// Builds an in-memory dialog template: controls in tab order, since a
// dialog's tab order is the order of its controls.
class TemplateWriter {
 public:
  void Align(size_t n) {
    while (bytes_.size() % n != 0) bytes_.push_back(0);
  }
  void Word(WORD w) { Append(&w, sizeof w); }
  void Dword(DWORD d) { Append(&d, sizeof d); }
  void Text(const std::wstring& s) { Append(s.c_str(), (s.size() + 1) * sizeof(wchar_t)); }
  void Append(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  std::vector<unsigned char>& bytes() { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
};

// Twips to dialog units: 15 twips a pixel at 96 dpi; with the dialog's
// 8-point font a dialog unit is about 1.5 pixels across and 1.625 down.
short UnitsX(int twips) { return static_cast<short>((twips * 4 + 45) / 90); }
short UnitsY(int twips) { return static_cast<short>((twips * 8 + 97) / 195); }

// Forms open now: their window procedure lives in this library, which must
// stay loaded while any is open.
LONG g_open_forms = 0;

// A form counted among the open ones carries this property, so that one
// whose creation failed before it was counted is never counted off.
constexpr const wchar_t* kCounted = L"PalvaneOpenForm";

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) {
    if (::SetPropW(dialog, kCounted, reinterpret_cast<HANDLE>(1))) {
      ::InterlockedIncrement(&g_open_forms);
    }
    return TRUE;
  }
  if (message == WM_NCDESTROY) {
    if (::RemovePropW(dialog, kCounted) != nullptr) ::InterlockedDecrement(&g_open_forms);
    return FALSE;
  }
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK) {
    keyplan::OnOKCommandClick();  // no action: the form stays open
    return TRUE;
  }
  if (message == WM_CLOSE) {
    ::DestroyWindow(dialog);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

HWND CreateNeloForm(HWND parent) {
  const keyplan::FormDescription& form = keyplan::NeloForm();
  std::vector<const keyplan::FormControl*> controls;
  for (const auto& c : form.controls) controls.push_back(&c);
  std::sort(controls.begin(), controls.end(),
            [](const auto* a, const auto* b) { return a->tab_index < b->tab_index; });

  TemplateWriter t;
  t.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_MODALFRAME);
  t.Dword(0);
  t.Word(static_cast<WORD>(controls.size()));
  t.Word(10);
  t.Word(10);
  t.Word(static_cast<WORD>(UnitsX(form.client_width)));
  t.Word(static_cast<WORD>(UnitsY(form.client_height)));
  t.Word(0);  // no menu
  t.Word(0);  // the standard dialog class
  t.Text(Wide(form.caption));
  t.Word(8);
  t.Text(L"MS Shell Dlg");
  for (const keyplan::FormControl* c : controls) {
    t.Align(4);
    DWORD style = WS_CHILD | WS_VISIBLE;
    WORD cls = 0;
    WORD id = 0;
    switch (c->kind) {
      case keyplan::ControlKind::kTextBox:
        style |= WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
        cls = 0x0081;
        id = 100;
        break;
      case keyplan::ControlKind::kCommandButton:
        style |= WS_TABSTOP | BS_DEFPUSHBUTTON;
        cls = 0x0080;
        id = IDOK;
        break;
      case keyplan::ControlKind::kLabel:
        style |= SS_LEFT;
        cls = 0x0082;
        id = 101;
        break;
    }
    t.Dword(style);
    t.Dword(0);
    t.Word(static_cast<WORD>(UnitsX(c->left)));
    t.Word(static_cast<WORD>(UnitsY(c->top)));
    t.Word(static_cast<WORD>(UnitsX(c->width)));
    t.Word(static_cast<WORD>(UnitsY(c->height)));
    t.Word(id);
    t.Word(0xFFFF);
    t.Word(cls);
    t.Text(Wide(c->text));
    t.Word(0);
  }
  return ::CreateDialogIndirectParamW(nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(t.bytes().data()),
                                      parent, Procedure, 0);
}

LONG OpenNeloForms() { return g_open_forms; }

}  // namespace palvane::com

// Exported: nothing thrown (the template is built in memory) may leave it.
extern "C" HWND PalvaneCreateNeloForm(HWND parent) {
  try {
    return palvane::com::CreateNeloForm(parent);
  } catch (...) {
    ::SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
  }
}
