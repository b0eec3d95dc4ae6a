#pragma once

// What a drawing file held beyond the in-memory model, shared by the reader
// and the writer.

#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <numbers>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/memory/document.h"

namespace palvane::dxf {

class TextCodec;
using host::memory::RawTags;

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

// What a drawing file held beyond the model.
struct DxfFile final : host::memory::DocumentFile {
  std::string version = "AC1027";
  bool binary = false;
  std::string code_page = "ANSI_1252";
  bool has_handles = true;
  uint64_t seed = 0;  // $HANDSEED as read
  std::string bytes;  // the file, to which the objects' raw tags refer
  const host::memory::TagCodec* codec = nullptr;
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

  DxfFile();
  ~DxfFile() override;

  bool r12() const { return version <= "AC1009"; }
  bool utf8() const { return version >= "AC1021"; }
  // Reads the fields of an entity's kind from its tags, on first use.
  void LoadEntity(host::memory::EntityCore& entity) const override;
  // Reads extended data from its tags: the group of one application (all
  // groups for an empty name).
  void LoadXData(RawTags& tags, std::string_view app_name, host::XData& out) override;
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

inline std::string Hex(uint64_t h) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(h));
  return buf;
}

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

// The in-memory application or drawing behind a host object; DxfError for
// another host's.
host::memory::MemApplication& InMemory(host::Application& app);
host::memory::MemDocument& InMemory(host::Document& doc);

// Reads a file into a fresh drawing; DxfError on bad input.
void ReadInto(host::memory::MemDocument& doc, DxfFile& file, std::string bytes);

}  // namespace palvane::dxf
