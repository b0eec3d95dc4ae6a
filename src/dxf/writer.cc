#include <algorithm>
#include <cmath>
#include <set>

#include "dxf/drawing.h"
#include "dxf/entity_codec.h"
#include "dxf/file_data.h"
#include "dxf/table_codecs.h"
#include "dxf/template.h"
#include "dxf/text.h"
#include "dxf/values.h"
#include "host/convert.h"
#include "host/memory/builder.h"
#include "host/memory/walk.h"

namespace palvane::dxf {

using host::Point3;
using host::memory::BlockEntry;
using host::memory::EntityCore;
using host::memory::EntityFields;
using host::memory::EntityState;
using host::memory::LayerEntry;
using host::memory::ObjectState;
using host::memory::UcsEntry;
using host::memory::Walk;
using host::memory::XDataItem;

namespace {

class Writer {
 public:
  Writer(const Walk& doc, const DxfFile& file, bool binary)
      : doc_(doc),
        file_(file),
        w_(binary),
        binary_(binary),
        codec_(file.utf8(), file.code_page),
        r12_(file.r12()),
        next_handle_(doc.handle_seed()),
        out_(w_, codec_, r12_, file.has_handles),
        entity_out_{out_, [this](EntityCore& e, uint64_t owner) { WriteEntity(e, owner); },
                    [this] { return next_handle_++; }} {}
  // Handles given out here start above every handle of the drawing; the
  // seed written is above every handle written.

  std::string Run() {
    // Room for the whole drawing at once, generously: pages never written
    // cost no memory, while growing by doubling would hold the old copy and
    // the new one together at the largest size.
    size_t objects = doc_.layer_count();
    for (size_t i = 0; i < doc_.block_count(); ++i) objects += doc_.block(i).entities.size();
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
        const BlockEntry model = doc_.model_space();
        for (EntityCore* e : model.entities) WriteEntity(*e, model.state.handle);
      });
      entities_written = true;
    };
    const bool entities_unlisted = std::find(file_.sections.begin(), file_.sections.end(),
                                             "ENTITIES") == file_.sections.end() &&
                                   !doc_.model_space().entities.empty();
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
    w_.Write(group::kType, "SECTION");
    w_.Write(group::kName, name);
    body();
    w_.Write(group::kType, "ENDSEC");
  }

  std::string Enc(const std::string& utf8) { return codec_.Encode(utf8); }
  std::string NewHandle() { return Hex(next_handle_++); }
  void Handle(uint64_t h) {
    if (file_.has_handles) w_.Write(group::kHandle, Hex(h));
  }
  void Owner(uint64_t h) {
    if (!r12_) w_.Write(group::kOwner, Hex(h));
  }
  void Subclass(const char* name) {
    if (!r12_) w_.Write(group::kSubclass, name);
  }

  // ------------------------------------------------------------- header

  // The active coordinate system's point that a header variable's tag
  // holds a coordinate of; null for any other tag.
  static const Point3* UcsPointOf(const UcsEntry& ucs, std::string_view name, int16_t code) {
    const std::pair<const HeaderVariable&, const Point3&> points[] = {
        {kUcsOriginVariable, ucs.axes.origin},
        {kUcsXAxisVariable, ucs.axes.x_axis},
        {kUcsYAxisVariable, ucs.axes.y_axis},
    };
    for (const auto& [variable, p] : points) {
      if (variable.IsPoint(name, code)) return &p;
    }
    return nullptr;
  }

  void WriteHeader() {
    const std::optional<UcsEntry> ucs = doc_.active_ucs();
    for (const auto& [name, raw] : file_.header) {
      if (name == kStrayEndSection) {
        w_.Write(0, "ENDSEC");
        continue;
      }
      w_.Write(group::kVariable, name);
      for (const auto [code, value] : raw) {
        if (kHandleSeedVariable.Is(name, code)) {
          w_.Write(code, Hex(seed_));
        } else if (kActiveLayerVariable.Is(name, code)) {
          w_.Write(code, Enc(doc_.active_layer()));
        } else if (kTextSizeVariable.Is(name, code)) {
          w_.Write(code, host::ToDouble(doc_.variable("TEXTSIZE")));
        } else if (ucs && kUcsNameVariable.Is(name, code)) {
          w_.Write(code, Enc(ucs->name));
        } else if (const Point3* p = ucs ? UcsPointOf(*ucs, name, code) : nullptr) {
          w_.Write(code, (*p)[static_cast<size_t>((code - kUcsOriginVariable.code) / 10)]);
        } else {
          w_.Write(code, value);
        }
      }
    }
  }

  // ------------------------------------------------------------- tables

  bool NeedsTables() const {
    if (!file_.tables.empty()) return false;
    for (size_t i = 0; i < doc_.layer_count(); ++i) {
      const LayerEntry l = doc_.layer(i);
      if (file_.TagsOf(l.state).empty() && l.name != "0") return true;
      if (l.state.dirty) return true;
    }
    return doc_.ucs_count() != 0;
  }

  bool NeedsBlocks() const {
    for (const auto& s : file_.sections) {
      if (s == "BLOCKS") return false;
    }
    for (size_t i = 0; i < doc_.block_count(); ++i) {
      if (!doc_.block(i).name.starts_with("*")) return true;
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
    if (seen.count("UCS") == 0 && doc_.ucs_count() != 0) WriteTable(Table{"UCS", {}, {}, {}});
    if (seen.count("LAYER") == 0) WriteTable(Table{"LAYER", {}, {}, {}});
    if (seen.count("APPID") == 0 && doc_.registered_apps().size() > 1) {
      WriteTable(Table{"APPID", {}, {}, {}});
    }
  }

  void WriteTable(const Table& t) {
    uint64_t table_handle = 0;
    for (const auto [code, value] : t.head) {
      if (code == group::kHandle || code == group::kTableHandle) ParseHandle(value, table_handle);
    }
    const bool fresh = t.head.empty();
    if (fresh) table_handle = next_handle_++;
    std::vector<size_t> layers;
    for (size_t i = 0; i < doc_.layer_count(); ++i) {
      if (!Implicit(doc_.layer(i))) layers.push_back(i);
    }
    std::vector<std::string> apps;
    for (const auto& a : doc_.registered_apps()) {
      if (file_.implicit_apps.count(KeyOf(a)) == 0) apps.push_back(a);
    }
    size_t count = t.entries.size();
    if (t.name == "LAYER") count = layers.size();
    if (t.name == "UCS") count = doc_.ucs_count();
    if (t.name == "APPID") count = apps.size();
    if (t.name == "BLOCK_RECORD") count = doc_.block_count();

    w_.Write(0, "TABLE");
    if (fresh) {
      w_.Write(group::kName, t.name);
      Handle(table_handle);
      Owner(0);
      Subclass("AcDbSymbolTable");
      w_.Write(group::kEntryCount, static_cast<int64_t>(count));
    } else {
      for (const auto [code, value] : t.head) {
        // The count is kept as the file had it (some programs write it
        // wrong) unless entries came or went.
        if (code == group::kEntryCount && count != t.read_count) {
          w_.Write(group::kEntryCount, static_cast<int64_t>(count));
        } else {
          w_.Write(code, value);
        }
      }
    }
    if (t.name == "LAYER") {
      for (const size_t i : layers) WriteLayer(doc_.layer(i), table_handle);
    } else if (t.name == "UCS") {
      for (size_t i = 0; i < doc_.ucs_count(); ++i) WriteUCS(doc_.ucs(i), table_handle);
    } else if (t.name == "APPID") {
      for (const auto& a : apps) WriteAppId(a, table_handle);
    } else if (t.name == "BLOCK_RECORD") {
      for (size_t i = 0; i < doc_.block_count(); ++i) {
        WriteBlockRecord(doc_.block(i), table_handle);
      }
    } else {
      for (const auto& [type, body] : t.entries) {
        w_.Write(0, type);
        if (type == "VPORT" && IsActiveViewport(body)) {
          PatchActiveViewport(doc_.view(), body, out_);
        } else {
          for (const auto [code, value] : body) w_.Write(code, value);
        }
      }
    }
    w_.Write(0, "ENDTAB");
    for (const auto [code, value] : t.end) w_.Write(code, value);
  }

  // A layer the drawing had without the file's table listing it, untouched since.
  bool Implicit(const LayerEntry& layer) const {
    return file_.TagsOf(layer.state).empty() && !layer.state.dirty &&
           file_.implicit_layers.count(KeyOf(layer.name)) != 0;
  }

  void WriteLayer(const LayerEntry& layer, uint64_t table_handle) {
    w_.Write(0, "LAYER");
    const RawTags& own = file_.TagsOf(layer.state);
    if (own.empty()) {
      LayerCodec().WriteNew(layer.fields, layer.name, layer.state.handle, table_handle, out_);
    } else {
      LayerCodec().Patch(layer.fields, &layer.name, layer.state.dirty, own, out_);
    }
    WriteXData(layer.state);
  }

  void WriteUCS(const UcsEntry& ucs, uint64_t table_handle) {
    w_.Write(0, "UCS");
    const RawTags& own = file_.TagsOf(ucs.state);
    if (own.empty()) {
      UcsCodec().WriteNew(ucs.axes, ucs.name, ucs.state.handle, table_handle, out_);
    } else {
      UcsCodec().Patch(ucs.axes, nullptr, ucs.state.dirty, own, out_);
    }
    WriteXData(ucs.state);
  }

  void WriteAppId(const std::string& name, uint64_t table_handle) {
    w_.Write(0, "APPID");
    const auto it = file_.appids.find(KeyOf(name));
    if (it != file_.appids.end()) {
      for (const auto [code, value] : it->second) w_.Write(code, value);
      return;
    }
    AppIdCodec().WriteNew({}, name, next_handle_++, table_handle, out_);
  }

  void WriteBlockRecord(const BlockEntry& block, uint64_t table_handle) {
    w_.Write(0, "BLOCK_RECORD");
    const RawTags& own = file_.TagsOf(block.state);
    if (own.empty()) {
      BlockRecordCodec().WriteNew({}, block.name, block.state.handle, table_handle, out_);
    } else {
      for (const auto [code, value] : own) w_.Write(code, value);
    }
    WriteXData(block.state);
  }

  // ------------------------------------------------------------- blocks

  void WriteBlocks() {
    for (size_t i = 0; i < doc_.block_count(); ++i) {
      const BlockEntry block = doc_.block(i);
      // R12 files name their spaces otherwise; a space the file lacked stays out.
      const BlockFrame* frame =
          block.state.record != 0 ? file_.block_frames.Find(block.state.record) : nullptr;
      if (r12_ && frame == nullptr && block.name.starts_with("*")) continue;
      w_.Write(group::kType, "BLOCK");
      if (frame != nullptr) {
        for (const auto [code, value] : frame->begin) w_.Write(code, value);
      } else {
        FrameHead(block);
        WriteNewBlockBegin(block.name, {block.origin}, out_);
      }
      if (!block.model_space) {
        for (EntityCore* e : block.entities) WriteEntity(*e, block.state.handle);
      }
      w_.Write(group::kType, "ENDBLK");
      if (frame != nullptr && !frame->end.empty()) {
        for (const auto [code, value] : frame->end) w_.Write(code, value);
      } else {
        FrameHead(block);
        Subclass("AcDbBlockEnd");
      }
    }
  }

  // What every entity has, for the BLOCK and ENDBLK entities made here.
  void FrameHead(const BlockEntry& block) {
    if (file_.has_handles) w_.Write(group::kHandle, NewHandle());
    Owner(block.state.handle);
    Subclass("AcDbEntity");
    w_.Write(group::kLayer, "0");
  }

  // ------------------------------------------------------------- entities

  void WriteEntity(EntityCore& e, uint64_t owner) {
    const EntityState state = Walk::StateOf(e);
    const EntityFields fields(e);
    w_.Write(group::kType, state.type);
    const EntityCodec& codec = CodecOf(state);
    const RawTags& own = file_.TagsOf(state);
    if (own.empty()) {
      CommonHead(state, owner);
      codec.WriteNew(state, fields, out_);
    } else if (!state.dirty) {
      WriteUnchanged(state, own);
    } else if (file_.adopted.count(state.record) != 0) {
      codec.Patch(state, fields, WithoutForeignReferences(own), owner, out_);
    } else {
      codec.Patch(state, fields, own, owner, out_);
    }
    WriteXData(state);
    Following following;
    if (state.record != 0) {
      following.vertices = file_.vertex_runs.Find(state.record);
      following.sequence_end = file_.sequence_ends.Find(state.record);
    }
    codec.WriteFollowing(state, fields, following, entity_out_);
  }

  // An entity as read and not changed since: its tags as they were, with
  // the layer's name from the model.
  void WriteUnchanged(const EntityState& e, const RawTags& own) {
    // On a layer not renamed, in the form being written: the file's own bytes.
    if (!e.layer_renamed && SameForm(own)) {
      w_.AppendEncoded(own.slice());
      return;
    }
    for (const auto [code, value] : own) {
      if (code == group::kLayer) {
        w_.Write(group::kLayer, LayerName(e, out_));
      } else {
        w_.Write(code, value);
      }
    }
  }

  void CommonHead(const EntityState& e, uint64_t owner) {
    Handle(e.handle);
    Owner(owner);
    Subclass("AcDbEntity");
    w_.Write(group::kLayer, LayerName(e, out_));
    if (e.color != 256) w_.Write(group::kColor, static_cast<int64_t>(e.color));
  }

  // Extended data nobody has read goes back as the file held it.
  void WriteXData(const ObjectState& object) {
    if (!object.xdata_unread) {
      if (object.xdata != nullptr) WriteXData(*object.xdata);
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

  const Walk& doc_;
  const DxfFile& file_;
  TagWriter w_;
  bool binary_;
  TextCodec codec_;
  bool r12_;
  uint64_t next_handle_;
  TagOut out_;
  EntityOut entity_out_;
  size_t header_at_ = std::string::npos;
  uint64_t seed_ = 0;
};

}  // namespace

std::string WriteDrawing(host::Document& document, std::optional<bool> binary) {
  const std::optional<Walk> doc = Walk::For(document);
  if (!doc) throw DxfError("only in-memory drawings are written to files");
  auto* file = dynamic_cast<DxfFile*>(doc->field_source());
  if (file == nullptr) {
    throw DxfError("the drawing \"" + doc->name() +
                   "\" was not made from a file or the template and cannot be written");
  }
  return Writer(*doc, *file, binary.value_or(file->binary)).Run();
}

void ApplyTemplate(host::Document& doc) {
  auto file = std::make_shared<DxfFile>();
  ReadInto(doc, file, std::string(TemplateDrawing()));
}

std::shared_ptr<host::Application> NewApplication() {
  return host::memory::Builder::NewApplication([](host::Document& doc) { ApplyTemplate(doc); });
}

}  // namespace palvane::dxf
