#pragma once

// One in-memory drawing and the application that holds the open ones.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "host/memory/arena.h"
#include "host/memory/field_source.h"
#include "host/memory/memory_host.h"
#include "host/memory/names.h"
#include "host/memory/objects.h"

namespace palvane::host::memory {

class MemSelectionSet;

// One open drawing.
class MemDocument final : public Document, public std::enable_shared_from_this<MemDocument> {
 public:
  MemDocument(MemApplication* app, std::string name);
  ~MemDocument() override;

  std::string Name() override;
  Ref<host::Application> Application() override;
  Ref<host::Utility> Utility() override;
  Ref<Block> ModelSpace() override;
  Ref<host::Blocks> Blocks() override;
  Ref<host::Layers> Layers() override;
  Ref<UCSs> UserCoordinateSystems() override;
  Ref<host::SelectionSets> SelectionSets() override;
  Ref<Layer> ActiveLayer() override;
  void SetActiveLayer(const Ref<Layer>& layer) override;
  Ref<Viewport> ActiveViewport() override;
  void SetActiveViewport(const Ref<Viewport>& viewport) override;
  Ref<UCS> ActiveUCS() override;
  void SetActiveUCS(const Ref<UCS>& ucs) override;
  std::vector<Ref<Entity>> CopyObjects(const std::vector<Ref<Entity>>& objects,
                                       const Ref<Block>& owner) override;
  Variant GetVariable(const std::string& name) override;
  void SetVariable(const std::string& name, const Variant& value) override;
  void Regen(int32_t which_viewports) override;
  void Activate() override;
  void PurgeAll() override;

  // --- What the host's own classes, the file layer and tests use.
  CallMonitor& monitor() { return *monitor_; }
  void Enter(const char* object, const char* member) { monitor_->Enter(object, member); }
  const std::string& name() const { return name_; }
  void set_name(std::string name) { name_ = std::move(name); }
  uint64_t NextHandle() { return next_handle_++; }
  uint64_t handle_seed() const { return next_handle_; }

  const std::vector<std::shared_ptr<MemLayer>>& layers() const { return layers_; }
  MemLayer* FindLayer(std::string_view name) const;  // letter case ignored
  // Notes that the layer at `position` of the table was just used: lookups
  // try its neighbours first.
  void NoteLayerUsed(size_t position) const { near_layer_ = position; }
  // Validated; an existing layer of that name is returned.
  MemLayer* AddLayer(std::string name) { return NewLayer(std::move(name), true); }
  void RenameLayer(MemLayer* layer, const std::string& name);
  MemLayer* active_layer() const { return active_layer_; }
  void set_active_layer(MemLayer* layer) { active_layer_ = layer; }

  const std::vector<std::shared_ptr<MemBlock>>& blocks() const { return blocks_; }
  MemBlock* model_space() const { return blocks_.front().get(); }
  MemBlock* FindBlock(std::string_view name) const;  // letter case ignored
  // Validated; an existing definition of that name is returned.
  MemBlock* AddBlock(const std::string& name, const Point3& origin) {
    return NewBlock(name, origin, true);
  }
  // How many block definitions have left the drawing so far: a definition
  // found by name stays valid while this count stands.
  uint64_t block_removals() const { return block_removals_; }

  const std::vector<std::shared_ptr<MemUCS>>& ucss() const { return ucss_; }
  MemUCS* AddOrUpdateUCS(const Point3& origin, const Point3& x_point, const Point3& y_point,
                         const std::string& name);
  MemUCS* active_ucs() const { return active_ucs_; }

  ViewState& view() { return view_; }
  const ViewState& view() const { return view_; }
  std::vector<std::string>& registered_apps() { return registered_apps_; }
  void RegisterApp(const std::string& name);
  std::vector<std::shared_ptr<MemSelectionSet>>& selection_sets() { return selection_sets_; }

  // Makes an entity of this drawing, which lives as long as the drawing.
  template <class T, class... Args>
  T* NewEntity(Args&&... args) {
    return arena_.Make<T>(this, std::forward<Args>(args)...);
  }
  // Room in the same place for what an entity keeps apart; whoever puts an
  // object there destroys it, the room goes with the drawing.
  void* ArenaBytes(size_t size, size_t alignment) { return arena_.AllocateBytes(size, alignment); }

  // The entity of a handle, in any block or among a reference's
  // attributes; a search, since it is needed once per command at most and an
  // index would cost memory for every entity.
  EntityCore* FindEntity(uint64_t handle) const;

  // Texts this drawing's objects hold alike.
  const std::string* ShareText(std::string_view text) { return shared_texts_.Share(text); }

  // The extents of model space; false when it holds nothing with extents.
  bool ModelExtents(Point3& min, Point3& max) const;
  // System variables, by upper-case name.
  std::map<std::string, Variant>& variables() { return variables_; }
  // Where objects read from a file find what was left unread; null for a
  // drawing that was not read from one.
  FieldSource* field_source() const { return field_source_.get(); }
  const std::shared_ptr<FieldSource>& shared_field_source() const { return field_source_; }
  // How often extended data was written into this drawing's objects.
  uint64_t xdata_writes = 0;
  MemApplication& application() const { return *app_; }

 private:
  friend class Builder;
  MemLayer* NewLayer(std::string name, bool check);
  MemBlock* NewBlock(const std::string& name, const Point3& origin, bool check);

  MemApplication* app_;
  // First, so that the entities outlive the blocks and layers that list them.
  EntityArena arena_;
  std::shared_ptr<CallMonitor> monitor_;
  std::string name_;
  uint64_t next_handle_ = 0x20;
  std::vector<std::shared_ptr<MemLayer>> layers_;
  NameIndex<MemLayer> layer_index_;
  mutable size_t near_layer_ = 0;  // position of the layer last found or listed
  MemLayer* active_layer_ = nullptr;
  std::vector<std::shared_ptr<MemBlock>> blocks_;
  NameIndex<MemBlock> block_index_;
  uint64_t block_removals_ = 0;
  SharedTexts shared_texts_;
  std::vector<std::shared_ptr<MemUCS>> ucss_;
  MemUCS* active_ucs_ = nullptr;
  ViewState view_;
  std::vector<std::string> registered_apps_;
  std::vector<std::shared_ptr<MemSelectionSet>> selection_sets_;
  std::unique_ptr<host::Utility> utility_view_;
  std::unique_ptr<host::Blocks> blocks_view_;
  std::unique_ptr<host::Layers> layers_view_;
  std::unique_ptr<host::SelectionSets> selection_sets_view_;
  std::map<std::string, Variant> variables_;
  std::shared_ptr<FieldSource> field_source_;

  friend class MemApplication;
};

class MemApplication final : public Application,
                             public std::enable_shared_from_this<MemApplication> {
 public:
  MemApplication();
  Ref<host::Documents> Documents() override;
  Ref<Document> ActiveDocument() override;
  void ZoomExtents() override;
  void ZoomScaled(double scale, int32_t scale_type) override;

  // Opens a new, empty drawing of the given name and makes it active.
  std::shared_ptr<MemDocument> AddDocument(const std::string& name);
  // A drawing that is not open yet (a file being read), and opening it.
  std::shared_ptr<MemDocument> NewDetachedDocument(const std::string& name);
  void Open(std::shared_ptr<MemDocument> doc);
  // Closes an open drawing; the last other one becomes active.
  void Close(MemDocument* doc);
  // Called on every drawing that Documents.Add makes, to apply a template.
  std::function<void(MemDocument&)> new_drawing_template;
  const std::vector<std::shared_ptr<MemDocument>>& documents() const { return documents_; }
  MemDocument* active() const { return active_; }
  void set_active(MemDocument* doc) { active_ = doc; }
  CallMonitor& monitor() { return *monitor_; }
  const std::shared_ptr<CallMonitor>& monitor_ptr() const { return monitor_; }
  int NextDrawingNumber() { return ++drawing_count_; }

 private:
  std::shared_ptr<CallMonitor> monitor_ = std::make_shared<CallMonitor>();
  std::vector<std::shared_ptr<MemDocument>> documents_;
  MemDocument* active_ = nullptr;
  int drawing_count_ = 0;
};

// Entities the host models. Their fields are public for the file reader,
// writer and tests; the host interface is what the operations use.
class MemLWPolyline;
class MemPoint;
class MemMText;
class MemAttributeDefinition;
class MemAttribute;
class MemBlockReference;

// A new in-memory application with no open drawing, as the host's own
// classes for tests and the file layer.
std::shared_ptr<MemApplication> NewMemApplication();

// The in-memory drawing behind a document of this host; null for another
// host's.
MemDocument* InMemory(host::Document& document);
MemApplication* InMemory(host::Application& application);

}  // namespace palvane::host::memory
