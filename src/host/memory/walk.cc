#include "host/memory/walk.h"

#include "host/memory/document.h"
#include "host/memory/entities.h"

namespace palvane::host::memory {
namespace {

ObjectState StateOfObject(const ObjectCore& object) {
  return {object.handle(), object.record(), object.dirty(), object.xdata_unread(),
          object.xdata_unread() ? nullptr : &object.xdata()};
}

UcsEntry EntryOf(const MemUCS& ucs) {
  return {StateOfObject(ucs), ucs.name(), static_cast<const UcsFields&>(ucs)};
}

}  // namespace

std::optional<Walk> Walk::For(host::Document& doc) {
  MemDocument* mem = InMemory(doc);
  if (mem == nullptr) return std::nullopt;
  return Walk(*mem);
}

const std::string& Walk::name() const { return doc_->name(); }
FieldSource* Walk::field_source() const { return doc_->field_source(); }
uint64_t Walk::handle_seed() const { return doc_->handle_seed(); }

size_t Walk::layer_count() const { return doc_->layers().size(); }

LayerEntry Walk::layer(size_t index) const {
  const MemLayer& l = *doc_->layers().at(index);
  return {StateOfObject(l), l.name(), l.fields(), l.renamed()};
}

size_t Walk::ucs_count() const { return doc_->ucss().size(); }
UcsEntry Walk::ucs(size_t index) const { return EntryOf(*doc_->ucss().at(index)); }

size_t Walk::block_count() const { return doc_->blocks().size(); }

BlockEntry Walk::block(size_t index) const {
  const MemBlock& b = *doc_->blocks().at(index);
  return {StateOfObject(b), b.name(), b.origin(), b.is_model_space(), b.entities()};
}

const std::vector<std::string>& Walk::registered_apps() const { return doc_->registered_apps(); }

const std::string& Walk::active_layer() const { return doc_->active_layer()->name(); }

std::optional<UcsEntry> Walk::active_ucs() const {
  if (doc_->active_ucs() == nullptr) return std::nullopt;
  return EntryOf(*doc_->active_ucs());
}

const ViewState& Walk::view() const { return doc_->view(); }

Variant Walk::variable(const std::string& name) const {
  const auto it = doc_->variables().find(name);
  return it != doc_->variables().end() ? it->second : Variant();
}

EntityState Walk::StateOf(const EntityCore& entity) {
  EntityState state;
  static_cast<ObjectState&>(state) = StateOfObject(entity);
  state.kind = entity.kind();
  state.type = entity.TypeName();
  state.color = entity.color();
  if (const MemLayer* layer = entity.layer()) {
    state.layer = &layer->name();
    state.layer_renamed = layer->renamed();
  }
  return state;
}

}  // namespace palvane::host::memory
