#pragma once

// How the file layer fills a new drawing in bulk. Names read from a file are
// taken as they stand (the file is the judge of its own names), and what the
// host's own additions keep up to date object by object (the indexes of
// model space by layer and by type, the next handle) is brought up to date
// once, when all is read.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/host.h"
#include "host/memory/field_source.h"

namespace palvane::host::memory {

class EntityCore;
class MemBlock;
class MemDocument;
class MemLayer;

class Builder {
 public:
  explicit Builder(MemDocument& doc) : doc_(doc) {}

  // Starts handles afresh, so that a file's take the template's place.
  void ResetHandles();
  // Makes sure later handles lie above `handle`.
  void ReserveHandle(uint64_t handle);
  // Makes sure later handles start at `seed` or above.
  void RaiseHandleSeed(uint64_t seed);

  // The layer of a name as the file gave it, made when missing.
  MemLayer* AddLayer(std::string name);
  // The layer of a name, found through the name index alone; null when
  // there is none.
  MemLayer* FindLayer(std::string_view name) const;
  // The block definition of a name as the file gave it, made when missing.
  MemBlock* AddBlock(const std::string& name, const Point3& origin);

  // Appends a file's entity to `block` on `layer`, leaving it out of the
  // indexes by layer and type until IndexAppended adds every entity appended
  // so, in order.
  void Append(MemBlock& block, EntityCore* entity, MemLayer* layer);
  void IndexAppended(MemBlock& block);

  // Where the drawing's objects find what was left unread.
  void SetFieldSource(std::shared_ptr<FieldSource> source);

 private:
  MemDocument& doc_;
};

}  // namespace palvane::host::memory
