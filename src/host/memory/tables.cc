#include <algorithm>
#include <cmath>

#include "geometry/vec.h"
#include "host/convert.h"
#include "host/memory/entities.h"
#include "host/memory/objects.h"
#include "host/memory/views.h"

namespace palvane::host::memory {

namespace g = palvane::geometry;

// ---------------------------------------------------------------------------
// Layers

std::string MemLayer::Handle() { return HandleText(); }
Ref<host::Document> MemLayer::Document() { return Ref<host::Document>(doc_->shared_from_this()); }
XData MemLayer::GetXData(const std::string& app_name) {
  doc_->Enter("Layer", "GetXData");
  return GetXDataOf(app_name);
}
void MemLayer::SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) {
  doc_->Enter("Layer", "SetXData");
  SetXDataOf(codes, values);
}
std::string MemLayer::Name() {
  doc_->Enter("Layer", "Name");
  return name_;
}
void MemLayer::SetName(const std::string& name) {
  doc_->Enter("Layer", "SetName");
  const bool changed = name_ != name;
  doc_->RenameLayer(this, name);
  renamed_ = renamed_ || changed;
  dirty_ = true;
}
int32_t MemLayer::Color() {
  doc_->Enter("Layer", "Color");
  return fields_.color;
}
void MemLayer::SetColor(int32_t color) {
  doc_->Enter("Layer", "SetColor");
  if (color < 1 || color > 255) throw Error::InvalidInput("layer colour out of range 1 to 255");
  fields_.color = color;
  dirty_ = true;
}
bool MemLayer::Freeze() {
  doc_->Enter("Layer", "Freeze");
  return fields_.frozen;
}
void MemLayer::SetFreeze(bool frozen) {
  doc_->Enter("Layer", "SetFreeze");
  if (frozen && doc_->active_layer() == this) {
    throw Error::LayerRefused("Cannot freeze the current layer");
  }
  fields_.frozen = frozen;
  dirty_ = true;
}
bool MemLayer::LayerOn() {
  doc_->Enter("Layer", "LayerOn");
  return fields_.on;
}
void MemLayer::SetLayerOn(bool on) {
  doc_->Enter("Layer", "SetLayerOn");
  fields_.on = on;
  dirty_ = true;
}
bool MemLayer::Lock() {
  doc_->Enter("Layer", "Lock");
  return fields_.locked;
}
void MemLayer::SetLock(bool locked) {
  doc_->Enter("Layer", "SetLock");
  fields_.locked = locked;
  dirty_ = true;
}

// ---------------------------------------------------------------------------
// Blocks

bool MemBlock::is_model_space() const { return this == doc_->model_space(); }
std::string MemBlock::Handle() { return HandleText(); }
Ref<host::Document> MemBlock::Document() { return Ref<host::Document>(doc_->shared_from_this()); }
XData MemBlock::GetXData(const std::string& app_name) {
  doc_->Enter("Block", "GetXData");
  return GetXDataOf(app_name);
}
void MemBlock::SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) {
  doc_->Enter("Block", "SetXData");
  SetXDataOf(codes, values);
}
std::string MemBlock::Name() {
  doc_->Enter("Block", "Name");
  return name_;
}
Point3 MemBlock::Origin() {
  doc_->Enter("Block", "Origin");
  return origin_;
}
int32_t MemBlock::Count() {
  doc_->Enter("Block", "Count");
  return static_cast<int32_t>(entities_.size());
}
Ref<Entity> MemBlock::Item(int32_t index) {
  doc_->Enter("Block", "Item");
  return Ref<Entity>(entities_[static_cast<size_t>(CheckIndex(index, entities_.size()))]->Self());
}

void MemBlock::Append(EntityCore* entity, MemLayer* layer) {
  AppendUnindexed(entity, layer);
  IndexAppended();
}

void MemBlock::AppendUnindexed(EntityCore* entity, MemLayer* layer) {
  entity->set_owner(this);
  // A definition usually holds a few entities: room for them at once rather
  // than growing by one, two and four.
  if (entities_.capacity() == 0) entities_.reserve(8);
  entities_.push_back(entity);
  entity->PlaceOnLayer(layer);
  if (is_model_space()) return;
  if (std::strcmp(entity->TypeName(), "INSERT") == 0) ++references_held_;
  // Only entities made here count: a file's are not read yet.
  const bool variable_definition = entity->loaded() && IsVariableDefinition(*entity);
  variable_definitions_at_end_ = variable_definition ? variable_definitions_at_end_ + 1 : 0;
}

void MemBlock::IndexAppended() {
  if (is_model_space()) {
    // The modelled kinds name their type with one literal each: the lists of
    // the last few names seen are found by the name's address.
    constexpr size_t kSeen = 8;
    std::pair<const char*, TypeList*> seen[kSeen] = {};
    size_t next_seen = 0;
    for (size_t i = indexed_; i < entities_.size(); ++i) {
      EntityCore* e = entities_[i];
      const char* type = e->TypeName();
      TypeList* list = nullptr;
      for (const auto& [name, known] : seen) {
        if (name == type) list = known;
      }
      if (list == nullptr) {
        list = FindType(type);
        if (list == nullptr) {
          by_type_.push_back(std::make_unique<TypeList>(TypeList{type, {}}));
          list = by_type_.back().get();
        }
        seen[next_seen++ % kSeen] = {type, list};
      }
      list->entities.push_back(e);
      if (MemLayer* layer = e->layer()) {
        // Room for all its entities at once: the count includes them.
        auto& on_layer = layer->entities();
        if (on_layer.capacity() == 0) on_layer.reserve(static_cast<size_t>(layer->references));
        on_layer.push_back(e);
      }
    }
  }
  indexed_ = entities_.size();
}

const std::vector<EntityCore*>& MemBlock::OfType(const std::string& type) const {
  static const std::vector<EntityCore*> kNone;
  const TypeList* list = FindType(type);
  return list == nullptr ? kNone : list->entities;
}

MemBlock::TypeList* MemBlock::FindType(std::string_view type) const {
  for (const auto& list : by_type_) {
    if (list->type == type) return list.get();
  }
  return nullptr;
}

void MemBlock::Clear() {
  for (auto& e : entities_) e->Detach();
  entities_.clear();
  by_type_.clear();
  indexed_ = 0;
  references_held_ = 0;
  variable_definitions_at_end_ = 0;
}

Ref<LWPolyline> MemBlock::AddLightWeightPolyline(const std::vector<double>& vertices) {
  doc_->Enter("Block", "AddLightWeightPolyline");
  if (vertices.size() < 4 || vertices.size() % 2 != 0) {
    throw Error::InvalidInput("a lightweight polyline needs an even list of at least 2 vertices");
  }
  auto* p = doc_->NewEntity<MemLWPolyline>(doc_->NextHandle());
  p->fields().vertices.reserve(vertices.size() / 2);
  for (size_t i = 0; i < vertices.size(); i += 2) {
    p->fields().vertices.push_back(LWVertex{vertices[i], vertices[i + 1]});
  }
  Append(p, doc_->active_layer());
  return Ref<LWPolyline>(std::static_pointer_cast<LWPolyline>(p->Self()));
}

Ref<MText> MemBlock::AddMText(const Point3& insertion, double width, const std::string& text) {
  doc_->Enter("Block", "AddMText");
  if (width < 0) throw Error::InvalidInput("negative text width");
  auto* t = doc_->NewEntity<MemMText>(doc_->NextHandle());
  t->fields().insertion = insertion;
  t->fields().width = width;
  t->fields().text = text;
  t->fields().height = ToDouble(doc_->variables()["TEXTSIZE"]);
  Append(t, doc_->active_layer());
  return Ref<MText>(std::static_pointer_cast<MText>(t->Self()));
}

Ref<Text> MemBlock::AddText(const std::string& text, const Point3& insertion, double height) {
  doc_->Enter("Block", "AddText");
  if (!(height > 0)) throw Error::InvalidInput("the text height must be positive");
  auto* t = doc_->NewEntity<MemText>(doc_->NextHandle());
  t->fields().insertion = insertion;
  t->fields().height = height;
  t->fields().text = text;
  Append(t, doc_->active_layer());
  return Ref<Text>(std::static_pointer_cast<Text>(t->Self()));
}

Ref<PointEntity> MemBlock::AddPoint(const Point3& point) {
  doc_->Enter("Block", "AddPoint");
  auto* p = doc_->NewEntity<MemPoint>(doc_->NextHandle());
  p->fields().position = point;
  Append(p, doc_->active_layer());
  return Ref<PointEntity>(std::static_pointer_cast<PointEntity>(p->Self()));
}

Ref<Line> MemBlock::AddLine(const Point3& start, const Point3& end) {
  doc_->Enter("Block", "AddLine");
  auto* l = doc_->NewEntity<MemLine>(doc_->NextHandle());
  l->fields().start = start;
  l->fields().end = end;
  Append(l, doc_->active_layer());
  return Ref<Line>(std::static_pointer_cast<Line>(l->Self()));
}

Ref<Polyline3D> MemBlock::Add3DPoly(const std::vector<double>& points) {
  doc_->Enter("Block", "Add3DPoly");
  if (points.size() < 6 || points.size() % 3 != 0) {
    throw Error::InvalidInput("a 3D polyline needs a list of at least 2 points of 3 coordinates");
  }
  auto* p = doc_->NewEntity<MemPolyline3D>(doc_->NextHandle());
  p->fields().vertices.reserve(points.size() / 3);
  for (size_t i = 0; i < points.size(); i += 3) {
    p->fields().vertices.push_back({points[i], points[i + 1], points[i + 2]});
  }
  Append(p, doc_->active_layer());
  return Ref<Polyline3D>(std::static_pointer_cast<Polyline3D>(p->Self()));
}

Ref<AttributeDefinition> MemBlock::AddAttribute(double height, int32_t mode,
                                                const std::string& prompt, const Point3& insertion,
                                                const std::string& tag, const std::string& value) {
  doc_->Enter("Block", "AddAttribute");
  if (tag.empty() || tag.find(' ') != std::string::npos) {
    throw Error::InvalidInput("an attribute tag must be non-empty and hold no spaces");
  }
  if (height < 0) throw Error::InvalidInput("negative attribute height");
  if (mode < 0 || mode > 63) throw Error::InvalidInput("attribute mode out of range");
  auto* a = doc_->NewEntity<MemAttributeDefinition>(doc_->NextHandle());
  a->fields().height = height;
  a->fields().mode = mode;
  a->set_prompt(prompt);
  a->fields().insertion = insertion;
  a->set_tag(tag);
  a->fields().value = value;
  Append(a, doc_->active_layer());
  return Ref<AttributeDefinition>(std::static_pointer_cast<AttributeDefinition>(a->Self()));
}

Ref<BlockReference> MemBlock::InsertBlock(const Point3& insertion, const std::string& name,
                                          double x_scale, double y_scale, double z_scale,
                                          double rotation) {
  doc_->Enter("Block", "InsertBlock");
  MemBlock* block = doc_->FindBlock(name);
  if (block == nullptr || block->is_model_space()) throw Error::KeyNotFound();
  if (block == this) throw Error::InvalidInput("a block cannot hold a reference to itself");
  if (x_scale == 0 || y_scale == 0 || z_scale == 0) throw Error::InvalidInput("zero scale");
  auto* r = doc_->NewEntity<MemBlockReference>(doc_->NextHandle());
  r->set_block_name(block->name(), block);
  r->fields().insertion = insertion;
  r->fields().scale = {x_scale, y_scale, z_scale};
  r->fields().rotation = rotation;
  Append(r, doc_->active_layer());
  // One attribute per definition, holding the definition's default value.
  const MemBlockReference::Placement place = r->PlacementOf(block);
  r->attributes.reserve(block->entities().size());
  for (const auto& e : block->entities()) {
    if (!IsVariableDefinition(*e)) continue;  // constant ones stay in the block
    const auto* def = static_cast<const MemAttributeDefinition*>(e);
    auto* a = doc_->NewEntity<MemAttribute>(doc_->NextHandle());
    a->share_tag(def->shared_tag());
    a->fields().value = def->fields().value;
    a->fields().height = def->fields().height * std::fabs(y_scale);
    a->fields().insertion = place(def->fields().insertion);
    // Attributes belong to their reference, not to the block's entity list,
    // so they are never selected on their own.
    a->AssignLayer(def->layer());
    r->attributes.push_back(a);
  }
  return Ref<BlockReference>(std::static_pointer_cast<BlockReference>(r->Self()));
}

// ---------------------------------------------------------------------------
// Coordinate systems

std::string MemUCS::Handle() { return HandleText(); }
Ref<host::Document> MemUCS::Document() { return Ref<host::Document>(doc_->shared_from_this()); }
XData MemUCS::GetXData(const std::string& app_name) {
  doc_->Enter("UCS", "GetXData");
  return GetXDataOf(app_name);
}
void MemUCS::SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) {
  doc_->Enter("UCS", "SetXData");
  SetXDataOf(codes, values);
}
std::string MemUCS::Name() {
  doc_->Enter("UCS", "Name");
  return name_;
}
Point3 MemUCS::Origin() {
  doc_->Enter("UCS", "Origin");
  return origin;
}
Point3 MemUCS::XVector() {
  doc_->Enter("UCS", "XVector");
  return x_axis;
}
Point3 MemUCS::YVector() {
  doc_->Enter("UCS", "YVector");
  return y_axis;
}

// ---------------------------------------------------------------------------
// The tables as collections, handed out per call

namespace {

class MemLayers final : public Layers {
 public:
  explicit MemLayers(MemDocument* doc) : doc_(doc) {}
  std::string Handle() override { return "2"; }
  std::string ObjectName() override { return "AcDbLayerTable"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_->shared_from_this()); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("the layer table holds no extended data");
  }
  int32_t Count() override {
    doc_->Enter("Layers", "Count");
    return static_cast<int32_t>(doc_->layers().size());
  }
  Ref<Layer> Item(int32_t index) override {
    doc_->Enter("Layers", "Item");
    const auto at = static_cast<size_t>(CheckIndex(index, doc_->layers().size()));
    doc_->NoteLayerUsed(at);
    return Ref<Layer>(doc_->layers()[at]);
  }
  Ref<Layer> Item(const std::string& name) override {
    doc_->Enter("Layers", "Item");
    MemLayer* layer = doc_->FindLayer(name);
    if (layer == nullptr) throw Error::KeyNotFound();
    return Ref<Layer>(layer->shared_from_this());
  }
  Ref<Layer> Add(const std::string& name) override {
    doc_->Enter("Layers", "Add");
    return Ref<Layer>(doc_->AddLayer(name)->shared_from_this());
  }

 private:
  MemDocument* doc_;  // which owns this view of it
};

class MemBlocks final : public Blocks {
 public:
  explicit MemBlocks(MemDocument* doc) : doc_(doc) {}
  std::string Handle() override { return "1"; }
  std::string ObjectName() override { return "AcDbBlockTable"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_->shared_from_this()); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("the block table holds no extended data");
  }
  int32_t Count() override {
    doc_->Enter("Blocks", "Count");
    return static_cast<int32_t>(doc_->blocks().size());
  }
  Ref<Block> Item(int32_t index) override {
    doc_->Enter("Blocks", "Item");
    return Ref<Block>(
        doc_->blocks()[static_cast<size_t>(CheckIndex(index, doc_->blocks().size()))]);
  }
  Ref<Block> Item(const std::string& name) override {
    doc_->Enter("Blocks", "Item");
    MemBlock* block = doc_->FindBlock(name);
    if (block == nullptr) throw Error::KeyNotFound();
    return Ref<Block>(block->shared_from_this());
  }
  Ref<Block> Add(const Point3& base, const std::string& name) override {
    doc_->Enter("Blocks", "Add");
    // An existing block of the name is returned as it is.
    return Ref<Block>(doc_->AddBlock(name, base)->shared_from_this());
  }

 private:
  MemDocument* doc_;  // which owns this view of it
};

class MemUCSs final : public UCSs {
 public:
  explicit MemUCSs(std::shared_ptr<MemDocument> doc) : doc_(std::move(doc)) {}
  std::string Handle() override { return "7"; }
  std::string ObjectName() override { return "AcDbUCSTable"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("the coordinate system table holds no extended data");
  }
  int32_t Count() override {
    doc_->Enter("UCSs", "Count");
    return static_cast<int32_t>(doc_->ucss().size());
  }
  Ref<UCS> Item(int32_t index) override {
    doc_->Enter("UCSs", "Item");
    return Ref<UCS>(doc_->ucss()[static_cast<size_t>(CheckIndex(index, doc_->ucss().size()))]);
  }
  Ref<UCS> Add(const Point3& origin, const Point3& x_axis_point, const Point3& y_axis_point,
               const std::string& name) override {
    doc_->Enter("UCSs", "Add");
    return Ref<UCS>(
        doc_->AddOrUpdateUCS(origin, x_axis_point, y_axis_point, name)->shared_from_this());
  }

 private:
  std::shared_ptr<MemDocument> doc_;
};

}  // namespace

std::unique_ptr<Layers> NewLayersView(MemDocument* doc) { return std::make_unique<MemLayers>(doc); }
std::unique_ptr<Blocks> NewBlocksView(MemDocument* doc) { return std::make_unique<MemBlocks>(doc); }
std::shared_ptr<UCSs> NewUCSsView(std::shared_ptr<MemDocument> doc) {
  return std::make_shared<MemUCSs>(std::move(doc));
}

}  // namespace palvane::host::memory
