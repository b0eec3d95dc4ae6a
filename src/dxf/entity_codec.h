#pragma once

// One codec per entity kind the host models: how an entity of the kind is
// made for a file's tags, how its fields are read from them (load), how a
// changed entity's tags are written with its fields (patch), and how an
// entity made in the program is written whole (write new). Adding a kind
// is one codec and its row in the table (entity_codecs.cc).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dxf/raw_tags.h"
#include "dxf/tags.h"
#include "host/host.h"

namespace palvane::host::memory {
class EntityCore;
class MemDocument;
}  // namespace palvane::host::memory

namespace palvane::dxf {

class TextCodec;

// What a codec writes through: the tag writer of the output and its form.
class TagOut {
 public:
  TagOut(TagWriter& w, const TextCodec& text, bool r12, bool has_handles)
      : w_(w), text_(text), r12_(r12), has_handles_(has_handles) {}

  void Write(int code, std::string_view value) { w_.Write(code, value); }
  void Write(int code, double value) { w_.Write(code, value); }
  void Write(int code, int64_t value) { w_.Write(code, value); }
  // A subclass marker; R12 files have none.
  void Subclass(const char* name) {
    if (!r12_) w_.Write(100, name);
  }
  // A point under `code`, `code` + 10 and (with `z`) `code` + 20.
  void Point(int code, const host::Point3& p, bool z = true) {
    w_.Write(code, p[0]);
    w_.Write(code + 10, p[1]);
    if (z) w_.Write(code + 20, p[2]);
  }
  // UTF-8 text in the file's encoding.
  std::string Enc(std::string_view utf8) const;
  bool r12() const { return r12_; }
  bool has_handles() const { return has_handles_; }

  // Writes an entity that belongs to another (an attribute of a block
  // reference), with its own codec; set by the writer.
  std::function<void(host::memory::EntityCore&, uint64_t owner)> write_entity;
  // A handle for an object the writer makes (such as the end of a sequence).
  std::function<uint64_t()> new_handle;

 private:
  TagWriter& w_;
  const TextCodec& text_;
  bool r12_;
  bool has_handles_;
};

class EntityCodec {
 public:
  virtual ~EntityCodec() = default;
  // The entity type of the exchange format, such as "LWPOLYLINE".
  virtual std::string_view type() const = 0;
  // A new entity of the kind in `doc`, its fields not read yet.
  virtual host::memory::EntityCore* Make(host::memory::MemDocument& doc) const = 0;
  // Fills the entity's fields from its own tags.
  virtual void Load(host::memory::EntityCore& entity, const RawTags& tags,
                    const TextCodec& text) const = 0;
  // Writes a changed entity from its own tags: what the model holds (handle,
  // owner, layer, colour, and the kind's fields) in place of what the file
  // said, every other tag as it was.
  virtual void Patch(host::memory::EntityCore& entity, const RawTags& tags, uint64_t owner,
                     TagOut& out) const = 0;
  // Writes what follows the kind's common head (handle, owner, layer,
  // colour) for an entity made in the program.
  virtual void WriteNew(host::memory::EntityCore& entity, TagOut& out) const = 0;
  // Writes what follows the entity and belongs to it, such as a block
  // reference's attributes; `sequence_end` is the file's end of them, if any.
  virtual void WriteFollowing(host::memory::EntityCore&, const RawTags* /*sequence_end*/,
                              TagOut&) const {}
};

// The codec of an entity type; null for a type the host does not model.
const EntityCodec* CodecOf(std::string_view type);

// The codec of an entity: its kind's, or for an entity of a kind the host
// does not model (kept as its tags) one that patches only what every entity
// has and cannot write such an entity anew.
const EntityCodec& CodecOf(const host::memory::EntityCore& entity);

}  // namespace palvane::dxf
