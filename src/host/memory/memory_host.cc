#include "host/memory/memory_host.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <unordered_set>

#include "geometry/vec.h"
#include "host/convert.h"
#include "host/memory/entities.h"

namespace palvane::host::memory {

namespace g = palvane::geometry;

// ---------------------------------------------------------------------------
// Call monitor

void CallMonitor::EnterSlow(const char* object, const char* member) {
  std::string operation = std::string(object) + "." + member;
  for (Fault& f : faults_) {
    if (f.operation != operation) continue;
    ++f.seen;
    if (f.seen == f.occurrence || (f.every && f.seen > f.occurrence)) {
      if (recording_) calls_.push_back(operation + " (failed)");
      if (f.failure) std::rethrow_exception(f.failure);
      throw Error(f.number, f.description);
    }
  }
  if (recording_) calls_.push_back(std::move(operation));
}

int CallMonitor::CountOf(const std::string& operation) const {
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), operation));
}

void CallMonitor::FailAt(std::string operation, int occurrence, int32_t number,
                         std::string description, bool every) {
  faults_.push_back(
      Fault{std::move(operation), occurrence, number, std::move(description), every, nullptr});
}

void CallMonitor::FailWith(std::string operation, int occurrence, std::exception_ptr failure) {
  faults_.push_back(Fault{std::move(operation), occurrence, 0, "", false, std::move(failure)});
}

// ---------------------------------------------------------------------------
// Raw tags

namespace {

// The decoders slices refer to, by index from 1: a handful, one per file form.
// Registered once each; found without a lock, since drawings may be read on
// several threads.
constexpr size_t kMaxCodecs = 16;
const TagCodec* g_codecs[kMaxCodecs];
std::atomic<size_t> g_codec_count{0};
std::mutex g_codec_mutex;

}  // namespace

uint8_t RawTags::CodecIndex(const TagCodec* codec) {
  auto find = [&](size_t count) -> uint8_t {
    for (size_t i = 0; i < count; ++i) {
      if (g_codecs[i] == codec) return static_cast<uint8_t>(i + 1);
    }
    return 0;
  };
  if (const uint8_t index = find(g_codec_count.load(std::memory_order_acquire))) return index;
  const std::lock_guard<std::mutex> lock(g_codec_mutex);
  const size_t count = g_codec_count.load(std::memory_order_relaxed);
  if (const uint8_t index = find(count)) return index;
  if (count == kMaxCodecs) throw std::logic_error("too many tag decoders");
  g_codecs[count] = codec;
  g_codec_count.store(count + 1, std::memory_order_release);
  return static_cast<uint8_t>(count + 1);
}

RawTags::RawTags(const RawTags& other) : size_(other.size_), codec_(other.codec_) {
  if (codec_ != 0) {
    begin_ = other.begin_;
  } else {
    owned_ = other.owned_ != nullptr ? new std::string(*other.owned_) : nullptr;
  }
}

RawTags& RawTags::operator=(const RawTags& other) {
  if (this != &other) *this = RawTags(other);
  return *this;
}

const TagCodec* RawTags::codec() const { return codec_ != 0 ? g_codecs[codec_ - 1] : nullptr; }

void RawTags::push_back(int16_t code, std::string_view value) {
  if (codec_ != 0) {
    // A slice becomes tags of its own before it grows.
    RawTags owned;
    for (const auto [c, v] : *this) owned.push_back(c, v);
    *this = std::move(owned);
  }
  if (owned_ == nullptr) owned_ = new std::string();
  const auto length = static_cast<uint32_t>(value.size());
  char head[6];
  std::memcpy(head, &code, 2);
  std::memcpy(head + 2, &length, 4);
  owned_->append(head, 6);
  owned_->append(value);
}

RawTags::Iterator RawTags::begin() const {
  if (codec_ != 0) return Iterator(begin_, begin_ + size_, codec());
  if (owned_ == nullptr) return Iterator(nullptr, nullptr, nullptr);
  return Iterator(owned_->data(), owned_->data() + owned_->size(), nullptr);
}

RawTags::Iterator RawTags::end() const {
  if (codec_ != 0) return Iterator(begin_ + size_, begin_ + size_, codec());
  if (owned_ == nullptr) return Iterator(nullptr, nullptr, nullptr);
  const char* stop = owned_->data() + owned_->size();
  return Iterator(stop, stop, nullptr);
}

RawTags::Iterator::Iterator(const char* p, const char* end, const TagCodec* codec)
    : p_(p), end_(end), codec_(codec) {
  Decode();
}

void RawTags::Iterator::Decode() {
  if (p_ >= end_) {
    next_ = end_;
    return;
  }
  if (codec_ != nullptr) {
    next_ = codec_->Decode(p_, end_, tag_.code, tag_.value, scratch_);
    return;
  }
  uint32_t length;
  std::memcpy(&tag_.code, p_, 2);
  std::memcpy(&length, p_ + 2, 4);
  tag_.value = std::string_view(p_ + 6, length);
  next_ = p_ + 6 + length;
}

RawTags::Iterator& RawTags::Iterator::operator++() {
  p_ = next_;
  Decode();
  return *this;
}

// ---------------------------------------------------------------------------
// Names

std::string FoldName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

void CheckSymbolName(const std::string& name, const char* what) {
  if (name.empty()) throw Error::InvalidInput(std::string(what) + " name is empty");
  if (name.size() > 255) throw Error::InvalidInput(std::string(what) + " name is too long");
  // The refused characters as a table: names are checked for every layer
  // and block a keyplan makes.
  static constexpr auto kRefused = [] {
    std::array<bool, 256> refused{};
    for (int c = 0; c < 0x20; ++c) refused[static_cast<size_t>(c)] = true;
    for (char c : std::string_view("<>/\\\":;?*|,=`"))
      refused[static_cast<unsigned char>(c)] = true;
    return refused;
  }();
  for (char c : name) {
    if (kRefused[static_cast<unsigned char>(c)]) {
      throw Error::InvalidInput(std::string(what) + " name \"" + name +
                                "\" holds a character that names may not contain");
    }
  }
}

namespace {

bool SameName(std::string_view a, std::string_view b) { return FoldedEqual{}(a, b); }

Variant ConvertXDataValue(int16_t code, const Variant& v) {
  auto text = [&]() -> std::string {
    // The drawing keeps a date as its invariant text, whatever the caller's
    // locale, so that any reader converts it back.
    std::string s = v.type() == Variant::Type::kDate
                        ? InvariantConversions().DateToText(v.AsDateUnchecked())
                        : ToText(v);
    if (s.size() > 255) {
      throw Error::InvalidInput("extended data text longer than 255 bytes (group code " +
                                std::to_string(code) + ")");
    }
    return s;
  };
  switch (code) {
    case 1000:
    case 1001:
    case 1003:
    case 1004:
    case 1005:
      return text();
    case 1002: {
      std::string s = ToText(v);
      if (s != "{" && s != "}") throw Error::InvalidInput("group code 1002 holds only { or }");
      return s;
    }
    case 1010:
    case 1011:
    case 1012:
    case 1013: {
      if (!v.IsArray() || v.AsArrayUnchecked().size() != 3) throw Error::TypeMismatch();
      const auto& a = v.AsArrayUnchecked();
      return Variant::Point(ToDouble(a[0]), ToDouble(a[1]), ToDouble(a[2]));
    }
    case 1040:
    case 1041:
    case 1042:
      return ToDouble(v);
    case 1070:
      return ToInteger(v);
    case 1071:
      if (v.type() == Variant::Type::kString) {
        const double d = InvariantConversions().TextToDouble(v.AsStringUnchecked());
        if (d != std::trunc(d)) throw Error::TypeMismatch();
        return DoubleToLong(d);
      }
      return ToLong(v);
    default:
      throw Error::InvalidInput("group code " + std::to_string(code) +
                                " is not an extended data code");
  }
}

int32_t CheckIndex(int32_t index, size_t count) {
  if (index < 0 || static_cast<size_t>(index) >= count) {
    throw Error::InvalidInput("index " + std::to_string(index) + " out of range");
  }
  return index;
}

void Grow(Point3& min, Point3& max, const Point3& p) {
  for (int i = 0; i < 3; ++i) {
    min[i] = std::min(min[i], p[i]);
    max[i] = std::max(max[i], p[i]);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Objects

std::string ObjectCore::HandleText() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(handle_));
  return buf;
}

ObjectCore::~ObjectCore() {
  if (xdata_ == nullptr) return;
  if (in_arena_) {
    xdata_->~XDataState();
  } else {
    delete xdata_;
  }
}

ObjectCore::XDataState& ObjectCore::State() const {
  if (xdata_ == nullptr) {
    xdata_ = in_arena_ ? new (doc_->ArenaBytes(sizeof(XDataState), alignof(XDataState)))
                             XDataState()
                       : new XDataState();
  }
  return *xdata_;
}

const RawTags& ObjectCore::unread_xdata() const {
  static const RawTags kNone;
  return xdata_ != nullptr ? xdata_->unread : kNone;
}

void ObjectCore::set_unread_xdata(RawTags tags) {
  if (tags.empty() && xdata_ == nullptr) return;
  XDataState& state = State();
  state.items.clear();
  state.unread = std::move(tags);
}

void ObjectCore::ReadXData() const {
  XDataState& state = State();
  if (state.unread.empty()) return;
  if (doc_->file != nullptr) {
    XData read;
    doc_->file->LoadXData(state.unread, {}, read);
    state.items.reserve(read.codes.size());
    for (size_t i = 0; i < read.codes.size(); ++i) {
      state.items.push_back({read.codes[i], std::move(read.values[i])});
    }
  }
  state.unread.clear();
}

const std::vector<XDataItem>& ObjectCore::xdata() const {
  static const std::vector<XDataItem> kNone;
  if (xdata_ == nullptr) return kNone;
  if (!xdata_->unread.empty()) ReadXData();
  return xdata_->items;
}

std::vector<XDataItem>& ObjectCore::mutable_xdata() {
  ReadXData();
  return xdata_->items;
}

std::vector<Variant> ObjectCore::XDataAppNames() {
  XData all = GetXDataOf({});
  std::vector<Variant> names;
  for (size_t i = 0; i < all.codes.size(); ++i) {
    if (all.codes[i] == 1001) names.push_back(std::move(all.values[i]));
  }
  return names;
}

XData ObjectCore::GetXDataOf(const std::string& app_name) {
  XData out;
  // Unread data is read for the answer but not kept with the object: a
  // drawing's worth of parsed values would cost more memory than the file.
  if (xdata_ != nullptr && !xdata_->unread.empty() && doc_->file != nullptr) {
    doc_->file->LoadXData(xdata_->unread, app_name, out);
    return out;
  }
  const std::vector<XDataItem>& items = xdata();
  if (items.empty()) return out;
  bool in_group = false;
  for (const XDataItem& item : items) {
    if (item.code == 1001) {
      in_group = app_name.empty() || (item.value.type() == Variant::Type::kString &&
                                      SameName(item.value.AsStringUnchecked(), app_name));
    }
    if (in_group) {
      out.codes.push_back(item.code);
      out.values.push_back(item.value);
    }
  }
  return out;
}

void ObjectCore::SetXDataOf(const std::vector<int16_t>& codes, const std::vector<Variant>& values) {
  if (codes.size() != values.size() || codes.empty()) {
    throw Error::InvalidInput("extended data needs equal, non-empty lists of codes and values");
  }
  if (codes[0] != 1001) throw Error::InvalidInput("extended data must start with group code 1001");
  std::vector<XDataItem> group;
  group.reserve(codes.size());
  for (size_t i = 0; i < codes.size(); ++i) {
    if (i > 0 && codes[i] == 1001) {
      throw Error::InvalidInput("extended data holds more than one application");
    }
    group.push_back({codes[i], ConvertXDataValue(codes[i], values[i])});
  }
  const std::string app = group[0].value.AsStringUnchecked();
  CheckSymbolName(app, "application");
  ++doc_->xdata_writes;
  // A drawing holding data of an unregistered application is invalid, so the
  // application is registered first.
  doc_->RegisterApp(app);
  // Replace the application's group where it stands, or append it.
  std::vector<XDataItem>& xdata = mutable_xdata();
  auto begin = xdata.end(), end = xdata.end();
  for (auto it = xdata.begin(); it != xdata.end(); ++it) {
    if (it->code != 1001) continue;
    if (begin != xdata.end()) {
      end = it;
      break;
    }
    if (SameName(it->value.AsStringUnchecked(), app)) begin = it;
  }
  if (begin == xdata.end()) {
    xdata.insert(xdata.end(), group.begin(), group.end());
  } else {
    const auto at = xdata.erase(begin, end);
    xdata.insert(at, group.begin(), group.end());
  }
}

EntityCore::~EntityCore() = default;

const std::string* SharedTexts::Share(std::string_view text) {
  // The texts shared last are compared first, from the one after the last
  // found: a keyplan shares the same dozen in the same order, block after
  // block, so that the first comparison usually finds it.
  constexpr size_t kRecent = std::size(decltype(recent_){});
  for (size_t i = 1; i <= kRecent; ++i) {
    const size_t at = (last_found_ + i) % kRecent;
    if (recent_[at] != nullptr && *recent_[at] == text) {
      last_found_ = at;
      return recent_[at];
    }
  }
  auto it = texts_.find(text);
  if (it == texts_.end()) it = texts_.emplace(text).first;
  last_found_ = next_recent_++ % kRecent;
  recent_[last_found_] = &*it;
  return &*it;
}

const std::string* SharedTexts::Empty() {
  static const std::string kEmpty;
  return &kEmpty;
}

void EntityCore::LoadFromFile() const {
  loaded_ = true;  // first, so that the loader may use the accessors
  if (doc_->file != nullptr) doc_->file->LoadEntity(const_cast<EntityCore&>(*this));
}

void EntityCore::PlaceOnLayer(MemLayer* layer) {
  layer_ = layer;
  if (layer_ != nullptr) ++layer_->references;
}

void EntityCore::AssignLayer(MemLayer* layer) {
  if (layer == layer_) return;
  const bool indexed = owner_ != nullptr && owner_->is_model_space();
  if (layer_ != nullptr) {
    --layer_->references;
    if (indexed) {
      auto& list = layer_->entities();
      // Entities usually change layer right after they were added: search from the back.
      for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (*it == this) {
          list.erase(std::next(it).base());
          break;
        }
      }
    }
  }
  layer_ = layer;
  if (layer_ != nullptr) {
    ++layer_->references;
    if (indexed) layer_->entities().push_back(this);
  }
}

void EntityCore::Detach() { AssignLayer(nullptr); }

void EntityCore::CopyCoreInto(EntityCore& copy, MemDocument* target) const {
  if (!xdata().empty()) copy.mutable_xdata() = xdata();
  copy.color_ = color_;
  copy.dirty_ = true;  // a copy gets its own handle and owner when written
  if (target == doc_) {
    copy.extra_ = extra_;
  } else {
    // References to objects of the source drawing mean nothing in another:
    // leave out reactor and dictionary groups, linetype and style names, and
    // every handle but the owner's, which the copy gets anew.
    bool in_group = false;
    for (const auto [code, value] : extra_) {
      if (code == 102) {
        in_group = !value.empty() && value.front() == '{';
        continue;
      }
      if (in_group) continue;
      const bool reference = code == 6 || code == 7 ||
                             (code >= 320 && code <= 369 && code != 330) ||
                             (code >= 390 && code <= 399) || code == 480 || code == 481;
      if (!reference) copy.extra_.push_back(code, value);
    }
  }
  for (const XDataItem& item : xdata()) {
    if (item.code == 1001) target->RegisterApp(item.value.AsStringUnchecked());
  }
}

// ---------------------------------------------------------------------------
// Layers

std::string MemLayer::Handle() { return HandleText(); }
Ref<host::Document> MemLayer::Document() { return Ref<host::Document>(doc_->shared_from_this()); }
XData MemLayer::GetXData(const std::string& app_name) {
  doc_->Enter("Layer", "GetXData");
  return GetXDataOf(app_name);
}
void MemLayer::SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) {
  doc_->Enter("Layer", "SetXData");
  SetXDataOf(codes, values);
}
std::string MemLayer::Name() {
  doc_->Enter("Layer", "Name");
  return name_;
}
void MemLayer::SetName(const std::string& name) {
  doc_->Enter("Layer", "SetName");
  const bool changed = name_ != name;
  doc_->RenameLayer(this, name);
  renamed_ = renamed_ || changed;
  dirty_ = true;
}
int32_t MemLayer::Color() {
  doc_->Enter("Layer", "Color");
  return color_;
}
void MemLayer::SetColor(int32_t color) {
  doc_->Enter("Layer", "SetColor");
  if (color < 1 || color > 255) throw Error::InvalidInput("layer colour out of range 1 to 255");
  color_ = color;
  dirty_ = true;
}
bool MemLayer::Freeze() {
  doc_->Enter("Layer", "Freeze");
  return frozen_;
}
void MemLayer::SetFreeze(bool frozen) {
  doc_->Enter("Layer", "SetFreeze");
  if (frozen && doc_->active_layer() == this) {
    throw Error::LayerRefused("Cannot freeze the current layer");
  }
  frozen_ = frozen;
  dirty_ = true;
}
bool MemLayer::LayerOn() {
  doc_->Enter("Layer", "LayerOn");
  return on_;
}
void MemLayer::SetLayerOn(bool on) {
  doc_->Enter("Layer", "SetLayerOn");
  on_ = on;
  dirty_ = true;
}

// ---------------------------------------------------------------------------
// Blocks

bool MemBlock::is_model_space() const { return this == doc_->model_space(); }
std::string MemBlock::Handle() { return HandleText(); }
Ref<host::Document> MemBlock::Document() { return Ref<host::Document>(doc_->shared_from_this()); }
XData MemBlock::GetXData(const std::string& app_name) {
  doc_->Enter("Block", "GetXData");
  return GetXDataOf(app_name);
}
void MemBlock::SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) {
  doc_->Enter("Block", "SetXData");
  SetXDataOf(codes, values);
}
std::string MemBlock::Name() {
  doc_->Enter("Block", "Name");
  return name_;
}
Point3 MemBlock::Origin() {
  doc_->Enter("Block", "Origin");
  return origin_;
}
int32_t MemBlock::Count() {
  doc_->Enter("Block", "Count");
  return static_cast<int32_t>(entities_.size());
}
Ref<Entity> MemBlock::Item(int32_t index) {
  doc_->Enter("Block", "Item");
  return Ref<Entity>(entities_[static_cast<size_t>(CheckIndex(index, entities_.size()))]->Self());
}

void MemBlock::Append(EntityCore* entity, MemLayer* layer) {
  AppendUnindexed(entity, layer);
  IndexAppended();
}

void MemBlock::AppendUnindexed(EntityCore* entity, MemLayer* layer) {
  entity->set_owner(this);
  // A definition usually holds a few entities: room for them at once rather
  // than growing by one, two and four.
  if (entities_.capacity() == 0) entities_.reserve(8);
  entities_.push_back(entity);
  entity->PlaceOnLayer(layer);
  if (is_model_space()) return;
  if (std::strcmp(entity->TypeName(), "INSERT") == 0) ++references_held_;
  // Only entities made here count: a file's are not read yet.
  const bool variable_definition = entity->loaded() && IsVariableDefinition(*entity);
  variable_definitions_at_end_ = variable_definition ? variable_definitions_at_end_ + 1 : 0;
}

void MemBlock::IndexAppended() {
  if (is_model_space()) {
    // The modelled kinds name their type with one literal each: the lists of
    // the last few names seen are found by the name's address.
    constexpr size_t kSeen = 8;
    std::pair<const char*, TypeList*> seen[kSeen] = {};
    size_t next_seen = 0;
    for (size_t i = indexed_; i < entities_.size(); ++i) {
      EntityCore* e = entities_[i];
      const char* type = e->TypeName();
      TypeList* list = nullptr;
      for (const auto& [name, known] : seen) {
        if (name == type) list = known;
      }
      if (list == nullptr) {
        list = FindType(type);
        if (list == nullptr) {
          by_type_.push_back(std::make_unique<TypeList>(TypeList{type, {}}));
          list = by_type_.back().get();
        }
        seen[next_seen++ % kSeen] = {type, list};
      }
      list->entities.push_back(e);
      if (MemLayer* layer = e->layer()) {
        // Room for all its entities at once: the count includes them.
        auto& on_layer = layer->entities();
        if (on_layer.capacity() == 0) on_layer.reserve(static_cast<size_t>(layer->references));
        on_layer.push_back(e);
      }
    }
  }
  indexed_ = entities_.size();
}

const std::vector<EntityCore*>& MemBlock::OfType(const std::string& type) const {
  static const std::vector<EntityCore*> kNone;
  const TypeList* list = FindType(type);
  return list == nullptr ? kNone : list->entities;
}

MemBlock::TypeList* MemBlock::FindType(std::string_view type) const {
  for (const auto& list : by_type_) {
    if (list->type == type) return list.get();
  }
  return nullptr;
}

void MemBlock::Clear() {
  for (auto& e : entities_) e->Detach();
  entities_.clear();
  by_type_.clear();
  indexed_ = 0;
  references_held_ = 0;
  variable_definitions_at_end_ = 0;
}

Ref<LWPolyline> MemBlock::AddLightWeightPolyline(const std::vector<double>& vertices) {
  doc_->Enter("Block", "AddLightWeightPolyline");
  if (vertices.size() < 4 || vertices.size() % 2 != 0) {
    throw Error::InvalidInput("a lightweight polyline needs an even list of at least 2 vertices");
  }
  auto* p = doc_->NewEntity<MemLWPolyline>(doc_->NextHandle());
  p->vertices().reserve(vertices.size() / 2);
  for (size_t i = 0; i < vertices.size(); i += 2) {
    p->vertices().push_back(LWVertex{vertices[i], vertices[i + 1]});
  }
  Append(p, doc_->active_layer());
  return Ref<LWPolyline>(std::static_pointer_cast<LWPolyline>(p->Self()));
}

Ref<MText> MemBlock::AddMText(const Point3& insertion, double width, const std::string& text) {
  doc_->Enter("Block", "AddMText");
  if (width < 0) throw Error::InvalidInput("negative text width");
  auto* t = doc_->NewEntity<MemMText>(doc_->NextHandle());
  t->insertion() = insertion;
  t->width() = width;
  t->text() = text;
  t->height() = ToDouble(doc_->variables()["TEXTSIZE"]);
  Append(t, doc_->active_layer());
  return Ref<MText>(std::static_pointer_cast<MText>(t->Self()));
}

Ref<PointEntity> MemBlock::AddPoint(const Point3& point) {
  doc_->Enter("Block", "AddPoint");
  auto* p = doc_->NewEntity<MemPoint>(doc_->NextHandle());
  p->position() = point;
  Append(p, doc_->active_layer());
  return Ref<PointEntity>(std::static_pointer_cast<PointEntity>(p->Self()));
}

Ref<AttributeDefinition> MemBlock::AddAttribute(double height, int32_t mode,
                                                const std::string& prompt, const Point3& insertion,
                                                const std::string& tag, const std::string& value) {
  doc_->Enter("Block", "AddAttribute");
  if (tag.empty() || tag.find(' ') != std::string::npos) {
    throw Error::InvalidInput("an attribute tag must be non-empty and hold no spaces");
  }
  if (height < 0) throw Error::InvalidInput("negative attribute height");
  if (mode < 0 || mode > 63) throw Error::InvalidInput("attribute mode out of range");
  auto* a = doc_->NewEntity<MemAttributeDefinition>(doc_->NextHandle());
  a->height() = height;
  a->mode() = mode;
  a->set_prompt(prompt);
  a->insertion() = insertion;
  a->set_tag(tag);
  a->value() = value;
  Append(a, doc_->active_layer());
  return Ref<AttributeDefinition>(std::static_pointer_cast<AttributeDefinition>(a->Self()));
}

Ref<BlockReference> MemBlock::InsertBlock(const Point3& insertion, const std::string& name,
                                          double x_scale, double y_scale, double z_scale,
                                          double rotation) {
  doc_->Enter("Block", "InsertBlock");
  MemBlock* block = doc_->FindBlock(name);
  if (block == nullptr || block->is_model_space()) throw Error::KeyNotFound();
  if (block == this) throw Error::InvalidInput("a block cannot hold a reference to itself");
  if (x_scale == 0 || y_scale == 0 || z_scale == 0) throw Error::InvalidInput("zero scale");
  auto* r = doc_->NewEntity<MemBlockReference>(doc_->NextHandle());
  r->set_block_name(block->name(), block);
  r->insertion() = insertion;
  r->scale() = {x_scale, y_scale, z_scale};
  r->rotation() = rotation;
  Append(r, doc_->active_layer());
  // One attribute per definition, holding the definition's default value.
  const MemBlockReference::Placement place = r->PlacementOf(block);
  r->attributes.reserve(block->entities().size());
  for (const auto& e : block->entities()) {
    if (!IsVariableDefinition(*e)) continue;  // constant ones stay in the block
    const auto* def = static_cast<const MemAttributeDefinition*>(e);
    auto* a = doc_->NewEntity<MemAttribute>(doc_->NextHandle());
    a->share_tag(def->shared_tag());
    a->value() = def->value();
    a->height() = def->height() * std::fabs(y_scale);
    a->insertion() = place(def->insertion());
    // Attributes belong to their reference, not to the block's entity list,
    // so they are never selected on their own.
    a->AssignLayer(def->layer());
    r->attributes.push_back(a);
  }
  return Ref<BlockReference>(std::static_pointer_cast<BlockReference>(r->Self()));
}

// ---------------------------------------------------------------------------
// Coordinate systems

std::string MemUCS::Handle() { return HandleText(); }
Ref<host::Document> MemUCS::Document() { return Ref<host::Document>(doc_->shared_from_this()); }
XData MemUCS::GetXData(const std::string& app_name) {
  doc_->Enter("UCS", "GetXData");
  return GetXDataOf(app_name);
}
void MemUCS::SetXData(const std::vector<int16_t>& codes, const std::vector<Variant>& values) {
  doc_->Enter("UCS", "SetXData");
  SetXDataOf(codes, values);
}
std::string MemUCS::Name() {
  doc_->Enter("UCS", "Name");
  return name_;
}
Point3 MemUCS::Origin() {
  doc_->Enter("UCS", "Origin");
  return origin;
}
Point3 MemUCS::XVector() {
  doc_->Enter("UCS", "XVector");
  return x_axis;
}
Point3 MemUCS::YVector() {
  doc_->Enter("UCS", "YVector");
  return y_axis;
}

// ---------------------------------------------------------------------------
// Collections and small objects, handed out per call

namespace {

class MemLayers final : public Layers {
 public:
  explicit MemLayers(MemDocument* doc) : doc_(doc) {}
  std::string Handle() override { return "2"; }
  std::string ObjectName() override { return "AcDbLayerTable"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_->shared_from_this()); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("the layer table holds no extended data");
  }
  int32_t Count() override {
    doc_->Enter("Layers", "Count");
    return static_cast<int32_t>(doc_->layers().size());
  }
  Ref<Layer> Item(int32_t index) override {
    doc_->Enter("Layers", "Item");
    const auto at = static_cast<size_t>(CheckIndex(index, doc_->layers().size()));
    doc_->NoteLayerUsed(at);
    return Ref<Layer>(doc_->layers()[at]);
  }
  Ref<Layer> Item(const std::string& name) override {
    doc_->Enter("Layers", "Item");
    MemLayer* layer = doc_->FindLayer(name);
    if (layer == nullptr) throw Error::KeyNotFound();
    return Ref<Layer>(layer->shared_from_this());
  }
  Ref<Layer> Add(const std::string& name) override {
    doc_->Enter("Layers", "Add");
    return Ref<Layer>(doc_->AddLayer(name)->shared_from_this());
  }

 private:
  MemDocument* doc_;  // which owns this view of it
};

class MemBlocks final : public Blocks {
 public:
  explicit MemBlocks(MemDocument* doc) : doc_(doc) {}
  std::string Handle() override { return "1"; }
  std::string ObjectName() override { return "AcDbBlockTable"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_->shared_from_this()); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("the block table holds no extended data");
  }
  int32_t Count() override {
    doc_->Enter("Blocks", "Count");
    return static_cast<int32_t>(doc_->blocks().size());
  }
  Ref<Block> Item(int32_t index) override {
    doc_->Enter("Blocks", "Item");
    return Ref<Block>(
        doc_->blocks()[static_cast<size_t>(CheckIndex(index, doc_->blocks().size()))]);
  }
  Ref<Block> Item(const std::string& name) override {
    doc_->Enter("Blocks", "Item");
    MemBlock* block = doc_->FindBlock(name);
    if (block == nullptr) throw Error::KeyNotFound();
    return Ref<Block>(block->shared_from_this());
  }
  Ref<Block> Add(const Point3& base, const std::string& name) override {
    doc_->Enter("Blocks", "Add");
    // An existing block of the name is returned as it is.
    return Ref<Block>(doc_->AddBlock(name, base)->shared_from_this());
  }

 private:
  MemDocument* doc_;  // which owns this view of it
};

class MemUCSs final : public UCSs {
 public:
  explicit MemUCSs(std::shared_ptr<MemDocument> doc) : doc_(std::move(doc)) {}
  std::string Handle() override { return "7"; }
  std::string ObjectName() override { return "AcDbUCSTable"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("the coordinate system table holds no extended data");
  }
  int32_t Count() override {
    doc_->Enter("UCSs", "Count");
    return static_cast<int32_t>(doc_->ucss().size());
  }
  Ref<UCS> Item(int32_t index) override {
    doc_->Enter("UCSs", "Item");
    return Ref<UCS>(doc_->ucss()[static_cast<size_t>(CheckIndex(index, doc_->ucss().size()))]);
  }
  Ref<UCS> Add(const Point3& origin, const Point3& x_axis_point, const Point3& y_axis_point,
               const std::string& name) override {
    doc_->Enter("UCSs", "Add");
    return Ref<UCS>(
        doc_->AddOrUpdateUCS(origin, x_axis_point, y_axis_point, name)->shared_from_this());
  }

 private:
  std::shared_ptr<MemDocument> doc_;
};

// A copy of the active viewport's settings; assigning it back applies them.
class MemViewport final : public Viewport {
 public:
  MemViewport(std::shared_ptr<MemDocument> doc, const ViewState& view)
      : doc_(std::move(doc)),
        direction_(view.direction),
        icon_on_(view.ucs_icon_on),
        icon_at_origin_(view.ucs_icon_at_origin) {}
  std::string Handle() override { return "29"; }
  std::string ObjectName() override { return "AcDbViewportTableRecord"; }
  Ref<host::Document> Document() override { return Ref<host::Document>(doc_); }
  XData GetXData(const std::string&) override { return {}; }
  void SetXData(const std::vector<int16_t>&, const std::vector<Variant>&) override {
    throw Error::InvalidInput("the viewport holds no extended data");
  }
  Point3 Direction() override {
    doc_->Enter("Viewport", "Direction");
    return direction_;
  }
  void SetDirection(const Point3& direction) override {
    doc_->Enter("Viewport", "SetDirection");
    if (g::Norm(direction) == 0) throw Error::InvalidInput("zero view direction");
    direction_ = direction;
  }
  bool UCSIconOn() override {
    doc_->Enter("Viewport", "UCSIconOn");
    return icon_on_;
  }
  void SetUCSIconOn(bool on) override {
    doc_->Enter("Viewport", "SetUCSIconOn");
    icon_on_ = on;
  }
  bool UCSIconAtOrigin() override {
    doc_->Enter("Viewport", "UCSIconAtOrigin");
    return icon_at_origin_;
  }
  void SetUCSIconAtOrigin(bool at_origin) override {
    doc_->Enter("Viewport", "SetUCSIconAtOrigin");
    icon_at_origin_ = at_origin;
  }
  void ApplyTo(ViewState& view) const {
    view.direction = direction_;
    view.ucs_icon_on = icon_on_;
    view.ucs_icon_at_origin = icon_at_origin_;
  }
  MemDocument* doc() const { return doc_.get(); }

 private:
  std::shared_ptr<MemDocument> doc_;
  Point3 direction_;
  bool icon_on_, icon_at_origin_;
};

class MemUtility final : public Utility {
 public:
  explicit MemUtility(MemDocument* doc) : doc_(doc) {}
  Point3 TranslateCoordinates(const Point3& point, int32_t from, int32_t to, bool displacement,
                              const Point3& ocs_normal) override {
    doc_->Enter("Utility", "TranslateCoordinates");
    const Point3 world = ToWorld(point, from, displacement, ocs_normal);
    return FromWorld(world, to, displacement, ocs_normal);
  }
  double AngleFromXAxis(const Point3& start, const Point3& end) override {
    doc_->Enter("Utility", "AngleFromXAxis");
    return g::PlanAngle(start[0], start[1], end[0], end[1]);
  }
  Point3 PolarPoint(const Point3& point, double angle, double distance) override {
    doc_->Enter("Utility", "PolarPoint");
    return {point[0] + distance * std::cos(angle), point[1] + distance * std::sin(angle), point[2]};
  }

 private:
  static void CheckNormal(const Point3& normal) {
    if (g::Norm(normal) == 0) throw Error::InvalidInput("zero normal");
  }
  // The axes of an object coordinate system, those of the last normal kept:
  // a drawing's polylines mostly share one.
  const g::OcsAxes& AxesOf(const Point3& normal) const {
    if (!axes_known_ || std::memcmp(&normal, &axes_normal_, sizeof normal) != 0) {
      axes_ = g::ArbitraryAxes(normal);
      axes_normal_ = normal;
      axes_known_ = true;
    }
    return axes_;
  }
  mutable bool axes_known_ = false;
  mutable Point3 axes_normal_{0, 0, 0};
  mutable g::OcsAxes axes_{};
  Point3 ToWorld(const Point3& p, int32_t cs, bool displacement, const Point3& normal) const {
    switch (cs) {
      case kWorld:
        return p;
      case kObjectCs:
        CheckNormal(normal);
        return g::OcsToWorld(p, AxesOf(normal));
      case kUcs: {
        const MemUCS* u = doc_->active_ucs();
        if (u == nullptr) return p;
        const Point3 z = g::Cross(u->x_axis, u->y_axis);
        Point3 w =
            g::Add(g::Add(g::Scale(u->x_axis, p[0]), g::Scale(u->y_axis, p[1])), g::Scale(z, p[2]));
        return displacement ? w : g::Add(w, u->origin);
      }
      default:
        throw Error::InvalidInput("unsupported coordinate system " + std::to_string(cs));
    }
  }
  Point3 FromWorld(const Point3& p, int32_t cs, bool displacement, const Point3& normal) const {
    switch (cs) {
      case kWorld:
        return p;
      case kObjectCs:
        CheckNormal(normal);
        return g::WorldToOcs(p, AxesOf(normal));
      case kUcs: {
        const MemUCS* u = doc_->active_ucs();
        if (u == nullptr) return p;
        const Point3 d = displacement ? p : g::Sub(p, u->origin);
        return {g::Dot(d, u->x_axis), g::Dot(d, u->y_axis),
                g::Dot(d, g::Cross(u->x_axis, u->y_axis))};
      }
      default:
        throw Error::InvalidInput("unsupported coordinate system " + std::to_string(cs));
    }
  }
  MemDocument* doc_;  // which owns this view of it
};

class MemDocuments final : public Documents {
 public:
  explicit MemDocuments(std::shared_ptr<MemApplication> app) : app_(std::move(app)) {}
  int32_t Count() override {
    app_->monitor().Enter("Documents", "Count");
    return static_cast<int32_t>(app_->documents().size());
  }
  Ref<Document> Item(int32_t index) override {
    app_->monitor().Enter("Documents", "Item");
    return Ref<Document>(
        app_->documents()[static_cast<size_t>(CheckIndex(index, app_->documents().size()))]);
  }
  Ref<Document> Item(const std::string& name) override {
    app_->monitor().Enter("Documents", "Item");
    for (const auto& d : app_->documents()) {
      if (SameName(d->name(), name)) return Ref<Document>(d);
    }
    throw Error::KeyNotFound();
  }
  Ref<Document> Add() override {
    app_->monitor().Enter("Documents", "Add");
    auto doc =
        app_->NewDetachedDocument("Drawing" + std::to_string(app_->NextDrawingNumber()) + ".dwg");
    if (app_->new_drawing_template) app_->new_drawing_template(*doc);
    app_->Open(doc);
    return Ref<Document>(doc);
  }

 private:
  std::shared_ptr<MemApplication> app_;
};

}  // namespace

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
    // Start from the smallest index that the filter allows: a layer's
    // entities, one type's entities, or all of model space.
    // One selection lists each entity once; a second may repeat some.
    if (!items_.empty()) unique_ = false;
    const MemBlock* model = doc_->model_space();
    std::vector<EntityCore*> all;
    const std::vector<EntityCore*>* candidates = nullptr;
    if (!layers.empty()) {
      MemLayer* layer = doc_->FindLayer(layers[0]);
      if (layer == nullptr || layer->name() != layers[0]) return;
      candidates = &layer->entities();
    } else if (!types.empty()) {
      candidates = &model->OfType(types[0]);
    } else {
      for (const auto& e : model->entities()) all.push_back(e);
      candidates = &all;
    }
    // The list the candidates come from meets its own filter already: only
    // the others are checked, and with none left the list is taken whole
    // without touching its entities.
    const size_t first_type = layers.empty() && !types.empty() ? 1 : 0;
    const size_t first_layer = layers.empty() ? 0 : 1;
    if (first_type == types.size() && first_layer == layers.size()) {
      items_.insert(items_.end(), candidates->begin(), candidates->end());
      return;
    }
    for (EntityCore* e : *candidates) {
      bool ok = true;
      for (size_t t = first_type; ok && t < types.size(); ++t) ok = types[t] == e->TypeName();
      for (size_t l = first_layer; ok && l < layers.size(); ++l) {
        ok = e->layer() != nullptr && e->layer()->name() == layers[l];
      }
      if (ok) items_.push_back(e);
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
      doc_->deleted_selection_set() = std::move(*it);
      sets.erase(it);
      break;
    }
    deleted_ = true;
    items_.clear();
  }
  const std::string& name() const { return name_; }
  // A deleted set that nothing refers to any more, made a new empty set of
  // `name`; its room for items is kept.
  void Renew(const std::string& name) {
    name_ = name;
    items_.clear();
    unique_ = true;
    deleted_ = false;
  }

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
    std::shared_ptr<MemSelectionSet> set;
    std::shared_ptr<MemSelectionSet>& deleted = doc_->deleted_selection_set();
    if (deleted != nullptr && deleted.use_count() == 1) {
      set = std::move(deleted);
      set->Renew(name);
    } else {
      set = std::make_shared<MemSelectionSet>(doc_, name);
    }
    doc_->selection_sets().push_back(set);
    return Ref<SelectionSet>(set);
  }

 private:
  MemDocument* doc_;  // which owns this view of it
};

}  // namespace

// ---------------------------------------------------------------------------
// Documents

namespace {

// A drawing's collections are views of it without state of their own: one of
// each is made on first use and handed out with the drawing's ownership.
template <class View, class Interface>
Ref<Interface> SharedView(MemDocument& doc, std::unique_ptr<Interface>& slot) {
  if (!slot) slot = std::make_unique<View>(&doc);
  return Ref<Interface>(std::shared_ptr<Interface>(doc.shared_from_this(), slot.get()));
}

}  // namespace

MemDocument::MemDocument(MemApplication* app, std::string name)
    : app_(app), monitor_(app->monitor_ptr()), name_(std::move(name)) {
  // The project's minimal template: layer "0", model and paper space, the
  // base application registered, default text height and view settings.
  blocks_.push_back(std::make_shared<MemBlock>(this, NextHandle(), "*Model_Space", Point3{}));
  blocks_.push_back(std::make_shared<MemBlock>(this, NextHandle(), "*Paper_Space", Point3{}));
  for (const auto& b : blocks_) block_index_.Insert(b.get());
  active_layer_ = AddLayer("0");
  registered_apps_.push_back("ACAD");
  variables_["TEXTSIZE"] = 2.5;
  variables_["UCSFOLLOW"] = int16_t{0};
  variables_["UCSICON"] = int16_t{3};
}

MemDocument::~MemDocument() = default;

std::string MemDocument::Name() {
  Enter("Document", "Name");
  return name_;
}
Ref<host::Application> MemDocument::Application() {
  Enter("Document", "Application");
  return Ref<host::Application>(app_->shared_from_this());
}
Ref<host::Utility> MemDocument::Utility() {
  Enter("Document", "Utility");
  return SharedView<MemUtility>(*this, utility_view_);
}
Ref<Block> MemDocument::ModelSpace() {
  Enter("Document", "ModelSpace");
  return Ref<Block>(blocks_.front());
}
Ref<host::Blocks> MemDocument::Blocks() {
  Enter("Document", "Blocks");
  return SharedView<MemBlocks>(*this, blocks_view_);
}
Ref<host::Layers> MemDocument::Layers() {
  Enter("Document", "Layers");
  return SharedView<MemLayers>(*this, layers_view_);
}
Ref<UCSs> MemDocument::UserCoordinateSystems() {
  Enter("Document", "UserCoordinateSystems");
  return Ref<UCSs>(std::make_shared<MemUCSs>(shared_from_this()));
}
Ref<host::SelectionSets> MemDocument::SelectionSets() {
  Enter("Document", "SelectionSets");
  return SharedView<MemSelectionSets>(*this, selection_sets_view_);
}
Ref<Layer> MemDocument::ActiveLayer() {
  Enter("Document", "ActiveLayer");
  return Ref<Layer>(active_layer_->shared_from_this());
}
void MemDocument::SetActiveLayer(const Ref<Layer>& layer) {
  Enter("Document", "SetActiveLayer");
  auto* mem = dynamic_cast<MemLayer*>(layer.operator->());
  if (mem == nullptr || mem->doc() != this) {
    throw Error::InvalidInput("the layer belongs to another drawing");
  }
  if (mem->frozen()) throw Error::LayerRefused("Cannot make a frozen layer current");
  active_layer_ = mem;
}
Ref<Viewport> MemDocument::ActiveViewport() {
  Enter("Document", "ActiveViewport");
  return Ref<Viewport>(std::make_shared<MemViewport>(shared_from_this(), view_));
}
void MemDocument::SetActiveViewport(const Ref<Viewport>& viewport) {
  Enter("Document", "SetActiveViewport");
  auto* mem = dynamic_cast<MemViewport*>(viewport.operator->());
  if (mem == nullptr || mem->doc() != this) {
    throw Error::InvalidInput("the viewport belongs to another drawing");
  }
  mem->ApplyTo(view_);
}
Ref<UCS> MemDocument::ActiveUCS() {
  Enter("Document", "ActiveUCS");
  if (active_ucs_ == nullptr) throw Error::InvalidInput("no named coordinate system is current");
  return Ref<UCS>(active_ucs_->shared_from_this());
}
void MemDocument::SetActiveUCS(const Ref<UCS>& ucs) {
  Enter("Document", "SetActiveUCS");
  auto* mem = dynamic_cast<MemUCS*>(ucs.operator->());
  if (mem == nullptr || mem->doc() != this) {
    throw Error::InvalidInput("the coordinate system belongs to another drawing");
  }
  active_ucs_ = mem;
  // With UCSFOLLOW on, a coordinate system made current brings the plan view
  // of its XY plane.
  if (ToDouble(variables_["UCSFOLLOW"]) != 0) {
    view_.direction = g::Cross(mem->x_axis, mem->y_axis);
  }
}

std::vector<Ref<Entity>> MemDocument::CopyObjects(const std::vector<Ref<Entity>>& objects,
                                                  const Ref<Block>& owner) {
  Enter("Document", "CopyObjects");
  auto* target_block = dynamic_cast<MemBlock*>(owner.operator->());
  if (target_block == nullptr) throw Error::InvalidInput("the owner is not a block");
  std::vector<EntityCore*> sources;
  for (const auto& o : objects) {
    auto* core = dynamic_cast<EntityCore*>(o.operator->());
    if (core == nullptr || core->doc() != this) {
      throw Error::InvalidInput("the objects to copy must belong to this drawing");
    }
    if (!sources.empty() && core->owner() != sources.front()->owner()) {
      throw Error::InvalidInput("the objects to copy must share one owner");
    }
    sources.push_back(core);
  }
  MemDocument* target = target_block->doc();
  std::vector<Ref<Entity>> copies;
  for (EntityCore* source : sources) {
    EntityCore* copy = source->CloneInto(target);
    // The copy brings its layer along when the target drawing lacks it.
    MemLayer* layer = target->active_layer();
    if (source->layer() != nullptr) {
      layer = target->FindLayer(source->layer()->name());
      if (layer == nullptr) {
        layer = target->AddLayer(source->layer()->name());
        layer->set_color(source->layer()->color());
        layer->set_frozen(source->layer()->frozen());
        layer->set_on(source->layer()->on());
      }
    }
    target_block->Append(copy, layer);
    copies.emplace_back(copy->Self());
  }
  return copies;
}

Variant MemDocument::GetVariable(const std::string& name) {
  Enter("Document", "GetVariable");
  const std::string key = FoldName(name);
  if (key == "CLAYER") return active_layer_->name();
  const auto it = variables_.find(key);
  if (it == variables_.end()) throw Error::InvalidInput("unknown system variable " + name);
  return it->second;
}

void MemDocument::SetVariable(const std::string& name, const Variant& value) {
  Enter("Document", "SetVariable");
  const std::string key = FoldName(name);
  if (key == "CLAYER") {
    MemLayer* layer = FindLayer(ToText(value));
    if (layer == nullptr) throw Error::KeyNotFound();
    if (layer->frozen()) throw Error::LayerRefused("Cannot make a frozen layer current");
    active_layer_ = layer;
    return;
  }
  const auto it = variables_.find(key);
  if (it == variables_.end()) throw Error::InvalidInput("unknown system variable " + name);
  if (key == "TEXTSIZE") {
    const double h = ToDouble(value);
    if (!(h > 0)) throw Error::InvalidInput("TEXTSIZE must be positive");
    it->second = h;
  } else if (key == "UCSFOLLOW") {
    it->second = int16_t{ToBoolean(value) ? int16_t{1} : int16_t{0}};
  } else if (it->second.type() == Variant::Type::kInteger) {
    it->second = ToInteger(value);
  } else if (it->second.type() == Variant::Type::kDouble) {
    it->second = ToDouble(value);
  } else {
    it->second = value;
  }
}

void MemDocument::Regen(int32_t which_viewports) {
  Enter("Document", "Regen");
  if (which_viewports != 0 && which_viewports != kAllViewports) {
    throw Error::InvalidInput("unknown regen type");
  }
  ++view_.regen_count;
}

void MemDocument::Activate() {
  Enter("Document", "Activate");
  app_->set_active(this);
}

void MemDocument::PurgeAll() {
  Enter("Document", "PurgeAll");
  // Purging a block can leave another block unused: repeat until no block
  // goes. Layers go after that, as no layer keeps a block in use.
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto& b : blocks_) b->set_in_use(false);
    auto note = [](const EntityCore* e) {
      if (MemBlock* used = static_cast<const MemBlockReference*>(e)->block())
        used->set_in_use(true);
    };
    for (const auto& b : blocks_) {
      if (b->is_model_space()) {
        for (const EntityCore* e : b->OfType("INSERT")) note(e);
        continue;
      }
      if (!b->holds_references()) continue;
      for (const EntityCore* e : b->entities()) {
        if (std::strcmp(e->TypeName(), "INSERT") == 0) note(e);
      }
    }
    for (auto it = blocks_.begin(); it != blocks_.end();) {
      if ((*it)->name().starts_with("*") || (*it)->in_use()) {
        ++it;
        continue;
      }
      (*it)->Clear();
      block_index_.Erase((*it)->name());
      it = blocks_.erase(it);
      ++block_removals_;
      changed = true;
    }
  }
  std::erase_if(layers_, [&](const std::shared_ptr<MemLayer>& layer) {
    if (layer->references > 0 || layer.get() == active_layer_ || layer->name() == "0" ||
        SameName(layer->name(), "Defpoints")) {
      return false;
    }
    layer_index_.Erase(layer->name());
    return true;
  });
  for (size_t i = 0; i < layers_.size(); ++i) layers_[i]->position = static_cast<uint32_t>(i);
  near_layer_ = 0;
  // Registered applications that no extended data names any more. Data still
  // unread is read for its names only, not kept. The search ends as soon as
  // every registered application is found in use, which in most drawings is
  // at the first objects that carry data.
  std::unordered_set<std::string> unused;
  for (const std::string& a : registered_apps_) unused.insert(FoldName(a));
  unused.erase("ACAD");
  auto collect = [&](ObjectCore& object) {
    if (!object.has_xdata()) return;
    for (const Variant& name : object.XDataAppNames()) {
      unused.erase(FoldName(name.AsStringUnchecked()));
    }
  };
  for (const auto& b : blocks_) {
    for (EntityCore* e : b->entities()) {
      if (unused.empty()) break;
      collect(*e);
    }
  }
  for (const auto& l : layers_) {
    if (unused.empty()) break;
    collect(*l);
  }
  std::erase_if(registered_apps_,
                [&](const std::string& a) { return unused.count(FoldName(a)) != 0; });
}

MemLayer* MemDocument::FindLayer(std::string_view name) const {
  // Lookups mostly go along the table: a section's profile layer sits next
  // to the section layer just listed, and a keyplan looks its section layers
  // up in the order it made them. The layers around the last one found or
  // listed are tried before the index, whose table misses the processor's
  // caches in a drawing of many layers.
  static constexpr std::ptrdiff_t kNear[] = {0, 1, -1, 2, -2, 3, -3};
  const auto count = static_cast<std::ptrdiff_t>(layers_.size());
  for (const std::ptrdiff_t step : kNear) {
    const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(near_layer_) + step;
    if (at < 0 || at >= count) continue;
    MemLayer* layer = layers_[static_cast<size_t>(at)].get();
    if (FoldedEqual{}(layer->name(), name)) {
      near_layer_ = static_cast<size_t>(at);
      return layer;
    }
  }
  MemLayer* found = layer_index_.Find(name);
  if (found != nullptr) near_layer_ = found->position;
  return found;
}

MemLayer* MemDocument::AddLayer(std::string name, bool check) {
  // Mostly a new name: straight to the index.
  if (MemLayer* existing = layer_index_.Find(name)) return existing;
  if (check) CheckSymbolName(name, "layer");
  auto layer = std::make_shared<MemLayer>(this, NextHandle(), std::move(name));
  layer->position = static_cast<uint32_t>(layers_.size());
  layer_index_.Insert(layer.get());
  layers_.push_back(layer);
  return layer.get();
}

void MemDocument::RenameLayer(MemLayer* layer, const std::string& name) {
  if (layer->name() == name) return;
  if (layer->name() == "0") throw Error::LayerRefused("Layer 0 cannot be renamed");
  CheckSymbolName(name, "layer");
  MemLayer* other = FindLayer(name);
  if (other != nullptr && other != layer) throw Error::DuplicateKey();
  layer_index_.Erase(layer->name());
  layer->set_name(name);
  layer_index_.Insert(layer);
}

MemBlock* MemDocument::FindBlock(std::string_view name) const { return block_index_.Find(name); }

MemBlock* MemDocument::AddBlock(const std::string& name, const Point3& origin, bool check) {
  if (MemBlock* existing = FindBlock(name)) return existing;
  if (check) {
    CheckSymbolName(name, "block");
    if (name.starts_with("*")) {
      throw Error::InvalidInput("block names starting with * are reserved");
    }
  }
  auto block = std::make_shared<MemBlock>(this, NextHandle(), name, origin);
  block_index_.Insert(block.get());
  blocks_.push_back(block);
  return block.get();
}

MemUCS* MemDocument::AddOrUpdateUCS(const Point3& origin, const Point3& x_point,
                                    const Point3& y_point, const std::string& name) {
  CheckSymbolName(name, "coordinate system");
  const Point3 x = g::Normalized(g::Sub(x_point, origin));
  const Point3 y_raw = g::Sub(y_point, origin);
  // The Y axis is made perpendicular to X.
  const Point3 y = g::Normalized(g::Sub(y_raw, g::Scale(x, g::Dot(y_raw, x))));
  if (g::Norm(x) == 0 || g::Norm(y) == 0) {
    throw Error::InvalidInput("the axis points of a coordinate system must not be collinear");
  }
  MemUCS* ucs = nullptr;
  for (const auto& u : ucss_) {
    if (SameName(u->name(), name)) ucs = u.get();
  }
  if (ucs == nullptr) {
    ucss_.push_back(std::make_shared<MemUCS>(this, NextHandle(), name));
    ucs = ucss_.back().get();
  }
  ucs->origin = origin;
  ucs->x_axis = x;
  ucs->y_axis = y;
  ucs->set_dirty(true);
  return ucs;
}

void MemDocument::RegisterApp(const std::string& name) {
  for (const auto& a : registered_apps_) {
    if (SameName(a, name)) return;
  }
  registered_apps_.push_back(name);
}

EntityCore* MemDocument::FindEntity(uint64_t handle) const {
  for (const auto& block : blocks_) {
    for (const auto& e : block->entities()) {
      if (e->handle() == handle) return e;
      if (const auto* r = dynamic_cast<const MemBlockReference*>(e)) {
        for (const auto& a : r->attributes) {
          if (a->handle() == handle) return a;
        }
      }
    }
  }
  return nullptr;
}

bool MemDocument::ModelExtents(Point3& min, Point3& max) const {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  min = {kInf, kInf, kInf};
  max = {-kInf, -kInf, -kInf};
  bool any = false;
  for (const auto& e : model_space()->entities()) {
    Point3 a, b;
    if (!e->Extents(a, b)) continue;
    Grow(min, max, a);
    Grow(min, max, b);
    any = true;
  }
  return any;
}

// ---------------------------------------------------------------------------
// Application

MemApplication::MemApplication() = default;

Ref<host::Documents> MemApplication::Documents() {
  monitor_->Enter("Application", "Documents");
  return Ref<host::Documents>(std::make_shared<MemDocuments>(shared_from_this()));
}

Ref<Document> MemApplication::ActiveDocument() {
  monitor_->Enter("Application", "ActiveDocument");
  if (active_ == nullptr) throw Error::InvalidInput("no drawing is open");
  return Ref<Document>(active_->shared_from_this());
}

void MemApplication::ZoomExtents() {
  monitor_->Enter("Application", "ZoomExtents");
  if (active_ == nullptr) throw Error::InvalidInput("no drawing is open");
  ViewState& view = active_->view();
  Point3 min, max;
  if (active_->ModelExtents(min, max)) {
    constexpr double kAspect = 1.5;  // width over height of the view window
    view.center = {(min[0] + max[0]) / 2, (min[1] + max[1]) / 2, (min[2] + max[2]) / 2};
    view.height = std::max({max[1] - min[1], (max[0] - min[0]) / kAspect, 1e-9});
  }
  ++view.zoom_extents_count;
}

void MemApplication::ZoomScaled(double scale, int32_t scale_type) {
  monitor_->Enter("Application", "ZoomScaled");
  if (active_ == nullptr) throw Error::InvalidInput("no drawing is open");
  if (!(scale > 0)) throw Error::InvalidInput("the zoom scale must be positive");
  if (scale_type < 0 || scale_type > 2) throw Error::InvalidInput("unknown zoom scale type");
  ViewState& view = active_->view();
  constexpr double kLimitsHeight = 9.0;  // the default drawing limits
  view.height = scale_type == 0 ? kLimitsHeight / scale : view.height / scale;
  ++view.zoom_scaled_count;
}

std::shared_ptr<MemDocument> MemApplication::AddDocument(const std::string& name) {
  auto doc = NewDetachedDocument(name);
  Open(doc);
  return doc;
}

std::shared_ptr<MemDocument> MemApplication::NewDetachedDocument(const std::string& name) {
  return std::make_shared<MemDocument>(this, name);
}

void MemApplication::Close(MemDocument* doc) {
  std::erase_if(documents_, [&](const auto& d) { return d.get() == doc; });
  if (active_ == doc) active_ = documents_.empty() ? nullptr : documents_.back().get();
}

void MemApplication::Open(std::shared_ptr<MemDocument> doc) {
  active_ = doc.get();
  documents_.push_back(std::move(doc));
}

std::shared_ptr<MemApplication> CreateApplication() { return std::make_shared<MemApplication>(); }

}  // namespace palvane::host::memory
