#pragma once

// What the in-memory host keeps of a drawing's objects, as plain data: the
// fields of each entity kind, of layers and coordinate systems, extended
// data and the view. The host's classes hold these; the file layer reads
// them from a file and writes them back, reaching an entity's through
// EntityFields.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace palvane::host::memory {

class EntityCore;

// One item of extended data: its group code and value.
struct XDataItem {
  int16_t code;
  Variant value;
  friend bool operator==(const XDataItem&, const XDataItem&) = default;
};

struct LWVertex {
  double x = 0, y = 0, bulge = 0, start_width = 0, end_width = 0;
};

struct PolylineFields {
  std::vector<LWVertex> vertices;
  bool closed = false;
  double elevation = 0.0;
  double constant_width = 0.0;
  double thickness = 0.0;
  Point3 normal{0, 0, 1};
};

// The heavy form's polyline in a plane: the same fields, and its flags
// (curve fitting, linetype generation), which are kept as the file gave them.
struct Polyline2DFields : PolylineFields {
  int64_t flags = 0;
};

struct PointFields {
  Point3 position{0, 0, 0};
};

struct LineFields {
  Point3 start{0, 0, 0}, end{0, 0, 0};
};

// A polyline in space; its vertices are entities of their own in a file,
// which the file layer keeps beside the polyline.
struct Polyline3DFields {
  std::vector<Point3> vertices;
  bool closed = false;
};

struct MTextFields {
  Point3 insertion{0, 0, 0};
  double width = 0.0;
  double height = 2.5;
  std::string text;
};

// A single line of text: placed at `insertion` when left-aligned, else at
// `alignment_point`; the alignment in the file's two numbers. Its points are
// in its own coordinate system, that of `normal`, as the file holds them.
struct TextFields {
  Point3 insertion{0, 0, 0};
  double height = 2.5;
  std::string text;
  double rotation = 0.0;   // radians
  int32_t horizontal = 0;  // left, centre, right, aligned, middle, fit
  Point3 alignment_point{0, 0, 0};
  int32_t vertical = 0;  // baseline, bottom, middle, top
  Point3 normal{0, 0, 1};
};

// An attribute definition's tag and prompt are kept once per drawing
// (EntityFields::tag and prompt), beside these.
struct AttributeDefinitionFields {
  std::string value;  // the default value
  Point3 insertion{0, 0, 0};
  double height = 2.5;
  int32_t mode = 0;
};

// An attribute's tag is kept once per drawing, as a definition's.
struct AttributeFields {
  std::string value;
  Point3 insertion{0, 0, 0};
  double height = 2.5;
};

// A block reference's block name and attributes are kept beside these.
struct BlockReferenceFields {
  Point3 insertion{0, 0, 0};
  Point3 scale{1, 1, 1};
  double rotation = 0.0;  // radians
};

// A layer's name is kept beside these: the drawing indexes layers by name.
struct LayerFields {
  int32_t color = 7;
  bool frozen = false;
  bool on = true;
  bool locked = false;
};

struct UcsFields {
  Point3 origin{0, 0, 0}, x_axis{1, 0, 0}, y_axis{0, 1, 0};
};

// A block definition's name is kept beside these: the drawing indexes
// blocks by name.
struct BlockFields {
  Point3 origin{0, 0, 0};
};

// A block record's or a registered application's: beyond its name, the
// host keeps nothing.
struct NoFields {};

// What the document's view shows, as a test reads it back.
struct ViewState {
  Point3 direction{0, 0, 1};
  bool ucs_icon_on = true;
  bool ucs_icon_at_origin = true;
  Point3 center{0, 0, 0};
  double height = 10.0;
  int regen_count = 0;
  int zoom_extents_count = 0;
  int zoom_scaled_count = 0;
};

// The entity kinds the host models; kOther is an entity of any other type,
// kept as the file held it.
enum class EntityKind : uint8_t {
  kPolyline,
  kPoint,
  kLine,
  kPolyline3D,
  kPolyline2D,
  kMText,
  kText,
  kAttributeDefinition,
  kAttribute,
  kBlockReference,
  kOther,
};

// One entity's fields, by kind. Asking for another kind's fields is an
// invalid call. An entity read from a file has its fields read when they
// are first asked for.
class EntityFields {
 public:
  explicit EntityFields(EntityCore& entity) : entity_(entity) {}

  EntityKind kind() const;
  // The field struct of the entity's kind, such as PolylineFields.
  template <class Fields>
  Fields& Of() const;

  // Texts the drawing keeps once for all entities alike: an attribute
  // definition's tag and prompt, an attribute's tag.
  const std::string& tag() const;
  void set_tag(std::string_view tag) const;
  const std::string& prompt() const;
  void set_prompt(std::string_view prompt) const;
  // A block reference's block name, and its attributes.
  const std::string& block_name() const;
  void set_block_name(std::string name) const;
  size_t attribute_count() const;
  EntityCore& attribute(size_t index) const;

 private:
  EntityCore& entity_;
};

template <>
PolylineFields& EntityFields::Of<PolylineFields>() const;
template <>
PointFields& EntityFields::Of<PointFields>() const;
template <>
LineFields& EntityFields::Of<LineFields>() const;
template <>
Polyline3DFields& EntityFields::Of<Polyline3DFields>() const;
template <>
Polyline2DFields& EntityFields::Of<Polyline2DFields>() const;
template <>
MTextFields& EntityFields::Of<MTextFields>() const;
template <>
TextFields& EntityFields::Of<TextFields>() const;
template <>
AttributeDefinitionFields& EntityFields::Of<AttributeDefinitionFields>() const;
template <>
AttributeFields& EntityFields::Of<AttributeFields>() const;
template <>
BlockReferenceFields& EntityFields::Of<BlockReferenceFields>() const;

}  // namespace palvane::host::memory
