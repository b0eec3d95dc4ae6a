#include <algorithm>
#include <cmath>
#include <set>

#include "dxf/drawing.h"
#include "dxf/entity_codec.h"
#include "dxf/file_data.h"
#include "dxf/template.h"
#include "dxf/text.h"
#include "host/convert.h"
#include "host/memory/entities.h"

namespace palvane::dxf {

using host::Point3;
using host::memory::EntityCore;
using host::memory::FoldName;
using host::memory::MemBlock;
using host::memory::MemDocument;
using host::memory::MemLayer;
using host::memory::MemUCS;
using host::memory::XDataItem;

namespace {

class Writer {
 public:
  Writer(MemDocument& doc, const DxfFile& file, bool binary)
      : doc_(doc),
        file_(file),
        w_(binary),
        binary_(binary),
        codec_(file.utf8(), file.code_page),
        r12_(file.r12()),
        next_handle_(doc.handle_seed()),
        out_(w_, codec_, r12_, file.has_handles) {
    out_.write_entity = [this](EntityCore& e, uint64_t owner) { WriteEntity(e, owner); };
    out_.new_handle = [this] { return next_handle_++; };
  }
  // Handles given out here start above every handle of the drawing; the
  // seed written is above every handle written.

  std::string Run() {
    // Room for the whole drawing at once, generously: pages never written
    // cost no memory, while growing by doubling would hold the old copy and
    // the new one together at the largest size.
    size_t objects = doc_.layers().size();
    for (const auto& b : doc_.blocks()) objects += b->entities().size();
    w_.bytes().reserve(file_.bytes.size() + objects * 256);
    for (const auto [code, value] : file_.preamble) w_.Write(code, value);
    bool tables_written = false, blocks_written = false;
    // Sections the drawing now needs but the file lacked come before the
    // entities; so do the entities themselves when the file had model-space
    // entities only in its blocks section and no ENTITIES section.
    bool entities_written = false;
    auto before_entities = [&] {
      if (!tables_written && NeedsTables()) {
        Section("TABLES", [&] { WriteMissingTables(); });
        tables_written = true;
      }
      if (!blocks_written && NeedsBlocks()) {
        Section("BLOCKS", [&] { WriteBlocks(); });
        blocks_written = true;
      }
    };
    auto write_entities = [&] {
      before_entities();
      Section("ENTITIES", [&] {
        for (const auto& e : doc_.model_space()->entities()) {
          WriteEntity(*e, doc_.model_space()->handle());
        }
      });
      entities_written = true;
    };
    const bool entities_unlisted = std::find(file_.sections.begin(), file_.sections.end(),
                                             "ENTITIES") == file_.sections.end() &&
                                   !doc_.model_space()->entities().empty();
    for (const std::string& name : file_.sections) {
      if (name == "BLOCKS" && !tables_written && NeedsTables()) {
        Section("TABLES", [&] { WriteMissingTables(); });
        tables_written = true;
      }
      if (entities_unlisted && !entities_written &&
          (name == "OBJECTS" || name == "THUMBNAILIMAGE" || name == "ACDSDATA")) {
        write_entities();
      }
      if (name == "HEADER") {
        // Written last, once the handle seed is known, and put in its place.
        header_at_ = w_.bytes().size();
      } else if (name == "TABLES") {
        Section(name, [&] { WriteTables(); });
        tables_written = true;
      } else if (name == "BLOCKS") {
        Section(name, [&] { WriteBlocks(); });
        blocks_written = true;
      } else if (name == "ENTITIES") {
        write_entities();
      } else {
        const auto it = file_.raw_sections.find(name);
        Section(name, [&] {
          if (it == file_.raw_sections.end()) return;
          for (const auto [code, value] : it->second) w_.Write(code, value);
        });
      }
    }
    if (entities_unlisted && !entities_written) write_entities();
    w_.Write(0, "EOF");
    if (header_at_ != std::string::npos) {
      seed_ = std::max(file_.seed, w_.max_handle() + 1);
      TagWriter body = std::move(w_);
      w_ = TagWriter(binary_, /*sentinel=*/false);
      Section("HEADER", [&] { WriteHeader(); });
      body.bytes().insert(header_at_, w_.bytes());
      return std::move(body.bytes());
    }
    return std::move(w_.bytes());
  }

 private:
  template <class F>
  void Section(const std::string& name, F&& body) {
    w_.Write(0, "SECTION");
    w_.Write(2, name);
    body();
    w_.Write(0, "ENDSEC");
  }

  std::string Enc(const std::string& utf8) { return codec_.Encode(utf8); }
  std::string NewHandle() { return Hex(next_handle_++); }
  void Handle(uint64_t h) {
    if (file_.has_handles) w_.Write(5, Hex(h));
  }
  void Owner(uint64_t h) {
    if (!r12_) w_.Write(330, Hex(h));
  }
  void Subclass(const char* name) {
    if (!r12_) w_.Write(100, name);
  }
  void Point(int code, const Point3& p, bool z = true) {
    w_.Write(code, p[0]);
    w_.Write(code + 10, p[1]);
    if (z) w_.Write(code + 20, p[2]);
  }

  // ------------------------------------------------------------- header

  void WriteHeader() {
    for (const auto& [name, raw] : file_.header) {
      if (name == kStrayEndSection) {
        w_.Write(0, "ENDSEC");
        continue;
      }
      w_.Write(9, name);
      for (const auto [code, value] : raw) {
        if (name == "$HANDSEED" && code == 5) {
          w_.Write(5, Hex(seed_));
        } else if (name == "$CLAYER" && code == 8) {
          w_.Write(8, Enc(doc_.active_layer()->name()));
        } else if (name == "$TEXTSIZE" && code == 40) {
          w_.Write(40, host::ToDouble(doc_.variables()["TEXTSIZE"]));
        } else if (doc_.active_ucs() != nullptr && name == "$UCSNAME" && code == 2) {
          w_.Write(2, Enc(doc_.active_ucs()->name()));
        } else if (doc_.active_ucs() != nullptr &&
                   (name == "$UCSORG" || name == "$UCSXDIR" || name == "$UCSYDIR") && code >= 10 &&
                   code <= 30) {
          const MemUCS* u = doc_.active_ucs();
          const Point3& p = name == "$UCSORG"    ? u->origin
                            : name == "$UCSXDIR" ? u->x_axis
                                                 : u->y_axis;
          w_.Write(code, p[static_cast<size_t>((code - 10) / 10)]);
        } else {
          w_.Write(code, value);
        }
      }
    }
  }

  // ------------------------------------------------------------- tables

  bool NeedsTables() const {
    if (!file_.tables.empty()) return false;
    for (const auto& l : doc_.layers()) {
      if (file_.TagsOf(*l).empty() && l->name() != "0") return true;
      if (l->dirty()) return true;
    }
    return !doc_.ucss().empty();
  }

  bool NeedsBlocks() const {
    for (const auto& s : file_.sections) {
      if (s == "BLOCKS") return false;
    }
    for (const auto& b : doc_.blocks()) {
      if (!b->name().starts_with("*")) return true;
    }
    return false;
  }

  void WriteMissingTables() {
    for (const char* name : {"LAYER", "UCS", "APPID"}) WriteTable(Table{name, {}, {}, {}});
  }

  void WriteTables() {
    std::set<std::string> seen;
    for (const Table& t : file_.tables) {
      WriteTable(t);
      seen.insert(t.name);
    }
    // A coordinate system made in a drawing whose file had no such table.
    if (seen.count("UCS") == 0 && !doc_.ucss().empty()) WriteTable(Table{"UCS", {}, {}, {}});
    if (seen.count("LAYER") == 0) WriteTable(Table{"LAYER", {}, {}, {}});
    if (seen.count("APPID") == 0 && doc_.registered_apps().size() > 1) {
      WriteTable(Table{"APPID", {}, {}, {}});
    }
  }

  void WriteTable(const Table& t) {
    uint64_t table_handle = 0;
    for (const auto [code, value] : t.head) {
      if (code == 5 || code == 105) ParseHandle(value, table_handle);
    }
    const bool fresh = t.head.empty();
    if (fresh) table_handle = next_handle_++;
    std::vector<MemLayer*> layers;
    for (const auto& l : doc_.layers()) {
      if (!Implicit(*l)) layers.push_back(l.get());
    }
    std::vector<std::string> apps;
    for (const auto& a : doc_.registered_apps()) {
      if (file_.implicit_apps.count(FoldName(a)) == 0) apps.push_back(a);
    }
    size_t count = t.entries.size();
    if (t.name == "LAYER") count = layers.size();
    if (t.name == "UCS") count = doc_.ucss().size();
    if (t.name == "APPID") count = apps.size();
    if (t.name == "BLOCK_RECORD") count = doc_.blocks().size();

    w_.Write(0, "TABLE");
    if (fresh) {
      w_.Write(2, t.name);
      Handle(table_handle);
      Owner(0);
      Subclass("AcDbSymbolTable");
      w_.Write(70, static_cast<int64_t>(count));
    } else {
      for (const auto [code, value] : t.head) {
        // The count is kept as the file had it (some programs write it
        // wrong) unless entries came or went.
        if (code == 70 && count != t.read_count) {
          w_.Write(70, static_cast<int64_t>(count));
        } else {
          w_.Write(code, value);
        }
      }
    }
    if (t.name == "LAYER") {
      for (MemLayer* l : layers) WriteLayer(*l, table_handle);
    } else if (t.name == "UCS") {
      for (const auto& u : doc_.ucss()) WriteUCS(*u, table_handle);
    } else if (t.name == "APPID") {
      for (const auto& a : apps) WriteAppId(a, table_handle);
    } else if (t.name == "BLOCK_RECORD") {
      for (const auto& b : doc_.blocks()) WriteBlockRecord(*b, table_handle);
    } else {
      for (const auto& [type, body] : t.entries) {
        w_.Write(0, type);
        if (type == "VPORT" && IsActive(body)) {
          WriteActiveViewport(body);
        } else {
          for (const auto [code, value] : body) w_.Write(code, value);
        }
      }
    }
    w_.Write(0, "ENDTAB");
    for (const auto [code, value] : t.end) w_.Write(code, value);
  }

  // A layer the drawing had without the file's table listing it, untouched since.
  bool Implicit(const MemLayer& layer) const {
    return file_.TagsOf(layer).empty() && !layer.dirty() &&
           file_.implicit_layers.count(FoldName(layer.name())) != 0;
  }

  static bool IsActive(const RawTags& body) {
    for (const auto [code, value] : body) {
      if (code == 2) return FoldName(std::string(Trim(value))) == "*ACTIVE";
    }
    return false;
  }

  void WriteActiveViewport(const RawTags& body) {
    const auto& view = doc_.view();
    std::set<int> done;
    for (const auto [code, value] : body) {
      const bool first = done.insert(code).second;
      if (!first) {
        w_.Write(code, value);
        continue;
      }
      switch (code) {
        case 12:
          w_.Write(12, view.center[0]);
          break;
        case 22:
          w_.Write(22, view.center[1]);
          break;
        case 16:
          w_.Write(16, view.direction[0]);
          break;
        case 26:
          w_.Write(26, view.direction[1]);
          break;
        case 36:
          w_.Write(36, view.direction[2]);
          break;
        case 40:
          w_.Write(40, view.height);
          break;
        case 74:
          w_.Write(74, static_cast<int64_t>((view.ucs_icon_on ? 1 : 0) |
                                            (view.ucs_icon_at_origin ? 2 : 0)));
          break;
        default:
          w_.Write(code, value);
      }
    }
  }

  void WriteLayer(MemLayer& layer, uint64_t table_handle) {
    w_.Write(0, "LAYER");
    const int64_t color = layer.on() ? layer.color() : -layer.color();
    const RawTags& own = file_.TagsOf(layer);
    if (own.empty()) {
      Handle(layer.handle());
      Owner(table_handle);
      Subclass("AcDbSymbolTableRecord");
      Subclass("AcDbLayerTableRecord");
      w_.Write(2, Enc(layer.name()));
      w_.Write(70, static_cast<int64_t>(layer.frozen() ? 1 : 0));
      w_.Write(62, color);
      w_.Write(6, "Continuous");
      if (!r12_) w_.Write(370, static_cast<int64_t>(-3));
    } else {
      for (const auto [code, value] : own) {
        if (!layer.dirty()) {
          w_.Write(code, code == 2 ? std::string_view(Enc(layer.name())) : value);
          continue;
        }
        if (code == 2) {
          w_.Write(2, Enc(layer.name()));
        } else if (code == 70) {
          w_.Write(70, (ToInt(value) & ~int64_t{1}) | (layer.frozen() ? 1 : 0));
        } else if (code == 62) {
          w_.Write(62, color);
        } else {
          w_.Write(code, value);
        }
      }
    }
    WriteXData(layer);
  }

  void WriteUCS(MemUCS& ucs, uint64_t table_handle) {
    w_.Write(0, "UCS");
    const RawTags& own = file_.TagsOf(ucs);
    if (!own.empty() && !ucs.dirty()) {
      for (const auto [code, value] : own) w_.Write(code, value);
    } else if (!own.empty()) {
      for (const auto [code, value] : own) {
        if (code >= 10 && code <= 32 && code % 10 <= 2) {
          const Point3& p = code % 10 == 0 ? ucs.origin : code % 10 == 1 ? ucs.x_axis : ucs.y_axis;
          w_.Write(code, p[static_cast<size_t>(code / 10 - 1)]);
        } else {
          w_.Write(code, value);
        }
      }
    } else {
      Handle(ucs.handle());
      Owner(table_handle);
      Subclass("AcDbSymbolTableRecord");
      Subclass("AcDbUCSTableRecord");
      w_.Write(2, Enc(ucs.name()));
      w_.Write(70, int64_t{0});
      Point(10, ucs.origin);
      Point(11, ucs.x_axis);
      Point(12, ucs.y_axis);
      if (!r12_) {
        w_.Write(79, int64_t{0});
        w_.Write(146, 0.0);
      }
    }
    WriteXData(ucs);
  }

  void WriteAppId(const std::string& name, uint64_t table_handle) {
    w_.Write(0, "APPID");
    const auto it = file_.appids.find(FoldName(name));
    if (it != file_.appids.end()) {
      for (const auto [code, value] : it->second) w_.Write(code, value);
      return;
    }
    if (file_.has_handles) w_.Write(5, NewHandle());
    Owner(table_handle);
    Subclass("AcDbSymbolTableRecord");
    Subclass("AcDbRegAppTableRecord");
    w_.Write(2, Enc(name));
    w_.Write(70, int64_t{0});
  }

  void WriteBlockRecord(MemBlock& block, uint64_t table_handle) {
    w_.Write(0, "BLOCK_RECORD");
    const RawTags& own = file_.TagsOf(block);
    if (!own.empty()) {
      for (const auto [code, value] : own) w_.Write(code, value);
    } else {
      Handle(block.handle());
      Owner(table_handle);
      Subclass("AcDbSymbolTableRecord");
      Subclass("AcDbBlockTableRecord");
      w_.Write(2, Enc(block.name()));
      w_.Write(340, "0");
      w_.Write(70, int64_t{0});
      w_.Write(280, int64_t{1});
      w_.Write(281, int64_t{0});
    }
    WriteXData(block);
  }

  // ------------------------------------------------------------- blocks

  void WriteBlocks() {
    for (const auto& b : doc_.blocks()) {
      MemBlock& block = *b;
      // R12 files name their spaces otherwise; a space the file lacked stays out.
      const BlockFrame* frame =
          block.record() != 0 ? file_.block_frames.Find(block.record()) : nullptr;
      if (r12_ && frame == nullptr && block.name().starts_with("*")) continue;
      w_.Write(0, "BLOCK");
      if (frame != nullptr) {
        for (const auto [code, value] : frame->begin) w_.Write(code, value);
      } else {
        if (file_.has_handles) w_.Write(5, NewHandle());
        Owner(block.handle());
        Subclass("AcDbEntity");
        w_.Write(8, "0");
        Subclass("AcDbBlockBegin");
        w_.Write(2, Enc(block.name()));
        w_.Write(70, int64_t{0});
        Point(10, block.origin());
        w_.Write(3, Enc(block.name()));
        w_.Write(1, "");
      }
      if (!block.is_model_space()) {
        for (const auto& e : block.entities()) WriteEntity(*e, block.handle());
      }
      w_.Write(0, "ENDBLK");
      if (frame != nullptr && !frame->end.empty()) {
        for (const auto [code, value] : frame->end) w_.Write(code, value);
      } else {
        if (file_.has_handles) w_.Write(5, NewHandle());
        Owner(block.handle());
        Subclass("AcDbEntity");
        w_.Write(8, "0");
        Subclass("AcDbBlockEnd");
      }
    }
  }

  // ------------------------------------------------------------- entities

  void WriteEntity(EntityCore& e, uint64_t owner) {
    w_.Write(0, e.TypeName());
    const EntityCodec& codec = CodecOf(e);
    const RawTags& own = file_.TagsOf(e);
    if (own.empty()) {
      CommonHead(e, owner);
      codec.WriteNew(e, out_);
    } else if (!e.dirty()) {
      WriteUnchanged(e, own);
    } else if (file_.adopted.count(e.record()) != 0) {
      codec.Patch(e, WithoutForeignReferences(own), owner, out_);
    } else {
      codec.Patch(e, own, owner, out_);
    }
    WriteXData(e);
    codec.WriteFollowing(e, e.record() != 0 ? file_.sequence_ends.Find(e.record()) : nullptr, out_);
  }

  std::string LayerName(const EntityCore& e) {
    return Enc(e.layer() != nullptr ? e.layer()->name() : "0");
  }

  // An entity as read and not changed since: its tags as they were, with
  // the layer's name from the model.
  void WriteUnchanged(EntityCore& e, const RawTags& own) {
    // On a layer not renamed, in the form being written: the file's own bytes.
    if ((e.layer() == nullptr || !e.layer()->renamed()) && SameForm(own)) {
      w_.AppendEncoded(own.slice());
      return;
    }
    for (const auto [code, value] : own) {
      if (code == 8) {
        w_.Write(8, LayerName(e));
      } else {
        w_.Write(code, value);
      }
    }
  }

  void CommonHead(EntityCore& e, uint64_t owner) {
    Handle(e.handle());
    Owner(owner);
    Subclass("AcDbEntity");
    w_.Write(8, LayerName(e));
    if (e.color() != 256) w_.Write(62, static_cast<int64_t>(e.color()));
  }

  // Extended data nobody has read goes back as the file held it.
  void WriteXData(const host::memory::ObjectCore& object) {
    if (!object.xdata_unread()) {
      WriteXData(object.xdata());
      return;
    }
    const RawTags& unread = file_.XDataOf(object);
    if (SameForm(unread)) {
      w_.AppendEncoded(unread.slice());
    } else {
      for (const auto [code, value] : unread) w_.Write(code, value);
    }
  }

  // True when tags of the file can be copied byte for byte into the output.
  bool SameForm(const RawTags& tags) const {
    return binary_ ? tags.form() == TagForm::kBinary
                   : tags.form() == TagForm::kAscii && !file_.crlf;
  }

  void WriteXData(const std::vector<XDataItem>& xdata) {
    for (const XDataItem& item : xdata) {
      const host::Variant& v = item.value;
      if (v.IsArray()) {
        const auto& a = v.AsArrayUnchecked();
        for (size_t i = 0; i < 3 && i < a.size(); ++i) {
          w_.Write(item.code + static_cast<int>(10 * i), host::ToDouble(a[i]));
        }
        continue;
      }
      switch (v.type()) {
        case host::Variant::Type::kDouble:
          w_.Write(item.code, v.AsDoubleUnchecked());
          break;
        case host::Variant::Type::kInteger:
          w_.Write(item.code, static_cast<int64_t>(v.AsIntegerUnchecked()));
          break;
        case host::Variant::Type::kLong:
          w_.Write(item.code, static_cast<int64_t>(v.AsLongUnchecked()));
          break;
        default: {
          const std::string text = host::ToText(v);
          // Text is encoded for the file; handles and binary chunks were
          // read as the file held them, and go back so.
          w_.Write(item.code, ValueTypeOf(item.code) == ValueType::kString ? Enc(text) : text);
        }
      }
    }
  }

  MemDocument& doc_;
  const DxfFile& file_;
  TagWriter w_;
  bool binary_;
  TextCodec codec_;
  bool r12_;
  uint64_t next_handle_;
  TagOut out_;
  size_t header_at_ = std::string::npos;
  uint64_t seed_ = 0;
};

}  // namespace

std::string WriteDrawing(host::Document& document, std::optional<bool> binary) {
  MemDocument& doc = InMemory(document);
  auto* file = dynamic_cast<DxfFile*>(doc.field_source());
  if (file == nullptr) {
    throw DxfError("the drawing \"" + doc.name() +
                   "\" was not made from a file or the template and cannot be written");
  }
  return Writer(doc, *file, binary.value_or(file->binary)).Run();
}

void ApplyTemplate(host::Document& document) {
  MemDocument& doc = InMemory(document);
  auto file = std::make_shared<DxfFile>();
  ReadInto(doc, file, std::string(TemplateDrawing()));
}

std::shared_ptr<host::Application> NewApplication() {
  return host::memory::CreateApplication([](host::Document& doc) { ApplyTemplate(doc); });
}

}  // namespace palvane::dxf
