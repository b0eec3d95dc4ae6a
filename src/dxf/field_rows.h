#pragma once

// The fields of an object as the file holds them: one row per field, its
// group code and the member that holds it, as ezdxf declares its DXFAttrs.
// Reading (load), writing a changed object over its file tags (patch) and
// writing a new one whole (write new) all come from the rows, so a field's
// group code is written once.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dxf/tags.h"
#include "dxf/text.h"
#include "host/host.h"
#include "host/memory/fields.h"

namespace palvane::dxf {

// What a codec writes through: the tag writer of the output and its form.
class TagOut {
 public:
  TagOut(TagWriter& w, const TextCodec& text, bool r12, bool has_handles)
      : w_(w), text_(text), r12_(r12), has_handles_(has_handles) {}

  void Write(int code, std::string_view value) { w_.Write(code, value); }
  void Write(int code, double value) { w_.Write(code, value); }
  void Write(int code, int64_t value) { w_.Write(code, value); }
  // A subclass marker; R12 files have none.
  void Subclass(const char* name);
  // A point under `code`, `code` + 10 and (with `z`) `code` + 20.
  void Point(int code, const host::Point3& p, bool z = true) {
    w_.Write(code, p[0]);
    w_.Write(code + 10, p[1]);
    if (z) w_.Write(code + 20, p[2]);
  }
  // UTF-8 text in the file's encoding.
  std::string Enc(std::string_view utf8) const { return text_.Encode(utf8); }
  bool r12() const { return r12_; }
  bool has_handles() const { return has_handles_; }

 private:
  TagWriter& w_;
  const TextCodec& text_;
  bool r12_;
  bool has_handles_;
};

// How a field is read and written besides its value.
enum FieldOption : unsigned {
  kPatched = 1u << 0,        // a changed object's tag is written from the model
  kNonDefault = 1u << 1,     // written anew only when not a new object's value
  kConstant = 1u << 2,       // written anew as `constant`, never read
  kNotInR12 = 1u << 3,       // written anew only in files newer than R12
  kTrimmed = 1u << 4,        // text read without the spaces around it
  kAddWhenMissing = 1u << 5  // patched in at the end when the file lacked it
};

// A text some kinds keep once per drawing (an attribute's tag): reached
// through the entity, not the field struct.
struct SharedText {
  const std::string& (*get)(const host::memory::EntityFields&);
  void (*set)(const host::memory::EntityFields&, std::string_view);
};

// One field of `F`. Exactly one of the members is set: a point (`code`,
// `code` + 10, `code` + 20, or one `axis` of it as a number), a number in
// the file's unit (the file holds the model's value times `scale`), an integer, bit 1 of
// an integer flag field (its other bits kept), a text, a shared text, a
// constant (an integer, a real number or a text), or none for a field the codec reads and writes in
// code of its own (`own`).
template <class F>
struct Field {
  int16_t code = 0;
  unsigned options = 0;
  const char* subclass = nullptr;  // a marker written anew before the field
  host::Point3 F::*point = nullptr;
  int axis = -1;
  double F::*number = nullptr;
  double scale = 1;
  int32_t F::*integer = nullptr;
  bool F::*bit = nullptr;
  std::string F::*text = nullptr;
  const SharedText* shared = nullptr;
  int64_t constant = 0;
  const double* constant_number = nullptr;  // a constant written as a real number
  const char* constant_text = nullptr;      // a constant written as text
  bool own = false;
  // The value a new object holds (kNonDefault, kAddWhenMissing).
  host::Point3 new_point{0, 0, 0};
  double new_number = 0;
};

template <class F>
Field<F> PointField(int16_t code, host::Point3 F::*member, unsigned options = 0) {
  Field<F> f;
  f.code = code, f.point = member, f.options = options;
  f.new_point = F{}.*member;
  return f;
}
template <class F>
Field<F> AxisField(int16_t code, host::Point3 F::*member, int axis, unsigned options = 0) {
  Field<F> f = PointField(code, member, options);
  f.axis = axis;
  f.new_number = f.new_point[static_cast<size_t>(axis)];
  return f;
}
template <class F>
Field<F> NumberField(int16_t code, double F::*member, unsigned options = 0, double scale = 1) {
  Field<F> f;
  f.code = code, f.number = member, f.options = options, f.scale = scale;
  f.new_number = F{}.*member;
  return f;
}
template <class F>
Field<F> IntegerField(int16_t code, int32_t F::*member, unsigned options = 0) {
  Field<F> f;
  f.code = code, f.integer = member, f.options = options;
  f.new_number = F{}.*member;
  return f;
}
template <class F>
Field<F> BitField(int16_t code, bool F::*member, unsigned options = 0) {
  Field<F> f;
  f.code = code, f.bit = member, f.options = options;
  f.new_number = F{}.*member ? 1 : 0;
  return f;
}
template <class F>
Field<F> TextField(int16_t code, std::string F::*member, unsigned options = 0) {
  Field<F> f;
  f.code = code, f.text = member, f.options = options;
  return f;
}
template <class F>
Field<F> SharedField(int16_t code, const SharedText& shared, unsigned options = 0) {
  Field<F> f;
  f.code = code, f.shared = &shared, f.options = options;
  return f;
}
template <class F>
Field<F> IntegerConstant(int16_t code, int64_t value, unsigned options = 0) {
  Field<F> f;
  f.code = code, f.constant = value, f.options = options | kConstant;
  return f;
}
template <class F>
Field<F> RealConstant(int16_t code, const double& value, unsigned options = 0) {
  Field<F> f = IntegerConstant<F>(code, 0, options);
  f.constant_number = &value;
  return f;
}
template <class F>
Field<F> TextConstant(int16_t code, const char* value, unsigned options = 0) {
  Field<F> f = IntegerConstant<F>(code, 0, options);
  f.constant_text = value;
  return f;
}
// A field the codec reads and writes itself; its row says where it is
// written anew.
template <class F>
Field<F> OwnField(int16_t code) {
  Field<F> f;
  f.code = code, f.own = true;
  return f;
}
// Puts a subclass marker before a field written anew.
template <class F>
Field<F> After(const char* subclass, Field<F> f) {
  f.subclass = subclass;
  return f;
}

// Which fields (and which axes of points) were read or written: bit
// 3 * row + axis.
using FieldsSeen = uint64_t;

// The fields of one kind, in the order a new object's are written.
template <class F>
class FieldRows {
 public:
  explicit FieldRows(std::vector<Field<F>> fields);

  // Reads a tag into `f` when a field has its code and was not read yet
  // (the first of each code counts); false when no field has the code.
  // `shared` reaches the entity's shared texts, when the kind has any.
  bool Load(F& f, const host::memory::EntityFields* shared, int16_t code, std::string_view value,
            const TextCodec& text, FieldsSeen& seen) const;

  // Writes the model's value over the tag of `code` in a changed object's
  // tags when that field is patched and the tag is the first of its code;
  // false to have the tag written as it was.
  bool Patch(const F& f, const host::memory::EntityFields* shared, int16_t code,
             std::string_view value, TagOut& out, FieldsSeen& written) const;
  // After the patched tags: fields to add when missing that the file lacked
  // and that the model holds other than a new object's value.
  void PatchMissing(const F& f, const host::memory::EntityFields* shared, TagOut& out,
                    FieldsSeen written) const;

  // Writes a new object's fields in order; `own(code)` writes each field the
  // codec keeps code of its own for.
  template <class Own>
  void WriteNew(const F& f, const host::memory::EntityFields* shared, TagOut& out,
                Own&& own) const {
    for (const Field<F>& field : fields_) {
      if (field.subclass != nullptr) out.Subclass(field.subclass);
      if (field.own) {
        own(field.code);
      } else {
        WriteNewField(field, f, shared, out);
      }
    }
  }

  // True when a field reads tags of `code` (not counting the codec's own).
  bool Reads(int16_t code) const {
    return static_cast<uint16_t>(code) < kCodes && row_of_[static_cast<size_t>(code)] != 0 &&
           (row_of_[static_cast<size_t>(code)] & kOwnRow) == 0;
  }
  // True for the first tag of a code that a field the codec keeps code of
  // its own for has; marks it seen.
  bool TakeOwn(int16_t code, FieldsSeen& seen) const {
    if (static_cast<uint16_t>(code) >= kCodes) return false;
    const uint8_t at = row_of_[static_cast<size_t>(code)];
    if ((at & kOwnRow) == 0) return false;
    const FieldsSeen bit = FieldsSeen{1} << (3 * static_cast<size_t>((at & ~kOwnRow) - 1));
    if ((seen & bit) != 0) return false;
    seen |= bit;
    return true;
  }

  // True when the field of `code` was read or written (any axis).
  bool Seen(FieldsSeen seen, int16_t code) const;

 private:
  void WriteNewField(const Field<F>& field, const F& f, const host::memory::EntityFields* shared,
                     TagOut& out) const;
  std::vector<Field<F>> fields_;
  // The codes some field reads, so that the many tags no field reads (a
  // polyline's vertices) are passed over at once.
  static constexpr uint16_t kCodes = 1100;
  static constexpr uint8_t kOwnRow = 0x80;
  // For each code: the row + 1 of the field that reads it (0 for none; with
  // kOwnRow set for a field of the codec's own), and the axis of a point the
  // code stands for.
  std::array<uint8_t, kCodes> row_of_{};
  std::array<int8_t, kCodes> axis_of_{};
};

}  // namespace palvane::dxf
