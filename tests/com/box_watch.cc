// Dismisses the message boxes of another program (a script run by the script
// host, which cannot hook them itself): every box found is printed as one
// line "box: TEXT" and answered with OK. Runs until killed or for the number
// of seconds given.

// clang-format off
#include <windows.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

BOOL CALLBACK Visit(HWND window, LPARAM) {
  wchar_t cls[64];
  ::GetClassNameW(window, cls, 64);
  if (std::wstring(cls) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
  wchar_t text[1024] = {0};
  HWND label = ::GetDlgItem(window, 0xFFFF);
  if (label != nullptr) ::GetWindowTextW(label, text, 1024);
  char utf8[4096];
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  std::printf("box: %s\n", utf8);
  std::fflush(stdout);
  ::PostMessageW(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  for (int i = 0; i < seconds * 10; ++i) {
    ::EnumWindows(Visit, 0);
    ::Sleep(100);
  }
  return 0;
}
