#include "host/memory/document.h"

#include <algorithm>
#include <cmath>

#include "geometry/vec.h"
#include "host/convert.h"
#include "host/memory/entities.h"
#include "host/memory/views.h"

namespace palvane::host::memory {

namespace g = palvane::geometry;

// ---------------------------------------------------------------------------
// Documents

namespace {

// A drawing's collections are views of it without state of their own: one of
// each is made on first use and handed out with the drawing's ownership.
template <class Interface>
Ref<Interface> SharedView(MemDocument& doc, std::unique_ptr<Interface>& slot,
                          std::unique_ptr<Interface> (*make)(MemDocument*)) {
  if (!slot) slot = make(&doc);
  return Ref<Interface>(std::shared_ptr<Interface>(doc.shared_from_this(), slot.get()));
}

void Grow(Point3& min, Point3& max, const Point3& p) {
  for (int i = 0; i < 3; ++i) {
    min[i] = std::min(min[i], p[i]);
    max[i] = std::max(max[i], p[i]);
  }
}

}  // namespace

MemDocument::MemDocument(MemApplication* app, std::string name)
    : app_(app), monitor_(app->monitor_ptr()), name_(std::move(name)) {
  // The project's minimal template: layer "0", model and paper space, the
  // base application registered, default text height and view settings.
  blocks_.push_back(std::make_shared<MemBlock>(this, NextHandle(), "*Model_Space", Point3{}));
  blocks_.push_back(std::make_shared<MemBlock>(this, NextHandle(), "*Paper_Space", Point3{}));
  for (const auto& b : blocks_) block_index_.Insert(b.get());
  active_layer_ = AddLayer("0");
  registered_apps_.push_back("ACAD");
  variables_["TEXTSIZE"] = 2.5;
  variables_["INSUNITS"] = int16_t{0};  // none given
  variables_["UCSFOLLOW"] = int16_t{0};
  variables_["UCSICON"] = int16_t{3};
}

MemDocument::~MemDocument() = default;

std::string MemDocument::Name() {
  Enter("Document", "Name");
  return name_;
}
Ref<host::Application> MemDocument::Application() {
  Enter("Document", "Application");
  return Ref<host::Application>(app_->shared_from_this());
}
Ref<host::Utility> MemDocument::Utility() {
  Enter("Document", "Utility");
  return SharedView(*this, utility_view_, NewUtilityView);
}
Ref<Block> MemDocument::ModelSpace() {
  Enter("Document", "ModelSpace");
  return Ref<Block>(blocks_.front());
}
Ref<host::Blocks> MemDocument::Blocks() {
  Enter("Document", "Blocks");
  return SharedView(*this, blocks_view_, NewBlocksView);
}
Ref<host::Layers> MemDocument::Layers() {
  Enter("Document", "Layers");
  return SharedView(*this, layers_view_, NewLayersView);
}
Ref<UCSs> MemDocument::UserCoordinateSystems() {
  Enter("Document", "UserCoordinateSystems");
  return Ref<UCSs>(NewUCSsView(shared_from_this()));
}
Ref<host::SelectionSets> MemDocument::SelectionSets() {
  Enter("Document", "SelectionSets");
  return SharedView(*this, selection_sets_view_, NewSelectionSetsView);
}
Ref<Layer> MemDocument::ActiveLayer() {
  Enter("Document", "ActiveLayer");
  return Ref<Layer>(active_layer_->shared_from_this());
}
void MemDocument::SetActiveLayer(const Ref<Layer>& layer) {
  Enter("Document", "SetActiveLayer");
  auto* mem = dynamic_cast<MemLayer*>(layer.operator->());
  if (mem == nullptr || mem->doc() != this) {
    throw Error::InvalidInput("the layer belongs to another drawing");
  }
  if (mem->frozen()) throw Error::LayerRefused("Cannot make a frozen layer current");
  active_layer_ = mem;
}
Ref<Viewport> MemDocument::ActiveViewport() {
  Enter("Document", "ActiveViewport");
  return Ref<Viewport>(NewViewportView(shared_from_this(), view_));
}
void MemDocument::SetActiveViewport(const Ref<Viewport>& viewport) {
  Enter("Document", "SetActiveViewport");
  if (!viewport || !ApplyViewport(*viewport, this, view_)) {
    throw Error::InvalidInput("the viewport belongs to another drawing");
  }
}
Ref<UCS> MemDocument::ActiveUCS() {
  Enter("Document", "ActiveUCS");
  if (active_ucs_ == nullptr) throw Error::InvalidInput("no named coordinate system is current");
  return Ref<UCS>(active_ucs_->shared_from_this());
}
void MemDocument::SetActiveUCS(const Ref<UCS>& ucs) {
  Enter("Document", "SetActiveUCS");
  auto* mem = dynamic_cast<MemUCS*>(ucs.operator->());
  if (mem == nullptr || mem->doc() != this) {
    throw Error::InvalidInput("the coordinate system belongs to another drawing");
  }
  active_ucs_ = mem;
  // With UCSFOLLOW on, a coordinate system made current brings the plan view
  // of its XY plane.
  if (ToDouble(variables_["UCSFOLLOW"]) != 0) {
    view_.direction = g::Cross(mem->x_axis, mem->y_axis);
  }
}

std::vector<Ref<Entity>> MemDocument::CopyObjects(const std::vector<Ref<Entity>>& objects,
                                                  const Ref<Block>& owner) {
  Enter("Document", "CopyObjects");
  auto* target_block = dynamic_cast<MemBlock*>(owner.operator->());
  if (target_block == nullptr) throw Error::InvalidInput("the owner is not a block");
  std::vector<EntityCore*> sources;
  for (const auto& o : objects) {
    auto* core = dynamic_cast<EntityCore*>(o.operator->());
    if (core == nullptr || core->doc() != this) {
      throw Error::InvalidInput("the objects to copy must belong to this drawing");
    }
    if (!sources.empty() && core->owner() != sources.front()->owner()) {
      throw Error::InvalidInput("the objects to copy must share one owner");
    }
    sources.push_back(core);
  }
  MemDocument* target = target_block->doc();
  std::vector<Ref<Entity>> copies;
  for (EntityCore* source : sources) {
    EntityCore* copy = source->CloneInto(target);
    // The copy brings its layer along when the target drawing lacks it.
    MemLayer* layer = target->active_layer();
    if (source->layer() != nullptr) {
      layer = target->FindLayer(source->layer()->name());
      if (layer == nullptr) {
        layer = target->AddLayer(source->layer()->name());
        layer->set_color(source->layer()->color());
        layer->set_frozen(source->layer()->frozen());
        layer->set_on(source->layer()->on());
      }
    }
    target_block->Append(copy, layer);
    copies.emplace_back(copy->Self());
  }
  return copies;
}

Variant MemDocument::GetVariable(const std::string& name) {
  Enter("Document", "GetVariable");
  const std::string key = FoldName(name);
  if (key == "CLAYER") return active_layer_->name();
  const auto it = variables_.find(key);
  if (it == variables_.end()) throw Error::InvalidInput("unknown system variable " + name);
  return it->second;
}

void MemDocument::SetVariable(const std::string& name, const Variant& value) {
  Enter("Document", "SetVariable");
  const std::string key = FoldName(name);
  if (key == "CLAYER") {
    MemLayer* layer = FindLayer(ToText(value));
    if (layer == nullptr) throw Error::KeyNotFound();
    if (layer->frozen()) throw Error::LayerRefused("Cannot make a frozen layer current");
    active_layer_ = layer;
    return;
  }
  const auto it = variables_.find(key);
  if (it == variables_.end()) throw Error::InvalidInput("unknown system variable " + name);
  if (key == "TEXTSIZE") {
    const double h = ToDouble(value);
    if (!(h > 0)) throw Error::InvalidInput("TEXTSIZE must be positive");
    it->second = h;
  } else if (key == "UCSFOLLOW") {
    it->second = int16_t{ToBoolean(value) ? int16_t{1} : int16_t{0}};
  } else if (it->second.type() == Variant::Type::kInteger) {
    it->second = ToInteger(value);
  } else if (it->second.type() == Variant::Type::kDouble) {
    it->second = ToDouble(value);
  } else {
    it->second = value;
  }
}

void MemDocument::Regen(int32_t which_viewports) {
  Enter("Document", "Regen");
  if (which_viewports != 0 && which_viewports != kAllViewports) {
    throw Error::InvalidInput("unknown regen type");
  }
  ++view_.regen_count;
}

void MemDocument::Activate() {
  Enter("Document", "Activate");
  app_->set_active(this);
}

void MemDocument::PurgeAll() {
  Enter("Document", "PurgeAll");
  // Purging a block can leave another block unused: repeat until no block
  // goes. Layers go after that, as no layer keeps a block in use.
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto& b : blocks_) b->set_in_use(false);
    auto note = [](const EntityCore* e) {
      if (MemBlock* used = static_cast<const MemBlockReference*>(e)->block())
        used->set_in_use(true);
    };
    for (const auto& b : blocks_) {
      if (b->is_model_space()) {
        for (const EntityCore* e : b->OfType("INSERT")) note(e);
        continue;
      }
      if (!b->holds_references()) continue;
      for (const EntityCore* e : b->entities()) {
        if (std::strcmp(e->TypeName(), "INSERT") == 0) note(e);
      }
    }
    for (auto it = blocks_.begin(); it != blocks_.end();) {
      if ((*it)->name().starts_with("*") || (*it)->in_use()) {
        ++it;
        continue;
      }
      (*it)->Clear();
      block_index_.Erase((*it)->name());
      it = blocks_.erase(it);
      ++block_removals_;
      changed = true;
    }
  }
  std::erase_if(layers_, [&](const std::shared_ptr<MemLayer>& layer) {
    if (layer->references > 0 || layer.get() == active_layer_ || layer->name() == "0" ||
        SameName(layer->name(), "Defpoints")) {
      return false;
    }
    layer_index_.Erase(layer->name());
    return true;
  });
  for (size_t i = 0; i < layers_.size(); ++i) layers_[i]->position = static_cast<uint32_t>(i);
  near_layer_ = 0;
  // Registered applications that no extended data names any more. Data still
  // unread is read for its names only, not kept. The search ends as soon as
  // every registered application is found in use, which in most drawings is
  // at the first objects that carry data.
  std::unordered_set<std::string> unused;
  for (const std::string& a : registered_apps_) unused.insert(FoldName(a));
  unused.erase("ACAD");
  auto collect = [&](ObjectCore& object) {
    if (!object.has_xdata()) return;
    for (const Variant& name : object.XDataAppNames()) {
      unused.erase(FoldName(name.AsStringUnchecked()));
    }
  };
  for (const auto& b : blocks_) {
    for (EntityCore* e : b->entities()) {
      if (unused.empty()) break;
      collect(*e);
    }
  }
  for (const auto& l : layers_) {
    if (unused.empty()) break;
    collect(*l);
  }
  std::erase_if(registered_apps_,
                [&](const std::string& a) { return unused.count(FoldName(a)) != 0; });
}

MemLayer* MemDocument::FindLayer(std::string_view name) const {
  // Lookups mostly go along the table: a section's profile layer sits next
  // to the section layer just listed, and a keyplan looks its section layers
  // up in the order it made them. The layers around the last one found or
  // listed are tried before the index, whose table misses the processor's
  // caches in a drawing of many layers.
  static constexpr std::ptrdiff_t kNear[] = {0, 1, -1, 2, -2, 3, -3};
  const auto count = static_cast<std::ptrdiff_t>(layers_.size());
  for (const std::ptrdiff_t step : kNear) {
    const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(near_layer_) + step;
    if (at < 0 || at >= count) continue;
    MemLayer* layer = layers_[static_cast<size_t>(at)].get();
    if (FoldedEqual{}(layer->name(), name)) {
      near_layer_ = static_cast<size_t>(at);
      return layer;
    }
  }
  MemLayer* found = layer_index_.Find(name);
  if (found != nullptr) near_layer_ = found->position;
  return found;
}

MemLayer* MemDocument::NewLayer(std::string name, bool check) {
  // Mostly a new name: straight to the index.
  if (MemLayer* existing = layer_index_.Find(name)) return existing;
  if (check) CheckSymbolName(name, "layer");
  auto layer = std::make_shared<MemLayer>(this, NextHandle(), std::move(name));
  layer->position = static_cast<uint32_t>(layers_.size());
  layer_index_.Insert(layer.get());
  layers_.push_back(layer);
  return layer.get();
}

void MemDocument::RenameLayer(MemLayer* layer, const std::string& name) {
  if (layer->name() == name) return;
  if (layer->name() == "0") throw Error::LayerRefused("Layer 0 cannot be renamed");
  CheckSymbolName(name, "layer");
  MemLayer* other = FindLayer(name);
  if (other != nullptr && other != layer) throw Error::DuplicateKey();
  layer_index_.Erase(layer->name());
  layer->set_name(name);
  layer_index_.Insert(layer);
}

MemBlock* MemDocument::FindBlock(std::string_view name) const { return block_index_.Find(name); }

MemBlock* MemDocument::NewBlock(const std::string& name, const Point3& origin, bool check) {
  if (MemBlock* existing = FindBlock(name)) return existing;
  if (check) {
    CheckSymbolName(name, "block");
    if (name.starts_with("*")) {
      throw Error::InvalidInput("block names starting with * are reserved");
    }
  }
  auto block = std::make_shared<MemBlock>(this, NextHandle(), name, origin);
  block_index_.Insert(block.get());
  blocks_.push_back(block);
  return block.get();
}

MemUCS* MemDocument::AddOrUpdateUCS(const Point3& origin, const Point3& x_point,
                                    const Point3& y_point, const std::string& name) {
  CheckSymbolName(name, "coordinate system");
  const Point3 x = g::Normalized(g::Sub(x_point, origin));
  const Point3 y_raw = g::Sub(y_point, origin);
  // The Y axis is made perpendicular to X.
  const Point3 y = g::Normalized(g::Sub(y_raw, g::Scale(x, g::Dot(y_raw, x))));
  if (g::Norm(x) == 0 || g::Norm(y) == 0) {
    throw Error::InvalidInput("the axis points of a coordinate system must not be collinear");
  }
  MemUCS* ucs = nullptr;
  for (const auto& u : ucss_) {
    if (SameName(u->name(), name)) ucs = u.get();
  }
  if (ucs == nullptr) {
    ucss_.push_back(std::make_shared<MemUCS>(this, NextHandle(), name));
    ucs = ucss_.back().get();
  }
  ucs->origin = origin;
  ucs->x_axis = x;
  ucs->y_axis = y;
  ucs->set_dirty(true);
  return ucs;
}

void MemDocument::RegisterApp(const std::string& name) {
  for (const auto& a : registered_apps_) {
    if (SameName(a, name)) return;
  }
  registered_apps_.push_back(name);
}

EntityCore* MemDocument::FindEntity(uint64_t handle) const {
  for (const auto& block : blocks_) {
    for (const auto& e : block->entities()) {
      if (e->handle() == handle) return e;
      if (const auto* r = dynamic_cast<const MemBlockReference*>(e)) {
        for (const auto& a : r->attributes) {
          if (a->handle() == handle) return a;
        }
      }
    }
  }
  return nullptr;
}

bool MemDocument::ModelExtents(Point3& min, Point3& max) const {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  min = {kInf, kInf, kInf};
  max = {-kInf, -kInf, -kInf};
  bool any = false;
  for (const auto& e : model_space()->entities()) {
    Point3 a, b;
    if (!e->Extents(a, b)) continue;
    Grow(min, max, a);
    Grow(min, max, b);
    any = true;
  }
  return any;
}

// ---------------------------------------------------------------------------
// Application

MemApplication::MemApplication() = default;

Ref<host::Documents> MemApplication::Documents() {
  monitor_->Enter("Application", "Documents");
  return Ref<host::Documents>(NewDocumentsView(shared_from_this()));
}

Ref<Document> MemApplication::ActiveDocument() {
  monitor_->Enter("Application", "ActiveDocument");
  if (active_ == nullptr) throw Error::InvalidInput("no drawing is open");
  return Ref<Document>(active_->shared_from_this());
}

void MemApplication::ZoomExtents() {
  monitor_->Enter("Application", "ZoomExtents");
  if (active_ == nullptr) throw Error::InvalidInput("no drawing is open");
  ViewState& view = active_->view();
  Point3 min, max;
  if (active_->ModelExtents(min, max)) {
    constexpr double kAspect = 1.5;  // width over height of the view window
    view.center = {(min[0] + max[0]) / 2, (min[1] + max[1]) / 2, (min[2] + max[2]) / 2};
    view.height = std::max({max[1] - min[1], (max[0] - min[0]) / kAspect, 1e-9});
  }
  ++view.zoom_extents_count;
}

void MemApplication::ZoomScaled(double scale, int32_t scale_type) {
  monitor_->Enter("Application", "ZoomScaled");
  if (active_ == nullptr) throw Error::InvalidInput("no drawing is open");
  if (!(scale > 0)) throw Error::InvalidInput("the zoom scale must be positive");
  if (scale_type < 0 || scale_type > 2) throw Error::InvalidInput("unknown zoom scale type");
  ViewState& view = active_->view();
  constexpr double kLimitsHeight = 9.0;  // the default drawing limits
  view.height = scale_type == 0 ? kLimitsHeight / scale : view.height / scale;
  ++view.zoom_scaled_count;
}

std::shared_ptr<MemDocument> MemApplication::AddDocument(const std::string& name) {
  auto doc = NewDetachedDocument(name);
  Open(doc);
  return doc;
}

std::shared_ptr<MemDocument> MemApplication::NewDetachedDocument(const std::string& name) {
  return std::make_shared<MemDocument>(this, name);
}

void MemApplication::Close(MemDocument* doc) {
  std::erase_if(documents_, [&](const auto& d) { return d.get() == doc; });
  if (active_ == doc) active_ = documents_.empty() ? nullptr : documents_.back().get();
}

void MemApplication::Open(std::shared_ptr<MemDocument> doc) {
  active_ = doc.get();
  // A drawing already open is only made active.
  if (std::find(documents_.begin(), documents_.end(), doc) == documents_.end()) {
    documents_.push_back(std::move(doc));
  }
}

std::shared_ptr<MemApplication> NewMemApplication() { return std::make_shared<MemApplication>(); }

std::shared_ptr<Application> CreateApplication(std::function<void(Document&)> new_drawing) {
  auto app = NewMemApplication();
  if (new_drawing) {
    app->new_drawing_template = [hook = std::move(new_drawing)](MemDocument& doc) { hook(doc); };
  }
  return app;
}

void Open(Document& document) {
  MemDocument* doc = InMemory(document);
  if (doc == nullptr) throw Error::InvalidProcedureCall();
  doc->application().Open(doc->shared_from_this());
}

void Close(Document& document) {
  MemDocument* doc = InMemory(document);
  if (doc == nullptr) throw Error::InvalidProcedureCall();
  doc->application().Close(doc);
}

MemDocument* InMemory(host::Document& document) { return dynamic_cast<MemDocument*>(&document); }
MemApplication* InMemory(host::Application& application) {
  return dynamic_cast<MemApplication*>(&application);
}

// ---------------------------------------------------------------------------
// Inspector

Inspector::Inspector(Document& document) : document_(InMemory(document)) {
  if (document_ == nullptr) throw Error::InvalidProcedureCall();
}

CallMonitor& Inspector::monitor() const { return document_->monitor(); }

const ViewState& Inspector::view() const { return document_->view(); }

Ref<Entity> Inspector::EntityOfHandle(uint64_t handle) const {
  EntityCore* entity = document_->FindEntity(handle);
  return entity == nullptr ? Ref<Entity>() : Ref<Entity>(entity->Self());
}

std::string Inspector::KindOf(Entity& entity) {
  const auto* core = dynamic_cast<const EntityCore*>(&entity);
  if (core == nullptr) throw Error::InvalidProcedureCall();
  return core->TypeName();
}

std::vector<Ref<Entity>> Inspector::EntitiesOfKind(std::string_view kind) const {
  std::vector<Ref<Entity>> out;
  for (EntityCore* e : document_->model_space()->OfType(std::string(kind))) {
    out.emplace_back(e->Self());
  }
  return out;
}

uint64_t Inspector::extended_data_writes() const { return document_->xdata_writes; }

}  // namespace palvane::host::memory
