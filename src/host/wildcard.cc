#include "host/wildcard.h"

#include <vector>

#include "host/fold.h"

namespace palvane::host {
namespace {

constexpr std::string_view kSpecial = "#@.*?~[]-,`";

// UTF-8 decoded into code points; a byte that starts no valid sequence
// becomes a lone surrogate of its own (U+DC80 to U+DCFF), which matches
// itself alone and is no letter, so that every name can be matched.
std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    char32_t value = length == 1 ? c : length == 2 ? c & 0x1f : length == 3 ? c & 0x0f : c & 0x07;
    for (size_t k = 1; k < length; ++k) {
      const auto next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
      if ((next & 0xc0) != 0x80) {
        length = 0;
        break;
      }
      value = (value << 6) | (next & 0x3f);
    }
    if (length == 0) {
      out.push_back(c < 0x80 ? char32_t{c} : char32_t{0xdc00} + c);
      ++i;
    } else {
      out.push_back(value);
      i += length;
    }
  }
  return out;
}

char32_t Fold(char32_t c) { return FoldLetter(c); }
bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
// Letters: ASCII's, Latin-1's (but for its multiplication and division
// signs) and ª, µ, º; beyond Latin-1 every character but the surrogates
// that stand for bytes of no valid UTF-8.
bool IsLetter(char32_t c) {
  if (c < 0x80) return Fold(c) >= U'a' && Fold(c) <= U'z';
  if (c < 0x100)
    return c == 0xaa || c == 0xb5 || c == 0xba || (c >= 0xc0 && c != 0xd7 && c != 0xf7);
  return c < 0xd800 || c > 0xdfff;
}

// One pattern without commas (escapes kept) against a name, from positions
// `p` and `n` on.
bool MatchFrom(const std::u32string& pattern, size_t p, const std::u32string& name, size_t n) {
  while (p < pattern.size()) {
    const char32_t token = pattern[p];
    if (token == U'*') {
      while (p < pattern.size() && pattern[p] == U'*') ++p;
      if (p == pattern.size()) return true;
      for (size_t from = n; from <= name.size(); ++from) {
        if (MatchFrom(pattern, p, name, from)) return true;
      }
      return false;
    }
    if (n >= name.size()) return false;
    const char32_t c = name[n];
    bool ok = false;
    size_t next = p + 1;
    switch (token) {
      case U'#':
        ok = IsDigit(c);
        break;
      case U'@':
        ok = IsLetter(c);
        break;
      case U'.':
        ok = !IsDigit(c) && !IsLetter(c);
        break;
      case U'?':
        ok = true;
        break;
      case U'`':
        ok = p + 1 < pattern.size() && Fold(pattern[p + 1]) == Fold(c);
        next = p + 2;
        break;
      case U'[': {
        size_t q = p + 1;
        const bool negated = q < pattern.size() && pattern[q] == U'~';
        if (negated) ++q;
        bool found = false;
        bool first = true;
        // A ']' right after the opening stands for itself.
        for (; q < pattern.size() && (first || pattern[q] != U']'); first = false) {
          char32_t low = pattern[q];
          if (low == U'`' && q + 1 < pattern.size()) low = pattern[++q];
          char32_t high = low;
          if (q + 2 < pattern.size() && pattern[q + 1] == U'-' && pattern[q + 2] != U']') {
            high = pattern[q + 2];
            q += 2;
          }
          const char32_t f = Fold(c);
          found = found || (f >= Fold(low) && f <= Fold(high)) || (c >= low && c <= high);
          ++q;
        }
        if (q >= pattern.size()) return false;  // no closing bracket: matches nothing
        ok = found != negated;
        next = q + 1;
        break;
      }
      default:
        ok = Fold(token) == Fold(c);
    }
    if (!ok) return false;
    p = next;
    ++n;
  }
  return n == name.size();
}

// The pattern split at its unescaped commas outside brackets.
std::vector<std::u32string> Alternatives(const std::u32string& pattern) {
  std::vector<std::u32string> out(1);
  bool in_brackets = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char32_t c = pattern[i];
    if (c == U'`' && i + 1 < pattern.size()) {
      out.back() += c;
      out.back() += pattern[++i];
      continue;
    }
    if (c == U'[' && !in_brackets) {
      // A ']' right after the opening (or after "[~") stands for itself.
      out.back() += c;
      size_t j = i + 1;
      if (j < pattern.size() && pattern[j] == U'~') out.back() += pattern[j++];
      if (j < pattern.size() && pattern[j] == U']') out.back() += pattern[j++];
      i = j - 1;
      in_brackets = true;
      continue;
    }
    if (c == U']') in_brackets = false;
    if (c == U',' && !in_brackets) {
      out.emplace_back();
      continue;
    }
    out.back() += c;
  }
  return out;
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  const std::u32string n = CodePoints(name);
  for (const std::u32string& alternative : Alternatives(CodePoints(pattern))) {
    const bool negated = !alternative.empty() && alternative[0] == U'~';
    if (MatchFrom(alternative, negated ? 1 : 0, n, 0) != negated) return true;
  }
  return false;
}

std::string EscapeWildcards(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (kSpecial.find(c) != std::string_view::npos) out += '`';
    out += c;
  }
  return out;
}

std::optional<std::string> PatternLiteral(std::string_view pattern) {
  std::string out;
  out.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '`' && i + 1 < pattern.size()) {
      out += pattern[++i];
    } else if (kSpecial.find(c) != std::string_view::npos && c != ']' && c != '-') {
      return std::nullopt;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace palvane::host
