#pragma once

// Text in a code page converted to and from UTF-8 by the system's own
// converter: iconv on POSIX systems, the system's code pages on Windows.
// One source per system implements it (code_page_posix.cc,
// code_page_windows.cc); the build picks one.

#include <memory>
#include <string>
#include <string_view>

namespace palvane::platform {

class CodePage {
 public:
  // `name` as iconv names it ("CP1252", "BIG5", "GB2312", "CP949"); a page
  // the system lacks reads as CP1252.
  explicit CodePage(const std::string& name);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  // The bytes in UTF-8; a byte the page does not define becomes U+FFFD.
  std::string ToUtf8(std::string_view bytes) const;
  // Appends one character, given as its UTF-8 sequence, in the page's
  // bytes to `out`; false, with `out` unchanged, when the page lacks it or
  // the sequence is no valid UTF-8.
  bool AppendFromUtf8(std::string_view character, std::string& out) const;

 private:
  struct Converter;
  std::unique_ptr<Converter> converter_;
};

}  // namespace palvane::platform
