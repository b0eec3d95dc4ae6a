#pragma once

// Tags as read from a drawing file, kept for writing back: a slice of the
// file's own bytes (which outlive it), decoded on the way in the form the
// file was written in, or tags kept in a buffer of their own.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/check.h"

namespace palvane::dxf {

// How the tags of a slice are written.
enum class TagForm : uint8_t {
  kOwned,             // a buffer of the tags' own: per tag code, value length, value
  kAscii,             // lines of an ASCII file the reader has checked
  kBinary,            // a binary file with two-byte group codes
  kBinaryShortCodes,  // a binary R12 file with one-byte group codes
  kPacked,            // code, value length and value, copied next to others
};

class RawTags {
 public:
  struct Tag {
    int16_t code;
    std::string_view value;
  };
  class Iterator {
   public:
    Iterator(const char* p, const char* end, TagForm form);
    Tag operator*() const { return tag_; }
    Iterator& operator++();
    bool operator!=(const Iterator& o) const { return p_ != o.p_; }
    bool operator==(const Iterator& o) const { return p_ == o.p_; }

   private:
    void Decode();
    const char* p_;
    const char* end_;
    TagForm form_;
    const char* next_ = nullptr;
    Tag tag_{0, {}};
    char scratch_[520];  // a binary value given as text
  };

  RawTags() : begin_(nullptr) {}
  RawTags(const RawTags& other);
  RawTags(RawTags&& other) noexcept : begin_(other.begin_), size_(other.size_), form_(other.form_) {
    other.Forget();
  }
  RawTags& operator=(const RawTags& other);
  RawTags& operator=(RawTags&& other) noexcept {
    if (this != &other) {
      Release();
      begin_ = other.begin_;
      size_ = other.size_;
      form_ = other.form_;
      other.Forget();
    }
    return *this;
  }
  ~RawTags() { Release(); }

  // The tags of a slice of a file's bytes in `form` (not kOwned).
  static RawTags View(const char* begin, const char* end, TagForm form) {
    PALVANE_CHECK(form != TagForm::kOwned && begin <= end);
    RawTags r;
    r.begin_ = begin;
    r.size_ = static_cast<uint64_t>(end - begin);
    r.form_ = form;
    return r;
  }

  void push_back(int16_t code, std::string_view value);
  Iterator begin() const;
  Iterator end() const;
  bool empty() const {
    return form_ != TagForm::kOwned ? size_ == 0 : owned_ == nullptr || owned_->empty();
  }
  TagForm form() const { return form_; }
  // The file bytes of a slice, in its form; empty when owned.
  std::string_view slice() const {
    return form_ != TagForm::kOwned ? std::string_view(begin_, size_) : std::string_view();
  }
  void clear() { *this = RawTags(); }

 private:
  // Kept small (16 bytes), as every object read from a file has one.
  void Release() {
    if (form_ == TagForm::kOwned) delete owned_;
  }
  void Forget() {
    begin_ = nullptr;
    size_ = 0;
    form_ = TagForm::kOwned;
  }
  union {
    const char* begin_;
    std::string* owned_;
  };
  uint64_t size_ : 56 = 0;
  TagForm form_ : 8 = TagForm::kOwned;
};

}  // namespace palvane::dxf
