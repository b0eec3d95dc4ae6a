#include "dxf/text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace palvane::dxf {
namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The length of the UTF-8 sequence at `s`, 0 when it is not valid.
size_t Utf8Length(std::string_view s, uint32_t& cp) {
  const auto b = static_cast<unsigned char>(s[0]);
  size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (n == 0 || n > s.size()) return 0;
  cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
  for (size_t i = 1; i < n; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  return n;
}

std::string IconvName(std::string_view code_page) {
  std::string cp(code_page);
  for (char& c : cp) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (cp.rfind("ANSI_", 0) == 0) return "CP" + cp.substr(5);
  if (cp.rfind("DOS", 0) == 0) return "CP" + cp.substr(3);
  if (cp == "BIG5" || cp == "GB2312" || cp == "KSC5601") return cp == "KSC5601" ? "CP949" : cp;
  return "CP1252";
}

}  // namespace

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

TextCodec::TextCodec(bool utf8, std::string_view code_page) : utf8_(utf8) {
  if (!utf8_) page_ = std::make_unique<platform::CodePage>(IconvName(code_page));
}

TextCodec::~TextCodec() = default;

std::string TextCodec::Decode(std::string_view bytes) const {
  if (IsAscii(bytes)) return std::string(bytes);
  std::string out;
  if (utf8_) {
    for (size_t i = 0; i < bytes.size();) {
      uint32_t cp;
      const size_t n = Utf8Length(bytes.substr(i), cp);
      if (n == 0) {
        AppendUtf8(out, 0xFFFD);
        ++i;
      } else {
        out.append(bytes.substr(i, n));
        i += n;
      }
    }
    return out;
  }
  return page_->ToUtf8(bytes);
}

std::string TextCodec::Encode(std::string_view utf8) const {
  if (utf8_ || IsAscii(utf8)) return std::string(utf8);
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    uint32_t cp;
    size_t n = Utf8Length(utf8.substr(i), cp);
    if (n == 0) {
      n = 1;
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      i += n;
      continue;
    }
    if (!page_->AppendFromUtf8(utf8.substr(i, n), out)) {
      char esc[16];
      std::snprintf(esc, sizeof esc, "\\U+%04X", cp);
      out += esc;
    }
    i += n;
  }
  return out;
}

std::string DecodeEscapes(std::string_view text) {
  if (text.find("\\U+") == std::string_view::npos) return std::string(text);
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, 3, "\\U+") == 0 && i + 7 <= text.size()) {
      uint32_t cp = 0;
      bool hex = true;
      for (size_t k = i + 3; k < i + 7; ++k) {
        const char c = text[k];
        const int v = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                             : -1;
        if (v < 0) hex = false;
        cp = cp * 16 + static_cast<uint32_t>(v < 0 ? 0 : v);
      }
      if (hex) {
        AppendUtf8(out, cp);
        i += 7;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

bool IsPlainText(std::string_view raw) {
  return IsAscii(raw) && raw.find("\\U+") == std::string_view::npos;
}

std::string DecodeText(const TextCodec& codec, std::string_view raw) {
  if (IsPlainText(raw)) return std::string(raw);
  return DecodeEscapes(codec.Decode(raw));
}

bool HasLineBreaks(std::string_view text) {
  return text.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos;
}

std::string WithCaretBreaks(std::string text) {
  if (!HasLineBreaks(text)) return text;
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == '\0' || c == '\r' || c == '\n') {
      out += '^';
      out += static_cast<char>(c + 0x40);
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace palvane::dxf
