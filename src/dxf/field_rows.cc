#include "dxf/field_rows.h"

#include "dxf/group_codes.h"
#include "dxf/values.h"
#include "host/check.h"

// A field struct without a member of some type (a layer's has no point) can
// only have null member pointers of that type, which the code below tests
// before it dereferences one; GCC's bounds check cannot see that after
// inlining, and warns of reads beyond the small struct.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif

namespace palvane::dxf {

using host::memory::EntityFields;

void TagOut::Subclass(const char* name) {
  if (!r12_) w_.Write(group::kSubclass, name);
}

namespace {

// The axis of a point field that a group code names, or -1.
template <class F>
int AxisOf(const Field<F>& field, int16_t code) {
  if (field.point == nullptr) return -1;
  if (field.axis >= 0) return code == field.code ? field.axis : -1;
  for (int axis = 0; axis < 3; ++axis) {
    if (code == field.code + 10 * axis) return axis;
  }
  return -1;
}

// The bit of a field (and axis) in FieldsSeen.
inline FieldsSeen Bit(size_t row, int axis) {
  return FieldsSeen{1} << (3 * row + static_cast<size_t>(axis < 0 ? 0 : axis));
}

// True when a field holds what a new object's holds.
template <class F>
bool IsDefault(const Field<F>& field, const F& f) {
  if (field.point != nullptr) {
    if (field.axis >= 0) {
      return SameNumber((f.*field.point)[static_cast<size_t>(field.axis)], field.new_number);
    }
    const host::Point3& p = f.*field.point;
    return SameNumber(p[0], field.new_point[0]) && SameNumber(p[1], field.new_point[1]) &&
           SameNumber(p[2], field.new_point[2]);
  }
  if (field.number != nullptr) return SameNumber(f.*field.number, field.new_number);
  if (field.integer != nullptr) return f.*field.integer == field.new_number;
  if (field.bit != nullptr) return (f.*field.bit ? 1 : 0) == field.new_number;
  if (field.text != nullptr) return (f.*field.text).empty();
  return false;
}

}  // namespace

template <class F>
FieldRows<F>::FieldRows(std::vector<Field<F>> fields) : fields_(std::move(fields)) {
  // FieldsSeen has a bit per axis of each row, and row numbers stay below
  // kOwnRow.
  PALVANE_CHECK(fields_.size() < 64 / 3);
  for (size_t row = 0; row < fields_.size(); ++row) {
    const Field<F>& field = fields_[row];
    if ((field.options & kConstant) != 0) continue;
    const bool whole_point = field.point != nullptr && field.axis < 0;
    for (int axis = 0; axis < (whole_point ? 3 : 1); ++axis) {
      const int code = field.code + 10 * axis;
      PALVANE_CHECK(code >= 0 && code < kCodes);
      const auto at = static_cast<size_t>(code);
      // The first field of a code reads it.
      if (row_of_[at] != 0) continue;
      row_of_[at] = static_cast<uint8_t>((row + 1) | (field.own ? kOwnRow : 0));
      axis_of_[at] = static_cast<int8_t>(field.point == nullptr ? -1
                                         : whole_point          ? axis
                                                                : field.axis);
    }
  }
}

template <class F>
bool FieldRows<F>::Load(F& f, const EntityFields* shared, int16_t code, std::string_view value,
                        const TextCodec& text, FieldsSeen& seen) const {
  if (!Reads(code)) return false;
  const auto at = static_cast<size_t>(code);
  const size_t row = row_of_[at] - 1u;  // not an own field's: Reads said so
  const Field<F>& field = fields_[row];
  const int axis = axis_of_[at];
  const FieldsSeen bit = Bit(row, axis);
  if ((seen & bit) != 0) return true;  // a later tag of a code read already
  seen |= bit;
  if (field.point != nullptr) {
    (f.*field.point)[static_cast<size_t>(axis)] = ToDouble(value);
  } else if (field.number != nullptr) {
    f.*field.number = ToDouble(value) / field.scale;
  } else if (field.integer != nullptr) {
    f.*field.integer = static_cast<int32_t>(ToInt(value));
  } else if (field.bit != nullptr) {
    f.*field.bit = (ToInt(value) & 1) != 0;
  } else {
    const std::string decoded =
        DecodeText(text, (field.options & kTrimmed) != 0 ? Trim(value) : value);
    if (field.text != nullptr) {
      f.*field.text = decoded;
    } else {
      field.shared->set(*shared, decoded);
    }
  }
  return true;
}

template <class F>
bool FieldRows<F>::Patch(const F& f, const EntityFields* shared, int16_t code,
                         std::string_view value, TagOut& out, FieldsSeen& written) const {
  for (size_t row = 0; row < fields_.size(); ++row) {
    const Field<F>& field = fields_[row];
    if ((field.options & kPatched) == 0) continue;
    const int axis = AxisOf(field, code);
    if (axis < 0 && (code != field.code || field.point != nullptr)) continue;
    const FieldsSeen bit = Bit(row, axis);
    if ((written & bit) != 0) return false;  // only the first tag of a code
    written |= bit;
    if (field.point != nullptr) {
      out.Write(code, (f.*field.point)[static_cast<size_t>(axis)]);
    } else if (field.number != nullptr) {
      out.Write(code, f.*field.number * field.scale);
    } else if (field.integer != nullptr) {
      out.Write(code, static_cast<int64_t>(f.*field.integer));
    } else if (field.bit != nullptr) {
      out.Write(code, (ToInt(value) & ~int64_t{1}) | (f.*field.bit ? 1 : 0));
    } else if (field.text != nullptr) {
      out.Write(code, out.Enc(f.*field.text));
    } else if (field.shared != nullptr) {
      out.Write(code, out.Enc(field.shared->get(*shared)));
    } else {
      return false;
    }
    return true;
  }
  return false;
}

template <class F>
void FieldRows<F>::PatchMissing(const F& f, const EntityFields* shared, TagOut& out,
                                FieldsSeen written) const {
  for (size_t row = 0; row < fields_.size(); ++row) {
    const Field<F>& field = fields_[row];
    if ((field.options & kAddWhenMissing) == 0 || (written & (Bit(row, 0) * 7)) != 0) continue;
    if (!IsDefault(field, f)) WriteNewField(field, f, shared, out);
  }
}

template <class F>
bool FieldRows<F>::Seen(FieldsSeen seen, int16_t code) const {
  for (size_t row = 0; row < fields_.size(); ++row) {
    if (fields_[row].code == code && (seen & (Bit(row, 0) * 7)) != 0) return true;
  }
  return false;
}

template <class F>
void FieldRows<F>::WriteNewField(const Field<F>& field, const F& f, const EntityFields* shared,
                                 TagOut& out) const {
  if ((field.options & kNotInR12) != 0 && out.r12()) return;
  if ((field.options & kConstant) != 0) {
    if (field.constant_number != nullptr) {
      out.Write(field.code, *field.constant_number);
    } else if (field.constant_text != nullptr) {
      out.Write(field.code, std::string_view(field.constant_text));
    } else {
      out.Write(field.code, field.constant);
    }
    return;
  }
  if ((field.options & kNonDefault) != 0 && IsDefault(field, f)) return;
  if (field.point != nullptr && field.axis < 0) {
    out.Point(field.code, f.*field.point);
  } else if (field.point != nullptr) {
    out.Write(field.code, (f.*field.point)[static_cast<size_t>(field.axis)]);
  } else if (field.number != nullptr) {
    out.Write(field.code, f.*field.number * field.scale);
  } else if (field.integer != nullptr) {
    out.Write(field.code, static_cast<int64_t>(f.*field.integer));
  } else if (field.bit != nullptr) {
    out.Write(field.code, int64_t{f.*field.bit ? 1 : 0});
  } else if (field.text != nullptr) {
    out.Write(field.code, out.Enc(f.*field.text));
  } else if (field.shared != nullptr) {
    out.Write(field.code, out.Enc(field.shared->get(*shared)));
  }
}

template class FieldRows<host::memory::PolylineFields>;
template class FieldRows<host::memory::PointFields>;
template class FieldRows<host::memory::LineFields>;
template class FieldRows<host::memory::Polyline3DFields>;
template class FieldRows<host::memory::Polyline2DFields>;
template class FieldRows<host::memory::MTextFields>;
template class FieldRows<host::memory::TextFields>;
template class FieldRows<host::memory::AttributeDefinitionFields>;
template class FieldRows<host::memory::AttributeFields>;
template class FieldRows<host::memory::BlockReferenceFields>;
template class FieldRows<host::memory::LayerFields>;
template class FieldRows<host::memory::UcsFields>;
template class FieldRows<host::memory::ViewState>;
template class FieldRows<host::memory::NoFields>;
template class FieldRows<host::memory::BlockFields>;

}  // namespace palvane::dxf
