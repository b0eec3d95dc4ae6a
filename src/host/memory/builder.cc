#include "host/memory/builder.h"

#include "host/memory/document.h"

namespace palvane::host::memory {

void Builder::ResetHandles() { doc_.next_handle_ = 1; }

void Builder::ReserveHandle(uint64_t handle) {
  if (handle >= doc_.next_handle_) doc_.next_handle_ = handle + 1;
}

void Builder::RaiseHandleSeed(uint64_t seed) {
  if (seed > doc_.next_handle_) doc_.next_handle_ = seed;
}

MemLayer* Builder::AddLayer(std::string name) { return doc_.NewLayer(std::move(name), false); }

MemLayer* Builder::FindLayer(std::string_view name) const { return doc_.layer_index_.Find(name); }

MemBlock* Builder::AddBlock(const std::string& name, const Point3& origin) {
  return doc_.NewBlock(name, origin, false);
}

void Builder::Append(MemBlock& block, EntityCore* entity, MemLayer* layer) {
  block.AppendUnindexed(entity, layer);
}

void Builder::IndexAppended(MemBlock& block) { block.IndexAppended(); }

void Builder::SetFieldSource(std::shared_ptr<FieldSource> source) {
  doc_.field_source_ = std::move(source);
}

}  // namespace palvane::host::memory
