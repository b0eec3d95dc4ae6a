#include <algorithm>
#include <array>
#include <set>

#include "dxf/entity_codec.h"
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
using host::memory::Polyline2DFields;
using host::memory::Polyline3DFields;
using host::memory::PolylineFields;
using host::memory::TextFields;

std::string LayerName(const EntityState& entity, const TagOut& out) {
  return out.Enc(entity.layer != nullptr ? *entity.layer : "0");
}

namespace {

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

bool HasCode(const RawTags& tags, int code) {
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
void RefuseR12(const TagOut& out, std::string_view type) {
  if (out.r12()) {
    throw DxfError("a " + std::string(type) + " entity cannot be saved in the R12 (AC1009) format");
  }
}

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

// ---------------------------------------------------------------------------
// Polylines of the older, heavy form: the POLYLINE entity, a VERTEX entity
// per vertex, and SEQEND. The host models those in space (3D polylines) and
// those in a plane (2D polylines); meshes are kept as the file held them.

constexpr int16_t kPolylineFlags = 70;
constexpr int64_t kClosedFlag = 1, k3DPolylineFlag = 8;
constexpr int64_t kSplineFrameVertex = 16, k3DPolylineVertex = 32;

// Calls `f(index)` at each "0 VERTEX" of a run, with the index among the
// vertices the polyline passes through (spline frame points have none, -1),
// then `tag(code, value, index)` for each of the vertex's tags.
template <class OnVertex, class OnTag>
void ForEachVertex(const RawTags& run, OnVertex&& on_vertex, OnTag&& on_tag) {
  // A vertex's flags may follow its coordinates: a first pass finds which
  // vertices are spline frame points. (A tag's value lives only while the
  // iterator stands on it: a binary file's numbers are made text there.)
  std::vector<bool> frame;
  bool flags_seen = false;
  for (const auto [code, value] : run) {
    if (code == group::kType) {
      frame.push_back(false);
      flags_seen = false;
    } else if (code == kPolylineFlags && !flags_seen && !frame.empty()) {
      frame.back() = (ToInt(value) & kSplineFrameVertex) != 0;
      flags_seen = true;
    }
  }
  size_t vertex = 0;
  int64_t index = 0, at = -1;
  for (const auto [code, value] : run) {
    if (code == group::kType) {
      at = frame[vertex++] ? -1 : index++;
      on_vertex(at);
    }
    on_tag(code, value, at);
  }
}

// The end of a sequence made here, after its "0 SEQEND".
void WriteNewSequenceEndBody(const EntityState& state, EntityOut& out) {
  if (out.out.has_handles()) out.out.Write(group::kHandle, Hex(out.new_handle()));
  if (!out.out.r12()) out.out.Write(group::kOwner, Hex(state.handle));
  out.out.Subclass("AcDbEntity");
  out.out.Write(group::kLayer, LayerName(state, out.out));
}

// Writes the vertices and their sequence end as the file held them; for a
// changed polyline with each vertex's owner and layer anew and, when
// `points` is given, the first `axes` of its point from the model (X and Y
// of a polyline in a plane, whose vertices' Z means nothing); for a copy
// with handles anew.
void WriteVertexRun(const EntityState& state, const VertexRun& run, const RawTags* sequence_end,
                    const std::vector<Point3>* points, EntityOut& out, int axes = 3) {
  TagOut& o = out.out;
  const bool patch = state.dirty || state.layer_renamed || run.copied;
  auto write = [&](int16_t code, std::string_view value) {
    if (!patch) {
      o.Write(code, value);
    } else if (code == group::kHandle && run.copied) {
      o.Write(group::kHandle, Hex(out.new_handle()));
    } else if (code == group::kOwner) {
      o.Write(group::kOwner, Hex(state.handle));
    } else if (code == group::kLayer) {
      o.Write(group::kLayer, LayerName(state, o));
    } else {
      o.Write(code, value);
    }
  };
  ForEachVertex(
      run.tags, [](int64_t) {},
      [&](int16_t code, std::string_view value, int64_t at) {
        const bool moved =
            points != nullptr && state.dirty && at >= 0 && static_cast<size_t>(at) < points->size();
        if (moved && code >= 10 && code <= axes * 10 && code % 10 == 0) {
          o.Write(code, (*points)[static_cast<size_t>(at)][static_cast<size_t>(code / 10 - 1)]);
        } else {
          write(code, value);
        }
      });
  o.Write(group::kType, "SEQEND");
  if (sequence_end != nullptr) {
    for (const auto [code, value] : *sequence_end) write(code, value);
  } else {
    WriteNewSequenceEndBody(state, out);  // a copy's: the original's stays with it
  }
}

class Polyline3DCodec final : public RowCodec<Polyline3DFields> {
 public:
  Polyline3DCodec()
      : RowCodec("POLYLINE", EntityKind::kPolyline3D,
                 FieldRows<Polyline3DFields>({
                     After("AcDb3dPolyline", IntegerConstant<Polyline3DFields>(66, 1)),
                     RealConstant<Polyline3DFields>(10, kZero),
                     RealConstant<Polyline3DFields>(20, kZero),
                     RealConstant<Polyline3DFields>(30, kZero),
                     OwnField<Polyline3DFields>(kPolylineFlags),
                 })) {}

  void LoadVertices(const EntityFields& entity, const RawTags& run) const override {
    std::vector<Point3>& v = entity.Of<Polyline3DFields>().vertices;
    ForEachVertex(
        run,
        [&](int64_t at) {
          if (at >= 0) v.push_back({0, 0, 0});
        },
        [&](int16_t code, std::string_view value, int64_t at) {
          if (at < 0 || !(code >= 10 && code <= 30 && code % 10 == 0)) return;
          v.back()[static_cast<size_t>(code / 10 - 1)] = ToDouble(value);
        });
  }

  void WriteFollowing(const EntityState& state, const EntityFields& entity,
                      const Following& following, EntityOut& out) const override {
    const Polyline3DFields& f = entity.Of<Polyline3DFields>();
    if (following.vertices != nullptr) {
      WriteVertexRun(state, *following.vertices, following.sequence_end, &f.vertices, out);
      return;
    }
    TagOut& o = out.out;
    for (const Point3& p : f.vertices) {
      o.Write(group::kType, "VERTEX");
      if (o.has_handles()) o.Write(group::kHandle, Hex(out.new_handle()));
      if (!o.r12()) o.Write(group::kOwner, Hex(state.handle));
      o.Subclass("AcDbEntity");
      o.Write(group::kLayer, LayerName(state, o));
      o.Subclass("AcDbVertex");
      o.Subclass("AcDb3dPolylineVertex");
      o.Point(10, p);
      o.Write(kPolylineFlags, k3DPolylineVertex);
    }
    out.out.Write(group::kType, "SEQEND");
    WriteNewSequenceEndBody(state, out);
  }

 protected:
  void LoadOwn(Polyline3DFields& f, int16_t code, std::string_view value) const override {
    if (code == kPolylineFlags) f.closed = (ToInt(value) & kClosedFlag) != 0;
  }
  void WriteOwn(const EntityState&, const EntityFields&, const Polyline3DFields& f, int16_t code,
                TagOut& out) const override {
    if (code == kPolylineFlags) {
      out.Write(kPolylineFlags, k3DPolylineFlag | (f.closed ? kClosedFlag : 0));
    }
  }

 private:
  static constexpr double kZero = 0;
};

class Polyline2DCodec final : public RowCodec<Polyline2DFields> {
  static constexpr int16_t kElevation = 30, kStartWidth = 40, kEndWidth = 41, kBulge = 42;

 public:
  Polyline2DCodec()
      : RowCodec(
            "POLYLINE", EntityKind::kPolyline2D,
            FieldRows<Polyline2DFields>({
                After("AcDb2dPolyline", IntegerConstant<Polyline2DFields>(66, 1)),
                RealConstant<Polyline2DFields>(10, kZero),
                RealConstant<Polyline2DFields>(20, kZero),
                NumberField<Polyline2DFields>(kElevation, &Polyline2DFields::elevation, kPatched),
                NumberField<Polyline2DFields>(39, &Polyline2DFields::thickness, kNonDefault),
                OwnField<Polyline2DFields>(kPolylineFlags),
                PointField<Polyline2DFields>(210, &Polyline2DFields::normal,
                                             kPatched | kNonDefault),
            })) {}

  // The vertices it passes through, with their bulges and widths; a spline
  // frame's control points are not among them.
  void LoadVertices(const EntityFields& entity, const RawTags& run) const override {
    auto& v = entity.Of<Polyline2DFields>().vertices;
    ForEachVertex(
        run,
        [&](int64_t at) {
          if (at >= 0) v.push_back({});
        },
        [&](int16_t code, std::string_view value, int64_t at) {
          if (at < 0) return;
          switch (code) {
            case 10:
              v.back().x = ToDouble(value);
              break;
            case 20:
              v.back().y = ToDouble(value);
              break;
            case kStartWidth:
              v.back().start_width = ToDouble(value);
              break;
            case kEndWidth:
              v.back().end_width = ToDouble(value);
              break;
            case kBulge:
              v.back().bulge = ToDouble(value);
              break;
            default:
              break;
          }
        });
  }

  void WriteFollowing(const EntityState& state, const EntityFields& entity,
                      const Following& following, EntityOut& out) const override {
    const Polyline2DFields& f = entity.Of<Polyline2DFields>();
    if (following.vertices != nullptr) {
      std::vector<Point3> points;
      points.reserve(f.vertices.size());
      for (const auto& v : f.vertices) points.push_back({v.x, v.y, 0});
      WriteVertexRun(state, *following.vertices, following.sequence_end, &points, out, 2);
      return;
    }
    TagOut& o = out.out;
    for (const auto& v : f.vertices) {
      o.Write(group::kType, "VERTEX");
      if (o.has_handles()) o.Write(group::kHandle, Hex(out.new_handle()));
      if (!o.r12()) o.Write(group::kOwner, Hex(state.handle));
      o.Subclass("AcDbEntity");
      o.Write(group::kLayer, LayerName(state, o));
      o.Subclass("AcDbVertex");
      o.Subclass("AcDb2dVertex");
      o.Point(10, {v.x, v.y, 0});
      if (!SameNumber(v.start_width, 0) || !SameNumber(v.end_width, 0)) {
        o.Write(kStartWidth, v.start_width);
        o.Write(kEndWidth, v.end_width);
      }
      if (!SameNumber(v.bulge, 0)) o.Write(kBulge, v.bulge);
      o.Write(kPolylineFlags, int64_t{0});
    }
    out.out.Write(group::kType, "SEQEND");
    WriteNewSequenceEndBody(state, out);
  }

 protected:
  void LoadOwn(Polyline2DFields& f, int16_t code, std::string_view value) const override {
    if (code == kPolylineFlags) {
      f.flags = ToInt(value);
      f.closed = (f.flags & kClosedFlag) != 0;
    }
  }
  void WriteOwn(const EntityState&, const EntityFields&, const Polyline2DFields& f, int16_t code,
                TagOut& out) const override {
    if (code == kPolylineFlags) {
      out.Write(kPolylineFlags, (f.flags & ~kClosedFlag) | (f.closed ? kClosedFlag : 0));
    }
  }

 private:
  static constexpr double kZero = 0;
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
const Polyline3DCodec kPolyline3D;
const Polyline2DCodec kPolyline2D;
const MTextCodec kMText;
const SingleLineTextCodec kText;
const AttributeDefinitionCodec kAttributeDefinition;
const AttributeCodec kAttribute;
const BlockReferenceCodec kBlockReference;
const KeptCodec kKept;

// The kinds the host models, by type name.
const std::array<const EntityCodec*, 10> kCodecs = {
    &kPolyline,   &kPoint,          &kLine, &kPolyline3D,
    &kPolyline2D, &kMText,          &kText, &kAttributeDefinition,
    &kAttribute,  &kBlockReference,
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
