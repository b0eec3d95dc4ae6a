#include "dxf/tags.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace palvane::dxf {

namespace {

ValueType ComputeValueType(int code) {
  if (code < 0) return ValueType::kString;
  if (code <= 4 || (code >= 6 && code <= 9)) return ValueType::kString;
  if (code == 5) return ValueType::kHandle;
  if (code >= 10 && code <= 59) return ValueType::kDouble;
  if (code >= 60 && code <= 79) return ValueType::kInt16;
  if (code >= 90 && code <= 99) return ValueType::kInt32;
  if (code == 100 || code == 101 || code == 102) return ValueType::kString;
  if (code == 105) return ValueType::kHandle;
  if (code >= 110 && code <= 149) return ValueType::kDouble;
  if (code >= 160 && code <= 169) return ValueType::kInt64;
  if (code >= 170 && code <= 179) return ValueType::kInt16;
  if (code >= 210 && code <= 239) return ValueType::kDouble;
  if (code >= 270 && code <= 289) return ValueType::kInt16;
  if (code >= 290 && code <= 299) return ValueType::kBool;
  if (code >= 300 && code <= 309) return ValueType::kString;
  if (code >= 310 && code <= 319) return ValueType::kBinary;
  if (code >= 320 && code <= 369) return ValueType::kHandle;
  if (code >= 370 && code <= 389) return ValueType::kInt16;
  if (code >= 390 && code <= 399) return ValueType::kHandle;
  if (code >= 400 && code <= 409) return ValueType::kInt16;
  if (code >= 410 && code <= 419) return ValueType::kString;
  if (code >= 420 && code <= 429) return ValueType::kInt32;
  if (code >= 430 && code <= 439) return ValueType::kString;
  if (code >= 440 && code <= 459) return ValueType::kInt32;
  if (code >= 460 && code <= 469) return ValueType::kDouble;
  if (code >= 470 && code <= 479) return ValueType::kString;
  if (code >= 480 && code <= 481) return ValueType::kHandle;
  if (code == 999) return ValueType::kString;
  if (code >= 1000 && code <= 1003) return ValueType::kString;
  if (code == 1004) return ValueType::kBinary;
  if (code == 1005) return ValueType::kHandle;
  if (code >= 1006 && code <= 1009) return ValueType::kString;
  if (code >= 1010 && code <= 1059) return ValueType::kDouble;
  if (code >= 1060 && code <= 1070) return ValueType::kInt16;
  if (code == 1071) return ValueType::kInt32;
  return ValueType::kString;
}

struct ValueTypeTable {
  ValueTypeTable() {
    for (int c = 0; c < 1072; ++c) types[c] = ComputeValueType(c);
  }
  ValueType types[1072];
};

}  // namespace

ValueType ValueTypeOf(int code) {
  static const ValueTypeTable kTable;
  if (code >= 0 && code < 1072) return kTable.types[code];
  return ComputeValueType(code);
}

namespace {

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

TagReader::TagReader(std::string_view bytes) : bytes_(bytes) {
  if (bytes_.size() >= kBinarySentinel.size() &&
      bytes_.substr(0, kBinarySentinel.size()) == kBinarySentinel) {
    binary_ = true;
    pos_ = kBinarySentinel.size();
    // Before R13 a group code took one byte; since then two.
    one_byte_codes_ = pos_ + 1 < bytes_.size() && bytes_[pos_] == 0 && bytes_[pos_ + 1] != 0;
  } else if (bytes_.size() >= 18 && bytes_.substr(0, 18) == "AutoCAD Binary DXF") {
    throw DxfError("byte offset 0: a damaged binary drawing header");
  }
}

std::string TagReader::Where() const {
  return (binary_ ? "byte offset " : "line ") + std::to_string(Mark());
}

void TagReader::Fail(const std::string& what) const { FailAt(Mark(), what); }

void TagReader::FailAt(size_t mark, const std::string& what) const {
  throw DxfError((binary_ ? "byte offset " : "line ") + std::to_string(mark) + ": " + what);
}

void TagReader::PushBack(const Tag& tag) {
  pushed_ = true;
  pushed_begin_ = returned_begin_;
  pushed_end_ = returned_end_;
  // A value that lies in the file's bytes stays valid; others are copied.
  const bool in_bytes = tag.value.data() >= bytes_.data() &&
                        tag.value.data() + tag.value.size() <= bytes_.data() + bytes_.size();
  pushed_copied_ = !in_bytes;
  if (in_bytes) {
    pushed_tag_ = tag;
  } else {
    pushed_value_.assign(tag.value);
    pushed_tag_ = Tag{tag.code, pushed_value_};
  }
}

namespace {

// What a value of each group code below 1072 needs checked: 0 nothing, 1 a
// decimal number with an optional fraction and exponent, 2 a whole number.
struct NumberKinds {
  NumberKinds() {
    for (int c = 0; c < 1072; ++c) {
      const ValueType type = ValueTypeOf(c);
      kinds[c] =
          type == ValueType::kDouble ? 1
          : type == ValueType::kString || type == ValueType::kHandle || type == ValueType::kBinary
              ? 0
              : 2;
    }
  }
  uint8_t kinds[1072];
};

const NumberKinds kNumberKinds;

// Scanning eight bytes at a time: values are short, and a library call or a
// byte loop's exit at an unpredictable length per line costs more than the
// test. Each lane (byte) of interest is flagged in its high bit; the lowest
// flagged lane is the first such byte, as words are read little-endian.
constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;
constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7Full;

inline uint64_t Load8(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// The end of the run of decimal digits at `p`.
inline const char* SkipDigits(const char* p, const char* end) {
  while (end - p >= 8) {
    const uint64_t y = Load8(p) ^ (kOnes * '0');  // digits become 0 to 9
    // The lanes that are not a digit (9 < y, or y above 127).
    const uint64_t other = (((y & kLows) + kOnes * 0x76) | y) & kHighs;
    if (other != 0) return p + std::countr_zero(other) / 8;
    p += 8;
  }
  while (p < end && static_cast<unsigned>(*p - '0') < 10) ++p;
  return p;
}

// The end of a number starting at `p`: optional sign, digits, and for a
// decimal an optional fraction and exponent, at least one digit before the
// exponent. Null when the text there is no such number.
inline const char* NumberEnd(const char* p, const char* end, bool decimal) {
  if (p < end && (*p == '-' || *p == '+')) ++p;
  const char* digits = p;
  p = SkipDigits(p, end);
  bool any = p != digits;
  if (decimal) {
    if (p < end && *p == '.') {
      const char* fraction = ++p;
      p = SkipDigits(p, end);
      any = any || p != fraction;
    }
    if (any && p < end && (*p == 'e' || *p == 'E')) {
      ++p;
      if (p < end && (*p == '-' || *p == '+')) ++p;
      const char* exponent = p;
      p = SkipDigits(p, end);
      if (p == exponent) return nullptr;
    }
  }
  return any ? p : nullptr;
}

// The line feed ending a line that holds only a number from `p`, or null for
// anything else, which the careful path reads.
inline const char* PlainNumberLine(const char* p, const char* end, bool decimal) {
  p = NumberEnd(p, end, decimal);
  if (p == nullptr || p >= end) return nullptr;
  if (*p == '\n') return p;
  return *p == '\r' && p + 1 < end && p[1] == '\n' ? p + 1 : nullptr;
}

// True when `text`, spaces around it aside, is a number of the type's shape.
bool ParsesAs(ValueType type, std::string_view text) {
  text = TrimSpaces(text);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  return NumberEnd(text.data(), end, type == ValueType::kDouble) == end;
}

// The next line feed at or after `p`, or null.
inline const char* FindLineFeed(const char* p, const char* end) {
  while (end - p >= 8) {
    const uint64_t x = Load8(p) ^ (kOnes * '\n');
    const uint64_t found = (x - kOnes) & ~x & kHighs;  // exact for the lowest lane
    if (found != 0) return p + std::countr_zero(found) / 8;
    p += 8;
  }
  return static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
}

}  // namespace

bool TagReader::NextAsciiFast(Tag& tag) {
  const char* const begin = bytes_.data() + pos_;
  const char* const end = bytes_.data() + bytes_.size();
  const char* p = begin;
  while (p < end && *p == ' ') ++p;
  const char* digits = p;
  int code = 0;
  // Five digits at most are taken: a longer run is no group code here (and
  // would overflow), and the careful reader reports it.
  while (p < end && p - digits < 5 && static_cast<unsigned>(*p - '0') < 10) {
    code = code * 10 + (*p++ - '0');
  }
  if (p == digits || p - digits > 4) return false;
  if (p < end && *p == '\r') ++p;
  if (p >= end || *p != '\n') return false;
  const char* value = ++p;
  const uint8_t kind = code < 1072 ? kNumberKinds.kinds[code] : 0;
  const char* nl = kind != 0 ? PlainNumberLine(value, end, kind == 1) : FindLineFeed(value, end);
  if (nl == nullptr) return false;
  const char* value_end = nl > value && nl[-1] == '\r' ? nl - 1 : nl;
  tag_offset_ = pos_;
  returned_begin_ = pos_;
  pos_ = static_cast<size_t>(nl + 1 - bytes_.data());
  returned_end_ = pos_;
  reported_line_ = line_ + 1;
  line_ += 2;
  tag = Tag{static_cast<int16_t>(code),
            std::string_view(value, static_cast<size_t>(value_end - value))};
  return true;
}

bool TagReader::NextSlow(Tag& tag) {
  if (pushed_) {
    pushed_ = false;
    if (pushed_copied_) {
      scratch_.swap(pushed_value_);
      tag = Tag{pushed_tag_.code, scratch_};
    } else {
      tag = pushed_tag_;
    }
    returned_begin_ = pushed_begin_;
    returned_end_ = pushed_end_;
    return true;
  }
  const bool got = binary_ ? NextBinary(tag) : NextAscii(tag);
  returned_begin_ = tag_offset_;
  returned_end_ = pos_;
  return got;
}

TagForm TagReader::form() const {
  if (!binary_) return TagForm::kAscii;
  return one_byte_codes_ ? TagForm::kBinaryShortCodes : TagForm::kBinary;
}

bool TagReader::NextAscii(Tag& tag) {
  auto read_line = [&](std::string_view& line) {
    if (pos_ >= bytes_.size()) return false;
    const char* start = bytes_.data() + pos_;
    const void* nl = std::memchr(start, '\n', bytes_.size() - pos_);
    const size_t len =
        nl ? static_cast<size_t>(static_cast<const char*>(nl) - start) : bytes_.size() - pos_;
    line = std::string_view(start, len);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ += nl ? len + 1 : len;
    return true;
  };
  std::string_view code_line;
  tag_offset_ = pos_;
  if (!read_line(code_line)) return false;
  const size_t code_line_no = ++line_;
  const std::string_view code_text = TrimSpaces(code_line);
  // A blank last line after the final tag is harmless.
  if (code_text.empty() && pos_ >= bytes_.size()) return false;
  // Group codes are short whole numbers: read them digit by digit.
  int code = 0;
  bool valid = !code_text.empty() && code_text.size() <= 6;
  size_t k = 0;
  const bool negative = valid && code_text[0] == '-';
  if (negative) ++k;
  valid = valid && k < code_text.size();
  for (; valid && k < code_text.size(); ++k) {
    const char c = code_text[k];
    if (c < '0' || c > '9') valid = false;
    code = code * 10 + (c - '0');
  }
  if (negative) code = -code;
  if (!valid || code < -32768 || code > 32767) {
    throw DxfError("line " + std::to_string(code_line_no) +
                   ": expected a group code (a whole number), found \"" +
                   std::string(code_text.substr(0, 40)) + "\"");
  }
  std::string_view value;
  if (!read_line(value)) Fail("the file ends after group code " + std::to_string(code));
  const ValueType type = ValueTypeOf(code);
  if (type != ValueType::kString && type != ValueType::kHandle && type != ValueType::kBinary &&
      !ParsesAs(type, value)) {
    throw DxfError("line " + std::to_string(code_line_no + 1) + ": group code " +
                   std::to_string(code) + " expects a number, found \"" +
                   std::string(value.substr(0, 40)) + "\"");
  }
  ++line_;
  reported_line_ = code_line_no;
  tag = Tag{static_cast<int16_t>(code), value};
  return true;
}

bool TagReader::NextBinary(Tag& tag) {
  tag_offset_ = pos_;
  if (pos_ >= bytes_.size()) return false;
  auto need = [&](size_t n) {
    if (pos_ + n > bytes_.size()) Fail("the file ends inside a tag");
  };
  int code;
  if (one_byte_codes_) {
    need(1);
    code = static_cast<unsigned char>(bytes_[pos_++]);
    if (code == 255) {
      need(2);
      int16_t c;
      std::memcpy(&c, bytes_.data() + pos_, 2);
      pos_ += 2;
      code = c;
    }
  } else {
    need(2);
    int16_t c;
    std::memcpy(&c, bytes_.data() + pos_, 2);
    pos_ += 2;
    code = c;
  }
  char buf[64];
  // A little-endian number of the value's own size.
  auto read_number = [&](auto zero) {
    decltype(zero) v;
    need(sizeof v);
    std::memcpy(&v, bytes_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    return v;
  };
  switch (ValueTypeOf(code)) {
    case ValueType::kString:
    case ValueType::kHandle: {
      const void* z = std::memchr(bytes_.data() + pos_, '\0', bytes_.size() - pos_);
      if (z == nullptr) Fail("a text value without its terminating zero byte");
      const size_t len = static_cast<size_t>(static_cast<const char*>(z) - (bytes_.data() + pos_));
      tag = Tag{static_cast<int16_t>(code), bytes_.substr(pos_, len)};
      pos_ += len + 1;
      return true;
    }
    case ValueType::kDouble: {
      // Not-a-number and infinity are no coordinates; no file form spells
      // them, so they are refused as an ASCII file's "nan" is.
      const double d = read_number(double{});
      if (!std::isfinite(d)) {
        Fail("group code " + std::to_string(code) + " holds a number that is not finite");
      }
      scratch_ = FormatDouble(d);
      break;
    }
    case ValueType::kInt16:
      scratch_.assign(buf, std::to_chars(buf, buf + sizeof buf, read_number(int16_t{})).ptr);
      break;
    case ValueType::kInt32:
      scratch_.assign(buf, std::to_chars(buf, buf + sizeof buf, read_number(int32_t{})).ptr);
      break;
    case ValueType::kInt64:
      scratch_.assign(buf, std::to_chars(buf, buf + sizeof buf, read_number(int64_t{})).ptr);
      break;
    case ValueType::kBool: {
      need(1);
      scratch_ = std::to_string(static_cast<unsigned char>(bytes_[pos_++]));
      break;
    }
    case ValueType::kBinary: {
      need(1);
      const size_t len = static_cast<unsigned char>(bytes_[pos_++]);
      need(len);
      static constexpr char kHex[] = "0123456789ABCDEF";
      scratch_.clear();
      for (size_t i = 0; i < len; ++i) {
        const auto b = static_cast<unsigned char>(bytes_[pos_ + i]);
        scratch_ += kHex[b >> 4];
        scratch_ += kHex[b & 15];
      }
      pos_ += len;
      break;
    }
  }
  tag = Tag{static_cast<int16_t>(code), scratch_};
  return true;
}

std::string FormatDouble(double value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  std::string s(buf, r.ptr);
  // Keep a decimal point in whole numbers, as drawing files usually do.
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

TagWriter::TagWriter(bool binary, bool sentinel) : binary_(binary) {
  if (binary_ && sentinel) out_.assign(kBinarySentinel);
}

void TagWriter::AppendAsciiText(std::string_view value) {
  // A line of an ASCII file cannot hold a line break, and readers that keep
  // text as C strings stop at a NUL: those are written as the CAD program
  // writes control characters, a caret and a letter (^J, ^M, ^@). Others,
  // such as a tab, stay as they are, as readers take them.
  const auto breaks = [](char c) { return c == '\n' || c == '\r' || c == '\0'; };
  if (std::none_of(value.begin(), value.end(), breaks)) {
    out_.append(value);
    return;
  }
  for (const char c : value) {
    if (breaks(c)) {
      out_ += '^';
      out_ += static_cast<char>(c + 0x40);
    } else {
      out_ += c;
    }
  }
}

void TagWriter::Write(int code, std::string_view value) {
  if (code == 5 || code == 105) {
    uint64_t h = 0;
    const std::string_view t = TrimSpaces(value);
    const auto r = std::from_chars(t.data(), t.data() + t.size(), h, 16);
    if (r.ec == std::errc() && h > max_handle_) max_handle_ = h;
  }
  if (!binary_) {
    // The group code right-aligned in three columns (not through printf,
    // whose slow path a library's printf extension can force).
    char buf[16];
    const size_t n = static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, code).ptr - buf);
    if (n < 3) out_.append(3 - n, ' ');
    out_.append(buf, n);
    out_ += '\n';
    if (ValueTypeOf(code) == ValueType::kString || ValueTypeOf(code) == ValueType::kHandle) {
      AppendAsciiText(value);
    } else {
      out_.append(value);
    }
    out_ += '\n';
    return;
  }
  const auto c = static_cast<int16_t>(code);
  out_.append(reinterpret_cast<const char*>(&c), 2);
  auto number = [&](auto v) { out_.append(reinterpret_cast<const char*>(&v), sizeof v); };
  const std::string_view t = TrimSpaces(value);
  const char* b = t.data() + (!t.empty() && t.front() == '+' ? 1 : 0);
  const char* e = t.data() + t.size();
  auto integer = [&] {
    long long v = 0;
    std::from_chars(b, e, v);
    return v;
  };
  switch (ValueTypeOf(code)) {
    case ValueType::kString:
    case ValueType::kHandle:
      // The value ends at a NUL: one inside (read from an ASCII line) is
      // written as the ASCII form writes it, ^@.
      if (value.find('\0') == std::string_view::npos) {
        out_.append(value);
      } else {
        for (const char ch : value) ch == '\0' ? out_.append("^@") : out_.append(1, ch);
      }
      out_ += '\0';
      return;
    case ValueType::kDouble: {
      double d = 0;
      std::from_chars(b, e, d);
      number(d);
      return;
    }
    case ValueType::kInt16:
      number(static_cast<int16_t>(integer()));
      return;
    case ValueType::kInt32:
      number(static_cast<int32_t>(integer()));
      return;
    case ValueType::kInt64:
      number(static_cast<int64_t>(integer()));
      return;
    case ValueType::kBool:
      out_ += static_cast<char>(integer());
      return;
    case ValueType::kBinary: {
      // A binary file holds a chunk as a length byte and the bytes: the
      // text must be pairs of hexadecimal digits, 255 bytes at most, or the
      // file would be written wrong.
      const bool hex = std::all_of(value.begin(), value.end(), [](char ch) {
        return (ch >= '0' && ch <= '9') || ((ch | 0x20) >= 'a' && (ch | 0x20) <= 'f');
      });
      if (!hex || value.size() % 2 != 0 || value.size() / 2 > 255) {
        throw DxfError("group code " + std::to_string(code) +
                       ": binary data that is not up to 255 bytes in hexadecimal pairs cannot be "
                       "saved in binary form");
      }
      std::string bytes;
      for (size_t i = 0; i + 1 < value.size(); i += 2) {
        unsigned v = 0;
        std::from_chars(value.data() + i, value.data() + i + 2, v, 16);
        bytes += static_cast<char>(v);
      }
      out_ += static_cast<char>(static_cast<unsigned char>(bytes.size()));
      out_ += bytes;
      return;
    }
  }
}

void TagWriter::Write(int code, double value) {
  // No file form spells not-a-number or infinity, and the reader refuses
  // them: saving one would make a drawing that cannot be opened again.
  if (!std::isfinite(value)) {
    throw DxfError("a number that is not finite (group code " + std::to_string(code) +
                   ") cannot be saved");
  }
  Write(code, FormatDouble(value));
}

void TagWriter::Write(int code, int64_t value) { Write(code, std::to_string(value)); }

}  // namespace palvane::dxf
