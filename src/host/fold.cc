#include "host/fold.h"

namespace palvane::host {

char32_t FoldLetter(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c < 0xc0) return c;
  // Latin-1: À to Þ, but for the multiplication sign.
  if (c <= 0xde) return c == 0xd7 ? c : c + 0x20;
  if (c >= 0x100 && c <= 0x17f) {
    // Latin Extended-A pairs capital and small letters, even and odd, but
    // for two runs paired odd and even and the letters of one case only.
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17f) return c;
    if (c == 0x178) return 0xff;
    const bool odd_first = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17e);
    return (c % 2 == 1) == odd_first ? c + 1 : c;
  }
  // Greek: Α to Ω, but for the unassigned U+03A2.
  if (c >= 0x391 && c <= 0x3a9 && c != 0x3a2) return c + 0x20;
  // Cyrillic: Ѐ to Џ, and А to Я.
  if (c >= 0x400 && c <= 0x40f) return c + 0x50;
  if (c >= 0x410 && c <= 0x42f) return c + 0x20;
  return c;
}

bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x == y) continue;
    if (x >= 0x80 || y >= 0x80) return FoldedText(a) == FoldedText(b);
    if ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z') return false;
  }
  return true;
}

bool HasNonAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

std::string FoldedText(std::string_view utf8) {
  std::string out(utf8);
  for (size_t i = 0; i < out.size();) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (c < 0x80) {
      if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 0x20);
      ++i;
      continue;
    }
    // Every letter folded here has a two-byte form, and so has its lower
    // case: other sequences are kept whole.
    if ((c >> 5) == 6 && i + 1 < out.size() &&
        (static_cast<unsigned char>(out[i + 1]) & 0xc0) == 0x80) {
      const char32_t code =
          (char32_t{c} & 0x1f) << 6 | (static_cast<unsigned char>(out[i + 1]) & 0x3f);
      const char32_t folded = FoldLetter(code);
      if (folded >= 0x80 && folded < 0x800) {
        out[i] = static_cast<char>(0xc0 | (folded >> 6));
        out[i + 1] = static_cast<char>(0x80 | (folded & 0x3f));
      }
      i += 2;
      continue;
    }
    ++i;
  }
  return out;
}

}  // namespace palvane::host
