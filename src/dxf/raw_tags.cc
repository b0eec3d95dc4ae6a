#include "dxf/raw_tags.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "dxf/tags.h"

namespace palvane::dxf {
namespace {

// A tag of an ASCII file that the reader has checked already.
const char* DecodeAscii(const char* p, const char* end, int16_t& code, std::string_view& value) {
  auto line = [&](std::string_view& out) {
    const auto* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* stop = nl != nullptr ? nl : end;
    out = std::string_view(p, static_cast<size_t>(stop - p));
    if (!out.empty() && out.back() == '\r') out.remove_suffix(1);
    p = nl != nullptr ? stop + 1 : end;
  };
  // The code is spaces, an optional sign and digits.
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  int c = 0;
  for (int n = 0; p < end && n < 6 && static_cast<unsigned>(*p - '0') < 10; ++n) {
    c = c * 10 + (*p++ - '0');
  }
  code = static_cast<int16_t>(negative ? -c : c);
  // The code's line usually ends right after its digits.
  if (p < end && *p == '\n') {
    ++p;
  } else {
    std::string_view rest;
    line(rest);
  }
  line(value);
  return p;
}

// A tag of a binary file, its number given as text in `scratch`.
const char* DecodeBinary(const char* p, bool one_byte_codes, int16_t& code, std::string_view& value,
                         char* scratch) {
  if (one_byte_codes) {
    code = static_cast<unsigned char>(*p++);
    if (code == 255) {
      std::memcpy(&code, p, 2);
      p += 2;
    }
  } else {
    std::memcpy(&code, p, 2);
    p += 2;
  }
  auto number = [&](auto zero) {
    decltype(zero) v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
  };
  auto text = [&](const std::string& s) {
    const size_t n = std::min<size_t>(s.size(), 518);
    std::memcpy(scratch, s.data(), n);
    value = std::string_view(scratch, n);
  };
  auto integer = [&](auto v) {
    const auto r = std::to_chars(scratch, scratch + 518, v);
    value = std::string_view(scratch, static_cast<size_t>(r.ptr - scratch));
  };
  switch (ValueTypeOf(code)) {
    case ValueType::kString:
    case ValueType::kHandle: {
      const size_t len = std::strlen(p);
      value = std::string_view(p, len);
      return p + len + 1;
    }
    case ValueType::kDouble:
      text(FormatDouble(number(double{})));
      return p;
    case ValueType::kInt16:
      integer(number(int16_t{}));
      return p;
    case ValueType::kInt32:
      integer(number(int32_t{}));
      return p;
    case ValueType::kInt64:
      integer(number(int64_t{}));
      return p;
    case ValueType::kBool:
      integer(static_cast<int>(static_cast<unsigned char>(*p++)));
      return p;
    case ValueType::kBinary: {
      // At most 255 bytes: 510 hexadecimal digits, within the scratch.
      const size_t len = static_cast<unsigned char>(*p++);
      static constexpr char kHex[] = "0123456789ABCDEF";
      size_t n = 0;
      for (size_t i = 0; i < len && n + 2 <= 518; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        scratch[n++] = kHex[b >> 4];
        scratch[n++] = kHex[b & 15];
      }
      value = std::string_view(scratch, n);
      return p + len;
    }
  }
  return p;
}

// A tag kept as code (2 bytes), value length (4 bytes) and value.
const char* DecodePacked(const char* p, int16_t& code, std::string_view& value) {
  uint32_t length;
  std::memcpy(&code, p, 2);
  std::memcpy(&length, p + 2, 4);
  value = std::string_view(p + 6, length);
  return p + 6 + length;
}

}  // namespace

RawTags::RawTags(const RawTags& other) : size_(other.size_), form_(other.form_) {
  if (form_ != TagForm::kOwned) {
    begin_ = other.begin_;
  } else {
    owned_ = other.owned_ != nullptr ? new std::string(*other.owned_) : nullptr;
  }
}

RawTags& RawTags::operator=(const RawTags& other) {
  if (this != &other) *this = RawTags(other);
  return *this;
}

void RawTags::push_back(int16_t code, std::string_view value) {
  if (form_ != TagForm::kOwned) {
    // A slice becomes tags of its own before it grows.
    RawTags owned;
    for (const auto [c, v] : *this) owned.push_back(c, v);
    *this = std::move(owned);
  }
  if (owned_ == nullptr) owned_ = new std::string();
  const auto length = static_cast<uint32_t>(value.size());
  char head[6];
  std::memcpy(head, &code, 2);
  std::memcpy(head + 2, &length, 4);
  owned_->append(head, 6);
  owned_->append(value);
}

RawTags::Iterator RawTags::begin() const {
  if (form_ != TagForm::kOwned) return Iterator(begin_, begin_ + size_, form_);
  if (owned_ == nullptr) return Iterator(nullptr, nullptr, form_);
  return Iterator(owned_->data(), owned_->data() + owned_->size(), form_);
}

RawTags::Iterator RawTags::end() const {
  if (form_ != TagForm::kOwned) return Iterator(begin_ + size_, begin_ + size_, form_);
  if (owned_ == nullptr) return Iterator(nullptr, nullptr, form_);
  const char* stop = owned_->data() + owned_->size();
  return Iterator(stop, stop, form_);
}

RawTags::Iterator::Iterator(const char* p, const char* end, TagForm form)
    : p_(p), end_(end), form_(form) {
  Decode();
}

void RawTags::Iterator::Decode() {
  if (p_ >= end_) {
    next_ = end_;
    return;
  }
  switch (form_) {
    case TagForm::kAscii:
      next_ = DecodeAscii(p_, end_, tag_.code, tag_.value);
      return;
    case TagForm::kBinary:
    case TagForm::kBinaryShortCodes:
      next_ =
          DecodeBinary(p_, form_ == TagForm::kBinaryShortCodes, tag_.code, tag_.value, scratch_);
      return;
    case TagForm::kOwned:
    case TagForm::kPacked:
      next_ = DecodePacked(p_, tag_.code, tag_.value);
      return;
  }
}

RawTags::Iterator& RawTags::Iterator::operator++() {
  p_ = next_;
  Decode();
  return *this;
}

}  // namespace palvane::dxf
