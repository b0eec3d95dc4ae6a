// clang-format off
#include <windows.h>
// clang-format on

#include <cstdlib>

#include "platform/code_page.h"

namespace palvane::platform {

struct CodePage::Converter {
  unsigned number = 1252;  // the system's number of the code page
};

CodePage::CodePage(const std::string& name) : converter_(std::make_unique<Converter>()) {
  // "CP1252" and the like name the system's code pages by number.
  unsigned number = 1252;
  if (name.rfind("CP", 0) == 0) number = static_cast<unsigned>(std::atoi(name.c_str() + 2));
  if (name == "BIG5") number = 950;
  if (name == "GB2312") number = 936;
  if (number == 0 || !::IsValidCodePage(number)) number = 1252;
  converter_->number = number;
}

CodePage::~CodePage() = default;

std::string CodePage::ToUtf8(std::string_view bytes) const {
  // Bytes the code page does not define come out as U+FFFD.
  const unsigned page = converter_->number;
  const int n =
      ::MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  const int m = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(m), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, out.data(), m, nullptr, nullptr);
  return out;
}

bool CodePage::AppendFromUtf8(std::string_view character, std::string& out) const {
  wchar_t wide[2];
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, character.data(),
                                          static_cast<int>(character.size()), wide, 2);
  char buf[8];
  BOOL lost = FALSE;
  const int written = units > 0
                          ? ::WideCharToMultiByte(converter_->number, WC_NO_BEST_FIT_CHARS, wide,
                                                  units, buf, sizeof buf, nullptr, &lost)
                          : 0;
  if (written <= 0 || lost) return false;
  out.append(buf, static_cast<size_t>(written));
  return true;
}

}  // namespace palvane::platform
