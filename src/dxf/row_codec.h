#pragma once

// What the entity codecs share: the entity's own tags walked, a changed
// entity's tags patched, kinds whose fields are rows, and the heavy
// polylines' codecs, which live in heavy_polyline_codecs.cc. Only the
// codecs' sources include this.

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "dxf/entity_codec.h"
#include "dxf/values.h"

namespace palvane::dxf {

using host::memory::EntityFields;
using host::memory::EntityKind;
using host::memory::EntityState;

// ---------------------------------------------------------------------------
// What the kinds share

// The entity's own tags, up to an embedded object.
template <class F>
void ForEachOwnTag(const RawTags& tags, F&& f) {
  for (const auto [code, value] : tags) {
    if (code == group::kEmbeddedObject) return;
    f(code, value);
  }
}

inline bool HasCode(const RawTags& tags, int code) {
  for (const auto [c, value] : tags) {
    if (c == code) return true;
  }
  return false;
}

// Writes a changed entity's own tags. The first handle, owner, layer and
// colour come from the model; `kind(code, value, first, embedded)` writes
// a tag of the kind's fields and returns true, or returns false to have the
// tag written as it was. `first` is true for the first tag of its code
// outside groups and before an embedded object; `embedded` once an
// embedded object began.
template <class F>
void PatchTags(const EntityState& e, const RawTags& tags, uint64_t owner, TagOut& out, F&& kind) {
  std::set<int> done;
  bool in_group = false, embedded = false;
  for (const auto [code, value] : tags) {
    if (code == group::kGroup) in_group = !value.empty() && value.front() == '{';
    if (code == group::kEmbeddedObject) embedded = true;
    const bool first = !embedded && !in_group && done.insert(code).second;
    if (code == group::kHandle && first) {
      out.Write(group::kHandle, Hex(e.handle));
    } else if (code == group::kOwner && first) {
      out.Write(group::kOwner, Hex(owner));
    } else if (code == group::kLayer && first) {
      out.Write(group::kLayer, LayerName(e, out));
      if (e.color != 256 && !HasCode(tags, group::kColor)) {
        out.Write(group::kColor, static_cast<int64_t>(e.color));
      }
    } else if (code == group::kColor && first) {
      out.Write(group::kColor, static_cast<int64_t>(e.color));
    } else if (!kind(code, value, first, embedded)) {
      out.Write(code, value);
    }
  }
}

// A kind whose fields are rows: loaded, patched and written anew from them.
// A kind with fields the rows leave to code of its own (OwnField) reads and
// writes them in LoadOwn and WriteOwn, and patches them in a Patch of its
// own.
template <class F>
class RowCodec : public EntityCodec {
 public:
  RowCodec(std::string_view type, EntityKind kind, FieldRows<F> rows)
      : type_(type), kind_(kind), rows_(std::move(rows)) {}
  std::string_view type() const override { return type_; }
  EntityKind kind() const override { return kind_; }

  void Load(const EntityFields& entity, const RawTags& tags, const TextCodec& text) const override {
    F& f = entity.Of<F>();
    FieldsSeen seen = 0;
    ForEachOwnTag(tags, [&](int16_t code, std::string_view value) {
      if (!rows_.Load(f, &entity, code, value, text, seen)) LoadOwn(f, code, value);
    });
  }

  void Patch(const EntityState& state, const EntityFields& entity, const RawTags& tags,
             uint64_t owner, TagOut& out) const override {
    const F& f = entity.Of<F>();
    FieldsSeen written = 0;
    PatchTags(state, tags, owner, out, [&](int16_t code, std::string_view value, bool first, bool) {
      return first && rows_.Patch(f, &entity, code, value, out, written);
    });
    rows_.PatchMissing(f, &entity, out, written);
  }

  void WriteNew(const EntityState& state, const EntityFields& entity, TagOut& out) const override {
    CheckWritable(out);
    const F& f = entity.Of<F>();
    rows_.WriteNew(f, &entity, out, [&](int16_t code) { WriteOwn(state, entity, f, code, out); });
  }

 protected:
  // Reads a tag no row reads.
  virtual void LoadOwn(F&, int16_t, std::string_view) const {}
  virtual void WriteOwn(const EntityState&, const EntityFields&, const F&, int16_t, TagOut&) const {
  }
  // DxfError when the kind cannot be written in the output's version.
  virtual void CheckWritable(const TagOut&) const {}
  const FieldRows<F>& rows() const { return rows_; }

 private:
  std::string_view type_;
  EntityKind kind_;
  FieldRows<F> rows_;
};

// DxfError for a kind that the R12 format does not have.
inline void RefuseR12(const TagOut& out, std::string_view type) {
  if (out.r12()) {
    throw DxfError("a " + std::string(type) + " entity cannot be saved in the R12 (AC1009) format");
  }
}

// The end of a sequence made here, after its "0 SEQEND".
inline void WriteNewSequenceEndBody(const EntityState& state, EntityOut& out) {
  if (out.out.has_handles()) out.out.Write(group::kHandle, Hex(out.new_handle()));
  if (!out.out.r12()) out.out.Write(group::kOwner, Hex(state.handle));
  out.out.Subclass("AcDbEntity");
  out.out.Write(group::kLayer, LayerName(state, out.out));
}

// ---------------------------------------------------------------------------
// Heavy polylines

// Writes the vertices and their sequence end as the file held them; for a
// changed polyline with each vertex's owner and layer anew and, when
// `points` is given, the first `axes` of its point from the model (X and Y
// of a polyline in a plane, whose vertices' Z means nothing); for a copy
// with handles anew.
void WriteVertexRun(const EntityState& state, const VertexRun& run, const RawTags* sequence_end,
                    const std::vector<host::Point3>* points, EntityOut& out, int axes = 3);

// The codecs of the heavy polylines the host models: in space and in a plane.
const EntityCodec& Polyline3DCodecOf();
const EntityCodec& Polyline2DCodecOf();

}  // namespace palvane::dxf
