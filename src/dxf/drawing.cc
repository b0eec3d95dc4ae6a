#include "dxf/drawing.h"

#include <charconv>
#include <cmath>
#include <map>
#include <numbers>
#include <set>
#include <unordered_map>

#include "dxf/file_data.h"
#include "dxf/text.h"
#include "geometry/vec.h"
#include "host/memory/entities.h"

namespace palvane::dxf {

using host::Point3;
using host::Variant;
using host::memory::EntityCore;
using host::memory::MemAttribute;
using host::memory::MemAttributeDefinition;
using host::memory::MemBlock;
using host::memory::MemBlockReference;
using host::memory::MemDocument;
using host::memory::MemLayer;
using host::memory::MemLWPolyline;
using host::memory::MemMText;
using host::memory::MemOpaqueEntity;
using host::memory::MemPoint;
using host::memory::MemUCS;
using host::memory::RawTags;
using host::memory::XDataItem;

namespace {

// ---------------------------------------------------------------------------
// Reading

class Reader {
 public:
  Reader(std::string_view bytes, MemDocument& doc, DxfFile& file)
      : r_(bytes), doc_(doc), file_(file) {
    file_.binary = r_.binary();
  }

  void Run() {
    doc_.ResetHandles();
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
      file_.sections.push_back(name);
      if (name == "HEADER") {
        ReadHeader();
      } else if (name == "TABLES") {
        ReadTables();
      } else if (name == "BLOCKS") {
        ReadBlocks();
      } else if (name == "ENTITIES") {
        Codec();
        ReadEntities(doc_.model_space(), "ENDSEC");
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
  std::string Text(std::string_view raw) { return DecodeEscapes(Codec().Decode(raw)); }

  void Reserve(const Tag& t) {
    if (t.code != 5 && t.code != 105) return;
    if (Trim(t.value).empty()) return;  // some writers leave a handle empty
    uint64_t h;
    if (!ParseHandle(t.value, h)) {
      r_.Fail("expected a handle (hexadecimal), found \"" + std::string(t.value.substr(0, 40)) +
              "\"");
    }
    doc_.ReserveHandle(h);
  }

  // Reads tags up to the next group code 0, which is left to be read next.
  void ReadBody(RawTags& body) {
    Tag t;
    while (r_.Next(t)) {
      if (t.code == 0) {
        r_.PushBack(t);
        return;
      }
      Reserve(t);
      body.push_back(t.code, t.value);
    }
    r_.Fail("the file ends inside an object; expected 0 and the next object");
  }

  // An entity's or record's tags up to the next code 0: its own tags into
  // `body`, its extended data into `xdata`.
  void ReadObject(RawTags& body, std::vector<XDataItem>& xdata) {
    Tag t;
    bool in_xdata = false;
    while (r_.Next(t)) {
      if (t.code == 0) {
        r_.PushBack(t);
        return;
      }
      if (t.code == 1001) in_xdata = true;
      if (!in_xdata) {
        Reserve(t);
        body.push_back(t.code, t.value);
        continue;
      }
      AddXDataItem(xdata, t);
    }
    r_.Fail("the file ends inside an object; expected 0 and the next object");
  }

  void AddXDataItem(std::vector<XDataItem>& xdata, const Tag& t) {
    const int code = t.code;
    if (code >= 1010 && code <= 1013) {
      xdata.push_back({t.code, Variant::Point(ToDouble(t.value), 0, 0)});
      return;
    }
    if (code >= 1020 && code <= 1033 && !xdata.empty() && xdata.back().value.IsArray() &&
        xdata.back().code == (code < 1030 ? code - 10 : code - 20)) {
      auto a = xdata.back().value.AsArrayUnchecked();
      a[code < 1030 ? 1 : 2] = ToDouble(t.value);
      xdata.back().value = Variant(std::move(a));
      return;
    }
    switch (ValueTypeOf(code)) {
      case ValueType::kDouble:
        xdata.push_back({t.code, Variant(ToDouble(t.value))});
        return;
      case ValueType::kInt16:
        xdata.push_back({t.code, Variant(static_cast<int16_t>(ToInt(t.value)))});
        return;
      case ValueType::kInt32:
        xdata.push_back({t.code, Variant(static_cast<int32_t>(ToInt(t.value)))});
        return;
      case ValueType::kString:
        xdata.push_back({t.code, Variant(Text(t.value))});
        return;
      default:
        xdata.push_back({t.code, Variant(std::string(t.value))});
        return;
    }
  }

  void ReadRawSection(RawTags& raw) {
    Tag t;
    while (r_.Next(t)) {
      if (t.code == 0 && Trim(t.value) == "ENDSEC") return;
      Reserve(t);
      raw.push_back(t.code, t.value);
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
      if (var == "$ACADVER" && t.code == 1) file_.version = std::string(Trim(t.value));
      if (var == "$DWGCODEPAGE" && t.code == 3) file_.code_page = std::string(Trim(t.value));
      if (var == "$HANDLING" && t.code == 70) file_.has_handles = ToInt(t.value) != 0;
      uint64_t seed = 0;
      if (var == "$HANDSEED" && t.code == 5 && ParseHandle(t.value, seed)) {
        doc_.RaiseHandleSeed(seed);
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
      ReadBody(table.head);
      for (const auto [code, value] : table.head) {
        if (code == 2) {
          table.name = std::string(Trim(value));
          break;
        }
      }
      while (r_.Next(t)) {
        if (t.code != 0) r_.Fail("expected 0 and a table entry");
        const std::string type(Trim(t.value));
        if (type == "ENDTAB") {
          ReadBody(table.end);
          break;
        }
        if (type == "ENDSEC" || type == "TABLE") r_.Fail("expected 0 ENDTAB before this");
        ReadEntry(table, type);
        ++table.read_count;
      }
      file_.tables.push_back(std::move(table));
    }
    r_.Fail("the file ends inside the tables; expected 0 ENDSEC");
  }

  void ReadEntry(Table& table, const std::string& type) {
    if (type == "LAYER" || type == "UCS" || type == "BLOCK_RECORD") {
      RawTags body;
      std::vector<XDataItem> xdata;
      ReadObject(body, xdata);
      std::string name;
      uint64_t handle = 0;
      bool has_handle = false;
      int flags = 0, color = 7;
      Point3 origin{0, 0, 0}, x_axis{1, 0, 0}, y_axis{0, 1, 0};
      for (const auto [code, value] : body) {
        switch (code) {
          case 2:
            name = Text(Trim(value));
            break;
          case 5:
            has_handle = ParseHandle(value, handle);
            break;
          case 70:
            flags = static_cast<int>(ToInt(value));
            break;
          case 62:
            color = static_cast<int>(ToInt(value));
            break;
          case 10:
            origin[0] = ToDouble(value);
            break;
          case 20:
            origin[1] = ToDouble(value);
            break;
          case 30:
            origin[2] = ToDouble(value);
            break;
          case 11:
            x_axis[0] = ToDouble(value);
            break;
          case 21:
            x_axis[1] = ToDouble(value);
            break;
          case 31:
            x_axis[2] = ToDouble(value);
            break;
          case 12:
            y_axis[0] = ToDouble(value);
            break;
          case 22:
            y_axis[1] = ToDouble(value);
            break;
          case 32:
            y_axis[2] = ToDouble(value);
            break;
          default:
            break;
        }
      }
      if (name.empty()) r_.Fail(type + " entry without a name (group code 2)");
      host::memory::ObjectCore* object = nullptr;
      if (type == "LAYER") {
        if (seen_layers_.count(host::memory::FoldName(name)) != 0) {
          r_.Fail("a second layer named \"" + name + "\"");
        }
        seen_layers_.insert(host::memory::FoldName(name));
        MemLayer* layer = doc_.AddLayer(name, false);
        layer->set_frozen((flags & 1) != 0);
        layer->set_on(color >= 0);
        layer->set_color(color == 0 ? 7 : std::abs(color));
        object = layer;
      } else if (type == "UCS") {
        try {
          MemUCS* ucs = doc_.AddOrUpdateUCS(origin, geometry::Add(origin, x_axis),
                                            geometry::Add(origin, y_axis), name);
          ucs->set_dirty(false);
          object = ucs;
        } catch (const host::Error& e) {
          r_.Fail("coordinate system \"" + name + "\": " + e.description());
        }
      } else {
        MemBlock* block = doc_.AddBlock(name, {0, 0, 0}, false);
        object = block;
      }
      if (has_handle) {
        object->set_handle(handle);
        from_file_.insert(object);
      }
      object->extra() = std::move(body);
      object->xdata() = std::move(xdata);
      MarkRead(object);
      return;
    }
    RawTags body;
    ReadBody(body);
    if (type == "APPID") {
      std::string name;
      for (const auto [code, value] : body) {
        if (code == 2) name = Text(Trim(value));
      }
      if (!name.empty()) {
        doc_.RegisterApp(name);
        file_.appids[host::memory::FoldName(name)] = body;
      }
      return;  // APPID entries are written from the model
    }
    if (type == "VPORT" && !view_read_) ReadView(body);
    table.entries.emplace_back(type, std::move(body));
  }

  void ReadView(const RawTags& body) {
    bool active = false;
    for (const auto [code, value] : body) {
      if (code == 2) active = host::memory::FoldName(std::string(Trim(value))) == "*ACTIVE";
    }
    if (!active) return;
    view_read_ = true;
    auto& view = doc_.view();
    for (const auto [code, value] : body) {
      switch (code) {
        case 12:
          view.center[0] = ToDouble(value);
          break;
        case 22:
          view.center[1] = ToDouble(value);
          break;
        case 16:
          view.direction[0] = ToDouble(value);
          break;
        case 26:
          view.direction[1] = ToDouble(value);
          break;
        case 36:
          view.direction[2] = ToDouble(value);
          break;
        case 40:
          view.height = ToDouble(value);
          break;
        case 74:
          view.ucs_icon_on = (ToInt(value) & 1) != 0;
          view.ucs_icon_at_origin = (ToInt(value) & 2) != 0;
          break;
        default:
          break;
      }
    }
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
      Point3 base{0, 0, 0};
      for (const auto [code, value] : begin) {
        if (code == 2 && name.empty()) name = Text(Trim(value));
        if (code == 10) base[0] = ToDouble(value);
        if (code == 20) base[1] = ToDouble(value);
        if (code == 30) base[2] = ToDouble(value);
      }
      if (name.empty()) r_.Fail("BLOCK without a name (group code 2)");
      MemBlock* block = doc_.AddBlock(name, base, false);
      if (!block->block_begin.empty()) r_.Fail("a second definition of block \"" + name + "\"");
      block->set_origin(base);
      block->block_begin = std::move(begin);
      ReadEntities(block, "ENDBLK");
      ReadBody(block->block_end);
    }
    r_.Fail("the file ends inside the blocks; expected 0 ENDSEC");
  }

  void ReadEntities(MemBlock* block, std::string_view end) {
    Tag t;
    while (r_.Next(t)) {
      if (t.code != 0)
        r_.Fail("expected 0 and an entity, found group code " + std::to_string(t.code));
      const std::string type(Trim(t.value));
      if (type == end) return;
      if (type == "ENDSEC" || type == "ENDBLK" || type == "EOF" || type == "SECTION") {
        r_.Fail("expected 0 " + std::string(end) + " before " + type);
      }
      ReadEntity(block, type);
    }
    r_.Fail("the file ends inside the entities; expected 0 " + std::string(end));
  }

  // Reads one entity and, for a block reference with attributes, the
  // attributes and the end of their sequence.
  void ReadEntity(MemBlock* block, const std::string& type) {
    RawTags body;
    body.reserve(256);
    std::vector<XDataItem> xdata;
    ReadObject(body, xdata);
    std::shared_ptr<EntityCore> entity = MakeEntity(type, body);
    entity->xdata() = std::move(xdata);
    std::string_view layer_bytes = "0";
    for (const auto [code, value] : body) {
      if (code == 8) {
        layer_bytes = Trim(value);
        break;
      }
    }
    MemLayer* layer = LayerOf(layer_bytes);
    body.shrink_to_fit();
    entity->extra() = std::move(body);
    for (const auto& item : entity->xdata()) {
      if (item.code == 1001) doc_.RegisterApp(item.value.AsStringUnchecked());
    }
    block->Append(entity, layer);
    if (auto* ref = dynamic_cast<MemBlockReference*>(entity.get()); ref && attributes_follow_) {
      ReadAttributes(*ref);
    }
  }

  void ReadAttributes(MemBlockReference& ref) {
    Tag t;
    while (r_.Next(t)) {
      if (t.code != 0) r_.Fail("expected 0 ATTRIB or 0 SEQEND");
      const std::string type(Trim(t.value));
      if (type == "SEQEND") {
        std::vector<XDataItem> ignored;
        ReadObject(ref.sequence_end, ignored);
        return;
      }
      if (type != "ATTRIB") r_.Fail("expected 0 ATTRIB or 0 SEQEND, found " + type);
      RawTags body;
      std::vector<XDataItem> xdata;
      ReadObject(body, xdata);
      auto attribute = std::static_pointer_cast<MemAttribute>(MakeEntity(type, body));
      attribute->xdata() = std::move(xdata);
      std::string layer_name = "0";
      for (const auto [code, value] : body) {
        if (code == 8) layer_name = Text(Trim(value));
      }
      attribute->extra() = std::move(body);
      attribute->AssignLayer(doc_.AddLayer(layer_name.empty() ? "0" : layer_name, false));
      doc_.IndexEntity(attribute.get());
      ref.attributes.push_back(std::move(attribute));
    }
    r_.Fail("the file ends inside a block reference's attributes; expected 0 SEQEND");
  }

  // The layer named by an entity's raw layer tag; most entities share a few
  // layers, so names are decoded and looked up once each.
  MemLayer* LayerOf(std::string_view raw) {
    if (raw.empty()) raw = "0";
    const auto it = layer_cache_.find(raw);
    if (it != layer_cache_.end()) return it->second;
    MemLayer* layer = doc_.AddLayer(Text(raw), false);
    layer_cache_.emplace(std::string(raw), layer);
    return layer;
  }

  std::shared_ptr<EntityCore> MakeEntity(const std::string& type, const RawTags& body) {
    uint64_t handle = 0;
    bool has_handle = false;
    for (const auto [code, value] : body) {
      if (code == 5) {
        has_handle = ParseHandle(value, handle);
        break;
      }
    }
    attributes_follow_ = false;
    std::shared_ptr<EntityCore> e;
    int32_t color = 256;
    auto common = [&](int code, std::string_view value) {
      if (code == 62) color = static_cast<int32_t>(ToInt(value));
    };
    if (type == "LWPOLYLINE") {
      auto p = std::make_shared<MemLWPolyline>(&doc_, handle);
      for (const auto [code, value] : body) {
        common(code, value);
        switch (code) {
          case 70:
            p->closed = (ToInt(value) & 1) != 0;
            break;
          case 38:
            p->elevation = ToDouble(value);
            break;
          case 39:
            p->thickness = ToDouble(value);
            break;
          case 43:
            p->constant_width = ToDouble(value);
            break;
          case 10:
            p->vertices.push_back({ToDouble(value)});
            break;
          case 20:
            if (!p->vertices.empty()) p->vertices.back().y = ToDouble(value);
            break;
          case 40:
            if (!p->vertices.empty()) p->vertices.back().start_width = ToDouble(value);
            break;
          case 41:
            if (!p->vertices.empty()) p->vertices.back().end_width = ToDouble(value);
            break;
          case 42:
            if (!p->vertices.empty()) p->vertices.back().bulge = ToDouble(value);
            break;
          case 210:
            p->normal[0] = ToDouble(value);
            break;
          case 220:
            p->normal[1] = ToDouble(value);
            break;
          case 230:
            p->normal[2] = ToDouble(value);
            break;
          default:
            break;
        }
      }
      p->vertices.shrink_to_fit();
      e = p;
    } else if (type == "POINT") {
      auto p = std::make_shared<MemPoint>(&doc_, handle);
      ReadPoint(body, 10, p->position, common);
      e = p;
    } else if (type == "MTEXT") {
      auto m = std::make_shared<MemMText>(&doc_, handle);
      std::string text, last;
      for (const auto [code, value] : body) {
        if (code == 101) break;  // an embedded object follows
        common(code, value);
        if (code == 40) m->height = ToDouble(value);
        if (code == 41) m->width = ToDouble(value);
        if (code == 3) text += value;
        if (code == 1) last = value;
      }
      m->text = Text(text + last);
      ReadPoint(body, 10, m->insertion, [](int, std::string_view) {});
      e = m;
    } else if (type == "ATTDEF" || type == "ATTRIB") {
      std::string tag, prompt, value_text;
      double height = 2.5;
      int32_t flags = 0;
      for (const auto [code, value] : body) {
        if (code == 101) break;
        common(code, value);
        if (code == 1) value_text = Text(value);
        if (code == 2) tag = Text(value);
        if (code == 3) prompt = Text(value);
        if (code == 40) height = ToDouble(value);
        if (code == 70) flags = static_cast<int32_t>(ToInt(value));
      }
      if (type == "ATTDEF") {
        auto a = std::make_shared<MemAttributeDefinition>(&doc_, handle);
        a->tag = tag;
        a->prompt = prompt;
        a->value = value_text;
        a->height = height;
        a->mode = flags;
        ReadPoint(body, 10, a->insertion, [](int, std::string_view) {});
        e = a;
      } else {
        auto a = std::make_shared<MemAttribute>(&doc_, handle);
        a->tag = tag;
        a->value = value_text;
        a->height = height;
        ReadPoint(body, 10, a->insertion, [](int, std::string_view) {});
        e = a;
      }
    } else if (type == "INSERT") {
      auto r = std::make_shared<MemBlockReference>(&doc_, handle);
      for (const auto [code, value] : body) {
        common(code, value);
        switch (code) {
          case 2:
            r->block_name = Text(Trim(value));
            break;
          case 41:
            r->scale[0] = ToDouble(value);
            break;
          case 42:
            r->scale[1] = ToDouble(value);
            break;
          case 43:
            r->scale[2] = ToDouble(value);
            break;
          case 50:
            r->rotation = ToDouble(value) / kDegrees;
            break;
          case 66:
            attributes_follow_ = ToInt(value) != 0;
            break;
          default:
            break;
        }
      }
      ReadPoint(body, 10, r->insertion, [](int, std::string_view) {});
      e = r;
    } else {
      e = std::make_shared<MemOpaqueEntity>(&doc_, handle, type);
      for (const auto [code, value] : body) common(code, value);
    }
    e->set_color(color);
    if (!has_handle) without_handle_.push_back(e.get());
    return e;
  }

  template <class F>
  static void ReadPoint(const RawTags& body, int code, Point3& p, F&& also) {
    bool x = false, y = false, z = false;
    for (const auto [c, value] : body) {
      if (c == 101) break;
      also(c, value);
      if (c == code && !x) p[0] = ToDouble(value), x = true;
      if (c == code + 10 && !y) p[1] = ToDouble(value), y = true;
      if (c == code + 20 && !z) p[2] = ToDouble(value), z = true;
    }
  }

  void MarkRead(host::memory::ObjectCore* object) { object->set_dirty(false); }

  void Finish() {
    // Handles the template gave objects the file did not hold must not
    // collide with the file's.
    for (const auto& b : doc_.blocks()) {
      if (from_file_.count(b.get()) == 0) b->set_handle(doc_.NextHandle());
    }
    for (const auto& l : doc_.layers()) {
      if (from_file_.count(l.get()) != 0) continue;
      l->set_handle(doc_.NextHandle());
      file_.implicit_layers.insert(host::memory::FoldName(l->name()));
    }
    for (const auto& a : doc_.registered_apps()) {
      const std::string folded = host::memory::FoldName(a);
      if (file_.appids.count(folded) == 0) file_.implicit_apps.insert(folded);
    }
    for (const auto& u : doc_.ucss()) {
      if (from_file_.count(u.get()) == 0) u->set_handle(doc_.NextHandle());
    }
    doc_.UnindexHandle(0);
    for (EntityCore* e : without_handle_) {
      e->set_handle(doc_.NextHandle());
      doc_.IndexEntity(e);
    }
    for (const auto& [name, raw] : file_.header) {
      for (const auto [code, value] : raw) {
        if (name == "$CLAYER" && code == 8) {
          MemLayer* layer = doc_.FindLayer(Text(Trim(value)));
          if (layer != nullptr && !layer->frozen()) doc_.set_active_layer(layer);
        }
        if (name == "$TEXTSIZE" && code == 40 && ToDouble(value) > 0) {
          doc_.variables()["TEXTSIZE"] = ToDouble(value);
        }
      }
    }
    for (const auto& b : doc_.blocks()) {
      for (const auto& e : b->entities()) e->set_dirty(false);
    }
  }

  TagReader r_;
  MemDocument& doc_;
  DxfFile& file_;
  std::unique_ptr<TextCodec> codec_;
  std::set<std::string> seen_layers_;
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, MemLayer*, Hash, std::equal_to<>> layer_cache_;
  std::set<const host::memory::ObjectCore*> from_file_;
  std::vector<EntityCore*> without_handle_;
  bool attributes_follow_ = false;
  bool view_read_ = false;
};

}  // namespace

void ReadInto(MemDocument& doc, DxfFile& file, std::string_view bytes) {
  try {
    Reader(bytes, doc, file).Run();
  } catch (const host::Error& e) {
    throw DxfError("the drawing cannot be held: " + e.description());
  }
}

std::shared_ptr<MemDocument> ReadDrawing(host::memory::MemApplication& app, std::string_view bytes,
                                         const std::string& name) {
  auto doc = app.NewDetachedDocument(name);
  auto file = std::make_shared<DxfFile>();
  ReadInto(*doc, *file, bytes);
  doc->file = file;
  return doc;
}

std::string VersionOf(const MemDocument& doc) {
  const auto* file = dynamic_cast<const DxfFile*>(doc.file.get());
  return file != nullptr ? file->version : "AC1027";
}

}  // namespace palvane::dxf
