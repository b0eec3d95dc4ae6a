#pragma once

// What a drawing file held beyond the in-memory model (the file image),
// shared by the reader and the writer.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <numbers>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dxf/raw_tags.h"
#include "host/memory/field_source.h"
#include "host/memory/walk.h"

namespace palvane::dxf {

class TextCodec;

// Stands in the header's variable list for a "0 ENDSEC" found among them.
inline constexpr std::string_view kStrayEndSection{"\0ENDSEC", 7};

// A header variable the host reads or writes, and the group code of its
// value.
struct HeaderVariable {
  std::string_view name;
  int16_t code;
  bool Is(std::string_view variable, int16_t tag_code) const {
    return tag_code == code && variable == name;
  }
  // For a point's variable: the tag of one of its coordinates.
  bool IsPoint(std::string_view variable, int16_t tag_code) const {
    return tag_code >= code && tag_code <= code + 20 && (tag_code - code) % 10 == 0 &&
           variable == name;
  }
};
inline constexpr HeaderVariable kVersionVariable{"$ACADVER", 1};
inline constexpr HeaderVariable kCodePageVariable{"$DWGCODEPAGE", 3};
inline constexpr HeaderVariable kHandlingVariable{"$HANDLING", 70};
inline constexpr HeaderVariable kHandleSeedVariable{"$HANDSEED", 5};
inline constexpr HeaderVariable kActiveLayerVariable{"$CLAYER", 8};
inline constexpr HeaderVariable kTextSizeVariable{"$TEXTSIZE", 40};
// Read into the drawing's INSUNITS; written back as the file had it.
inline constexpr HeaderVariable kUnitsVariable{"$INSUNITS", 70};
inline constexpr HeaderVariable kUcsNameVariable{"$UCSNAME", 2};
inline constexpr HeaderVariable kUcsOriginVariable{"$UCSORG", 10};
inline constexpr HeaderVariable kUcsXAxisVariable{"$UCSXDIR", 10};
inline constexpr HeaderVariable kUcsYAxisVariable{"$UCSYDIR", 10};

// A symbol table as read: its own tags, and the entries of tables the host
// does not model.
struct Table {
  std::string name;
  RawTags head;                                          // after "0 TABLE"
  std::vector<std::pair<std::string, RawTags>> entries;  // type, tags after "0 TYPE"
  RawTags end;                                           // after "0 ENDTAB"
  size_t read_count = 0;                                 // entries the file listed
};

// Values kept for some records only, by record number: a sorted list, since
// records are mostly made in order.
template <class T>
class RecordMap {
 public:
  const T* Find(uint32_t record) const {
    const auto it = std::lower_bound(items_.begin(), items_.end(), record,
                                     [](const auto& item, uint32_t r) { return item.first < r; });
    return it != items_.end() && it->first == record ? &it->second : nullptr;
  }
  void Add(uint32_t record, T value) {
    auto it = items_.end();
    if (!items_.empty() && items_.back().first >= record) {
      it = std::lower_bound(items_.begin(), items_.end(), record,
                            [](const auto& item, uint32_t r) { return item.first < r; });
    }
    items_.emplace(it, record, std::move(value));
  }

 private:
  std::vector<std::pair<uint32_t, T>> items_;
};

// The BLOCK and ENDBLK entities that frame a block definition in a file.
struct BlockFrame {
  RawTags begin, end;
};

// A polyline's vertices as the file held them: each "0 VERTEX" and its tags.
// A copy's vertices are the original's tags, to be written with handles of
// their own.
struct VertexRun {
  RawTags tags;
  bool copied = false;
};

// What a drawing file held beyond the model: the file image. Each object read
// from the file has a record, numbered from 1 in the order read, that the
// object keeps (ObjectCore::record): its own tags and its extended data as
// the file held them.
struct DxfFile final : host::memory::FieldSource {
  std::string version = "AC1027";
  bool binary = false;
  std::string code_page = "ANSI_1252";
  bool has_handles = true;
  uint64_t seed = 0;  // $HANDSEED as read
  std::string bytes;  // the file, to which the records' tags refer
  TagForm form = TagForm::kAscii;
  bool crlf = false;                                    // lines end in CR LF
  RawTags preamble;                                     // comments before the first section
  std::vector<std::string> sections;                    // in file order
  std::vector<std::pair<std::string, RawTags>> header;  // $NAME, its value tags
  std::map<std::string, RawTags> raw_sections;          // by name
  std::vector<Table> tables;
  std::map<std::string, RawTags> appids;  // by folded name (KeyOf)
  // Layers and applications the drawing had without the file listing them
  // (by folded name): they stay out of the tables, as in the file.
  std::set<std::string> implicit_layers, implicit_apps;

  // The records: each object's own tags (record 0 is no object's), followed
  // by its extended data as the next record when it has any, so that the
  // operations' repeated reads of a tag find it at once; and what frames a
  // block, a polyline's vertices, and the end of a reference's attributes or
  // of a polyline's vertices.
  std::deque<RawTags> records{RawTags()};
  RecordMap<BlockFrame> block_frames;
  RecordMap<RawTags> sequence_ends;
  RecordMap<VertexRun> vertex_runs;  // of POLYLINE entities
  // Records taken over from another drawing with a copied object: their
  // references to that drawing's objects are left out when saving.
  std::set<uint32_t> adopted;

  DxfFile();
  ~DxfFile() override;

  // A new record of an object's own tags and extended data.
  uint32_t AddRecord(RawTags tags, RawTags xdata_tags);
  // An object's own tags; empty for an object made in the program.
  const RawTags& TagsOf(const host::memory::ObjectState& object) const;
  // An object's extended data as the file held it, while it is unread.
  const RawTags& XDataOf(const host::memory::ObjectState& object) const;

  bool r12() const { return version <= "AC1009"; }
  bool utf8() const { return version >= "AC1021"; }
  void LoadFields(host::memory::EntityCore& entity) const override;
  void LoadXData(uint32_t record, std::string_view app_name, host::XData& out) const override;
  uint32_t Adopt(const host::memory::FieldSource& from, uint32_t record) override;
  // Reads extended data from its tags: the group of one application (all
  // groups for an empty name).
  void ReadXData(const RawTags& tags, std::string_view app_name, host::XData& out) const;
  // The decoder of this file's text, made once it is needed.
  const TextCodec& Text() const;
  // A copy of the file's bytes from `begin` to `end`, kept next to the
  // previous copies. Extended data is read again and again, object after
  // object: packed together it is found in a few pages of memory instead
  // of one page per object across the whole file.
  std::string_view KeepPacked(const char* begin, const char* end);

 private:
  mutable std::unique_ptr<TextCodec> text_;
  std::vector<std::unique_ptr<char[]>> packed_;
  char* packed_next_ = nullptr;
  size_t packed_left_ = 0;
};

// The key of a name in the file image's sets and maps: letter case aside,
// as the drawing compares names.
std::string KeyOf(std::string_view name);

// Tags of an object copied from another drawing, without what refers to
// that drawing's other objects: reactor and dictionary groups, linetype and
// style names, and every handle but the owner's, which the copy gets anew.
RawTags WithoutForeignReferences(const RawTags& tags);

// Reads a file into a fresh drawing, an in-memory one; DxfError on bad input.
void ReadInto(host::Document& doc, const std::shared_ptr<DxfFile>& file, std::string bytes);

}  // namespace palvane::dxf
