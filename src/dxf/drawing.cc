#include "dxf/drawing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <set>
#include <unordered_map>

#include "dxf/entity_codec.h"
#include "dxf/file_data.h"
#include "dxf/table_codecs.h"
#include "dxf/text.h"
#include "dxf/values.h"
#include "host/memory/builder.h"

namespace palvane::dxf {

using host::Point3;
using host::memory::BlockRef;
using host::memory::Builder;
using host::memory::EntityCore;
using host::memory::EntityKind;
using host::memory::LayerFields;
using host::memory::LayerRef;
using host::memory::ObjectCore;
using host::memory::UcsFields;

namespace {

// ---------------------------------------------------------------------------
// Reading

// The heavy polyline: a POLYLINE entity, its VERTEX entities and SEQEND. Its
// flags say which form it is; the host models the forms in space and in a
// plane, not meshes.
constexpr std::string_view kHeavyPolyline = "POLYLINE";
constexpr int16_t kPolylineFlags = 70;
constexpr int64_t k3DPolyline = 8, k3DMesh = 16, kPolyfaceMesh = 64;

// Equality of short texts without a library call: up to sixteen bytes are
// compared as two words each, overlapping when shorter.
inline bool Same(std::string_view a, std::string_view b) {
  const size_t n = a.size();
  if (n != b.size()) return false;
  if (n < 8 || n > 16) return a == b;
  uint64_t a0, a1, b0, b1;
  std::memcpy(&a0, a.data(), 8);
  std::memcpy(&b0, b.data(), 8);
  std::memcpy(&a1, a.data() + n - 8, 8);
  std::memcpy(&b1, b.data() + n - 8, 8);
  return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}

class Reader {
 public:
  // Reads `file.bytes`, which the drawing keeps: its objects refer to slices of it.
  Reader(Builder build, DxfFile& file) : r_(file.bytes), build_(build), file_(file) {
    file_.binary = r_.binary();
    file_.form = r_.form();
    file_.crlf = file_.bytes.find("\r\n") != std::string::npos;
  }

  void Run() {
    build_.ResetHandles();
    file_.version = "AC1009";  // a file that does not say is of the oldest kind read
    Tag t;
    bool saw_eof = false, any = false;
    while (r_.Next(t)) {
      any = true;
      if (t.code == 999) {
        file_.preamble.push_back(t.code, t.value);
        continue;
      }
      if (t.code != 0) r_.Fail("expected 0 SECTION, found group code " + std::to_string(t.code));
      if (Trim(t.value) == "EOF") {
        saw_eof = true;
        break;
      }
      if (Trim(t.value) != "SECTION") {
        r_.Fail("expected SECTION or EOF, found \"" + std::string(t.value.substr(0, 40)) + "\"");
      }
      if (!r_.Next(t) || t.code != 2) r_.Fail("expected 2 and the section's name");
      const std::string name(Trim(t.value));
      // A drawing holds each section once; a second one would be merged or
      // written twice.
      if (std::find(file_.sections.begin(), file_.sections.end(), name) != file_.sections.end()) {
        r_.Fail("a second " + name + " section");
      }
      file_.sections.push_back(name);
      if (name == "HEADER") {
        ReadHeader();
      } else if (name == "TABLES") {
        ReadTables();
      } else if (name == "BLOCKS") {
        ReadBlocks();
      } else if (name == "ENTITIES") {
        Codec();
        ReadEntities(build_.ModelSpace(), "ENDSEC");
      } else if (name == "CLASSES" || name == "OBJECTS" || name == "THUMBNAILIMAGE" ||
                 name == "ACDSDATA") {
        ReadRawSection(file_.raw_sections[name]);
      } else {
        r_.Fail("unknown section \"" + name + "\"");
      }
    }
    if (!any) throw DxfError("line 1: the file is empty; expected 0 SECTION");
    if (!saw_eof) throw DxfError(r_.Where() + ": the file ends without 0 EOF");
    Finish();
  }

 private:
  TextCodec& Codec() {
    if (!codec_) codec_ = std::make_unique<TextCodec>(file_.utf8(), file_.code_page);
    return *codec_;
  }
  std::string Text(std::string_view raw) { return DecodeText(Codec(), raw); }

  void Reserve(const Tag& t) {
    if (t.code != group::kHandle && t.code != group::kTableHandle) return;
    uint64_t h;
    if (ParseHandle(t.value, h)) {
      build_.ReserveHandle(h);
      last_handle_ = h;
      last_handle_read_ = true;
    } else {
      NoHandle(t);
    }
  }
  [[gnu::noinline]] void NoHandle(const Tag& t) {
    last_handle_read_ = false;
    if (Trim(t.value).empty()) return;  // some writers leave a handle empty
    r_.Fail("expected a handle (hexadecimal), found \"" + std::string(t.value.substr(0, 40)) +
            "\"");
  }

  bool HasFileHandle(const ObjectCore& object) const {
    const uint32_t record = Builder::RecordOf(object);
    return record < handled_.size() && handled_[record];
  }

  // Gives an object the record of its tags and extended data.
  // A table entry named twice (coordinate systems and block records are
  // kept by name) takes the later entry's record, extended data and all.
  void Keep(ObjectCore& object, RawTags body, RawTags xdata) {
    const bool has_xdata = !xdata.empty();
    Builder::Keep(object, file_.AddRecord(std::move(body), std::move(xdata)), has_xdata);
  }

  // The tags from byte `begin` up to `end` of the file, kept as a slice.
  RawTags Slice(size_t begin, size_t end) const {
    const char* data = file_.bytes.data();
    return RawTags::View(data + begin, data + end, file_.form);
  }

  // Reads tags up to the next group code 0, which is left to be read next,
  // and keeps them as a slice of the file.
  void ReadBody(RawTags& body) {
    ReadObjectTags(body, nullptr, false, [](int16_t, std::string_view) {});
  }

  // An entity's or record's tags up to the next code 0: its own tags as a
  // slice into `body` (each also handed to `on_tag`), its extended data as a
  // slice into `xdata`, read when first used. With `register_apps`, the
  // applications the extended data names are registered in the drawing.
  template <class F>
  void ReadObject(RawTags& body, RawTags& xdata, bool register_apps, F&& on_tag) {
    ReadObjectTags(body, &xdata, register_apps, on_tag);
  }

  template <class F>
  void ReadObjectTags(RawTags& body, RawTags* xdata, bool register_apps, F&& on_tag) {
    Tag t;
    size_t begin = std::string::npos, end = std::string::npos;
    while (r_.Next(t)) {
      if (t.code == 0) {
        const size_t stop = r_.TagBegin();
        if (end == std::string::npos) {
          end = stop;
        } else {
          const std::string_view kept =
              file_.KeepPacked(file_.bytes.data() + end, file_.bytes.data() + stop);
          *xdata = RawTags::View(kept.data(), kept.data() + kept.size(), file_.form);
        }
        if (begin == std::string::npos) begin = end;
        body = Slice(begin, end);
        r_.PushBack(t);
        return;
      }
      if (begin == std::string::npos) begin = r_.TagBegin();
      if (xdata != nullptr && t.code == group::kXDataApp && end == std::string::npos) {
        end = r_.TagBegin();
      }
      if (end == std::string::npos) {
        Reserve(t);
        on_tag(t.code, t.value);
      } else if (t.code == group::kXDataApp && register_apps) {
        build_.RegisterApp(Text(t.value));
      }
    }
    r_.Fail("the file ends inside an object; expected 0 and the next object");
  }

  void ReadRawSection(RawTags& raw) {
    Tag t;
    size_t begin = std::string::npos;
    while (r_.Next(t)) {
      if (begin == std::string::npos) begin = r_.TagBegin();
      if (t.code == 0 && Trim(t.value) == "ENDSEC") {
        raw = Slice(begin, r_.TagBegin());
        return;
      }
      Reserve(t);
    }
    r_.Fail("the file ends inside a section; expected 0 ENDSEC");
  }

  void ReadHeader() {
    Tag t;
    while (r_.Next(t)) {
      if (t.code == 0) {
        if (Trim(t.value) != "ENDSEC") r_.Fail("expected 0 ENDSEC at the end of the header");
        // Some writers end the header early and go on with more variables:
        // keep that stray end where it stood.
        Tag next;
        if (r_.Next(next)) {
          const bool more = next.code == 9;
          r_.PushBack(next);
          if (more) {
            file_.header.emplace_back(std::string(kStrayEndSection), RawTags());
            continue;
          }
        }
        break;
      }
      if (t.code == 9) {
        file_.header.emplace_back(std::string(Trim(t.value)), RawTags());
        continue;
      }
      if (file_.header.empty()) r_.Fail("expected 9 and a header variable's name");
      file_.header.back().second.push_back(t.code, t.value);
      const std::string& var = file_.header.back().first;
      if (kVersionVariable.Is(var, t.code)) {
        // The version decides the text encoding and the form of every
        // object: it must read as one (AC and four digits).
        const std::string_view version = Trim(t.value);
        if (!IsDrawingVersion(version)) {
          r_.Fail("$ACADVER \"" + std::string(version.substr(0, 40)) +
                  "\" is no drawing version (AC and four digits)");
        }
        file_.version = std::string(version);
      }
      if (kCodePageVariable.Is(var, t.code)) file_.code_page = std::string(Trim(t.value));
      if (kHandlingVariable.Is(var, t.code)) file_.has_handles = ToInt(t.value) != 0;
      uint64_t seed = 0;
      if (kHandleSeedVariable.Is(var, t.code) && ParseHandle(t.value, seed)) {
        build_.RaiseHandleSeed(seed);
        file_.seed = seed;
      }
    }
    if (t.code != 0) r_.Fail("the file ends inside the header; expected 0 ENDSEC");
    if (!file_.r12()) file_.has_handles = true;
    codec_.reset();
  }

  void ReadTables() {
    Codec();
    Tag t;
    while (r_.Next(t)) {
      if (t.code != 0) r_.Fail("expected 0 TABLE or 0 ENDSEC");
      const std::string_view v = Trim(t.value);
      if (v == "ENDSEC") return;
      if (v != "TABLE") r_.Fail("expected 0 TABLE, found \"" + std::string(v.substr(0, 40)) + "\"");
      Table table;
      const size_t table_at = r_.Mark();
      ReadBody(table.head);
      for (const auto [code, value] : table.head) {
        if (code == group::kName) {
          table.name = std::string(Trim(value));
          break;
        }
      }
      // A second table of a kind would have its entries written twice.
      for (const Table& earlier : file_.tables) {
        if (earlier.name == table.name) r_.FailAt(table_at, "a second " + table.name + " table");
      }
      while (r_.Next(t)) {
        if (t.code != 0) r_.Fail("expected 0 and a table entry");
        const std::string type(Trim(t.value));
        if (type == "ENDTAB") {
          ReadBody(table.end);
          break;
        }
        if (type == "ENDSEC" || type == "TABLE") r_.Fail("expected 0 ENDTAB before this");
        // Each table lists entries of its own kind; a layer in another
        // table would be written with the layers and again with that table.
        if (type != table.name) r_.Fail("a " + type + " entry in the " + table.name + " table");
        ReadEntry(table, type);
        ++table.read_count;
      }
      file_.tables.push_back(std::move(table));
    }
    r_.Fail("the file ends inside the tables; expected 0 ENDSEC");
  }

  void ReadEntry(Table& table, const std::string& type) {
    if (type == "LAYER" || type == "UCS" || type == "BLOCK_RECORD") {
      // Errors name the entry's own "0" line: reading it takes in the next one.
      const size_t entry = r_.Mark();
      RawTags body;
      RawTags xdata;
      std::string name;
      uint64_t handle = 0;
      bool has_handle = false;
      LayerFields layer_fields;
      UcsFields axes;
      FieldsSeen seen = 0;
      const bool layer_entry = type == "LAYER", ucs_entry = type == "UCS";
      const auto& layer_codec = LayerCodec();
      const auto& ucs_codec = UcsCodec();
      const TextCodec& text = Codec();
      ReadObject(body, xdata, false, [&](int16_t code, std::string_view value) {
        if (code == group::kName) {
          name = layer_entry ? WithCaretBreaks(Text(Trim(value))) : Text(Trim(value));
        } else if (code == group::kHandle) {
          has_handle = ParseHandle(value, handle);
        } else if (layer_entry) {
          layer_codec.Load(layer_fields, code, value, text, seen);
        } else if (ucs_entry) {
          ucs_codec.Load(axes, code, value, text, seen);
        }
      });
      if (name.empty()) r_.FailAt(entry, type + " entry without a name (group code 2)");
      ObjectCore* object = nullptr;
      if (type == "LAYER") {
        const LayerRef layer = build_.AddLayer(std::move(name));
        // A layer the table listed already has its record.
        if (Builder::RecordOf(Builder::Object(layer)) != 0) {
          r_.FailAt(entry, "a second layer named \"" + Builder::NameOf(layer) + "\"");
        }
        Builder::SetFields(layer, layer_fields);
        object = &Builder::Object(layer);
      } else if (type == "UCS") {
        try {
          object = &build_.AddOrUpdateUcs(name, axes);
        } catch (const host::Error& e) {
          r_.FailAt(entry, "coordinate system \"" + name + "\": " + e.description());
        }
      } else {
        object = &Builder::Object(build_.AddBlock(name, {0, 0, 0}));
      }
      Keep(*object, std::move(body), std::move(xdata));
      if (has_handle) {
        Builder::SetHandle(*object, handle);
        const uint32_t record = Builder::RecordOf(*object);
        if (handled_.size() <= record) handled_.resize(record + 1);
        handled_[record] = true;
      }
      return;
    }
    RawTags body;
    ReadBody(body);
    if (type == "APPID") {
      std::string name;
      for (const auto [code, value] : body) {
        if (code == group::kName) name = Text(Trim(value));
      }
      if (!name.empty()) {
        build_.RegisterApp(name);
        file_.appids[KeyOf(name)] = body;
      }
      return;  // APPID entries are written from the model
    }
    if (type == "VPORT" && !view_read_ && IsActiveViewport(body)) {
      LoadActiveViewport(body, Codec(), build_.view());
      view_read_ = true;
    }
    table.entries.emplace_back(type, std::move(body));
  }

  void ReadBlocks() {
    Codec();
    Tag t;
    while (r_.Next(t)) {
      if (t.code != 0) r_.Fail("expected 0 BLOCK or 0 ENDSEC");
      const std::string_view v = Trim(t.value);
      if (v == "ENDSEC") return;
      if (v != "BLOCK") r_.Fail("expected 0 BLOCK, found \"" + std::string(v.substr(0, 40)) + "\"");
      RawTags begin;
      ReadBody(begin);
      std::string name;
      host::memory::BlockFields block_fields;
      LoadBlockBegin(begin, Codec(), name, block_fields);
      const Point3& base = block_fields.origin;
      if (name.empty()) r_.Fail("BLOCK without a name (group code 2)");
      const BlockRef block = build_.AddBlock(name, base);
      ObjectCore& object = Builder::Object(block);
      // A block with no entry in the file's block table gets a record of
      // its own for what frames it.
      if (Builder::RecordOf(object) == 0) Keep(object, {}, {});
      const uint32_t record = Builder::RecordOf(object);
      if (file_.block_frames.Find(record) != nullptr) {
        r_.Fail("a second definition of block \"" + name + "\"");
      }
      Builder::SetOrigin(block, base);
      ReadEntities(block, "ENDBLK");
      BlockFrame frame{std::move(begin), {}};
      ReadBody(frame.end);
      file_.block_frames.Add(record, std::move(frame));
    }
    r_.Fail("the file ends inside the blocks; expected 0 ENDSEC");
  }

  void ReadEntities(BlockRef block, std::string_view end) {
    Tag t;
    while (r_.Next(t)) {
      if (t.code != 0)
        r_.Fail("expected 0 and an entity, found group code " + std::to_string(t.code));
      std::string_view type = Trim(t.value);
      std::string kept;  // a type not in the file's bytes (never so far) is copied
      if (type.data() < file_.bytes.data() ||
          type.data() + type.size() > file_.bytes.data() + file_.bytes.size()) {
        kept.assign(type);
        type = kept;
      }
      if (Same(type, end)) {
        build_.IndexAppended(block);
        return;
      }
      if (type == "ENDSEC" || type == "ENDBLK" || type == "EOF" || type == "SECTION") {
        r_.Fail("expected 0 " + std::string(end) + " before " + std::string(type));
      }
      // Other bytes in an entity type (a NUL would end it when written), or
      // none, name no kind.
      if (!IsEntityTypeName(type)) {
        r_.Fail("an entity type must be a name of letters, digits and underscores");
      }
      ReadEntity(block, type);
    }
    r_.Fail("the file ends inside the entities; expected 0 " + std::string(end));
  }

  // An entity of a type, with nothing of its kind read yet: modelled kinds
  // read their fields from their tags when first used. Of the heavy
  // polylines, `polyline_flags` tell the form.
  EntityCore* MakeEntity(std::string_view type, int64_t polyline_flags) {
    if (type == kHeavyPolyline) {
      if ((polyline_flags & (k3DMesh | kPolyfaceMesh)) != 0) {
        return build_.NewOtherEntity(std::string(type));
      }
      return build_.NewEntity((polyline_flags & k3DPolyline) != 0 ? EntityKind::kPolyline3D
                                                                  : EntityKind::kPolyline2D);
    }
    const EntityCodec* codec = CodecOf(type);
    if (codec == nullptr) return build_.NewOtherEntity(std::string(type));
    return build_.NewEntity(codec->kind());
  }

  // Reads one entity's tags and makes it with what every entity has: its
  // handle, colour and extended data. Its layer is left to the caller.
  EntityCore* ReadOneEntity(std::string_view type, LayerRef& layer, bool& attributes_follow) {
    uint64_t handle = 0;
    int64_t polyline_flags = 0;
    bool has_handle = false, layer_seen = false, stop = false;
    std::string_view layer_name = "0";
    int32_t color = 256;
    const bool reference = type == "INSERT";
    RawTags body;
    RawTags xdata;
    ReadObject(body, xdata, true, [&](int16_t code, std::string_view value) {
      if (code == group::kEmbeddedObject) stop = true;
      if (stop) return;
      switch (code) {
        case group::kHandle:  // parsed as it was reserved, just before
          if (!has_handle && last_handle_read_) handle = last_handle_, has_handle = true;
          break;
        case group::kLayer:
          if (!layer_seen) layer_name = Trim(value), layer_seen = true;
          break;
        case group::kColor:
          color = static_cast<int32_t>(std::clamp<int64_t>(ToInt(value), -32769, 32768));
          if (color < -32768 || color > 32767) {
            r_.Fail("colour number " + std::string(Trim(value)) +
                    " out of the 16-bit range of group code 62");
          }
          break;
        case group::kAttributesFollow:
          if (reference) attributes_follow = ToInt(value) != 0;
          break;
        case kPolylineFlags:
          polyline_flags = ToInt(value);
          break;
        default:
          break;
      }
    });
    EntityCore* entity = MakeEntity(type, polyline_flags);
    layer = LayerOf(layer_name);
    Builder::SetColor(*entity, color);
    ObjectCore& object = Builder::Object(*entity);
    if (has_handle) {
      Builder::SetHandle(object, handle);
    } else {
      without_handle_.push_back(entity);
    }
    Keep(object, std::move(body), std::move(xdata));
    return entity;
  }

  // Reads one entity and, for a block reference with attributes, the
  // attributes and the end of their sequence.
  void ReadEntity(BlockRef block, std::string_view type) {
    LayerRef layer;
    bool attributes_follow = false;
    EntityCore* entity = ReadOneEntity(type, layer, attributes_follow);
    build_.Append(block, entity, layer);
    if (attributes_follow) ReadAttributes(*entity);
    if (type == kHeavyPolyline) ReadVertices(*entity);
  }

  // A heavy polyline's vertices and the end of their sequence, kept beside
  // the polyline as the file held them: a modelled form reads its vertices
  // from them when first used.
  void ReadVertices(EntityCore& polyline) {
    const uint32_t record = Builder::RecordOf(Builder::Object(polyline));
    Tag t;
    size_t begin = std::string::npos;
    while (r_.Next(t)) {
      if (t.code != 0) r_.Fail("expected 0 VERTEX or 0 SEQEND");
      const std::string_view type = Trim(t.value);
      if (type == "SEQEND") {
        // A polyline without vertices has a run too, so that its sequence
        // end is written back.
        file_.vertex_runs.Add(
            record,
            VertexRun{begin != std::string::npos ? Slice(begin, r_.TagBegin()) : RawTags(), false});
        RawTags sequence_end;
        ReadBody(sequence_end);
        file_.sequence_ends.Add(record, std::move(sequence_end));
        return;
      }
      if (type != "VERTEX") {
        r_.Fail("expected 0 VERTEX or 0 SEQEND after a POLYLINE, found " +
                std::string(type.substr(0, 40)));
      }
      if (begin == std::string::npos) begin = r_.TagBegin();
      RawTags vertex;
      ReadBody(vertex);
    }
    r_.Fail("the file ends inside a polyline's vertices; expected 0 SEQEND");
  }

  void ReadAttributes(EntityCore& ref) {
    Tag t;
    while (r_.Next(t)) {
      if (t.code != 0) r_.Fail("expected 0 ATTRIB or 0 SEQEND");
      const std::string type(Trim(t.value));
      if (type == "SEQEND") {
        RawTags sequence_end;  // extended data and all, written back as read
        ReadBody(sequence_end);
        file_.sequence_ends.Add(Builder::RecordOf(Builder::Object(ref)), std::move(sequence_end));
        return;
      }
      if (type != "ATTRIB") r_.Fail("expected 0 ATTRIB or 0 SEQEND, found " + type);
      LayerRef layer;
      bool ignored = false;
      EntityCore* attribute = ReadOneEntity(type, layer, ignored);
      Builder::AppendAttribute(ref, attribute, layer);
    }
    r_.Fail("the file ends inside a block reference's attributes; expected 0 SEQEND");
  }

  // The layer named by an entity's raw layer tag. A plain ASCII name is
  // looked up as it stands; others are decoded once each, line breaks and
  // NULs in caret form (WithCaretBreaks).
  LayerRef LayerOf(std::string_view raw) {
    if (raw.empty()) raw = "0";
    // Entities return to a few layers over and over: a small cache of the
    // names last seen, by length and end letters, saves most lookups.
    const size_t slot = (raw.size() * 31 + static_cast<unsigned char>(raw.front()) * 7 +
                         static_cast<unsigned char>(raw.back())) %
                        kRecentLayers;
    if (Same(recent_layers_[slot].name, raw)) return recent_layers_[slot].layer;
    LayerRef layer;
    if (IsPlainText(raw) && !HasLineBreaks(raw)) {
      layer = build_.FindLayer(raw);
      if (!layer) layer = build_.AddLayer(std::string(raw));
    } else if (const auto it = layer_cache_.find(raw); it != layer_cache_.end()) {
      layer = it->second;
    } else {
      layer = build_.AddLayer(WithCaretBreaks(Text(raw)));
      layer_cache_.emplace(raw, layer);
    }
    recent_layers_[slot] = {raw, layer};
    return layer;
  }

  void Finish() {
    std::string active_layer;
    for (const auto& [name, raw] : file_.header) {
      for (const auto [code, value] : raw) {
        if (kActiveLayerVariable.Is(name, code)) active_layer = Text(Trim(value));
        if (kTextSizeVariable.Is(name, code) && ToDouble(value) > 0) {
          build_.SetVariable("TEXTSIZE", ToDouble(value));
        }
        if (kUnitsVariable.Is(name, code)) {
          build_.SetVariable("INSUNITS", static_cast<int16_t>(std::clamp<int64_t>(
                                             ToInt(value), INT16_MIN, INT16_MAX)));
        }
      }
    }
    const std::vector<std::string> unlisted =
        build_.Finish([this](const ObjectCore& object) { return HasFileHandle(object); },
                      without_handle_, active_layer);
    for (const std::string& name : unlisted) file_.implicit_layers.insert(KeyOf(name));
    for (const auto& a : build_.registered_apps()) {
      std::string key = KeyOf(a);
      if (file_.appids.count(key) == 0) file_.implicit_apps.insert(std::move(key));
    }
  }

  TagReader r_;
  Builder build_;
  DxfFile& file_;
  std::unique_ptr<TextCodec> codec_;
  // Layers of names that need decoding, by the layer tag as the file holds
  // it: views into the file's bytes, which the drawing keeps.
  std::unordered_map<std::string_view, LayerRef> layer_cache_;
  static constexpr size_t kRecentLayers = 64;
  struct RecentLayer {
    std::string_view name;  // as the file holds it
    LayerRef layer;
  };
  RecentLayer recent_layers_[kRecentLayers];
  std::vector<EntityCore*> without_handle_;
  // By record: table entries that have the handle the file gave them.
  std::vector<bool> handled_;
  bool view_read_ = false;
  // The handle of the last group code 5 or 105 read, when it was one.
  uint64_t last_handle_ = 0;
  bool last_handle_read_ = false;
};

}  // namespace

void ReadInto(host::Document& doc, const std::shared_ptr<DxfFile>& file, std::string bytes) {
  std::optional<Builder> build = Builder::For(doc);
  if (!build) throw DxfError("drawing files are read into in-memory drawings only");
  file->bytes = std::move(bytes);
  build->SetFieldSource(file);
  try {
    Reader(*build, *file).Run();
  } catch (const host::Error& e) {
    throw DxfError("the drawing cannot be held: " + e.description());
  }
}

}  // namespace palvane::dxf
