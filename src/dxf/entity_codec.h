#pragma once

// One codec per entity kind the host models: the kind it makes for a file's
// type name, how its fields are read from its tags (load), how a changed
// entity's tags are written with its fields (patch), and how an entity made
// in the program is written whole (write new). A codec declares
// its fields as rows (field_rows.h); adding a kind is one codec and its row
// in the table (entity_codecs.cc).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dxf/field_rows.h"
#include "dxf/file_data.h"
#include "dxf/group_codes.h"
#include "dxf/raw_tags.h"
#include "dxf/tags.h"
#include "host/host.h"
#include "host/memory/fields.h"
#include "host/memory/walk.h"

namespace palvane::dxf {

class TextCodec;

// What a codec writes an entity with, beyond its fields.
struct EntityOut {
  TagOut& out;
  // Writes an entity that belongs to another (an attribute of a block
  // reference), with its own codec.
  std::function<void(host::memory::EntityCore&, uint64_t owner)> write_entity;
  // A handle for an object the writer makes (such as the end of a sequence).
  std::function<uint64_t()> new_handle;
};

// What the file held after an entity that belongs to it: a polyline's
// vertices and the end of a sequence (of attributes or vertices).
struct Following {
  const VertexRun* vertices = nullptr;
  const RawTags* sequence_end = nullptr;
};

class EntityCodec {
 public:
  virtual ~EntityCodec() = default;
  // The entity type of the exchange format, such as "LWPOLYLINE".
  virtual std::string_view type() const = 0;
  virtual host::memory::EntityKind kind() const = 0;
  // Fills the entity's fields from its own tags.
  virtual void Load(const host::memory::EntityFields& entity, const RawTags& tags,
                    const TextCodec& text) const = 0;
  // Writes a changed entity from its own tags: what the model holds (handle,
  // owner, layer, colour, and the kind's fields) in place of what the file
  // said, every other tag as it was.
  virtual void Patch(const host::memory::EntityState& state,
                     const host::memory::EntityFields& entity, const RawTags& tags, uint64_t owner,
                     TagOut& out) const = 0;
  // Writes what follows the kind's common head (handle, owner, layer,
  // colour) for an entity made in the program.
  virtual void WriteNew(const host::memory::EntityState& state,
                        const host::memory::EntityFields& entity, TagOut& out) const = 0;
  // Fills the fields a kind keeps in the entities that follow it in a file:
  // a polyline's vertices, each "0 VERTEX" and its tags.
  virtual void LoadVertices(const host::memory::EntityFields&, const RawTags& /*vertices*/) const {}
  // Writes what follows the entity and belongs to it, such as a block
  // reference's attributes or a polyline's vertices.
  virtual void WriteFollowing(const host::memory::EntityState&, const host::memory::EntityFields&,
                              const Following&, EntityOut&) const {}
};

// The codec of an entity type; null for a type the host does not model.
const EntityCodec* CodecOf(std::string_view type);

// The codec of an entity: its kind's, or for an entity of a kind the host
// does not model (kept as its tags) one that patches only what every entity
// has and cannot write such an entity anew.
const EntityCodec& CodecOf(const host::memory::EntityState& entity);

// An entity's layer name in the file's encoding.
std::string LayerName(const host::memory::EntityState& entity, const TagOut& out);

}  // namespace palvane::dxf
