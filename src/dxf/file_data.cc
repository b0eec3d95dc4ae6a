#include "dxf/file_data.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "dxf/drawing.h"
#include "dxf/entity_codec.h"
#include "dxf/file_io.h"
#include "dxf/group_codes.h"
#include "dxf/tags.h"
#include "dxf/text.h"
#include "dxf/values.h"
#include "host/check.h"
#include "host/fold.h"
#include "host/memory/builder.h"

namespace palvane::dxf {

using host::Variant;
using host::memory::EntityCore;
using host::memory::ObjectState;

std::string KeyOf(std::string_view name) { return host::FoldedText(name); }

DxfFile::DxfFile() = default;
DxfFile::~DxfFile() = default;

const TextCodec& DxfFile::Text() const {
  if (!text_) text_ = std::make_unique<TextCodec>(utf8(), code_page);
  return *text_;
}

std::string_view DxfFile::KeepPacked(const char* begin, const char* end) {
  constexpr size_t kChunk = size_t{256} << 10;
  const auto size = static_cast<size_t>(end - begin);
  if (size > packed_left_) {
    const size_t chunk = std::max(kChunk, size);
    packed_.push_back(std::make_unique_for_overwrite<char[]>(chunk));
    packed_next_ = packed_.back().get();
    packed_left_ = chunk;
  }
  char* at = packed_next_;
  std::memcpy(at, begin, size);
  packed_next_ += size;
  packed_left_ -= size;
  return {at, size};
}

uint32_t DxfFile::AddRecord(RawTags tags, RawTags xdata_tags) {
  // Record numbers are 32-bit; they never wrap around.
  if (records.size() + 2 > std::numeric_limits<uint32_t>::max()) {
    throw DxfError("the drawing has more objects than the 4 294 967 293 it may have");
  }
  const auto record = static_cast<uint32_t>(records.size());
  records.push_back(std::move(tags));
  if (!xdata_tags.empty()) records.push_back(std::move(xdata_tags));
  return record;
}

const RawTags& DxfFile::TagsOf(const ObjectState& object) const {
  PALVANE_CHECK(object.record < records.size());
  return records[object.record];
}

const RawTags& DxfFile::XDataOf(const ObjectState& object) const {
  static const RawTags kNone;
  if (!object.xdata_unread) return kNone;
  PALVANE_CHECK(object.record != 0 && object.record + 1 < records.size());
  return records[object.record + 1];
}

uint32_t DxfFile::Adopt(const host::memory::FieldSource& from, uint32_t record) {
  const auto* source = dynamic_cast<const DxfFile*>(&from);
  if (source == nullptr || record == 0 || record >= source->records.size()) return 0;
  uint32_t copy = 0;
  if (source == this) {
    // A copy of a copy from another drawing still holds that drawing's
    // references: they are left out when saving, as for the first copy.
    copy = AddRecord(records[record], RawTags());
    if (adopted.count(record) != 0) adopted.insert(copy);
  } else {
    // The tags are copied: the other drawing may be closed before this one
    // is saved.
    RawTags own;
    for (const auto [code, value] : source->records[record]) own.push_back(code, value);
    copy = AddRecord(std::move(own), RawTags());
    adopted.insert(copy);
  }
  // A polyline's vertices go with it.
  if (const VertexRun* run = source->vertex_runs.Find(record)) {
    RawTags tags;
    for (const auto [code, value] : run->tags) tags.push_back(code, value);
    vertex_runs.Add(copy, VertexRun{std::move(tags), true});
  }
  return copy;
}

void DxfFile::LoadXData(uint32_t record, std::string_view app_name, host::XData& out) const {
  // Asked only of an object whose extended data is unread: the next record.
  PALVANE_CHECK(record != 0 && record + 1 < records.size());
  ReadXData(records[record + 1], app_name, out);
}

void DxfFile::ReadXData(const RawTags& tags, std::string_view app_name, host::XData& out) const {
  // Application names are plain ASCII in practice; a name with other bytes
  // is decoded before it is compared.
  auto is_app = [&](std::string_view raw) {
    if (IsPlainText(raw)) return host::SameFolded(raw, app_name);
    return host::SameFolded(DecodeText(Text(), raw), app_name);
  };
  bool in_group = false;
  for (const auto [code, value] : tags) {
    if (code == group::kXDataApp) {
      in_group = app_name.empty() || is_app(value);
      // A tag holds about ten items: room for them at once.
      if (in_group && out.codes.empty()) {
        out.codes.reserve(16);
        out.values.reserve(16);
      }
    }
    if (!in_group) continue;
    if (code >= 1010 && code <= 1013) {
      out.codes.push_back(code);
      out.values.push_back(Variant::Point(ToDouble(value), 0, 0));
      continue;
    }
    if (code >= 1020 && code <= 1033 && !out.values.empty() && out.values.back().IsArray() &&
        out.codes.back() == (code < 1030 ? code - 10 : code - 20)) {
      auto a = out.values.back().AsArrayUnchecked();
      a[code < 1030 ? 1 : 2] = ToDouble(value);
      out.values.back() = Variant(std::move(a));
      continue;
    }
    out.codes.push_back(code);
    switch (ValueTypeOf(code)) {
      case ValueType::kDouble:
        out.values.emplace_back(ToDouble(value));
        break;
      case ValueType::kInt16:
        out.values.emplace_back(static_cast<int16_t>(ToInt(value)));
        break;
      case ValueType::kInt32:
        out.values.emplace_back(static_cast<int32_t>(ToInt(value)));
        break;
      case ValueType::kString:
        if (IsPlainText(value)) {
          out.values.emplace_back(value);
        } else {
          out.values.emplace_back(DecodeText(Text(), value));
        }
        break;
      default:
        out.values.emplace_back(value);
        break;
    }
  }
}

void DxfFile::LoadFields(EntityCore& entity) const {
  const host::memory::EntityState state = host::memory::Walk::StateOf(entity);
  const host::memory::EntityFields fields(entity);
  CodecOf(state).Load(fields, TagsOf(state), Text());
  if (const VertexRun* run = state.record != 0 ? vertex_runs.Find(state.record) : nullptr) {
    CodecOf(state).LoadVertices(fields, run->tags);
  }
}

RawTags WithoutForeignReferences(const RawTags& tags) {
  RawTags kept;
  bool in_group = false;
  for (const auto [code, value] : tags) {
    if (code == group::kGroup) {
      in_group = !value.empty() && value.front() == '{';
      continue;
    }
    if (in_group) continue;
    const bool reference = code == 6 || code == 7 ||
                           (code >= 320 && code <= 369 && code != group::kOwner) ||
                           (code >= 390 && code <= 399) || code == 480 || code == 481;
    if (!reference) kept.push_back(code, value);
  }
  return kept;
}

host::Ref<host::Document> ReadDrawing(host::Application& app, std::string bytes,
                                      const std::string& name) {
  CheckDrawingSize(bytes.size());
  host::Ref<host::Document> doc = host::memory::Builder::NewDrawing(app, name);
  if (!doc) throw DxfError("drawing files are read into in-memory drawings only");
  auto file = std::make_shared<DxfFile>();
  ReadInto(*doc, file, std::move(bytes));
  return doc;
}

host::Ref<host::Document> ReadDrawing(host::Application& app, std::string_view bytes,
                                      const std::string& name) {
  return ReadDrawing(app, std::string(bytes), name);
}

std::string VersionOf(host::Document& doc) {
  const auto walk = host::memory::Walk::For(doc);
  if (!walk) throw DxfError("only in-memory drawings are written to files");
  const auto* file = dynamic_cast<const DxfFile*>(walk->field_source());
  return file != nullptr ? file->version : "AC1027";
}

}  // namespace palvane::dxf
