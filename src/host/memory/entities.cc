#include "host/memory/entities.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geometry/vec.h"
#include "host/check.h"

namespace palvane::host::memory {

namespace g = palvane::geometry;

// ---------------------------------------------------------------------------
// Members every entity kind shares

template <class I>
void MemEntity<I>::Enter(const char* member) const {
  doc_->Enter(Kind(), member);
}

template <class I>
std::shared_ptr<Entity> MemEntity<I>::Self() {
  return std::shared_ptr<Entity>(doc_->shared_from_this(), this);
}

template <class I>
std::string MemEntity<I>::Handle() {
  Enter("Handle");
  return HandleText();
}

template <class I>
std::string MemEntity<I>::ObjectName() {
  Enter("ObjectName");
  const std::string type = TypeName();
  if (type == "LWPOLYLINE") return "AcDbPolyline";
  if (type == "POINT") return "AcDbPoint";
  if (type == "LINE") return "AcDbLine";
  if (kind() == EntityKind::kPolyline3D) return "AcDb3dPolyline";
  if (kind() == EntityKind::kPolyline2D) return "AcDb2dPolyline";
  if (type == "MTEXT") return "AcDbMText";
  if (type == "TEXT") return "AcDbText";
  if (type == "ATTDEF") return "AcDbAttributeDefinition";
  if (type == "ATTRIB") return "AcDbAttribute";
  if (type == "INSERT") return "AcDbBlockReference";
  return "AcDb" + type;
}

template <class I>
Ref<host::Document> MemEntity<I>::Document() {
  Enter("Document");
  return Ref<host::Document>(doc_->shared_from_this());
}

template <class I>
XData MemEntity<I>::GetXData(const std::string& app_name) {
  Enter("GetXData");
  return GetXDataOf(app_name);
}

template <class I>
void MemEntity<I>::SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) {
  Enter("SetXData");
  SetXDataOf(codes, values);
}

template <class I>
std::string MemEntity<I>::Layer() {
  Enter("Layer");
  return layer_ != nullptr ? layer_->name() : "0";
}

template <class I>
void MemEntity<I>::SetLayer(const std::string& name) {
  Enter("SetLayer");
  MemLayer* layer = doc_->FindLayer(name);
  if (layer == nullptr) throw Error::KeyNotFound();
  // A move to another layer is a change the file must hear of.
  if (layer != layer_) dirty_ = true;
  AssignLayer(layer);
}

template <class I>
int32_t MemEntity<I>::Color() {
  Enter("Color");
  return color_;
}

template <class I>
void MemEntity<I>::SetColor(int32_t color) {
  Enter("SetColor");
  if (color < 0 || color > 256) throw Error::InvalidInput("colour out of range 0 to 256");
  color_ = color;
  dirty_ = true;
}

template <class I>
void MemEntity<I>::Move(const Point3& from, const Point3& to) {
  Enter("Move");
  Translate(g::Sub(to, from));
  dirty_ = true;
}

template <class I>
void MemEntity<I>::GetBoundingBox(Point3& min, Point3& max) {
  Enter("GetBoundingBox");
  if (!Extents(min, max)) throw Error::InvalidInput("the entity has no extents");
}

template class MemEntity<LWPolyline>;
template class MemEntity<PointEntity>;
template class MemEntity<Line>;
template class MemEntity<Polyline3D>;
template class MemEntity<Polyline2D>;
template class MemEntity<MText>;
template class MemEntity<Text>;
template class MemEntity<AttributeDefinition>;
template class MemEntity<Attribute>;
template class MemEntity<BlockReference>;
template class MemEntity<Entity>;

namespace {

// A polyline in a plane, of either form: its vertices' X and Y in turn.
std::vector<double> FlatXY(const PolylineFields& f) {
  std::vector<double> out;
  out.reserve(f.vertices.size() * 2);
  for (const auto& v : f.vertices) {
    out.push_back(v.x);
    out.push_back(v.y);
  }
  return out;
}

void Grow(Point3& min, Point3& max, const Point3& p) {
  for (int i = 0; i < 3; ++i) {
    min[i] = std::min(min[i], p[i]);
    max[i] = std::max(max[i], p[i]);
  }
}

constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

// ---------------------------------------------------------------------------
// Lightweight polylines

const LWVertex& MemLWPolyline::CheckVertex(int32_t index) const {
  const auto& v = fields().vertices;
  if (index < 0 || static_cast<size_t>(index) >= v.size()) {
    throw Error::InvalidInput("vertex index " + std::to_string(index) + " out of range");
  }
  return v[static_cast<size_t>(index)];
}

void MemLWPolyline::CheckSegment(int32_t segment) const {
  const size_t segments = fields().closed ? fields().vertices.size() : fields().vertices.size() - 1;
  if (segment < 0 || static_cast<size_t>(segment) >= segments) {
    throw Error::InvalidInput("segment index " + std::to_string(segment) + " out of range");
  }
}

std::vector<double> MemLWPolyline::Coordinates() {
  Enter("Coordinates");
  return FlatXY(fields());
}

Point2 MemLWPolyline::Coordinate(int32_t index) {
  Enter("Coordinate");
  const LWVertex& v = CheckVertex(index);
  return {v.x, v.y};
}

double MemLWPolyline::GetBulge(int32_t index) {
  Enter("GetBulge");
  return CheckVertex(index).bulge;
}

void MemLWPolyline::SetBulge(int32_t index, double bulge) {
  Enter("SetBulge");
  CheckVertex(index);
  fields().vertices[static_cast<size_t>(index)].bulge = bulge;
  dirty_ = true;
  InvalidateLength();
}

void MemLWPolyline::GetWidth(int32_t segment, double& start_width, double& end_width) {
  Enter("GetWidth");
  CheckSegment(segment);
  const auto& v = fields().vertices[static_cast<size_t>(segment)];
  start_width = v.start_width;
  end_width = v.end_width;
  // A polyline drawn in one width throughout keeps it once, not per vertex.
  if (start_width == 0 && end_width == 0) start_width = end_width = fields().constant_width;
}

void MemLWPolyline::SetWidth(int32_t segment, double start_width, double end_width) {
  Enter("SetWidth");
  CheckSegment(segment);
  if (start_width < 0 || end_width < 0) throw Error::InvalidInput("negative width");
  auto& v = fields().vertices[static_cast<size_t>(segment)];
  v.start_width = start_width;
  v.end_width = end_width;
  dirty_ = true;
}

bool MemLWPolyline::Closed() {
  Enter("Closed");
  return fields().closed;
}
void MemLWPolyline::SetClosed(bool c) {
  Enter("SetClosed");
  fields().closed = c;
  dirty_ = true;
  InvalidateLength();
}
double MemLWPolyline::Elevation() {
  Enter("Elevation");
  return fields().elevation;
}
void MemLWPolyline::SetElevation(double e) {
  Enter("SetElevation");
  fields().elevation = e;
  dirty_ = true;
}
Point3 MemLWPolyline::Normal() {
  Enter("Normal");
  return fields().normal;
}
void MemLWPolyline::SetNormal(const Point3& n) {
  Enter("SetNormal");
  if (g::Norm(n) == 0) throw Error::InvalidInput("zero normal");
  fields().normal = g::Normalized(n);
  dirty_ = true;
}

double MemLWPolyline::PathLength() const {
  if (cached_length_ >= 0) return cached_length_;
  double total = 0;
  const size_t n = fields().vertices.size();
  const size_t segments = n < 2 ? 0 : (fields().closed ? n : n - 1);
  for (size_t i = 0; i < segments; ++i) {
    const auto& a = fields().vertices[i];
    const auto& b = fields().vertices[(i + 1) % n];
    total += g::SegmentLength(g::PlanLength(b.x - a.x, b.y - a.y), a.bulge);
  }
  cached_length_ = total;
  return total;
}

double MemLWPolyline::Length() {
  Enter("Length");
  return PathLength();
}

namespace {

// Moves a polyline in a plane, of either form, by a world displacement.
void TranslatePlanar(PolylineFields& f, const Point3& displacement) {
  const Point3 d = g::WorldToOcs(displacement, f.normal);
  for (auto& v : f.vertices) {
    v.x += d[0];
    v.y += d[1];
  }
  f.elevation += d[2];
}

// The world box of a polyline in a plane, of either form, arcs bounded
// exactly; false when it has no vertex.
bool PlanarExtents(const PolylineFields& f, Point3& min, Point3& max) {
  if (f.vertices.empty()) return false;
  min = {kInf, kInf, kInf};
  max = {-kInf, -kInf, -kInf};
  const g::OcsAxes axes = g::ArbitraryAxes(f.normal);
  const g::Vec3 lift = g::Scale(axes.z, f.elevation);
  auto world = [&](double x, double y) {
    return g::Add(g::Add(g::Scale(axes.x, x), g::Scale(axes.y, y)), lift);
  };
  // Along an arc of centre c and radius r, world coordinate j is
  // c_j + r (X_j cos phi + Y_j sin phi) for the plane's axes X and Y: a
  // sinusoid whose extremes lie at phi = atan2(Y_j, X_j) and opposite it.
  // Those inside the arc's sweep bound it exactly, with its end points.
  double extreme_angle[3];
  for (int j = 0; j < 3; ++j) extreme_angle[j] = std::atan2(axes.y[j], axes.x[j]);
  auto within = [](double phi, double start, double sweep) {
    double d = sweep > 0 ? phi - start : start - phi;
    d = std::fmod(d, 2 * std::numbers::pi);
    if (d < 0) d += 2 * std::numbers::pi;
    return d <= std::fabs(sweep);
  };
  const size_t n = f.vertices.size();
  for (size_t i = 0; i < n; ++i) {
    const auto& a = f.vertices[i];
    Grow(min, max, world(a.x, a.y));
    if (a.bulge == 0 || (!f.closed && i + 1 == n)) continue;
    const auto& b = f.vertices[(i + 1) % n];
    const double dx = b.x - a.x, dy = b.y - a.y;
    if (dx == 0 && dy == 0) continue;
    // The centre lies off the chord's midpoint, to its left for a positive
    // bulge of less than a half circle.
    const double off = (1 - a.bulge * a.bulge) / (4 * a.bulge);
    const double cx = (a.x + b.x) / 2 - dy * off, cy = (a.y + b.y) / 2 + dx * off;
    const double radius = std::hypot(a.x - cx, a.y - cy);
    const double start = std::atan2(a.y - cy, a.x - cx);
    const double sweep = 4 * std::atan(a.bulge);
    const g::Vec3 centre = world(cx, cy);
    for (int j = 0; j < 3; ++j) {
      const double reach = radius * std::hypot(axes.x[j], axes.y[j]);
      if (within(extreme_angle[j], start, sweep)) max[j] = std::max(max[j], centre[j] + reach);
      if (within(extreme_angle[j] + std::numbers::pi, start, sweep)) {
        min[j] = std::min(min[j], centre[j] - reach);
      }
    }
  }
  return true;
}

}  // namespace

void MemLWPolyline::Translate(const Point3& displacement) {
  TranslatePlanar(fields(), displacement);
}

bool MemLWPolyline::Extents(Point3& min, Point3& max) const {
  return PlanarExtents(fields(), min, max);
}

EntityCore* MemLWPolyline::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemLWPolyline>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->fields().vertices = fields().vertices;
  copy->fields().closed = fields().closed;
  copy->fields().elevation = fields().elevation;
  copy->fields().constant_width = fields().constant_width;
  copy->fields().thickness = fields().thickness;
  copy->fields().normal = fields().normal;
  return copy;
}

// ---------------------------------------------------------------------------
// Heavy polylines in a plane

std::vector<double> MemPolyline2D::Coordinates() {
  Enter("Coordinates");
  return FlatXY(fields());
}
double MemPolyline2D::GetBulge(int32_t index) {
  Enter("GetBulge");
  const auto& v = fields().vertices;
  if (index < 0 || static_cast<size_t>(index) >= v.size()) {
    throw Error::InvalidInput("vertex index " + std::to_string(index) + " out of range");
  }
  return v[static_cast<size_t>(index)].bulge;
}
bool MemPolyline2D::Closed() {
  Enter("Closed");
  return fields().closed;
}
double MemPolyline2D::Elevation() {
  Enter("Elevation");
  return fields().elevation;
}
Point3 MemPolyline2D::Normal() {
  Enter("Normal");
  return fields().normal;
}
void MemPolyline2D::Translate(const Point3& displacement) {
  TranslatePlanar(fields(), displacement);
}
bool MemPolyline2D::Extents(Point3& min, Point3& max) const {
  return PlanarExtents(fields(), min, max);
}
EntityCore* MemPolyline2D::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemPolyline2D>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->fields() = fields();
  return copy;
}

// ---------------------------------------------------------------------------
// Points

Point3 MemPoint::Coordinates() {
  Enter("Coordinates");
  return fields().position;
}
void MemPoint::Translate(const Point3& d) { fields().position = g::Add(fields().position, d); }
bool MemPoint::Extents(Point3& min, Point3& max) const {
  min = max = fields().position;
  return true;
}
EntityCore* MemPoint::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemPoint>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->fields().position = fields().position;
  return copy;
}

// ---------------------------------------------------------------------------
// Block references

std::string MemBlockReference::Name() {
  Enter("Name");
  return block_name();
}
Point3 MemBlockReference::InsertionPoint() {
  Enter("InsertionPoint");
  return fields().insertion;
}
Point3 MemBlockReference::ScaleFactors() {
  Enter("ScaleFactors");
  return fields().scale;
}
double MemBlockReference::Rotation() {
  Enter("Rotation");
  return fields().rotation;
}
std::vector<Ref<Attribute>> MemBlockReference::GetAttributes() {
  Enter("GetAttributes");
  std::vector<Ref<Attribute>> out;
  for (MemAttribute* a : attributes)
    out.emplace_back(std::static_pointer_cast<Attribute>(a->Self()));
  return out;
}

void MemBlockReference::Detach() {
  for (auto& a : attributes) a->Detach();
  EntityCore::Detach();
}

void MemBlockReference::set_block_name(std::string name, MemBlock* block) {
  Load();
  block_name_ = std::move(name);
  block_ = block;
  block_found_at_ = doc_->block_removals();
}

MemBlock* MemBlockReference::block() const {
  if (block_ == nullptr || block_found_at_ != doc_->block_removals()) {
    block_ = doc_->FindBlock(block_name());
    block_found_at_ = doc_->block_removals();
  }
  return block_;
}

MemBlockReference::Placement MemBlockReference::PlacementOf(const MemBlock* block) const {
  if (block == nullptr) block = this->block();
  const double angle = fields().rotation;  // most references are not turned: no sine needed
  return {block != nullptr ? block->origin() : Point3{0, 0, 0}, fields().insertion, fields().scale,
          angle == 0 ? 1.0 : std::cos(angle), angle == 0 ? 0.0 : std::sin(angle)};
}

Point3 MemBlockReference::Placement::operator()(const Point3& p) const {
  const double x = (p[0] - base[0]) * scale[0], y = (p[1] - base[1]) * scale[1];
  return {insertion[0] + x * cos - y * sin, insertion[1] + x * sin + y * cos,
          insertion[2] + (p[2] - base[2]) * scale[2]};
}

void MemBlockReference::Translate(const Point3& d) {
  fields().insertion = g::Add(fields().insertion, d);
  for (auto& a : attributes) {
    a->Translate(d);
    a->set_dirty(true);
  }
}

bool MemBlockReference::Extents(Point3& min, Point3& max) const {
  const MemBlock* block = this->block();
  min = {kInf, kInf, kInf};
  max = {-kInf, -kInf, -kInf};
  bool any = false;
  if (block != nullptr) {
    const Placement place = PlacementOf(block);
    const auto& entities = block->entities();
    const auto drawn =
        entities.end() - static_cast<std::ptrdiff_t>(block->variable_definitions_at_end());
    for (auto it = entities.begin(); it != drawn; ++it) {
      const EntityCore* e = *it;
      // A reference shows the attributes it carries, not the definitions
      // they came from; only constant definitions are drawn with the block.
      if (IsVariableDefinition(*e)) continue;
      Point3 a, b;
      if (!e->Extents(a, b)) continue;
      // The four plan corners of each box, transformed.
      for (const Point3& corner : {a, b, Point3{a[0], b[1], a[2]}, Point3{b[0], a[1], b[2]}}) {
        Grow(min, max, place(corner));
      }
      any = true;
    }
  }
  for (const auto& attribute : attributes) {
    Point3 a, b;
    if (!attribute->Extents(a, b)) continue;
    Grow(min, max, a);
    Grow(min, max, b);
    any = true;
  }
  if (!any) min = max = fields().insertion;
  return true;
}

EntityCore* MemBlockReference::CloneInto(MemDocument* target) const {
  // A reference copied into another drawing brings its block definition.
  if (target != doc_ && target->FindBlock(block_name()) == nullptr) {
    const MemBlock* source = doc_->FindBlock(block_name());
    if (source != nullptr) {
      MemBlock* copy_block = target->AddBlock(block_name(), source->origin());
      for (const auto& e : source->entities()) {
        MemLayer* layer =
            e->layer() != nullptr ? target->AddLayer(e->layer()->name()) : target->active_layer();
        copy_block->Append(e->CloneInto(target), layer);
      }
    }
  }
  auto* copy = target->NewEntity<MemBlockReference>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->set_block_name(block_name());
  copy->fields().insertion = fields().insertion;
  copy->fields().scale = fields().scale;
  copy->fields().rotation = fields().rotation;
  for (const auto& a : attributes) {
    auto* attribute = static_cast<MemAttribute*>(a->CloneInto(target));
    MemLayer* layer =
        a->layer() != nullptr ? target->AddLayer(a->layer()->name()) : target->active_layer();
    attribute->AssignLayer(layer);
    copy->attributes.push_back(attribute);
  }
  return copy;
}

// ---------------------------------------------------------------------------
// Entities of kinds the host does not model

void MemOpaqueEntity::Translate(const Point3&) {
  throw Error::InvalidInput(std::string("a ") + type_ + " entity cannot be moved here");
}

EntityCore* MemOpaqueEntity::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemOpaqueEntity>(target->NextHandle(), type_);
  CopyCoreInto(*copy, target);
  return copy;
}

// ---------------------------------------------------------------------------
// Fields by kind

namespace {

template <class Entity>
Entity& As(EntityCore& entity, EntityKind kind) {
  PALVANE_CHECK(entity.kind() == kind);
  return static_cast<Entity&>(entity);
}

}  // namespace

EntityKind EntityFields::kind() const { return entity_.kind(); }

template <>
PolylineFields& EntityFields::Of<PolylineFields>() const {
  // Loading fills the fields before any length is worked out from them;
  // the file layer changes them no other time.
  return As<MemLWPolyline>(entity_, EntityKind::kPolyline).fields();
}
template <>
PointFields& EntityFields::Of<PointFields>() const {
  return As<MemPoint>(entity_, EntityKind::kPoint).fields();
}
template <>
LineFields& EntityFields::Of<LineFields>() const {
  return As<MemLine>(entity_, EntityKind::kLine).fields();
}
template <>
Polyline3DFields& EntityFields::Of<Polyline3DFields>() const {
  return As<MemPolyline3D>(entity_, EntityKind::kPolyline3D).fields();
}
template <>
Polyline2DFields& EntityFields::Of<Polyline2DFields>() const {
  return As<MemPolyline2D>(entity_, EntityKind::kPolyline2D).fields();
}
template <>
MTextFields& EntityFields::Of<MTextFields>() const {
  return As<MemMText>(entity_, EntityKind::kMText).fields();
}
template <>
TextFields& EntityFields::Of<TextFields>() const {
  return As<MemText>(entity_, EntityKind::kText).fields();
}
template <>
AttributeDefinitionFields& EntityFields::Of<AttributeDefinitionFields>() const {
  return As<MemAttributeDefinition>(entity_, EntityKind::kAttributeDefinition).fields();
}
template <>
AttributeFields& EntityFields::Of<AttributeFields>() const {
  return As<MemAttribute>(entity_, EntityKind::kAttribute).fields();
}
template <>
BlockReferenceFields& EntityFields::Of<BlockReferenceFields>() const {
  return As<MemBlockReference>(entity_, EntityKind::kBlockReference).fields();
}

const std::string& EntityFields::tag() const {
  if (entity_.kind() == EntityKind::kAttribute) {
    return As<MemAttribute>(entity_, EntityKind::kAttribute).tag();
  }
  return As<MemAttributeDefinition>(entity_, EntityKind::kAttributeDefinition).tag();
}

void EntityFields::set_tag(std::string_view tag) const {
  if (entity_.kind() == EntityKind::kAttribute) {
    As<MemAttribute>(entity_, EntityKind::kAttribute).set_tag(tag);
  } else {
    As<MemAttributeDefinition>(entity_, EntityKind::kAttributeDefinition).set_tag(tag);
  }
}

const std::string& EntityFields::prompt() const {
  return As<MemAttributeDefinition>(entity_, EntityKind::kAttributeDefinition).prompt();
}

void EntityFields::set_prompt(std::string_view prompt) const {
  As<MemAttributeDefinition>(entity_, EntityKind::kAttributeDefinition).set_prompt(prompt);
}

const std::string& EntityFields::block_name() const {
  return As<MemBlockReference>(entity_, EntityKind::kBlockReference).block_name();
}

void EntityFields::set_block_name(std::string name) const {
  As<MemBlockReference>(entity_, EntityKind::kBlockReference).set_block_name(std::move(name));
}

size_t EntityFields::attribute_count() const {
  if (entity_.kind() != EntityKind::kBlockReference) return 0;
  return static_cast<MemBlockReference&>(entity_).attributes.size();
}

EntityCore& EntityFields::attribute(size_t index) const {
  auto& reference = As<MemBlockReference>(entity_, EntityKind::kBlockReference);
  PALVANE_CHECK(index < reference.attributes.size());
  return *reference.attributes[index];
}

}  // namespace palvane::host::memory
