#include <algorithm>
#include <cctype>
#include <optional>

#include "host/convert.h"
#include "host/memory/entities.h"
#include "host/memory/views.h"
#include "host/wildcard.h"

namespace palvane::host::memory {

namespace {

// The names a selection filter gives for one group code: one or two in
// practice, held without an allocation of their own.
class FilterNames {
 public:
  void push_back(std::string name) {
    if (count_ < kInline) {
      inline_[count_] = std::move(name);
    } else {
      more_.push_back(std::move(name));
    }
    ++count_;
  }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const std::string& operator[](size_t i) const {
    return i < kInline ? inline_[i] : more_[i - kInline];
  }

 private:
  static constexpr size_t kInline = 2;
  std::string inline_[kInline];
  std::vector<std::string> more_;
  size_t count_ = 0;
};

// Paper space layouts: "*Paper_Space", "*Paper_Space0", ... in any letter case.
bool IsPaperLayout(std::string_view name) {
  constexpr std::string_view kPaper = "*paper_space";
  if (name.size() < kPaper.size()) return false;
  for (size_t i = 0; i < kPaper.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(name[i])) != kPaper[i]) return false;
  }
  return true;
}

}  // namespace

// Named selection sets of a drawing.
class MemSelectionSet final : public SelectionSet,
                              public std::enable_shared_from_this<MemSelectionSet> {
 public:
  // The drawing owns its sets, so a set refers back to it without owning it.
  MemSelectionSet(MemDocument* doc, std::string name) : doc_(doc), name_(std::move(name)) {}
  std::string Handle() override { return ""; }
  std::string ObjectName() override { return "AcDbSelectionSet"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_->shared_from_this()); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("a selection set holds no extended data");
  }
  std::string Name() override {
    Enter("Name");
    return name_;
  }
  int32_t Count() override {
    Enter("Count");
    return static_cast<int32_t>(items_.size());
  }
  Ref<Entity> Item(int32_t index) override {
    Enter("Item");
    return Ref<Entity>(items_[static_cast<size_t>(CheckIndex(index, items_.size()))]->Self());
  }
  void Select(int32_t mode, const std::vector<int16_t>& filter_codes,
              const std::vector<Variant>& filter_values) override {
    Enter("Select");
    if (mode != kSelectionSetAll) {
      throw Error::InvalidInput("only the whole-drawing selection is supported here");
    }
    if (filter_codes.size() != filter_values.size()) {
      throw Error::InvalidInput("filter lists of different lengths");
    }
    FilterNames types, layers;
    for (size_t i = 0; i < filter_codes.size(); ++i) {
      if (filter_codes[i] == 0) {
        types.push_back(ToText(filter_values[i]));
      } else if (filter_codes[i] == 8) {
        layers.push_back(ToText(filter_values[i]));
      } else {
        throw Error::InvalidInput("unsupported filter group code " +
                                  std::to_string(filter_codes[i]));
      }
    }
    // Names are wild-card patterns, letter case aside, as in the CAD
    // program. Start from the smallest index a literal name allows: a
    // layer's entities or one type's; a true pattern starts from all of
    // model space.
    // One selection lists each entity once; a second may repeat some.
    if (!items_.empty()) unique_ = false;
    const MemBlock* model = doc_->model_space();
    std::vector<EntityCore*> all;
    const std::vector<EntityCore*>* candidates = nullptr;
    const std::optional<std::string> layer_literal =
        layers.empty() ? std::nullopt : PatternLiteral(layers[0]);
    const std::optional<std::string> type_literal =
        types.empty() ? std::nullopt : PatternLiteral(types[0]);
    size_t first_type = 0, first_layer = 0;  // the filters the candidates meet already
    if (layer_literal) {
      MemLayer* layer = doc_->FindLayer(*layer_literal);
      static const std::vector<EntityCore*> kNone;
      candidates = layer == nullptr ? &kNone : &layer->entities();
      first_layer = 1;
    } else if (type_literal) {
      std::string upper = *type_literal;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      candidates = &model->OfType(upper);
      first_type = 1;
    } else {
      for (const auto& e : model->entities()) all.push_back(e);
      candidates = &all;
    }
    const auto passes = [&](EntityCore* e) {
      for (size_t t = first_type; t < types.size(); ++t) {
        if (!WildcardMatch(types[t], e->TypeName())) return false;
      }
      for (size_t l = first_layer; l < layers.size(); ++l) {
        if (e->layer() == nullptr || !WildcardMatch(layers[l], e->layer()->name())) return false;
      }
      return true;
    };
    // The list the candidates come from meets its own filter already: with
    // no other filter it is taken whole without touching its entities.
    if (first_type == types.size() && first_layer == layers.size()) {
      items_.insert(items_.end(), candidates->begin(), candidates->end());
    } else {
      for (EntityCore* e : *candidates) {
        if (passes(e)) items_.push_back(e);
      }
    }
    // "All" covers every layout: paper space sheets after the model.
    first_type = first_layer = 0;
    for (const auto& block : doc_->blocks()) {
      if (!IsPaperLayout(block->name())) continue;
      for (EntityCore* e : block->entities()) {
        if (passes(e)) items_.push_back(e);
      }
    }
  }
  void RemoveItems(const std::vector<Ref<Entity>>& entities) override {
    Enter("RemoveItems");
    // Callers usually remove entities in the set's own order (collected while
    // walking it): when the set holds each entity once, one pass in step
    // does, without a set of hundreds of thousands of entries.
    if (unique_) {
      std::vector<EntityCore*> kept;
      kept.reserve(items_.size() - std::min(items_.size(), entities.size()));
      size_t next = 0;
      for (EntityCore* e : items_) {
        if (next < entities.size() && entities[next].get() == e->AsEntity()) {
          ++next;
        } else {
          kept.push_back(e);
        }
      }
      if (next == entities.size()) {
        items_ = std::move(kept);
        return;
      }
    }
    std::unordered_set<const Entity*> gone;
    for (const auto& e : entities) gone.insert(e.get());
    std::erase_if(items_, [&](EntityCore* e) { return gone.count(e->AsEntity()) != 0; });
  }
  void Delete() override {
    Enter("Delete");
    auto& sets = doc_->selection_sets();
    for (auto it = sets.begin(); it != sets.end(); ++it) {
      if (it->get() != this) continue;
      sets.erase(it);
      break;
    }
    deleted_ = true;
    items_.clear();
  }
  const std::string& name() const { return name_; }

 private:
  void Enter(const char* member) {
    doc_->Enter("SelectionSet", member);
    if (deleted_) throw Error::InvalidInput("the selection set was deleted");
  }
  MemDocument* doc_;
  std::string name_;
  std::vector<EntityCore*> items_;
  bool unique_ = true;  // no entity is in items_ twice
  bool deleted_ = false;
};

namespace {

class MemSelectionSets final : public SelectionSets {
 public:
  explicit MemSelectionSets(MemDocument* doc) : doc_(doc) {}
  std::string Handle() override { return ""; }
  std::string ObjectName() override { return "AcDbSelectionSets"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_->shared_from_this()); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("selection sets hold no extended data");
  }
  int32_t Count() override {
    doc_->Enter("SelectionSets", "Count");
    return static_cast<int32_t>(doc_->selection_sets().size());
  }
  Ref<SelectionSet> Item(int32_t index) override {
    doc_->Enter("SelectionSets", "Item");
    auto& sets = doc_->selection_sets();
    return Ref<SelectionSet>(sets[static_cast<size_t>(CheckIndex(index, sets.size()))]);
  }
  Ref<SelectionSet> Item(const std::string& name) override {
    doc_->Enter("SelectionSets", "Item");
    for (const auto& s : doc_->selection_sets()) {
      if (SameName(s->name(), name)) return Ref<SelectionSet>(s);
    }
    throw Error::KeyNotFound();
  }
  Ref<SelectionSet> Add(const std::string& name) override {
    doc_->Enter("SelectionSets", "Add");
    CheckSymbolName(name, "selection set");
    for (const auto& s : doc_->selection_sets()) {
      if (SameName(s->name(), name)) throw Error::DuplicateKey();
    }
    auto set = std::make_shared<MemSelectionSet>(doc_, name);
    doc_->selection_sets().push_back(set);
    return Ref<SelectionSet>(set);
  }

 private:
  MemDocument* doc_;  // which owns this view of it
};

}  // namespace

std::unique_ptr<SelectionSets> NewSelectionSetsView(MemDocument* doc) {
  return std::make_unique<MemSelectionSets>(doc);
}

}  // namespace palvane::host::memory
