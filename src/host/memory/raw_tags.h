#pragma once

// Tags as read from a drawing file, kept for writing back, and the file's
// hooks that fill an object from them on first use. Inside the in-memory host;
// tools and operations never see these.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace palvane::host::memory {

// Decodes the tags of one file form (defined by the file layer).
class TagCodec {
 public:
  virtual ~TagCodec() = default;
  // Decodes the tag at `p` into `code` and `value` (which may point into
  // `scratch`, 520 bytes); returns where the next tag starts.
  virtual const char* Decode(const char* p, const char* end, int16_t& code, std::string_view& value,
                             char* scratch) const = 0;
};

// Group codes and values as read from a file, handed back untouched when the
// drawing is written. Either a slice of the file's own bytes (which outlive
// it), decoded on the way, or tags kept compactly in one buffer of their own.
class RawTags {
 public:
  struct Tag {
    int16_t code;
    std::string_view value;
  };
  class Iterator {
   public:
    Iterator(const char* p, const char* end, const TagCodec* codec);
    Tag operator*() const { return tag_; }
    Iterator& operator++();
    bool operator!=(const Iterator& o) const { return p_ != o.p_; }
    bool operator==(const Iterator& o) const { return p_ == o.p_; }

   private:
    void Decode();
    const char* p_;
    const char* end_;
    const TagCodec* codec_;
    const char* next_ = nullptr;
    Tag tag_{0, {}};
    char scratch_[520];
  };

  RawTags() : begin_(nullptr) {}
  RawTags(const RawTags& other);
  RawTags(RawTags&& other) noexcept
      : begin_(other.begin_), size_(other.size_), codec_(other.codec_) {
    other.Forget();
  }
  RawTags& operator=(const RawTags& other);
  RawTags& operator=(RawTags&& other) noexcept {
    if (this != &other) {
      Release();
      begin_ = other.begin_;
      size_ = other.size_;
      codec_ = other.codec_;
      other.Forget();
    }
    return *this;
  }
  ~RawTags() { Release(); }

  // The tags of a slice of a file's bytes.
  static RawTags View(const char* begin, const char* end, const TagCodec* codec) {
    return View(begin, end, CodecIndex(codec));
  }
  // The same with the decoder given by its index, for readers making many.
  static uint8_t CodecIndex(const TagCodec* codec);
  static RawTags View(const char* begin, const char* end, uint8_t codec_index) {
    RawTags r;
    r.begin_ = begin;
    r.size_ = static_cast<uint64_t>(end - begin);
    r.codec_ = codec_index;
    return r;
  }

  void push_back(int16_t code, std::string_view value);
  Iterator begin() const;
  Iterator end() const;
  bool empty() const { return codec_ != 0 ? size_ == 0 : owned_ == nullptr || owned_->empty(); }
  // The file bytes of a slice, in the file's own form; empty when owned.
  std::string_view slice() const {
    return codec_ != 0 ? std::string_view(begin_, size_) : std::string_view();
  }
  // The decoder of a slice; null when owned.
  const TagCodec* codec() const;
  void clear() { *this = RawTags(); }

 private:
  // Either a slice of a file (begin_ and size_, with the index of its
  // decoder in codec_ from 1) or tags of its own (owned_, codec_ 0): per tag
  // the code (2 bytes), the value's length (4 bytes) and the value. Kept
  // small, as every object read from a file has one.
  void Release() {
    if (codec_ == 0) delete owned_;
  }
  void Forget() {
    begin_ = nullptr;
    size_ = 0;
    codec_ = 0;
  }
  union {
    const char* begin_;
    std::string* owned_;
  };
  uint64_t size_ : 56 = 0;
  uint64_t codec_ : 8 = 0;
};

struct XDataItem {
  int16_t code;
  Variant value;
  friend bool operator==(const XDataItem&, const XDataItem&) = default;
};

// What a drawing file held beyond what the host models; the file layer
// defines it.
class EntityCore;
class DocumentFile {
 public:
  virtual ~DocumentFile() = default;
  // Fills the fields of its kind of an entity read from this file, from the
  // entity's own tags.
  virtual void LoadEntity(EntityCore& entity) const = 0;
  // Reads extended data from this file's tags of it: the group of one
  // application (all groups for an empty name). Other groups are skipped
  // without reading their values. The file may replace `tags` with the same
  // tags in a form that reads faster next time.
  virtual void LoadXData(RawTags& tags, std::string_view app_name, XData& out) = 0;
};

}  // namespace palvane::host::memory
