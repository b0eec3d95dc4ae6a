#include "host/memory/builder.h"

#include "geometry/vec.h"
#include "host/check.h"
#include "host/memory/document.h"
#include "host/memory/entities.h"

namespace palvane::host::memory {

std::optional<Builder> Builder::For(host::Document& doc) {
  MemDocument* mem = InMemory(doc);
  if (mem == nullptr) return std::nullopt;
  return Builder(*mem);
}

Ref<host::Document> Builder::NewDrawing(host::Application& app, const std::string& name) {
  MemApplication* mem = InMemory(app);
  if (mem == nullptr) return {};
  return Ref<host::Document>(mem->NewDetachedDocument(name));
}

void Builder::Open(host::Document& doc) { memory::Open(doc); }

std::shared_ptr<host::Application> Builder::NewApplication(
    std::function<void(host::Document&)> new_drawing) {
  return CreateApplication(std::move(new_drawing));
}

void Builder::ResetHandles() { doc_->next_handle_ = 1; }

void Builder::ReserveHandle(uint64_t handle) {
  if (handle >= doc_->next_handle_) doc_->next_handle_ = handle + 1;
}

void Builder::RaiseHandleSeed(uint64_t seed) {
  if (seed > doc_->next_handle_) doc_->next_handle_ = seed;
}

LayerRef Builder::AddLayer(std::string name) { return {doc_->NewLayer(std::move(name), false)}; }

LayerRef Builder::FindLayer(std::string_view name) const { return {doc_->layer_index_.Find(name)}; }

const std::string& Builder::NameOf(LayerRef layer) { return layer.layer->name(); }

void Builder::SetFields(LayerRef layer, const LayerFields& fields) {
  layer.layer->set_fields(fields);
}

BlockRef Builder::ModelSpace() const { return {doc_->model_space()}; }

BlockRef Builder::AddBlock(const std::string& name, const Point3& origin) {
  return {doc_->NewBlock(name, origin, false)};
}

void Builder::SetOrigin(BlockRef block, const Point3& origin) { block.block->set_origin(origin); }

ObjectCore& Builder::AddOrUpdateUcs(const std::string& name, const UcsFields& axes) {
  MemUCS* ucs = doc_->AddOrUpdateUCS(axes.origin, geometry::Add(axes.origin, axes.x_axis),
                                     geometry::Add(axes.origin, axes.y_axis), name);
  ucs->set_dirty(false);
  return *ucs;
}

void Builder::RegisterApp(const std::string& name) { doc_->RegisterApp(name); }

ViewState& Builder::view() { return doc_->view(); }

EntityCore* Builder::NewEntity(EntityKind kind) {
  EntityCore* entity = nullptr;
  switch (kind) {
    case EntityKind::kPolyline:
      entity = doc_->NewEntity<MemLWPolyline>(0);
      break;
    case EntityKind::kPoint:
      entity = doc_->NewEntity<MemPoint>(0);
      break;
    case EntityKind::kLine:
      entity = doc_->NewEntity<MemLine>(0);
      break;
    case EntityKind::kPolyline3D:
      entity = doc_->NewEntity<MemPolyline3D>(0);
      break;
    case EntityKind::kPolyline2D:
      entity = doc_->NewEntity<MemPolyline2D>(0);
      break;
    case EntityKind::kMText:
      entity = doc_->NewEntity<MemMText>(0);
      break;
    case EntityKind::kText:
      entity = doc_->NewEntity<MemText>(0);
      break;
    case EntityKind::kAttributeDefinition:
      entity = doc_->NewEntity<MemAttributeDefinition>(0);
      break;
    case EntityKind::kAttribute:
      entity = doc_->NewEntity<MemAttribute>(0);
      break;
    case EntityKind::kBlockReference:
      entity = doc_->NewEntity<MemBlockReference>(0);
      break;
    case EntityKind::kOther:
      PALVANE_CHECK(kind != EntityKind::kOther);
  }
  entity->set_unloaded();
  return entity;
}

EntityCore* Builder::NewOtherEntity(std::string type) {
  return doc_->NewEntity<MemOpaqueEntity>(0, std::move(type));
}

void Builder::SetColor(EntityCore& entity, int32_t color) { entity.set_color(color); }

void Builder::Append(BlockRef block, EntityCore* entity, LayerRef layer) {
  block.block->AppendUnindexed(entity, layer.layer);
}

void Builder::IndexAppended(BlockRef block) { block.block->IndexAppended(); }

void Builder::AppendAttribute(EntityCore& reference, EntityCore* attribute, LayerRef layer) {
  PALVANE_CHECK(reference.kind() == EntityKind::kBlockReference &&
                attribute->kind() == EntityKind::kAttribute);
  attribute->AssignLayer(layer.layer);
  static_cast<MemBlockReference&>(reference).attributes.push_back(
      static_cast<MemAttribute*>(attribute));
}

ObjectCore& Builder::Object(LayerRef layer) { return *layer.layer; }
ObjectCore& Builder::Object(BlockRef block) { return *block.block; }
ObjectCore& Builder::Object(EntityCore& entity) { return entity; }

uint32_t Builder::RecordOf(const ObjectCore& object) { return object.record(); }

void Builder::Keep(ObjectCore& object, uint32_t record, bool xdata_unread) {
  object.set_record(record);
  object.set_xdata_unread(xdata_unread);
  object.set_dirty(false);
}

void Builder::SetHandle(ObjectCore& object, uint64_t handle) { object.set_handle(handle); }

std::vector<std::string> Builder::Finish(
    const std::function<bool(const ObjectCore&)>& has_file_handle,
    const std::vector<EntityCore*>& without_handle, std::string_view active_layer) {
  // Handles the template gave objects the file did not hold must not
  // collide with the file's.
  for (const auto& b : doc_->blocks()) {
    if (!has_file_handle(*b)) b->set_handle(doc_->NextHandle());
  }
  std::vector<std::string> unlisted_layers;
  for (const auto& l : doc_->layers()) {
    if (has_file_handle(*l)) continue;
    l->set_handle(doc_->NextHandle());
    unlisted_layers.push_back(l->name());
  }
  for (const auto& u : doc_->ucss()) {
    if (!has_file_handle(*u)) u->set_handle(doc_->NextHandle());
  }
  for (EntityCore* e : without_handle) e->set_handle(doc_->NextHandle());
  if (!active_layer.empty()) {
    MemLayer* layer = doc_->FindLayer(active_layer);
    if (layer != nullptr && !layer->frozen()) doc_->set_active_layer(layer);
  }
  for (const auto& b : doc_->blocks()) {
    for (const auto& e : b->entities()) e->set_dirty(false);
  }
  return unlisted_layers;
}

const std::vector<std::string>& Builder::registered_apps() const { return doc_->registered_apps(); }

void Builder::SetVariable(const std::string& name, const Variant& value) {
  doc_->variables()[name] = value;
}

void Builder::SetFieldSource(std::shared_ptr<FieldSource> source) {
  doc_->field_source_ = std::move(source);
}

}  // namespace palvane::host::memory
