#pragma once

// The entity kinds the in-memory host models. Fields are public for the
// drawing file reader and writer; operations use the host interface.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/memory/document.h"

namespace palvane::host::memory {

// What every entity kind shares: the object and entity members of the host
// interface, implemented once over EntityCore.
template <class Interface>
class MemEntity : public Interface, public EntityCore {
 public:
  MemEntity(MemDocument* doc, uint64_t handle) : EntityCore(doc, handle) {}

  // Entities live in their drawing's arena: a reference to one keeps the
  // drawing alive.
  std::shared_ptr<Entity> Self() override;
  Entity* AsEntity() override { return this; }
  virtual const char* Kind() const = 0;

  std::string Handle() override;
  std::string ObjectName() override;
  Ref<host::Document> Document() override;
  XData GetXData(const std::string& app_name) override;
  void SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) override;
  std::string Layer() override;
  void SetLayer(const std::string& name) override;
  int32_t Color() override;
  void SetColor(int32_t color) override;
  void Move(const Point3& from, const Point3& to) override;
  void GetBoundingBox(Point3& min, Point3& max) override;

 protected:
  void Enter(const char* member) const;
};

class MemLWPolyline final : public MemEntity<LWPolyline> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "LWPolyline"; }
  const char* TypeName() const override { return "LWPOLYLINE"; }
  EntityKind kind() const override { return EntityKind::kPolyline; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;

  std::vector<double> Coordinates() override;
  Point2 Coordinate(int32_t index) override;
  double GetBulge(int32_t index) override;
  void SetBulge(int32_t index, double bulge) override;
  void GetWidth(int32_t segment, double& start_width, double& end_width) override;
  void SetWidth(int32_t segment, double start_width, double end_width) override;
  bool Closed() override;
  void SetClosed(bool closed) override;
  double Elevation() override;
  void SetElevation(double elevation) override;
  Point3 Normal() override;
  void SetNormal(const Point3& normal) override;
  double Length() override;

  // The plan length of all segments, arcs followed. It is kept once worked
  // out, since callers read it once per section of a reach: code that changes
  // `vertices` or `closed` directly calls InvalidateLength().
  double PathLength() const;
  void InvalidateLength() { cached_length_ = -1; }

  // What the kind holds beyond every entity, made when first used, so that
  // a polyline nobody reads costs no more than its tags in the file. Code
  // that changes the vertices or `closed` calls InvalidateLength().
  using Fields = PolylineFields;
  Fields& fields() { return Loaded(); }
  const Fields& fields() const { return Loaded(); }

 private:
  Fields& Loaded() const {
    if (fields_ && loaded()) [[likely]]
      return *fields_;
    if (!fields_) fields_ = std::make_unique<Fields>();
    Load();
    return *fields_;
  }
  mutable std::unique_ptr<Fields> fields_;
  mutable double cached_length_ = -1;
  // The vertex of `index`, or the host's error when there is none.
  const LWVertex& CheckVertex(int32_t index) const;
  void CheckSegment(int32_t segment) const;
};

class MemPoint final : public MemEntity<PointEntity> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "Point"; }
  const char* TypeName() const override { return "POINT"; }
  EntityKind kind() const override { return EntityKind::kPoint; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;
  Point3 Coordinates() override;

  using Fields = PointFields;
  Fields& fields() {
    Load();
    return fields_;
  }
  const Fields& fields() const {
    Load();
    return fields_;
  }

 private:
  Fields fields_;
};

class MemLine final : public MemEntity<Line> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "Line"; }
  const char* TypeName() const override { return "LINE"; }
  EntityKind kind() const override { return EntityKind::kLine; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;
  Point3 StartPoint() override;
  Point3 EndPoint() override;

  using Fields = LineFields;
  Fields& fields() {
    Load();
    return fields_;
  }
  const Fields& fields() const {
    Load();
    return fields_;
  }

 private:
  Fields fields_;
};

class MemPolyline3D final : public MemEntity<Polyline3D> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "Polyline3D"; }
  const char* TypeName() const override { return "POLYLINE"; }
  EntityKind kind() const override { return EntityKind::kPolyline3D; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;
  std::vector<double> Coordinates() override;
  bool Closed() override;

  // Made when first used, as for lightweight polylines.
  using Fields = Polyline3DFields;
  Fields& fields() { return Loaded(); }
  const Fields& fields() const { return Loaded(); }

 private:
  Fields& Loaded() const {
    if (fields_ && loaded()) [[likely]]
      return *fields_;
    if (!fields_) fields_ = std::make_unique<Fields>();
    Load();
    return *fields_;
  }
  mutable std::unique_ptr<Fields> fields_;
};

// A heavy polyline in a plane, read from a file: only read, moved and
// copied.
class MemPolyline2D final : public MemEntity<Polyline2D> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "Polyline2D"; }
  const char* TypeName() const override { return "POLYLINE"; }
  EntityKind kind() const override { return EntityKind::kPolyline2D; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;
  std::vector<double> Coordinates() override;
  double GetBulge(int32_t index) override;
  bool Closed() override;
  double Elevation() override;
  Point3 Normal() override;

  using Fields = Polyline2DFields;
  Fields& fields() { return Loaded(); }
  const Fields& fields() const { return Loaded(); }

 private:
  Fields& Loaded() const {
    if (fields_ && loaded()) [[likely]]
      return *fields_;
    if (!fields_) fields_ = std::make_unique<Fields>();
    Load();
    return *fields_;
  }
  mutable std::unique_ptr<Fields> fields_;
};

class MemMText final : public MemEntity<MText> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "MText"; }
  const char* TypeName() const override { return "MTEXT"; }
  EntityKind kind() const override { return EntityKind::kMText; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;
  std::string TextString() override;
  Point3 InsertionPoint() override;
  double Width() override;
  double Height() override;
  void SetHeight(double height) override;

  // Made when first used, as for polylines.
  using Fields = MTextFields;
  Fields& fields() { return Loaded(); }
  const Fields& fields() const { return Loaded(); }

 private:
  Fields& Loaded() const {
    if (fields_ && loaded()) [[likely]]
      return *fields_;
    if (!fields_) fields_ = std::make_unique<Fields>();
    Load();
    return *fields_;
  }
  mutable std::unique_ptr<Fields> fields_;
};

class MemText final : public MemEntity<Text> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "Text"; }
  const char* TypeName() const override { return "TEXT"; }
  EntityKind kind() const override { return EntityKind::kText; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;
  std::string TextString() override;
  Point3 InsertionPoint() override;
  Point3 TextAlignmentPoint() override;
  int32_t Alignment() override;
  double Height() override;

  using Fields = TextFields;
  Fields& fields() {
    Load();
    return fields_;
  }
  const Fields& fields() const {
    Load();
    return fields_;
  }

 private:
  Fields fields_;
};

class MemAttributeDefinition final : public MemEntity<AttributeDefinition> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "AttributeDefinition"; }
  const char* TypeName() const override { return "ATTDEF"; }
  EntityKind kind() const override { return EntityKind::kAttributeDefinition; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;
  std::string TagString() override;
  std::string PromptString() override;
  std::string TextString() override;
  Point3 InsertionPoint() override;
  double Height() override;
  int32_t Mode() override;

  using Fields = AttributeDefinitionFields;
  Fields& fields() {
    Load();
    return fields_;
  }
  const Fields& fields() const {
    Load();
    return fields_;
  }
  // Tags and prompts are kept once per drawing (MemDocument::ShareText).
  const std::string& tag() const {
    Load();
    return *tag_;
  }
  const std::string* shared_tag() const {
    Load();
    return tag_;
  }
  void set_tag(std::string_view tag);
  const std::string& prompt() const {
    Load();
    return *prompt_;
  }
  void set_prompt(std::string_view prompt);

 private:
  Fields fields_;
  const std::string* tag_ = SharedTexts::Empty();
  const std::string* prompt_ = SharedTexts::Empty();
};

// True for an attribute definition that is not constant: each reference to
// its block carries an attribute made from it and draws that attribute, not
// the definition.
inline bool IsVariableDefinition(const EntityCore& e) {
  return std::strcmp(e.TypeName(), "ATTDEF") == 0 &&
         (static_cast<const MemAttributeDefinition&>(e).fields().mode & 2) == 0;
}

class MemAttribute final : public MemEntity<Attribute> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "Attribute"; }
  const char* TypeName() const override { return "ATTRIB"; }
  EntityKind kind() const override { return EntityKind::kAttribute; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;
  std::string TagString() override;
  std::string TextString() override;
  Point3 InsertionPoint() override;
  double Height() override;

  using Fields = AttributeFields;
  Fields& fields() {
    Load();
    return fields_;
  }
  const Fields& fields() const {
    Load();
    return fields_;
  }
  // The tag is kept once per drawing, as a definition's.
  const std::string& tag() const {
    Load();
    return *tag_;
  }
  void set_tag(std::string_view tag);
  // Takes a text this drawing already shares.
  void share_tag(const std::string* tag) {
    Load();
    tag_ = tag;
  }

 private:
  Fields fields_;
  const std::string* tag_ = SharedTexts::Empty();
};

class MemBlockReference final : public MemEntity<BlockReference> {
 public:
  using MemEntity::MemEntity;
  const char* Kind() const override { return "BlockReference"; }
  const char* TypeName() const override { return "INSERT"; }
  EntityKind kind() const override { return EntityKind::kBlockReference; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3& min, Point3& max) const override;
  std::string Name() override;
  Point3 InsertionPoint() override;
  Point3 ScaleFactors() override;
  double Rotation() override;
  std::vector<Ref<Attribute>> GetAttributes() override;
  void Detach() override;

  // Maps points of a block definition to world coordinates, its sine and
  // cosine worked out once for all the points of one reference.
  struct Placement {
    Point3 base, insertion, scale;
    double cos = 1, sin = 0;
    Point3 operator()(const Point3& p) const;
  };
  // The placement of `block`'s points by this reference; its definition
  // when null.
  Placement PlacementOf(const MemBlock* block) const;

  const std::string& block_name() const {
    Load();
    return block_name_;
  }
  // `block`, when given, is the definition of that name in this drawing.
  void set_block_name(std::string name, MemBlock* block = nullptr);
  // The definition this reference shows, or null when the drawing holds
  // none of its name. Looked up by name once and remembered while no
  // definition leaves the drawing (definitions are never renamed).
  MemBlock* block() const;
  using Fields = BlockReferenceFields;
  Fields& fields() {
    Load();
    return fields_;
  }
  const Fields& fields() const {
    Load();
    return fields_;
  }

  // Attributes are read with their reference, as the entities that follow it.
  std::vector<MemAttribute*> attributes;

 private:
  Fields fields_;
  std::string block_name_;
  mutable MemBlock* block_ = nullptr;
  mutable uint64_t block_found_at_ = 0;  // the drawing's block_removals() then
};

// An entity of a kind the host does not model, read from a file: kept as its
// type name and tags, written back as it came.
class MemOpaqueEntity final : public MemEntity<Entity> {
 public:
  MemOpaqueEntity(MemDocument* doc, uint64_t handle, std::string type)
      : MemEntity(doc, handle), type_(std::move(type)) {}
  const char* Kind() const override { return "Entity"; }
  const char* TypeName() const override { return type_.c_str(); }
  EntityKind kind() const override { return EntityKind::kOther; }
  EntityCore* CloneInto(MemDocument* target) const override;
  void Translate(const Point3& displacement) override;
  bool Extents(Point3&, Point3&) const override { return false; }

 private:
  std::string type_;
};

}  // namespace palvane::host::memory
