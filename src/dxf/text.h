#pragma once

// Text encodings of drawing files: UTF-8 since the 2007 format, the
// drawing's code page before it, and \U+XXXX escapes for characters outside
// it. Inside the program all text is UTF-8.

#include <memory>
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace palvane::dxf {

class TextCodec {
 public:
  // `utf8` for files of the 2007 format and later; otherwise `code_page` is
  // the $DWGCODEPAGE value, such as "ANSI_1252" (an unknown one reads as 1252).
  TextCodec(bool utf8, std::string_view code_page);
  ~TextCodec();
  TextCodec(const TextCodec&) = delete;
  TextCodec& operator=(const TextCodec&) = delete;

  // File bytes to UTF-8. Bytes that are not valid in the encoding become
  // U+FFFD rather than being dropped.
  std::string Decode(std::string_view bytes) const;
  // UTF-8 to file bytes; a character the code page lacks becomes \U+XXXX.
  std::string Encode(std::string_view utf8) const;

 private:
  bool utf8_;
  std::unique_ptr<platform::CodePage> page_;  // of a file before UTF-8
};

// Replaces each \U+XXXX escape by its character, in UTF-8.
std::string DecodeEscapes(std::string_view text);

// True when every byte is ASCII, so that no conversion is needed.
bool IsAscii(std::string_view text);

// True when a file's text reads as it stands: ASCII without escapes.
bool IsPlainText(std::string_view raw);

// A file's text as UTF-8, its escapes replaced; plain text is taken as it is.
std::string DecodeText(const TextCodec& codec, std::string_view raw);

// A layer's name as an ASCII file can hold it: NUL, CR and LF as the writer
// writes them, ^@, ^M and ^J. Layer names are read so, whichever form the
// file gave them in, so that a table's entry and the entities that name it
// agree however each was written.
bool HasLineBreaks(std::string_view text);
std::string WithCaretBreaks(std::string text);

}  // namespace palvane::dxf
