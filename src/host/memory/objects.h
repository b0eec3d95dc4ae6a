#pragma once

// The stored objects of an in-memory drawing: what every object and entity
// shares, and the table entries (layers, block definitions, coordinate
// systems).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "host/memory/fields.h"
#include "host/memory/names.h"

namespace palvane::host::memory {

class MemApplication;
class MemDocument;
class MemLayer;
class MemBlock;

// State every stored object shares: handle, extended data, and the record of
// it in the file it was read from.
class ObjectCore {
 public:
  virtual ~ObjectCore();
  ObjectCore(const ObjectCore&) = delete;
  ObjectCore& operator=(const ObjectCore&) = delete;
  uint64_t handle() const { return handle_; }
  // Extended data. An object read from a file leaves it in the file's
  // record until it is first used: most never are.
  const std::vector<XDataItem>& xdata() const;
  std::vector<XDataItem>& mutable_xdata();
  // True while the object's extended data is still only in its record.
  bool xdata_unread() const { return xdata_unread_; }
  void set_xdata_unread(bool unread) { xdata_unread_ = unread; }
  // True when the object holds extended data, read or not.
  bool has_xdata() const { return xdata_unread_ || (xdata_ != nullptr && !xdata_->empty()); }
  // The names of the applications whose data the object holds (the 1001
  // items), without keeping data that was still unread.
  std::vector<Variant> XDataAppNames();
  // The number of the file's record of this object (FieldSource); 0 for an
  // object made in the program.
  uint32_t record() const { return record_; }
  void set_record(uint32_t record) { record_ = record; }
  MemDocument* doc() const { return doc_; }
  void set_handle(uint64_t handle) { handle_ = handle; }
  // True once a host operation has changed what the file held.
  bool dirty() const { return dirty_; }
  void set_dirty(bool dirty) { dirty_ = dirty; }

 protected:
  // `in_arena`: the object lives in its drawing's arena, which then holds
  // its extended data too.
  ObjectCore(MemDocument* doc, uint64_t handle, bool in_arena = false)
      : doc_(doc), handle_(handle), in_arena_(in_arena) {}
  XData GetXDataOf(const std::string& app_name);
  void SetXDataOf(const std::vector<int16_t>& codes, const std::vector<Variant>& values);
  std::string HandleText() const;

  MemDocument* doc_;
  uint64_t handle_;

 private:
  // Extended data once read, kept apart from the object: most objects hold
  // none.
  std::vector<XDataItem>& Items() const;
  void ReadXData() const;
  mutable std::vector<XDataItem>* xdata_ = nullptr;
  uint32_t record_ = 0;
  // The flags share one byte after the record, where an entity's own small
  // members (EntityCore) fill the rest of the word: a drawing holds
  // hundreds of thousands of entities.
  mutable bool xdata_unread_ : 1 = false;
  bool in_arena_ : 1;

 protected:
  bool dirty_ : 1 = false;
};

// State every stored entity shares, and the operations the drawing needs on
// entities whatever their kind.
class EntityCore : public ObjectCore {
 public:
  ~EntityCore() override;
  virtual std::shared_ptr<Entity> Self() = 0;
  // The same object as the host interface sees it, without a reference.
  virtual Entity* AsEntity() = 0;
  // The entity type name of the exchange format ("LWPOLYLINE", "POINT", ...).
  virtual const char* TypeName() const = 0;
  virtual EntityKind kind() const = 0;
  // A copy for `target`'s block `owner`, with a new handle there.
  // The copy lives in `target`'s arena.
  virtual EntityCore* CloneInto(MemDocument* target) const = 0;
  virtual void Translate(const Point3& displacement) = 0;
  // The world extents; false when the entity has none.
  virtual bool Extents(Point3& min, Point3& max) const = 0;

  MemLayer* layer() const { return layer_; }
  // Moves the entity to `layer`, keeping the layer index and counts right.
  void AssignLayer(MemLayer* layer);
  // Puts a new entity on `layer`, counted but not yet in the layer's index.
  void PlaceOnLayer(MemLayer* layer);
  MemBlock* owner() const { return owner_; }
  void set_owner(MemBlock* owner) { owner_ = owner; }
  // A colour number (1 to 255, 0 for by block, 256 for by layer), held in
  // 16 bits.
  int32_t color() const { return color_; }
  void set_color(int32_t c) { color_ = static_cast<int16_t>(c); }
  // Unlinks the entity from its layer when it leaves the drawing.
  virtual void Detach();

  // An entity read from a file is made with what every entity has (handle,
  // layer, colour, extended data); the fields of its kind are read from its
  // tags the first time they are used, so that loading a drawing does not
  // parse the numbers of entities nobody asks about.
  void Load() const {
    if (!loaded_) LoadFromFile();
  }
  void set_unloaded() { loaded_ = false; }
  bool loaded() const { return loaded_; }

 protected:
  EntityCore(MemDocument* doc, uint64_t handle) : ObjectCore(doc, handle, true) {}
  void CopyCoreInto(EntityCore& copy, MemDocument* target) const;

 private:
  // The small members first, where the object state leaves room.
  mutable bool loaded_ = true;

 protected:
  int16_t color_ = 256;  // by layer
  MemLayer* layer_ = nullptr;
  MemBlock* owner_ = nullptr;

 private:
  void LoadFromFile() const;
};

class MemLayer final : public Layer,
                       public ObjectCore,
                       public std::enable_shared_from_this<MemLayer> {
 public:
  MemLayer(MemDocument* doc, uint64_t handle, std::string name)
      : ObjectCore(doc, handle), name_(std::move(name)) {}
  std::string Handle() override;
  std::string ObjectName() override { return "AcDbLayerTableRecord"; }
  Ref<host::Document> Document() override;
  XData GetXData(const std::string& app_name) override;
  void SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) override;
  std::string Name() override;
  void SetName(const std::string& name) override;
  int32_t Color() override;
  void SetColor(int32_t color) override;
  bool Freeze() override;
  void SetFreeze(bool frozen) override;
  bool LayerOn() override;
  void SetLayerOn(bool on) override;
  bool Lock() override;
  void SetLock(bool locked) override;

  const std::string& name() const { return name_; }
  // Changes the name only; MemDocument::RenameLayer keeps the index right.
  void set_name(std::string name) { name_ = std::move(name); }
  // True once renamed: entities then need their layer tag written anew.
  bool renamed() const { return renamed_; }
  int32_t color() const { return fields_.color; }
  bool frozen() const { return fields_.frozen; }
  bool on() const { return fields_.on; }
  void set_frozen(bool f) { fields_.frozen = f; }
  void set_on(bool o) { fields_.on = o; }
  void set_color(int32_t c) { fields_.color = c; }
  const LayerFields& fields() const { return fields_; }
  void set_fields(const LayerFields& fields) { fields_ = fields; }
  // Model-space entities on this layer, in the order they came onto it.
  std::vector<EntityCore*>& entities() { return entities_; }
  int references = 0;     // entities anywhere in the drawing on this layer
  uint32_t position = 0;  // in the drawing's layer table

 private:
  std::string name_;
  std::vector<EntityCore*> entities_;
  bool renamed_ = false;
  LayerFields fields_;
};

class MemBlock final : public Block,
                       public ObjectCore,
                       public std::enable_shared_from_this<MemBlock> {
 public:
  MemBlock(MemDocument* doc, uint64_t handle, std::string name, Point3 origin)
      : ObjectCore(doc, handle), name_(std::move(name)), origin_(origin) {}
  std::string Handle() override;
  std::string ObjectName() override { return "AcDbBlockTableRecord"; }
  Ref<host::Document> Document() override;
  XData GetXData(const std::string& app_name) override;
  void SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) override;
  std::string Name() override;
  Point3 Origin() override;
  int32_t Count() override;
  Ref<Entity> Item(int32_t index) override;
  Ref<LWPolyline> AddLightWeightPolyline(const std::vector<double>& vertices) override;
  Ref<MText> AddMText(const Point3& insertion, double width, const std::string& text) override;
  Ref<PointEntity> AddPoint(const Point3& point) override;
  Ref<Line> AddLine(const Point3& start, const Point3& end) override;
  Ref<Polyline3D> Add3DPoly(const std::vector<double>& points) override;
  Ref<Text> AddText(const std::string& text, const Point3& insertion, double height) override;
  Ref<AttributeDefinition> AddAttribute(double height, int32_t mode, const std::string& prompt,
                                        const Point3& insertion, const std::string& tag,
                                        const std::string& value) override;
  Ref<BlockReference> InsertBlock(const Point3& insertion, const std::string& name, double x_scale,
                                  double y_scale, double z_scale, double rotation) override;

  const std::string& name() const { return name_; }
  const Point3& origin() const { return origin_; }
  void set_origin(const Point3& origin) { origin_ = origin; }
  bool is_model_space() const;
  const std::vector<EntityCore*>& entities() const { return entities_; }
  // Adds a new entity (made here or a copy) on `layer`.
  void Append(EntityCore* entity, MemLayer* layer);
  // Model-space entities of one type, in creation order.
  const std::vector<EntityCore*>& OfType(const std::string& type) const;
  // Whether a block definition holds block references; model space lists
  // its own by type.
  bool holds_references() const { return references_held_ != 0; }
  void Clear();
  // How many entities at the end of the definition are attribute
  // definitions that are not constant, known as such since they were made
  // through the host: a reference draws none of them, and its box need not
  // look at them.
  size_t variable_definitions_at_end() const { return variable_definitions_at_end_; }
  // Marks the definitions some reference shows, while a purge runs.
  bool in_use() const { return in_use_; }
  void set_in_use(bool in_use) { in_use_ = in_use; }

 private:
  // Model-space entities by type: a drawing uses a few dozen types at most,
  // so a short list searched in order beats a tree; the lists stay where
  // they are as types are added.
  struct TypeList {
    std::string type;
    std::vector<EntityCore*> entities;
  };
  friend class Builder;
  // Append without the indexes by layer and type, for a file's entities:
  // IndexAppended adds every entity appended so to them at once, in order.
  void AppendUnindexed(EntityCore* entity, MemLayer* layer);
  void IndexAppended();
  TypeList* FindType(std::string_view type) const;
  std::string name_;
  Point3 origin_;
  std::vector<EntityCore*> entities_;  // they live in the drawing's arena
  bool in_use_ = false;
  std::vector<std::unique_ptr<TypeList>> by_type_;
  size_t indexed_ = 0;          // entities_ from here on came unindexed
  size_t references_held_ = 0;  // block references among entities_ of a definition
  size_t variable_definitions_at_end_ = 0;
};

class MemUCS final : public UCS,
                     public ObjectCore,
                     public UcsFields,
                     public std::enable_shared_from_this<MemUCS> {
 public:
  MemUCS(MemDocument* doc, uint64_t handle, std::string name)
      : ObjectCore(doc, handle), name_(std::move(name)) {}
  std::string Handle() override;
  std::string ObjectName() override { return "AcDbUCSTableRecord"; }
  Ref<host::Document> Document() override;
  XData GetXData(const std::string& app_name) override;
  void SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) override;
  std::string Name() override;
  Point3 Origin() override;
  Point3 XVector() override;
  Point3 YVector() override;

  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

}  // namespace palvane::host::memory
