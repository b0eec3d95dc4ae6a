#pragma once

// How the file layer fills a new drawing in bulk. Names read from a file are
// taken as they stand (the file is the judge of its own names), and what the
// host's own additions keep up to date object by object (the indexes of
// model space by layer and by type, the next handle) is brought up to date
// once, when all is read. The drawing's objects are opaque here: the file
// layer holds them and hands them back.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "host/memory/field_source.h"
#include "host/memory/fields.h"

namespace palvane::host::memory {

class EntityCore;
class MemBlock;
class MemDocument;
class MemLayer;
class ObjectCore;

// A layer or a block definition of a drawing, as the file layer holds one.
struct LayerRef {
  MemLayer* layer = nullptr;
  explicit operator bool() const { return layer != nullptr; }
};
struct BlockRef {
  MemBlock* block = nullptr;
};

class Builder {
 public:
  // The builder of `doc`; none when `doc` is another host's.
  static std::optional<Builder> For(host::Document& doc);
  // A new drawing of `app` named `name`, not open yet; empty when `app` is
  // another host's application.
  static Ref<host::Document> NewDrawing(host::Application& app, const std::string& name);
  // Opens a drawing made so, once filled: it joins its application's
  // documents and becomes active.
  static void Open(host::Document& doc);
  // A new application with no open drawing; `new_drawing` is applied to
  // every drawing Documents.Add makes (the file layer's template).
  static std::shared_ptr<host::Application> NewApplication(
      std::function<void(host::Document&)> new_drawing);

  // Starts handles afresh, so that a file's take the template's place.
  void ResetHandles();
  // Makes sure later handles lie above `handle`.
  void ReserveHandle(uint64_t handle);
  // Makes sure later handles start at `seed` or above.
  void RaiseHandleSeed(uint64_t seed);

  // The layer of a name as the file gave it, made when missing.
  LayerRef AddLayer(std::string name);
  // The layer of a name, found through the name index alone; empty when
  // there is none.
  LayerRef FindLayer(std::string_view name) const;
  static const std::string& NameOf(LayerRef layer);
  static void SetFields(LayerRef layer, const LayerFields& fields);

  BlockRef ModelSpace() const;
  // The block definition of a name as the file gave it, made when missing.
  BlockRef AddBlock(const std::string& name, const Point3& origin);
  static void SetOrigin(BlockRef block, const Point3& origin);

  // The coordinate system of `name`, made or moved to the axes given as
  // points; host::Error when they do not make one.
  ObjectCore& AddOrUpdateUcs(const std::string& name, const UcsFields& axes);

  void RegisterApp(const std::string& name);
  ViewState& view();

  // A new entity of a kind the host models, its fields read from its record
  // when first used (FieldSource::LoadFields).
  EntityCore* NewEntity(EntityKind kind);
  // An entity of any other type, kept as its tags.
  EntityCore* NewOtherEntity(std::string type);
  static void SetColor(EntityCore& entity, int32_t color);

  // Appends a file's entity to `block` on `layer`, leaving it out of the
  // indexes by layer and type until IndexAppended adds every entity appended
  // so, in order.
  void Append(BlockRef block, EntityCore* entity, LayerRef layer);
  void IndexAppended(BlockRef block);
  // Adds an attribute, on `layer`, to the block reference `reference`.
  static void AppendAttribute(EntityCore& reference, EntityCore* attribute, LayerRef layer);

  // What every object keeps of its file: the number of its record there,
  // whether its extended data is still unread in that record, its handle.
  static ObjectCore& Object(LayerRef layer);
  static ObjectCore& Object(BlockRef block);
  static ObjectCore& Object(EntityCore& entity);
  static uint32_t RecordOf(const ObjectCore& object);
  static void Keep(ObjectCore& object, uint32_t record, bool xdata_unread);
  static void SetHandle(ObjectCore& object, uint64_t handle);

  // Once everything is read: gives each table entry for which
  // `has_file_handle` is false, and each entity of `without_handle`, a new
  // handle above those of the file; makes the layer of `active_layer` (letter
  // case ignored) the active one unless it is missing or frozen; and marks
  // every object as unchanged since read. Returns the names of the layers
  // that got a new handle.
  std::vector<std::string> Finish(const std::function<bool(const ObjectCore&)>& has_file_handle,
                                  const std::vector<EntityCore*>& without_handle,
                                  std::string_view active_layer);
  const std::vector<std::string>& registered_apps() const;
  void SetVariable(const std::string& name, const Variant& value);

  // Where the drawing's objects find what was left unread.
  void SetFieldSource(std::shared_ptr<FieldSource> source);

 private:
  explicit Builder(MemDocument& doc) : doc_(&doc) {}
  MemDocument* doc_;
};

}  // namespace palvane::host::memory
