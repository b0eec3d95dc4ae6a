#pragma once

// The tag layer of the drawing exchange format: group codes and their value
// types, a streaming reader of ASCII and binary files, and a writer of both.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "dxf/raw_tags.h"

namespace palvane::dxf {

// A file that cannot be read: the message names the line (ASCII) or byte
// offset (binary) and what was expected there.
class DxfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class ValueType { kString, kDouble, kInt16, kInt32, kInt64, kBool, kBinary, kHandle };

// The type of a group code's value, by the ranges of the format.
ValueType ValueTypeOf(int code);

struct Tag {
  int16_t code = 0;
  std::string_view value;  // as text; valid until the next tag is read
};

inline constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};

class TagReader {
 public:
  // `bytes` must outlive the reader. Detects binary files by their sentinel.
  explicit TagReader(std::string_view bytes);

  bool binary() const { return binary_; }
  // Reads the next tag; false at the end of the data.
  bool Next(Tag& tag) {
    if (pushed_ && !pushed_copied_) {  // the common push-back: a view of the file
      pushed_ = false;
      tag = pushed_tag_;
      returned_begin_ = pushed_begin_;
      returned_end_ = pushed_end_;
      return true;
    }
    if (!pushed_ && !binary_ && NextAsciiFast(tag)) return true;
    return NextSlow(tag);
  }
  // Makes the next Next() return `tag` again.
  void PushBack(const Tag& tag);
  // "line N" or "byte offset N" of the tag read last.
  std::string Where() const;
  // The place of the tag read last, kept to name it in a later error.
  size_t Mark() const { return binary_ ? tag_offset_ : reported_line_; }
  // Byte offsets of the tag read last: where it starts and where the next begins.
  size_t TagBegin() const { return returned_begin_; }
  size_t TagEnd() const { return returned_end_; }
  // The form in which slices of these bytes are decoded again later.
  TagForm form() const;
  [[noreturn]] void Fail(const std::string& what) const;
  // Fails naming a place kept by Mark().
  [[noreturn]] void FailAt(size_t mark, const std::string& what) const;

 private:
  // The common case of an ASCII tag: a plain group code, and a value that
  // needs no check or a plain decimal number. False (having read nothing)
  // for anything else, which NextAscii reads and reports.
  bool NextAsciiFast(Tag& tag);
  bool NextSlow(Tag& tag);
  bool NextAscii(Tag& tag);
  bool NextBinary(Tag& tag);

  std::string_view bytes_;
  size_t pos_ = 0;
  bool binary_ = false;
  bool one_byte_codes_ = false;
  size_t line_ = 0;           // lines read so far
  size_t reported_line_ = 0;  // line of the last tag's group code
  size_t tag_offset_ = 0;     // byte offset of the last tag read
  bool pushed_ = false;
  bool pushed_copied_ = false;  // the pushed value lives in pushed_value_
  size_t returned_begin_ = 0, returned_end_ = 0;
  size_t pushed_begin_ = 0, pushed_end_ = 0;
  Tag pushed_tag_;
  std::string pushed_value_;
  std::string scratch_;
};

class TagWriter {
 public:
  explicit TagWriter(bool binary, bool sentinel = true);
  void Write(int code, std::string_view value);
  void Write(int code, double value);
  void Write(int code, int64_t value);
  std::string& bytes() { return out_; }
  // Appends tags already in this writer's form.
  void AppendEncoded(std::string_view tags) { out_.append(tags); }
  // The largest handle written under group code 5 or 105.
  uint64_t max_handle() const { return max_handle_; }

 private:
  void AppendAsciiText(std::string_view value);

  bool binary_;
  uint64_t max_handle_ = 0;
  std::string out_;
};

// The shortest text that reads back as the same double.
std::string FormatDouble(double value);

}  // namespace palvane::dxf
