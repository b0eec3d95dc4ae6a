#pragma once

// What a drawing file held beyond the in-memory model, shared by the reader
// and the writer.

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
#include "host/convert.h"
#include "host/memory/builder.h"
#include "host/memory/field_source.h"

namespace palvane::host::memory {
class MemApplication;
class ObjectCore;
}  // namespace palvane::host::memory

namespace palvane::dxf {

class TextCodec;

// Stands in the header's variable list for a "0 ENDSEC" found among them.
inline constexpr std::string_view kStrayEndSection{"\0ENDSEC", 7};

inline constexpr double kDegrees = 180.0 / std::numbers::pi;

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
  std::map<std::string, RawTags> appids;  // by folded name
  // Layers and applications the drawing had without the file listing them
  // (by folded name): they stay out of the tables, as in the file.
  std::set<std::string> implicit_layers, implicit_apps;

  // The records: each object's own tags (record 0 is no object's), followed
  // by its extended data as the next record when it has any, so that the
  // operations' repeated reads of a tag find it at once; and what frames a
  // block or ends a reference's attributes.
  std::deque<RawTags> records{RawTags()};
  RecordMap<BlockFrame> block_frames;
  RecordMap<RawTags> sequence_ends;
  // Records taken over from another drawing with a copied object: their
  // references to that drawing's objects are left out when saving.
  std::set<uint32_t> adopted;

  DxfFile();
  ~DxfFile() override;

  // A new record of an object's own tags and extended data.
  uint32_t AddRecord(RawTags tags, RawTags xdata_tags);
  // An object's own tags; empty for an object made in the program.
  const RawTags& TagsOf(const host::memory::ObjectCore& object) const;
  // An object's extended data as the file held it, while it is unread.
  const RawTags& XDataOf(const host::memory::ObjectCore& object) const;

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

inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

inline double ToDouble(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double d = 0;
  std::from_chars(s.data(), s.data() + s.size(), d);
  return d;
}

inline int64_t ToInt(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int64_t v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

inline std::string Hex(uint64_t h) { return host::HexText(h); }

// A handle: one to sixteen hexadecimal digits, spaces around allowed.
inline bool ParseHandle(std::string_view s, uint64_t& h) {
  s = Trim(s);
  if (s.empty() || s.size() > 16) return false;
  uint64_t value = 0;
  for (const char c : s) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
      digit = static_cast<unsigned>((c | 0x20) - 'a' + 10);
    } else {
      return false;
    }
    value = value << 4 | digit;
  }
  h = value;
  return true;
}

// A drawing version as $ACADVER gives it: AC and four digits.
inline bool IsDrawingVersion(std::string_view s) {
  return s.size() == 6 && s.starts_with("AC") &&
         std::all_of(s.begin() + 2, s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An entity type: a name of letters, digits and underscores.
inline bool IsEntityTypeName(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

// The in-memory application or drawing behind a host object; DxfError for
// another host's.
host::memory::MemApplication& InMemory(host::Application& app);
host::memory::MemDocument& InMemory(host::Document& doc);

// Tags of an object copied from another drawing, without what refers to
// that drawing's other objects: reactor and dictionary groups, linetype and
// style names, and every handle but the owner's, which the copy gets anew.
RawTags WithoutForeignReferences(const RawTags& tags);

// Reads a file into a fresh drawing; DxfError on bad input.
void ReadInto(host::memory::MemDocument& doc, const std::shared_ptr<DxfFile>& file,
              std::string bytes);

}  // namespace palvane::dxf
