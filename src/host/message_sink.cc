#include "host/message_sink.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace palvane::host {

namespace {

// The length of the valid UTF-8 sequence of a printable character at the
// start of `s`, or 0.
size_t PrintableLength(std::string_view s) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  if (lead >= 0x20 && lead < 0x7f) return 1;
  size_t n = 0;
  uint32_t code = 0;
  if (lead >= 0xc2 && lead <= 0xdf) {
    n = 2;
    code = lead & 0x1fu;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    n = 3;
    code = lead & 0x0fu;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    n = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((byte(i) & 0xc0u) != 0x80u) return 0;
    code = (code << 6) | (byte(i) & 0x3fu);
  }
  // Overlong forms, surrogates, code points past U+10FFFF and the C1
  // controls are not printable text.
  static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[n] || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff) return 0;
  if (code >= 0x80 && code <= 0x9f) return 0;
  // Marks that reorder or break the line around them: the bidirectional
  // controls and the line and paragraph separators.
  if (code == 0x200e || code == 0x200f || (code >= 0x2028 && code <= 0x202e) ||
      (code >= 0x2066 && code <= 0x2069)) {
    return 0;
  }
  return n;
}

}  // namespace

std::string PrintableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const size_t n = PrintableLength(text);
    if (n > 0) {
      out.append(text.substr(0, n));
      text.remove_prefix(n);
      continue;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto b = static_cast<unsigned char>(text.front());
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0xfu];
    text.remove_prefix(1);
  }
  return out;
}

void StderrMessageSink::Show(std::string_view text) {
  const std::string line = "message: " + PrintableText(text) + "\n";
  std::fputs(line.c_str(), stderr);
}

}  // namespace palvane::host
