#include <algorithm>
#include <array>
#include <set>

#include "dxf/entity_codec.h"
#include "dxf/file_data.h"
#include "dxf/text.h"
#include "host/memory/entities.h"

namespace palvane::dxf {

using host::Point3;
using host::memory::EntityCore;
using host::memory::MemAttribute;
using host::memory::MemAttributeDefinition;
using host::memory::MemBlockReference;
using host::memory::MemDocument;
using host::memory::MemLWPolyline;
using host::memory::MemMText;
using host::memory::MemPoint;

std::string TagOut::Enc(std::string_view utf8) const { return text_.Encode(utf8); }

namespace {

// ---------------------------------------------------------------------------
// What the kinds share

// The first of each coordinate group (10, 20, 30) read into `at`; later
// ones belong to other points of the entity.
class FirstPoint {
 public:
  explicit FirstPoint(Point3& at) : at_(at) {}
  bool Take(int16_t code, std::string_view value) {
    if (code != 10 && code != 20 && code != 30) return false;
    const int axis = code / 10 - 1;
    if (!(seen_ & (1 << axis))) at_[static_cast<size_t>(axis)] = ToDouble(value);
    seen_ |= 1 << axis;
    return true;
  }

 private:
  Point3& at_;
  int seen_ = 0;
};

// The entity's own tags, up to an embedded object (group code 101).
template <class F>
void ForEachOwnTag(const RawTags& tags, F&& f) {
  for (const auto [code, value] : tags) {
    if (code == 101) return;
    f(code, value);
  }
}

std::string LayerName(const EntityCore& e, const TagOut& out) {
  return out.Enc(e.layer() != nullptr ? e.layer()->name() : "0");
}

bool HasCode(const RawTags& tags, int code) {
  for (const auto [c, value] : tags) {
    if (c == code) return true;
  }
  return false;
}

bool IsUp(const Point3& n) { return n[0] == 0 && n[1] == 0 && n[2] == 1; }

// Writes a changed entity's own tags. The first handle, owner, layer and
// colour come from the model; `kind(code, value, first, embedded)` writes
// a tag of the kind's fields and returns true, or returns false to have the
// tag written as it was. `first` is true for the first tag of its code
// outside reactor groups and before an embedded object; `embedded` once an
// embedded object (group code 101) began.
template <class F>
void PatchTags(EntityCore& e, const RawTags& tags, uint64_t owner, TagOut& out, F&& kind) {
  std::set<int> done;
  bool in_group = false, embedded = false;
  for (const auto [code, value] : tags) {
    if (code == 102) in_group = !value.empty() && value.front() == '{';
    if (code == 101) embedded = true;
    const bool first = !embedded && !in_group && done.insert(code).second;
    if (code == 5 && first) {
      out.Write(5, Hex(e.handle()));
    } else if (code == 330 && first) {
      out.Write(330, Hex(owner));
    } else if (code == 8 && first) {
      out.Write(8, LayerName(e, out));
      if (e.color() != 256 && !HasCode(tags, 62)) out.Write(62, static_cast<int64_t>(e.color()));
    } else if (code == 62 && first) {
      out.Write(62, static_cast<int64_t>(e.color()));
    } else if (!kind(code, value, first, embedded)) {
      out.Write(code, value);
    }
  }
}

// A kind whose fields begin with one point (10, 20, 30): writes the tag of
// that point's coordinate in place; false for any other tag.
bool PatchPoint(const Point3& p, int16_t code, bool first, TagOut& out) {
  if (!first || (code != 10 && code != 20 && code != 30)) return false;
  out.Write(code, p[static_cast<size_t>(code / 10 - 1)]);
  return true;
}

// Writes a changed entity whose only patched field is its first point.
void PatchWithPoint(EntityCore& entity, const RawTags& tags, uint64_t owner, TagOut& out,
                    const Point3& p) {
  PatchTags(entity, tags, owner, out, [&](int16_t code, std::string_view, bool first, bool) {
    return PatchPoint(p, code, first, out);
  });
}

// ---------------------------------------------------------------------------
// The kinds

class PolylineCodec final : public EntityCodec {
 public:
  std::string_view type() const override { return "LWPOLYLINE"; }
  EntityCore* Make(MemDocument& doc) const override { return doc.NewEntity<MemLWPolyline>(0); }

  void Load(EntityCore& entity, const RawTags& tags, const TextCodec&) const override {
    auto& line = static_cast<MemLWPolyline&>(entity);
    auto& v = line.fields().vertices;
    ForEachOwnTag(tags, [&](int16_t code, std::string_view value) {
      switch (code) {
        case 90:
          v.reserve(static_cast<size_t>(std::clamp<int64_t>(ToInt(value), 0, 1 << 20)));
          break;
        case 70:
          line.fields().closed = (ToInt(value) & 1) != 0;
          break;
        case 38:
          line.fields().elevation = ToDouble(value);
          break;
        case 39:
          line.fields().thickness = ToDouble(value);
          break;
        case 43:
          line.fields().constant_width = ToDouble(value);
          break;
        case 10:
          v.push_back({ToDouble(value)});
          break;
        case 20:
          if (!v.empty()) v.back().y = ToDouble(value);
          break;
        case 40:
          if (!v.empty()) v.back().start_width = ToDouble(value);
          break;
        case 41:
          if (!v.empty()) v.back().end_width = ToDouble(value);
          break;
        case 42:
          if (!v.empty()) v.back().bulge = ToDouble(value);
          break;
        case 210:
          line.fields().normal[0] = ToDouble(value);
          break;
        case 220:
          line.fields().normal[1] = ToDouble(value);
          break;
        case 230:
          line.fields().normal[2] = ToDouble(value);
          break;
        default:
          break;
      }
    });
    line.InvalidateLength();
  }

  void Patch(EntityCore& entity, const RawTags& tags, uint64_t owner, TagOut& out) const override {
    auto& line = static_cast<MemLWPolyline&>(entity);
    const VertexIds ids = VertexIdsOf(tags);
    bool wrote_vertices = false, normal_written = false, elevation_written = false;
    PatchTags(entity, tags, owner, out,
              [&](int16_t code, std::string_view value, bool, bool embedded) {
                if (embedded) return false;
                switch (code) {
                  case 70:
                    out.Write(70, (ToInt(value) & ~int64_t{1}) | (line.fields().closed ? 1 : 0));
                    return true;
                  case 90:
                    out.Write(90, static_cast<int64_t>(line.fields().vertices.size()));
                    return true;
                  case 38:
                    out.Write(38, line.fields().elevation);
                    elevation_written = true;
                    return true;
                  case 10:
                    // The vertices go where the first stood; their other tags with them.
                    if (!wrote_vertices) {
                      if (!elevation_written && line.fields().elevation != 0)
                        out.Write(38, line.fields().elevation);
                      WriteVertices(line, out, &ids);
                      wrote_vertices = true;
                    }
                    return true;
                  case 20:
                  case 40:
                  case 41:
                  case 42:
                  case 91:
                    return true;
                  case 210:
                    out.Write(210, line.fields().normal[0]);
                    normal_written = true;
                    return true;
                  case 220:
                    out.Write(220, line.fields().normal[1]);
                    return true;
                  case 230:
                    out.Write(230, line.fields().normal[2]);
                    return true;
                  default:
                    return false;
                }
              });
    if (!normal_written && !IsUp(line.fields().normal)) out.Point(210, line.fields().normal);
  }

  void WriteNew(EntityCore& entity, TagOut& out) const override {
    if (out.r12()) throw DxfError("a LWPOLYLINE entity cannot be saved in the R12 (AC1009) format");
    auto& line = static_cast<MemLWPolyline&>(entity);
    out.Subclass("AcDbPolyline");
    out.Write(90, static_cast<int64_t>(line.fields().vertices.size()));
    out.Write(70, static_cast<int64_t>(line.fields().closed ? 1 : 0));
    if (line.fields().constant_width != 0) out.Write(43, line.fields().constant_width);
    if (line.fields().elevation != 0) out.Write(38, line.fields().elevation);
    WriteVertices(line, out);
    if (!IsUp(line.fields().normal)) out.Point(210, line.fields().normal);
  }

 private:
  // The vertex identifiers (91) the file gave, by vertex. The host never
  // changes the number of a polyline's vertices, so each stays with its
  // vertex when the vertices are written again.
  using VertexIds = std::vector<std::pair<size_t, std::string>>;
  static VertexIds VertexIdsOf(const RawTags& tags) {
    VertexIds ids;
    size_t vertices = 0;
    ForEachOwnTag(tags, [&](int16_t code, std::string_view value) {
      if (code == 10) ++vertices;
      if (code == 91 && vertices > 0) ids.emplace_back(vertices - 1, value);
    });
    return ids;
  }

  static void WriteVertices(const MemLWPolyline& line, TagOut& out,
                            const VertexIds* ids = nullptr) {
    auto id = ids != nullptr ? ids->begin() : VertexIds::const_iterator{};
    for (size_t i = 0; i < line.fields().vertices.size(); ++i) {
      const auto& v = line.fields().vertices[i];
      out.Write(10, v.x);
      out.Write(20, v.y);
      for (; ids != nullptr && id != ids->end() && id->first == i; ++id) out.Write(91, id->second);
      if (v.start_width != 0 || v.end_width != 0) {
        out.Write(40, v.start_width);
        out.Write(41, v.end_width);
      }
      if (v.bulge != 0) out.Write(42, v.bulge);
    }
  }
};

class PointCodec final : public EntityCodec {
 public:
  std::string_view type() const override { return "POINT"; }
  EntityCore* Make(MemDocument& doc) const override { return doc.NewEntity<MemPoint>(0); }

  void Load(EntityCore& entity, const RawTags& tags, const TextCodec&) const override {
    FirstPoint at(static_cast<MemPoint&>(entity).fields().position);
    ForEachOwnTag(tags, [&](int16_t code, std::string_view value) { at.Take(code, value); });
  }

  void Patch(EntityCore& entity, const RawTags& tags, uint64_t owner, TagOut& out) const override {
    PatchWithPoint(entity, tags, owner, out, static_cast<MemPoint&>(entity).fields().position);
  }

  void WriteNew(EntityCore& entity, TagOut& out) const override {
    out.Subclass("AcDbPoint");
    out.Point(10, static_cast<MemPoint&>(entity).fields().position);
  }
};

class MTextCodec final : public EntityCodec {
 public:
  std::string_view type() const override { return "MTEXT"; }
  EntityCore* Make(MemDocument& doc) const override { return doc.NewEntity<MemMText>(0); }

  void Load(EntityCore& entity, const RawTags& tags, const TextCodec& text) const override {
    auto& mtext = static_cast<MemMText&>(entity);
    // The text comes in pieces: 3 for all but the last, 1 for the last.
    std::string body, last;
    FirstPoint at(mtext.fields().insertion);
    ForEachOwnTag(tags, [&](int16_t code, std::string_view value) {
      if (at.Take(code, value)) return;
      if (code == 40) mtext.fields().height = ToDouble(value);
      if (code == 41) mtext.fields().width = ToDouble(value);
      if (code == 3) body += value;
      if (code == 1) last = value;
    });
    mtext.fields().text = DecodeText(text, body + last);
  }

  void Patch(EntityCore& entity, const RawTags& tags, uint64_t owner, TagOut& out) const override {
    const auto& mtext = static_cast<MemMText&>(entity);
    const Point3& p = mtext.fields().insertion;
    const double height = mtext.fields().height;
    PatchTags(entity, tags, owner, out, [&](int16_t code, std::string_view, bool first, bool) {
      if (PatchPoint(p, code, first, out)) return true;
      if (!first || code != 40) return false;
      out.Write(40, height);
      return true;
    });
  }

  void WriteNew(EntityCore& entity, TagOut& out) const override {
    if (out.r12()) throw DxfError("a MTEXT entity cannot be saved in the R12 (AC1009) format");
    const auto& m = static_cast<MemMText&>(entity);
    out.Subclass("AcDbMText");
    out.Point(10, m.fields().insertion);
    out.Write(40, m.fields().height);
    out.Write(41, m.fields().width);
    out.Write(71, int64_t{1});
    out.Write(72, int64_t{5});
    const std::string text = out.Enc(m.fields().text);
    // Long texts go in pieces of 250 bytes, the last under code 1, never
    // splitting a UTF-8 character.
    size_t at = 0;
    while (text.size() - at > 250) {
      size_t n = 250;
      while (n > 0 && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80) --n;
      out.Write(3, std::string_view(text).substr(at, n));
      at += n;
    }
    out.Write(1, std::string_view(text).substr(at));
  }
};

class AttributeDefinitionCodec final : public EntityCodec {
 public:
  std::string_view type() const override { return "ATTDEF"; }
  EntityCore* Make(MemDocument& doc) const override {
    return doc.NewEntity<MemAttributeDefinition>(0);
  }

  void Load(EntityCore& entity, const RawTags& tags, const TextCodec& text) const override {
    auto& definition = static_cast<MemAttributeDefinition&>(entity);
    FirstPoint at(definition.fields().insertion);
    ForEachOwnTag(tags, [&](int16_t code, std::string_view value) {
      if (at.Take(code, value)) return;
      if (code == 1) definition.fields().value = DecodeText(text, value);
      if (code == 2) definition.set_tag(DecodeText(text, value));
      if (code == 3) definition.set_prompt(DecodeText(text, value));
      if (code == 40) definition.fields().height = ToDouble(value);
      if (code == 70) definition.fields().mode = static_cast<int32_t>(ToInt(value));
    });
  }

  void Patch(EntityCore& entity, const RawTags& tags, uint64_t owner, TagOut& out) const override {
    PatchWithPoint(entity, tags, owner, out,
                   static_cast<MemAttributeDefinition&>(entity).fields().insertion);
  }

  void WriteNew(EntityCore& entity, TagOut& out) const override {
    const auto& a = static_cast<MemAttributeDefinition&>(entity);
    out.Subclass("AcDbText");
    out.Point(10, a.fields().insertion);
    out.Write(40, a.fields().height);
    out.Write(1, out.Enc(a.fields().value));
    out.Subclass("AcDbAttributeDefinition");
    if (!out.r12()) out.Write(280, int64_t{0});
    out.Write(3, out.Enc(a.prompt()));
    out.Write(2, out.Enc(a.tag()));
    out.Write(70, static_cast<int64_t>(a.fields().mode));
  }
};

class AttributeCodec final : public EntityCodec {
 public:
  std::string_view type() const override { return "ATTRIB"; }
  EntityCore* Make(MemDocument& doc) const override { return doc.NewEntity<MemAttribute>(0); }

  void Load(EntityCore& entity, const RawTags& tags, const TextCodec& text) const override {
    auto& attribute = static_cast<MemAttribute&>(entity);
    FirstPoint at(attribute.fields().insertion);
    ForEachOwnTag(tags, [&](int16_t code, std::string_view value) {
      if (at.Take(code, value)) return;
      if (code == 1) attribute.fields().value = DecodeText(text, value);
      if (code == 2) attribute.set_tag(DecodeText(text, value));
      if (code == 40) attribute.fields().height = ToDouble(value);
    });
  }

  void Patch(EntityCore& entity, const RawTags& tags, uint64_t owner, TagOut& out) const override {
    PatchWithPoint(entity, tags, owner, out, static_cast<MemAttribute&>(entity).fields().insertion);
  }

  void WriteNew(EntityCore& entity, TagOut& out) const override {
    const auto& a = static_cast<MemAttribute&>(entity);
    out.Subclass("AcDbText");
    out.Point(10, a.fields().insertion);
    out.Write(40, a.fields().height);
    out.Write(1, out.Enc(a.fields().value));
    out.Subclass("AcDbAttribute");
    if (!out.r12()) out.Write(280, int64_t{0});
    out.Write(2, out.Enc(a.tag()));
    out.Write(70, int64_t{0});
  }
};

class BlockReferenceCodec final : public EntityCodec {
 public:
  std::string_view type() const override { return "INSERT"; }
  EntityCore* Make(MemDocument& doc) const override { return doc.NewEntity<MemBlockReference>(0); }

  void Load(EntityCore& entity, const RawTags& tags, const TextCodec& text) const override {
    auto& reference = static_cast<MemBlockReference&>(entity);
    FirstPoint at(reference.fields().insertion);
    ForEachOwnTag(tags, [&](int16_t code, std::string_view value) {
      if (at.Take(code, value)) return;
      switch (code) {
        case 2:
          reference.set_block_name(DecodeText(text, Trim(value)));
          break;
        case 41:
          reference.fields().scale[0] = ToDouble(value);
          break;
        case 42:
          reference.fields().scale[1] = ToDouble(value);
          break;
        case 43:
          reference.fields().scale[2] = ToDouble(value);
          break;
        case 50:
          reference.fields().rotation = ToDouble(value) / kDegrees;
          break;
        default:
          break;
      }
    });
  }

  void Patch(EntityCore& entity, const RawTags& tags, uint64_t owner, TagOut& out) const override {
    PatchWithPoint(entity, tags, owner, out,
                   static_cast<MemBlockReference&>(entity).fields().insertion);
  }

  void WriteNew(EntityCore& entity, TagOut& out) const override {
    const auto& r = static_cast<MemBlockReference&>(entity);
    out.Subclass("AcDbBlockReference");
    if (!r.attributes.empty()) out.Write(66, int64_t{1});
    out.Write(2, out.Enc(r.block_name()));
    out.Point(10, r.fields().insertion);
    if (r.fields().scale[0] != 1) out.Write(41, r.fields().scale[0]);
    if (r.fields().scale[1] != 1) out.Write(42, r.fields().scale[1]);
    if (r.fields().scale[2] != 1) out.Write(43, r.fields().scale[2]);
    if (r.fields().rotation != 0) out.Write(50, r.fields().rotation * kDegrees);
  }

  // The attributes, then the end of their sequence: as the file held it
  // (its owner anew once the reference changed), or made here.
  void WriteFollowing(EntityCore& entity, const RawTags* sequence_end, TagOut& out) const override {
    auto& ref = static_cast<MemBlockReference&>(entity);
    // A sequence the file held is written back even when it holds no
    // attributes: the reference says one follows.
    if (ref.attributes.empty() && sequence_end == nullptr) return;
    for (MemAttribute* a : ref.attributes) out.write_entity(*a, ref.handle());
    out.Write(0, "SEQEND");
    if (sequence_end != nullptr) {
      for (const auto [code, value] : *sequence_end) {
        if (code == 330 && ref.dirty()) {
          out.Write(330, Hex(ref.handle()));
        } else {
          out.Write(code, value);
        }
      }
      return;
    }
    if (out.has_handles()) out.Write(5, Hex(out.new_handle()));
    if (!out.r12()) out.Write(330, Hex(ref.handle()));
    out.Subclass("AcDbEntity");
    out.Write(8, LayerName(ref, out));
  }
};

// An entity of a kind the host does not model: it keeps its tags, and only
// what every entity has is patched in.
class KeptCodec final : public EntityCodec {
 public:
  std::string_view type() const override { return {}; }
  EntityCore* Make(MemDocument&) const override { return nullptr; }
  void Load(EntityCore&, const RawTags&, const TextCodec&) const override {}
  void Patch(EntityCore& entity, const RawTags& tags, uint64_t owner, TagOut& out) const override {
    PatchTags(entity, tags, owner, out,
              [](int16_t, std::string_view, bool, bool) { return false; });
  }
  void WriteNew(EntityCore& entity, TagOut&) const override {
    throw DxfError(std::string("an entity of type ") + entity.TypeName() +
                   " was made without its file tags and cannot be written");
  }
};

const PolylineCodec kPolyline;
const PointCodec kPoint;
const MTextCodec kMText;
const AttributeDefinitionCodec kAttributeDefinition;
const AttributeCodec kAttribute;
const BlockReferenceCodec kBlockReference;
const KeptCodec kKept;

// The kinds the host models, by type name.
const std::array<const EntityCodec*, 6> kCodecs = {
    &kPolyline, &kPoint, &kMText, &kAttributeDefinition, &kAttribute, &kBlockReference,
};

}  // namespace

const EntityCodec* CodecOf(std::string_view type) {
  for (const EntityCodec* codec : kCodecs) {
    if (codec->type() == type) return codec;
  }
  return nullptr;
}

const EntityCodec& CodecOf(const EntityCore& entity) {
  const EntityCodec* codec = CodecOf(entity.TypeName());
  return codec != nullptr ? *codec : kKept;
}

}  // namespace palvane::dxf
