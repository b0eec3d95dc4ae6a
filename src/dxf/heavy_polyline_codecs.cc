#include <vector>

#include "dxf/entity_codec.h"
#include "dxf/row_codec.h"
#include "dxf/values.h"

namespace palvane::dxf {

using host::Point3;
using host::memory::Polyline2DFields;
using host::memory::Polyline3DFields;

namespace {

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

}  // namespace

void WriteVertexRun(const EntityState& state, const VertexRun& run, const RawTags* sequence_end,
                    const std::vector<Point3>* points, EntityOut& out, int axes) {
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

namespace {

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

const Polyline3DCodec kPolyline3D;
const Polyline2DCodec kPolyline2D;

}  // namespace

const EntityCodec& Polyline3DCodecOf() { return kPolyline3D; }
const EntityCodec& Polyline2DCodecOf() { return kPolyline2D; }

}  // namespace palvane::dxf
