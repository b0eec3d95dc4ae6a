#include <algorithm>
#include <array>
#include <set>

#include "dxf/entity_codec.h"
#include "dxf/row_codec.h"
#include "dxf/text.h"
#include "dxf/values.h"

namespace palvane::dxf {

using host::Point3;
using host::memory::AttributeDefinitionFields;
using host::memory::AttributeFields;
using host::memory::BlockReferenceFields;
using host::memory::EntityFields;
using host::memory::EntityKind;
using host::memory::EntityState;
using host::memory::LineFields;
using host::memory::MTextFields;
using host::memory::PointFields;
using host::memory::PolylineFields;
using host::memory::TextFields;

std::string LayerName(const EntityState& entity, const TagOut& out) {
  return out.Enc(entity.layer != nullptr ? *entity.layer : "0");
}

namespace {

// ---------------------------------------------------------------------------
// The kinds

class PolylineCodec final : public RowCodec<PolylineFields> {
  // The vertex list's codes: the codec reads and writes them itself.
  static constexpr int16_t kCount = 90, kX = 10, kY = 20, kStartWidth = 40, kEndWidth = 41,
                           kBulge = 42, kVertexId = 91, kElevation = 38;

 public:
  PolylineCodec()
      : RowCodec(
            "LWPOLYLINE", EntityKind::kPolyline,
            FieldRows<PolylineFields>({
                After("AcDbPolyline", OwnField<PolylineFields>(kCount)),
                BitField(70, &PolylineFields::closed, kPatched),
                NumberField(43, &PolylineFields::constant_width, kNonDefault),
                NumberField(kElevation, &PolylineFields::elevation, kPatched | kNonDefault),
                NumberField(39, &PolylineFields::thickness, kNonDefault),
                OwnField<PolylineFields>(kX),
                PointField(210, &PolylineFields::normal, kPatched | kNonDefault | kAddWhenMissing),
            })) {}

 protected:
  void LoadOwn(PolylineFields& f, int16_t code, std::string_view value) const override {
    auto& v = f.vertices;
    switch (code) {
      case kCount:
        v.reserve(static_cast<size_t>(std::clamp<int64_t>(ToInt(value), 0, 1 << 20)));
        break;
      case kX:
        v.push_back({ToDouble(value)});
        break;
      case kY:
        if (!v.empty()) v.back().y = ToDouble(value);
        break;
      case kStartWidth:
        if (!v.empty()) v.back().start_width = ToDouble(value);
        break;
      case kEndWidth:
        if (!v.empty()) v.back().end_width = ToDouble(value);
        break;
      case kBulge:
        if (!v.empty()) v.back().bulge = ToDouble(value);
        break;
      default:
        break;
    }
  }

  void WriteOwn(const EntityState&, const EntityFields&, const PolylineFields& f, int16_t code,
                TagOut& out) const override {
    if (code == kCount) out.Write(kCount, static_cast<int64_t>(f.vertices.size()));
    if (code == kX) WriteVertices(f, out);
  }

  void CheckWritable(const TagOut& out) const override { RefuseR12(out, type()); }

 public:
  void Patch(const EntityState& state, const EntityFields& entity, const RawTags& tags,
             uint64_t owner, TagOut& out) const override {
    const PolylineFields& f = entity.Of<PolylineFields>();
    const VertexIds ids = VertexIdsOf(tags);
    bool wrote_vertices = false;
    FieldsSeen written = 0;
    PatchTags(state, tags, owner, out,
              [&](int16_t code, std::string_view value, bool first, bool embedded) {
                if (embedded) return false;
                switch (code) {
                  case kCount:
                    out.Write(kCount, static_cast<int64_t>(f.vertices.size()));
                    return true;
                  case kX:
                    // The vertices go where the first stood, their other tags
                    // with them, after the elevation when the file had none.
                    if (!wrote_vertices) {
                      if (!rows().Seen(written, kElevation) && !SameNumber(f.elevation, 0)) {
                        out.Write(kElevation, f.elevation);
                      }
                      WriteVertices(f, out, &ids);
                      wrote_vertices = true;
                    }
                    return true;
                  case kY:
                  case kStartWidth:
                  case kEndWidth:
                  case kBulge:
                  case kVertexId:
                    return true;
                  default:
                    return first && rows().Patch(f, &entity, code, value, out, written);
                }
              });
    rows().PatchMissing(f, &entity, out, written);
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
      if (code == kX) ++vertices;
      if (code == kVertexId && vertices > 0) ids.emplace_back(vertices - 1, value);
    });
    return ids;
  }

  static void WriteVertices(const PolylineFields& f, TagOut& out, const VertexIds* ids = nullptr) {
    auto id = ids != nullptr ? ids->begin() : VertexIds::const_iterator{};
    for (size_t i = 0; i < f.vertices.size(); ++i) {
      const auto& v = f.vertices[i];
      out.Write(kX, v.x);
      out.Write(kY, v.y);
      for (; ids != nullptr && id != ids->end() && id->first == i; ++id) {
        out.Write(kVertexId, id->second);
      }
      if (!SameNumber(v.start_width, 0) || !SameNumber(v.end_width, 0)) {
        out.Write(kStartWidth, v.start_width);
        out.Write(kEndWidth, v.end_width);
      }
      if (!SameNumber(v.bulge, 0)) out.Write(kBulge, v.bulge);
    }
  }
};

class PointCodec final : public RowCodec<PointFields> {
 public:
  PointCodec()
      : RowCodec("POINT", EntityKind::kPoint,
                 FieldRows<PointFields>({
                     After("AcDbPoint", PointField(10, &PointFields::position, kPatched)),
                 })) {}
};

class LineCodec final : public RowCodec<LineFields> {
 public:
  LineCodec()
      : RowCodec("LINE", EntityKind::kLine,
                 FieldRows<LineFields>({
                     After("AcDbLine", PointField(10, &LineFields::start, kPatched)),
                     PointField(11, &LineFields::end, kPatched),
                 })) {}
};

class MTextCodec final : public RowCodec<MTextFields> {
  // The text comes in pieces: `kPiece` for all but the last, `kLast` for
  // the last.
  static constexpr int16_t kPiece = 3, kLast = 1;
  static constexpr size_t kPieceBytes = 250;

 public:
  MTextCodec()
      : RowCodec("MTEXT", EntityKind::kMText,
                 FieldRows<MTextFields>({
                     After("AcDbMText", PointField(10, &MTextFields::insertion, kPatched)),
                     NumberField(40, &MTextFields::height, kPatched),
                     NumberField(41, &MTextFields::width),
                     IntegerConstant<MTextFields>(71, 1),  // attached at the top left
                     IntegerConstant<MTextFields>(72, 5),  // by style
                     OwnField<MTextFields>(kLast),
                 })) {}

  void Load(const EntityFields& entity, const RawTags& tags, const TextCodec& text) const override {
    MTextFields& f = entity.Of<MTextFields>();
    // Pieces are joined raw, since a character may straddle two of them,
    // and decoded once.
    std::string body, last;
    FieldsSeen seen = 0;
    ForEachOwnTag(tags, [&](int16_t code, std::string_view value) {
      if (rows().Load(f, &entity, code, value, text, seen)) return;
      if (code == kPiece) body += value;
      if (code == kLast) last = value;
    });
    f.text = DecodeText(text, body + last);
  }

 protected:
  void WriteOwn(const EntityState&, const EntityFields&, const MTextFields& f, int16_t,
                TagOut& out) const override {
    const std::string text = out.Enc(f.text);
    // Long texts go in pieces, never splitting a UTF-8 character.
    size_t at = 0;
    while (text.size() - at > kPieceBytes) {
      size_t n = kPieceBytes;
      while (n > 0 && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80) --n;
      out.Write(kPiece, std::string_view(text).substr(at, n));
      at += n;
    }
    out.Write(kLast, std::string_view(text).substr(at));
  }

  void CheckWritable(const TagOut& out) const override { RefuseR12(out, type()); }
};

// Single-line text. Its fields lie in two subclasses of one name: the
// vertical alignment comes after the second marker.
class SingleLineTextCodec final : public RowCodec<TextFields> {
  using F = TextFields;

 public:
  SingleLineTextCodec()
      : RowCodec("TEXT", EntityKind::kText,
                 FieldRows<F>({
                     After("AcDbText", PointField(10, &F::insertion, kPatched)),
                     NumberField(40, &F::height),
                     TextField(1, &F::text),
                     NumberField(50, &F::rotation, kNonDefault, kDegrees),
                     IntegerField(72, &F::horizontal, kNonDefault),
                     PointField(11, &F::alignment_point, kPatched | kNonDefault),
                     PointField(210, &F::normal, kNonDefault),
                     After("AcDbText", IntegerField(73, &F::vertical, kNonDefault)),
                 })) {}
};

const SharedText kTag{[](const EntityFields& e) -> const std::string& { return e.tag(); },
                      [](const EntityFields& e, std::string_view t) { e.set_tag(t); }};
const SharedText kPrompt{[](const EntityFields& e) -> const std::string& { return e.prompt(); },
                         [](const EntityFields& e, std::string_view t) { e.set_prompt(t); }};
const SharedText kBlockName{
    [](const EntityFields& e) -> const std::string& { return e.block_name(); },
    [](const EntityFields& e, std::string_view t) { e.set_block_name(std::string(t)); }};

class AttributeDefinitionCodec final : public RowCodec<AttributeDefinitionFields> {
  using F = AttributeDefinitionFields;

 public:
  AttributeDefinitionCodec()
      : RowCodec("ATTDEF", EntityKind::kAttributeDefinition,
                 FieldRows<F>({
                     After("AcDbText", PointField(10, &F::insertion, kPatched)),
                     NumberField(40, &F::height),
                     TextField(1, &F::value),
                     After("AcDbAttributeDefinition", IntegerConstant<F>(280, 0, kNotInR12)),
                     SharedField<F>(3, kPrompt),
                     SharedField<F>(2, kTag),
                     IntegerField(70, &F::mode),
                 })) {}
};

class AttributeCodec final : public RowCodec<AttributeFields> {
  using F = AttributeFields;

 public:
  AttributeCodec()
      : RowCodec("ATTRIB", EntityKind::kAttribute,
                 FieldRows<F>({
                     After("AcDbText", PointField(10, &F::insertion, kPatched)),
                     NumberField(40, &F::height),
                     TextField(1, &F::value),
                     After("AcDbAttribute", IntegerConstant<F>(280, 0, kNotInR12)),
                     SharedField<F>(2, kTag),
                     IntegerConstant<F>(70, 0),
                 })) {}
};

class BlockReferenceCodec final : public RowCodec<BlockReferenceFields> {
  using F = BlockReferenceFields;

 public:
  BlockReferenceCodec()
      : RowCodec("INSERT", EntityKind::kBlockReference,
                 FieldRows<F>({
                     After("AcDbBlockReference", OwnField<F>(group::kAttributesFollow)),
                     SharedField<F>(2, kBlockName, kTrimmed),
                     PointField(10, &F::insertion, kPatched),
                     AxisField(41, &F::scale, 0, kNonDefault),
                     AxisField(42, &F::scale, 1, kNonDefault),
                     AxisField(43, &F::scale, 2, kNonDefault),
                     NumberField(50, &F::rotation, kNonDefault, kDegrees),
                 })) {}

  // The attributes, then the end of their sequence: as the file held it
  // (its owner anew once the reference changed), or made here.
  void WriteFollowing(const EntityState& state, const EntityFields& entity,
                      const Following& following, EntityOut& out) const override {
    const RawTags* sequence_end = following.sequence_end;
    const size_t attributes = entity.attribute_count();
    // A sequence the file held is written back even when it holds no
    // attributes: the reference says one follows.
    if (attributes == 0 && sequence_end == nullptr) return;
    for (size_t i = 0; i < attributes; ++i) out.write_entity(entity.attribute(i), state.handle);
    out.out.Write(group::kType, "SEQEND");
    if (sequence_end != nullptr) {
      for (const auto [code, value] : *sequence_end) {
        if (code == group::kOwner && state.dirty) {
          out.out.Write(group::kOwner, Hex(state.handle));
        } else {
          out.out.Write(code, value);
        }
      }
      return;
    }
    WriteNewSequenceEndBody(state, out);
  }

 protected:
  void WriteOwn(const EntityState&, const EntityFields& entity, const F&, int16_t code,
                TagOut& out) const override {
    if (entity.attribute_count() > 0) out.Write(code, int64_t{1});
  }
};

// An entity of a kind the host does not model: it keeps its tags, and only
// what every entity has is patched in.
class KeptCodec final : public EntityCodec {
 public:
  std::string_view type() const override { return {}; }
  EntityKind kind() const override { return EntityKind::kOther; }
  void Load(const EntityFields&, const RawTags&, const TextCodec&) const override {}
  void Patch(const EntityState& state, const EntityFields&, const RawTags& tags, uint64_t owner,
             TagOut& out) const override {
    PatchTags(state, tags, owner, out, [](int16_t, std::string_view, bool, bool) { return false; });
  }
  void WriteNew(const EntityState& state, const EntityFields&, TagOut&) const override {
    throw DxfError(std::string("an entity of type ") + state.type +
                   " was made without its file tags and cannot be written");
  }
  // A polyline of a form the host does not model keeps its vertices too.
  void WriteFollowing(const EntityState& state, const EntityFields&, const Following& following,
                      EntityOut& out) const override {
    if (following.vertices != nullptr) {
      WriteVertexRun(state, *following.vertices, following.sequence_end, nullptr, out);
    }
  }
};

const PolylineCodec kPolyline;
const PointCodec kPoint;
const LineCodec kLine;
const MTextCodec kMText;
const SingleLineTextCodec kText;
const AttributeDefinitionCodec kAttributeDefinition;
const AttributeCodec kAttribute;
const BlockReferenceCodec kBlockReference;
const KeptCodec kKept;

// The kinds the host models, by type name.
const std::array<const EntityCodec*, 10> kCodecs = {
    &kPolyline,           &kPoint,          &kLine, &Polyline3DCodecOf(),
    &Polyline2DCodecOf(), &kMText,          &kText, &kAttributeDefinition,
    &kAttribute,          &kBlockReference,
};

}  // namespace

const EntityCodec* CodecOf(std::string_view type) {
  for (const EntityCodec* codec : kCodecs) {
    if (codec->type() == type) return codec;
  }
  return nullptr;
}

const EntityCodec& CodecOf(const EntityState& entity) {
  if (entity.kind == EntityKind::kOther) return kKept;
  for (const EntityCodec* codec : kCodecs) {
    if (codec->kind() == entity.kind) return *codec;
  }
  return kKept;
}

}  // namespace palvane::dxf
