#pragma once

// What the file layer reads of a drawing to write it: its tables, blocks and
// entities in order, and what each object keeps of the file it came from. A
// walk only reads; the objects stay opaque.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/memory/field_source.h"
#include "host/memory/fields.h"

namespace palvane::host::memory {

class EntityCore;
class MemDocument;
class ObjectCore;

// What every object keeps: its handle, its record in the file it was read
// from (0 for one made in the program), whether a host operation changed it
// since, and its extended data: unread in the record, or `xdata`.
struct ObjectState {
  uint64_t handle = 0;
  uint32_t record = 0;
  bool dirty = false;
  bool xdata_unread = false;
  const std::vector<XDataItem>* xdata = nullptr;
};

struct EntityState : ObjectState {
  EntityKind kind = EntityKind::kOther;
  const char* type = "";  // the exchange format's type, such as "LWPOLYLINE"
  int32_t color = 256;
  const std::string* layer = nullptr;  // its layer's name; null when on none
  bool layer_renamed = false;
};

struct LayerEntry {
  ObjectState state;
  const std::string& name;
  LayerFields fields;
  bool renamed;
};

struct UcsEntry {
  ObjectState state;
  const std::string& name;
  UcsFields axes;
};

struct BlockEntry {
  ObjectState state;
  const std::string& name;
  Point3 origin;
  bool model_space;
  std::span<EntityCore* const> entities;
};

class Walk {
 public:
  // The walk of `doc`; none when `doc` is another host's.
  static std::optional<Walk> For(host::Document& doc);

  const std::string& name() const;
  // Where objects read from a file find what was left unread; null for a
  // drawing that was not read from one.
  FieldSource* field_source() const;
  // The next handle the drawing would give.
  uint64_t handle_seed() const;

  size_t layer_count() const;
  LayerEntry layer(size_t index) const;
  size_t ucs_count() const;
  UcsEntry ucs(size_t index) const;
  size_t block_count() const;
  BlockEntry block(size_t index) const;  // model space first
  BlockEntry model_space() const { return block(0); }
  const std::vector<std::string>& registered_apps() const;

  const std::string& active_layer() const;
  // The active coordinate system; none for the world's.
  std::optional<UcsEntry> active_ucs() const;
  const ViewState& view() const;
  // A system variable by upper-case name; empty when never set.
  Variant variable(const std::string& name) const;

  static EntityState StateOf(const EntityCore& entity);

 private:
  explicit Walk(MemDocument& doc) : doc_(&doc) {}
  MemDocument* doc_;
};

}  // namespace palvane::host::memory
