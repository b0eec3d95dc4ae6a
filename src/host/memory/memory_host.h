#pragma once

// The in-memory drawing host: a complete implementation of the host
// interface over drawings held in memory. It is the embedded default behind
// the command line (drawings come from and go to files through src/dxf) and
// the test double: it can record every host operation called and make a
// chosen one fail.
//
// Objects handed out stay valid as long as their application lives.

#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/host.h"
#include "host/memory/arena.h"

namespace palvane::host::memory {

// Decodes the tags of one file form (defined by the file layer).
class TagCodec {
 public:
  virtual ~TagCodec() = default;
  // Decodes the tag at `p` into `code` and `value` (which may point into
  // `scratch`, 520 bytes); returns where the next tag starts.
  virtual const char* Decode(const char* p, const char* end, int16_t& code, std::string_view& value,
                             char* scratch) const = 0;
};

// Group codes and values as read from a file, handed back untouched when the
// drawing is written. Either a slice of the file's own bytes (which outlive
// it), decoded on the way, or tags kept compactly in one buffer of their own.
class RawTags {
 public:
  struct Tag {
    int16_t code;
    std::string_view value;
  };
  class Iterator {
   public:
    Iterator(const char* p, const char* end, const TagCodec* codec);
    Tag operator*() const { return tag_; }
    Iterator& operator++();
    bool operator!=(const Iterator& o) const { return p_ != o.p_; }
    bool operator==(const Iterator& o) const { return p_ == o.p_; }

   private:
    void Decode();
    const char* p_;
    const char* end_;
    const TagCodec* codec_;
    const char* next_ = nullptr;
    Tag tag_{0, {}};
    char scratch_[520];
  };

  RawTags() : begin_(nullptr) {}
  RawTags(const RawTags& other);
  RawTags(RawTags&& other) noexcept
      : begin_(other.begin_), size_(other.size_), codec_(other.codec_) {
    other.Forget();
  }
  RawTags& operator=(const RawTags& other);
  RawTags& operator=(RawTags&& other) noexcept {
    if (this != &other) {
      Release();
      begin_ = other.begin_;
      size_ = other.size_;
      codec_ = other.codec_;
      other.Forget();
    }
    return *this;
  }
  ~RawTags() { Release(); }

  // The tags of a slice of a file's bytes.
  static RawTags View(const char* begin, const char* end, const TagCodec* codec) {
    return View(begin, end, CodecIndex(codec));
  }
  // The same with the decoder given by its index, for readers making many.
  static uint8_t CodecIndex(const TagCodec* codec);
  static RawTags View(const char* begin, const char* end, uint8_t codec_index) {
    RawTags r;
    r.begin_ = begin;
    r.size_ = static_cast<uint64_t>(end - begin);
    r.codec_ = codec_index;
    return r;
  }

  void push_back(int16_t code, std::string_view value);
  Iterator begin() const;
  Iterator end() const;
  bool empty() const { return codec_ != 0 ? size_ == 0 : owned_ == nullptr || owned_->empty(); }
  // The file bytes of a slice, in the file's own form; empty when owned.
  std::string_view slice() const {
    return codec_ != 0 ? std::string_view(begin_, size_) : std::string_view();
  }
  // The decoder of a slice; null when owned.
  const TagCodec* codec() const;
  void clear() { *this = RawTags(); }

 private:
  // Either a slice of a file (begin_ and size_, with the index of its
  // decoder in codec_ from 1) or tags of its own (owned_, codec_ 0): per tag
  // the code (2 bytes), the value's length (4 bytes) and the value. Kept
  // small, as every object read from a file has one.
  void Release() {
    if (codec_ == 0) delete owned_;
  }
  void Forget() {
    begin_ = nullptr;
    size_ = 0;
    codec_ = 0;
  }
  union {
    const char* begin_;
    std::string* owned_;
  };
  uint64_t size_ : 56 = 0;
  uint64_t codec_ : 8 = 0;
};

struct XDataItem {
  int16_t code;
  Variant value;
  friend bool operator==(const XDataItem&, const XDataItem&) = default;
};

// What a drawing file held beyond what the host models; the file layer
// defines it.
class EntityCore;
class DocumentFile {
 public:
  virtual ~DocumentFile() = default;
  // Fills the fields of its kind of an entity read from this file, from the
  // entity's own tags.
  virtual void LoadEntity(EntityCore& entity) const = 0;
  // Reads extended data from this file's tags of it: the group of one
  // application (all groups for an empty name). Other groups are skipped
  // without reading their values. The file may replace `tags` with the same
  // tags in a form that reads faster next time.
  virtual void LoadXData(RawTags& tags, std::string_view app_name, XData& out) = 0;
};

// Records the host operations called and injects failures. An operation is
// named "Interface.Member", such as "Layers.Item" or "LWPolyline.Coordinate".
class CallMonitor {
 public:
  // Logs the call when recording, and raises the planned error when this is
  // the planned occurrence of a planned operation.
  void Enter(const char* object, const char* member) {
    if (recording_ || !faults_.empty()) EnterSlow(object, member);
  }

  void StartRecording() { recording_ = true; }
  void StopRecording() { recording_ = false; }
  const std::vector<std::string>& calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  // How often `operation` was called while recording.
  int CountOf(const std::string& operation) const;

  // The `occurrence`-th call (from 1, counted from now) of `operation` fails
  // with `number` and `description`. With `every` set, every call from that
  // one on fails.
  void FailAt(std::string operation, int occurrence, int32_t number, std::string description,
              bool every = false);
  // The same, raising `failure` instead: an exception that is no automation
  // error, such as std::bad_alloc.
  void FailWith(std::string operation, int occurrence, std::exception_ptr failure);
  void ClearFaults() { faults_.clear(); }

 private:
  void EnterSlow(const char* object, const char* member);
  struct Fault {
    std::string operation;
    int occurrence;
    int32_t number;
    std::string description;
    bool every;
    std::exception_ptr failure;
    int seen = 0;
  };
  bool recording_ = false;
  std::vector<std::string> calls_;
  std::vector<Fault> faults_;
};

// What the document's view shows, as a test reads it back.
struct ViewState {
  Point3 direction{0, 0, 1};
  bool ucs_icon_on = true;
  bool ucs_icon_at_origin = true;
  Point3 center{0, 0, 0};
  double height = 10.0;
  int regen_count = 0;
  int zoom_extents_count = 0;
  int zoom_scaled_count = 0;
};

// Hash and equality of names with ASCII letter case ignored, for the table
// lookups that ignore case. Both take any string-like key, so that a lookup
// needs no folded copy of the name.
namespace fold {

// Names are hashed and compared eight bytes at a time, ASCII letters folded
// to upper case in every byte of a word at once.
inline constexpr uint64_t kOnes = 0x0101010101010101ull;
inline constexpr uint64_t kHighs = 0x8080808080808080ull;

inline uint64_t FoldWord(uint64_t w) {
  const uint64_t ascii = w & ~kHighs;
  const uint64_t from_a = (ascii + kOnes * (0x80 - 'a')) & kHighs;       // >= 'a'
  const uint64_t after_z = (ascii + kOnes * (0x80 - 'z' - 1)) & kHighs;  // > 'z'
  const uint64_t lower = from_a & ~after_z & ~(w & kHighs);              // bytes of 'a' to 'z'
  return w - (lower >> 2);                                               // less 0x20 each
}

// The word of `s` at byte `at`, the last one padded with zero bytes. Byte
// order does not matter: hash and comparison use the same words.
inline uint64_t Word(std::string_view s, size_t at) {
  uint64_t w = 0;
  if (s.size() - at >= 8) {
    std::memcpy(&w, s.data() + at, 8);
  } else {
    for (size_t i = at; i < s.size(); ++i) {
      w |= uint64_t{static_cast<unsigned char>(s[i])} << (8 * (i - at));
    }
  }
  return w;
}

}  // namespace fold

struct FoldedHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const {
    uint64_t h = name.size() * 0x9E3779B97F4A7C15ull;
    for (size_t at = 0; at < name.size(); at += 8) {
      h = (h ^ fold::FoldWord(fold::Word(name, at))) * 0xFF51AFD7ED558CCDull;
      h ^= h >> 32;
    }
    return static_cast<size_t>(h ^ (h >> 29));
  }
};
struct FoldedEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (size_t at = 0; at < a.size(); at += 8) {
      const uint64_t x = fold::Word(a, at), y = fold::Word(b, at);
      if (x != y && fold::FoldWord(x) != fold::FoldWord(y)) return false;
    }
    return true;
  }
};
// Objects by name, letter case ignored: an open-addressed table of each
// name's hash and its object, so that a lookup reads one array and the
// object it finds rather than a chain of nodes. The name is the object's
// own (`name()`), stored once.
template <class T>
class NameIndex {
 public:
  T* Find(std::string_view name) const {
    // Callers often ask for one name several times in a row (the layer of
    // each entity they make): the last object found is tried first.
    if (last_found_ != nullptr && FoldedEqual{}(last_found_->name(), name)) return last_found_;
    if (slots_.empty()) return nullptr;
    const size_t hash = FoldedHash{}(name);
    for (size_t i = hash & mask(); slots_[i].object != nullptr; i = (i + 1) & mask()) {
      if (slots_[i].hash == hash && FoldedEqual{}(slots_[i].object->name(), name)) {
        last_found_ = slots_[i].object;
        return last_found_;
      }
    }
    return nullptr;
  }
  // Adds an object whose name is not in the index yet.
  void Insert(T* object) {
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
    Place(Slot{FoldedHash{}(object->name()), object});
    ++count_;
    last_found_ = object;  // what was just added is often asked for next
  }
  void Erase(std::string_view name) {
    last_found_ = nullptr;
    if (slots_.empty()) return;
    const size_t hash = FoldedHash{}(name);
    size_t i = hash & mask();
    while (slots_[i].object != nullptr &&
           !(slots_[i].hash == hash && FoldedEqual{}(slots_[i].object->name(), name))) {
      i = (i + 1) & mask();
    }
    if (slots_[i].object == nullptr) return;
    // Shift later members of the run back, so that no lookup stops early.
    for (size_t j = (i + 1) & mask(); slots_[j].object != nullptr; j = (j + 1) & mask()) {
      const size_t home = slots_[j].hash & mask();
      if (((j - home) & mask()) >= ((j - i) & mask())) {
        slots_[i] = slots_[j];
        i = j;
      }
    }
    slots_[i] = Slot{};
    --count_;
  }

 private:
  struct Slot {
    size_t hash = 0;
    T* object = nullptr;
  };
  size_t mask() const { return slots_.size() - 1; }
  void Place(const Slot& slot) {
    size_t i = slot.hash & mask();
    while (slots_[i].object != nullptr) i = (i + 1) & mask();
    slots_[i] = slot;
  }
  void Grow() {
    TableMemory<Slot> old = std::move(slots_);
    slots_ = TableMemory<Slot>(old.empty() ? 16 : old.size() * 2);
    for (const Slot& slot : old) {
      if (slot.object != nullptr) Place(slot);
    }
  }
  TableMemory<Slot> slots_;  // a power of two long, at most three quarters full
  size_t count_ = 0;
  mutable T* last_found_ = nullptr;  // in the index still
};

// Texts that many objects of one drawing hold alike (the tags and prompts of
// attributes: every block of a keyplan has the same six), each kept once.
// What it hands out stays where it is for as long as the pool lives.
class SharedTexts {
 public:
  const std::string* Share(std::string_view text);
  // The empty text, shared by every object that holds no text yet.
  static const std::string* Empty();

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_set<std::string, Hash, std::equal_to<>> texts_;
  const std::string* recent_[16] = {};
  size_t next_recent_ = 0;
  size_t last_found_ = 0;
};

class MemApplication;
class MemDocument;
class MemLayer;
class MemBlock;

// State every stored object shares: handle, extended data and unmodelled tags.
class ObjectCore {
 public:
  virtual ~ObjectCore();
  ObjectCore(const ObjectCore&) = delete;
  ObjectCore& operator=(const ObjectCore&) = delete;
  uint64_t handle() const { return handle_; }
  // Extended data. An object read from a file keeps the file's tags of it
  // until it is first used: most never are.
  const std::vector<XDataItem>& xdata() const;
  std::vector<XDataItem>& mutable_xdata();
  // True when the object holds extended data, read or not.
  bool has_xdata() const {
    return xdata_ != nullptr && (!xdata_->unread.empty() || !xdata_->items.empty());
  }
  // The names of the applications whose data the object holds (the 1001
  // items), without keeping data that was still unread.
  std::vector<Variant> XDataAppNames();
  // The file's tags of the extended data while it is unread, else empty.
  const RawTags& unread_xdata() const;
  void set_unread_xdata(RawTags tags);
  // The object's tags as read from a file, its extended data left out.
  RawTags& extra() { return extra_; }
  const RawTags& extra() const { return extra_; }
  MemDocument* doc() const { return doc_; }
  void set_handle(uint64_t handle) { handle_ = handle; }
  // True once a host operation has changed what the file held.
  bool dirty() const { return dirty_; }
  void set_dirty(bool dirty) { dirty_ = dirty; }
  // True for an object that has the handle a drawing file gave it.
  bool from_file() const { return from_file_; }
  void set_from_file() { from_file_ = true; }

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
  RawTags extra_;

 private:
  // Extended data, kept apart from the object: most objects hold none, and
  // those that do hold either the file's unread tags or the items.
  struct XDataState {
    RawTags unread;
    std::vector<XDataItem> items;
  };
  XDataState& State() const;
  void ReadXData() const;
  mutable XDataState* xdata_ = nullptr;

 protected:
  // Last, so that an entity's small members fill the padding after them: a
  // drawing holds hundreds of thousands of entities.
  bool dirty_ = false;
  bool from_file_ = false;

 private:
  bool in_arena_;
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
  int32_t color() const { return color_; }
  void set_color(int32_t c) { color_ = c; }
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
  int32_t color_ = 256;  // by layer
  MemLayer* layer_ = nullptr;
  MemBlock* owner_ = nullptr;

 private:
  void LoadFromFile() const;
};

// What lookups and selections read of a layer, kept at the start of the
// object so that a lookup in a table of a hundred thousand layers touches as
// few of its cache lines as it can.
class LayerLookupPart {
 public:
  int references = 0;     // entities anywhere in the drawing on this layer
  uint32_t position = 0;  // in the drawing's layer table

 protected:
  explicit LayerLookupPart(std::string name) : name_(std::move(name)) {}
  std::string name_;
  std::vector<EntityCore*> entities_;
};

class MemLayer final : public Layer,
                       public LayerLookupPart,
                       public ObjectCore,
                       public std::enable_shared_from_this<MemLayer> {
 public:
  MemLayer(MemDocument* doc, uint64_t handle, std::string name)
      : LayerLookupPart(std::move(name)), ObjectCore(doc, handle) {}
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

  const std::string& name() const { return name_; }
  // Changes the name only; MemDocument::RenameLayer keeps the index right.
  void set_name(std::string name) { name_ = std::move(name); }
  // True once renamed: entities then need their layer tag written anew.
  bool renamed() const { return renamed_; }
  int32_t color() const { return color_; }
  bool frozen() const { return frozen_; }
  bool on() const { return on_; }
  void set_frozen(bool f) { frozen_ = f; }
  void set_on(bool o) { on_ = o; }
  void set_color(int32_t c) { color_ = c; }
  // Model-space entities on this layer, in the order they came onto it.
  std::vector<EntityCore*>& entities() { return entities_; }

 private:
  bool renamed_ = false;
  int32_t color_ = 7;
  bool frozen_ = false;
  bool on_ = true;
};

// What lookups, references and purges read of a block definition, at the
// start of the object, as for layers.
class BlockLookupPart {
 protected:
  BlockLookupPart(std::string name, const Point3& origin)
      : name_(std::move(name)), origin_(origin) {}
  std::string name_;
  Point3 origin_;
  std::vector<EntityCore*> entities_;  // they live in the drawing's arena
  bool in_use_ = false;
};

class MemBlock final : public Block,
                       public BlockLookupPart,
                       public ObjectCore,
                       public std::enable_shared_from_this<MemBlock> {
 public:
  MemBlock(MemDocument* doc, uint64_t handle, std::string name, Point3 origin)
      : BlockLookupPart(std::move(name), origin), ObjectCore(doc, handle) {}
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
  Ref<AttributeDefinition> AddAttribute(double height, int32_t mode, const std::string& prompt,
                                        const Point3& insertion, const std::string& tag,
                                        const std::string& value) override;
  Ref<BlockReference> InsertBlock(const Point3& insertion, const std::string& name, double x_scale,
                                  double y_scale, double z_scale, double rotation) override;

  const std::string& name() const { return name_; }
  const Point3& origin() const { return origin_; }
  void set_origin(const Point3& origin) { origin_ = origin; }
  bool is_model_space() const;
  // The BLOCK and ENDBLK entities that frame the definition in a file.
  RawTags block_begin, block_end;
  const std::vector<EntityCore*>& entities() const { return entities_; }
  // Adds a new entity (made here, a copy, or one read from a file) on `layer`.
  void Append(EntityCore* entity, MemLayer* layer);
  // The same without the indexes by layer and type, for a file's entities:
  // IndexAppended adds every entity appended so to them at once, in order.
  void AppendUnindexed(EntityCore* entity, MemLayer* layer);
  void IndexAppended();
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
  TypeList* FindType(std::string_view type) const;
  std::vector<std::unique_ptr<TypeList>> by_type_;
  size_t indexed_ = 0;          // entities_ from here on came unindexed
  size_t references_held_ = 0;  // block references among entities_ of a definition
  size_t variable_definitions_at_end_ = 0;
};

class MemUCS final : public UCS, public ObjectCore, public std::enable_shared_from_this<MemUCS> {
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
  Point3 origin{0, 0, 0}, x_axis{1, 0, 0}, y_axis{0, 1, 0};

 private:
  std::string name_;
};

class MemSelectionSet;

// One open drawing.
class MemDocument final : public Document, public std::enable_shared_from_this<MemDocument> {
 public:
  MemDocument(MemApplication* app, std::string name);
  ~MemDocument() override;

  std::string Name() override;
  Ref<host::Application> Application() override;
  Ref<host::Utility> Utility() override;
  Ref<Block> ModelSpace() override;
  Ref<host::Blocks> Blocks() override;
  Ref<host::Layers> Layers() override;
  Ref<UCSs> UserCoordinateSystems() override;
  Ref<host::SelectionSets> SelectionSets() override;
  Ref<Layer> ActiveLayer() override;
  void SetActiveLayer(const Ref<Layer>& layer) override;
  Ref<Viewport> ActiveViewport() override;
  void SetActiveViewport(const Ref<Viewport>& viewport) override;
  Ref<UCS> ActiveUCS() override;
  void SetActiveUCS(const Ref<UCS>& ucs) override;
  std::vector<Ref<Entity>> CopyObjects(const std::vector<Ref<Entity>>& objects,
                                       const Ref<Block>& owner) override;
  Variant GetVariable(const std::string& name) override;
  void SetVariable(const std::string& name, const Variant& value) override;
  void Regen(int32_t which_viewports) override;
  void Activate() override;
  void PurgeAll() override;

  // --- Direct access for the drawing file reader and writer, and for tests.
  CallMonitor& monitor() { return *monitor_; }
  void Enter(const char* object, const char* member) { monitor_->Enter(object, member); }
  const std::string& name() const { return name_; }
  void set_name(std::string name) { name_ = std::move(name); }
  uint64_t NextHandle() { return next_handle_++; }
  uint64_t handle_seed() const { return next_handle_; }
  // Makes sure later handles lie above `handle`.
  void ReserveHandle(uint64_t handle) {
    if (handle >= next_handle_) next_handle_ = handle + 1;
  }
  // Makes sure later handles start at `seed` or above.
  void RaiseHandleSeed(uint64_t seed) {
    if (seed > next_handle_) next_handle_ = seed;
  }

  const std::vector<std::shared_ptr<MemLayer>>& layers() const { return layers_; }
  MemLayer* FindLayer(std::string_view name) const;  // letter case ignored
  // The same through the index alone, for a reader that keeps its own
  // record of the layers it used last.
  MemLayer* FindLayerInIndex(std::string_view name) const { return layer_index_.Find(name); }
  // Notes that the layer at `position` of the table was just used: lookups
  // try its neighbours first.
  void NoteLayerUsed(size_t position) const { near_layer_ = position; }
  // Validated (unless `check` is false, for names read from a file); an
  // existing layer of that name is returned.
  MemLayer* AddLayer(std::string name, bool check = true);
  void RenameLayer(MemLayer* layer, const std::string& name);
  MemLayer* active_layer() const { return active_layer_; }
  void set_active_layer(MemLayer* layer) { active_layer_ = layer; }

  const std::vector<std::shared_ptr<MemBlock>>& blocks() const { return blocks_; }
  MemBlock* model_space() const { return blocks_.front().get(); }
  MemBlock* FindBlock(std::string_view name) const;  // letter case ignored
  MemBlock* AddBlock(const std::string& name, const Point3& origin, bool check = true);
  // How many block definitions have left the drawing so far: a definition
  // found by name stays valid while this count stands.
  uint64_t block_removals() const { return block_removals_; }

  const std::vector<std::shared_ptr<MemUCS>>& ucss() const { return ucss_; }
  MemUCS* AddOrUpdateUCS(const Point3& origin, const Point3& x_point, const Point3& y_point,
                         const std::string& name);
  MemUCS* active_ucs() const { return active_ucs_; }

  ViewState& view() { return view_; }
  const ViewState& view() const { return view_; }
  std::vector<std::string>& registered_apps() { return registered_apps_; }
  void RegisterApp(const std::string& name);
  std::vector<std::shared_ptr<MemSelectionSet>>& selection_sets() { return selection_sets_; }
  // The set deleted last: lookups delete and make a set of the same name
  // for every section, and one no caller holds any more is made anew in
  // place rather than allocated again.
  std::shared_ptr<MemSelectionSet>& deleted_selection_set() { return deleted_selection_set_; }

  // Makes an entity of this drawing, which lives as long as the drawing.
  template <class T, class... Args>
  T* NewEntity(Args&&... args) {
    return arena_.Make<T>(this, std::forward<Args>(args)...);
  }
  // Room in the same place for what an entity keeps apart; whoever puts an
  // object there destroys it, the room goes with the drawing.
  void* ArenaBytes(size_t size, size_t alignment) { return arena_.AllocateBytes(size, alignment); }

  // The entity of a handle, in any block or among a reference's
  // attributes; a search, since it is needed once per command at most and an
  // index would cost memory for every entity.
  EntityCore* FindEntity(uint64_t handle) const;

  // Texts this drawing's objects hold alike.
  const std::string* ShareText(std::string_view text) { return shared_texts_.Share(text); }

  // The extents of model space; false when it holds nothing with extents.
  bool ModelExtents(Point3& min, Point3& max) const;
  // System variables, by upper-case name.
  std::map<std::string, Variant>& variables() { return variables_; }
  // What the file this drawing came from held beyond the model, if any.
  std::shared_ptr<DocumentFile> file;
  // How often extended data was written into this drawing's objects.
  uint64_t xdata_writes = 0;
  // Forgets the template's handles, so a file's can take their place.
  void ResetHandles() { next_handle_ = 1; }

 private:
  MemApplication* app_;
  // First, so that the entities outlive the blocks and layers that list them.
  EntityArena arena_;
  std::shared_ptr<CallMonitor> monitor_;
  std::string name_;
  uint64_t next_handle_ = 0x20;
  std::vector<std::shared_ptr<MemLayer>> layers_;
  NameIndex<MemLayer> layer_index_;
  mutable size_t near_layer_ = 0;  // position of the layer last found or listed
  MemLayer* active_layer_ = nullptr;
  std::vector<std::shared_ptr<MemBlock>> blocks_;
  NameIndex<MemBlock> block_index_;
  uint64_t block_removals_ = 0;
  SharedTexts shared_texts_;
  std::vector<std::shared_ptr<MemUCS>> ucss_;
  MemUCS* active_ucs_ = nullptr;
  ViewState view_;
  std::vector<std::string> registered_apps_;
  std::vector<std::shared_ptr<MemSelectionSet>> selection_sets_;
  std::shared_ptr<MemSelectionSet> deleted_selection_set_;
  std::unique_ptr<host::Utility> utility_view_;
  std::unique_ptr<host::Blocks> blocks_view_;
  std::unique_ptr<host::Layers> layers_view_;
  std::unique_ptr<host::SelectionSets> selection_sets_view_;
  std::map<std::string, Variant> variables_;

  friend class MemApplication;
};

class MemApplication final : public Application,
                             public std::enable_shared_from_this<MemApplication> {
 public:
  MemApplication();
  Ref<host::Documents> Documents() override;
  Ref<Document> ActiveDocument() override;
  void ZoomExtents() override;
  void ZoomScaled(double scale, int32_t scale_type) override;

  // Opens a new, empty drawing of the given name and makes it active.
  std::shared_ptr<MemDocument> AddDocument(const std::string& name);
  // A drawing that is not open yet (a file being read), and opening it.
  std::shared_ptr<MemDocument> NewDetachedDocument(const std::string& name);
  void Open(std::shared_ptr<MemDocument> doc);
  // Closes an open drawing; the last other one becomes active.
  void Close(MemDocument* doc);
  // Called on every drawing that Documents.Add makes, to apply a template.
  std::function<void(MemDocument&)> new_drawing_template;
  const std::vector<std::shared_ptr<MemDocument>>& documents() const { return documents_; }
  MemDocument* active() const { return active_; }
  void set_active(MemDocument* doc) { active_ = doc; }
  CallMonitor& monitor() { return *monitor_; }
  const std::shared_ptr<CallMonitor>& monitor_ptr() const { return monitor_; }
  int NextDrawingNumber() { return ++drawing_count_; }

 private:
  std::shared_ptr<CallMonitor> monitor_ = std::make_shared<CallMonitor>();
  std::vector<std::shared_ptr<MemDocument>> documents_;
  MemDocument* active_ = nullptr;
  int drawing_count_ = 0;
};

// Entities the host models. Their fields are public for the file reader,
// writer and tests; the host interface is what the operations use.
struct LWVertex {
  double x = 0, y = 0, bulge = 0, start_width = 0, end_width = 0;
};

class MemLWPolyline;
class MemPoint;
class MemMText;
class MemAttributeDefinition;
class MemAttribute;
class MemBlockReference;

// Creates a new application with no open drawing.
std::shared_ptr<MemApplication> CreateApplication();

// Validates a name of a layer, block or coordinate system; raises the host's
// error when it is empty, too long or holds a character such names may not.
void CheckSymbolName(const std::string& name, const char* what);

// Folds ASCII letters to upper case, for the table lookups that ignore case.
std::string FoldName(const std::string& name);

}  // namespace palvane::host::memory
