#include "support/model_readers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <set>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

namespace palvane::testing {
namespace {

// ---------------------------------------------------------------------------
// Text helpers shared by the readers

[[noreturn]] void Fail(int line, const std::string& message) {
  throw std::runtime_error("line " + std::to_string(line) + ": " + message);
}

std::string Quote(std::string_view text) { return "'" + std::string(text) + "'"; }

// The unit types a Flood Modeller data file may hold, as Flood Modeller's
// own library lists them: a line whose first word is one opens a unit.
bool IsUnitKeyword(std::string_view word) {
  static const std::set<std::string, std::less<>> kUnits = {
      "ABSTRACTION", "BERNOULLI", "BLOCKAGE", "BREACH",      "BRIDGE",    "COMMENT",   "CONDUIT",
      "CRUMP",       "CULVERT",   "FEHBDY",   "FRQSIM",      "FSRBDY",    "FSSR16BDY", "GAUGE",
      "GERRBDY",     "GISINFO",   "HTBDY",    "INTERPOLATE", "JUNCTION",  "LATERAL",   "LOSS",
      "MANHOLE",     "NCDBDY",    "NOTWEIR",  "OCPUMP",      "ORIFICE",   "OUTFALL",   "QHBDY",
      "QRATING",     "QTBDY",     "REBDY",    "REFHBDY",     "REPLICATE", "RESERVOIR", "RIVER",
      "RNWEIR",      "SCSBDY",    "SCWEIR",   "SLUICE",      "SPILL",     "SYPHON",    "TIDBDY",
      "WEIR"};
  return kUnits.count(word) > 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimRight(text);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string_view> SplitWhitespace(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

// A whole token as a finite number, independent of the locale: from_chars
// takes no sign '+', no leading blanks, no hexadecimal and no comma decimals.
std::optional<double> ParseDouble(std::string_view text) {
  double value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

struct SplitText {
  std::vector<std::string> lines;  // without their line endings
  bool crlf = false;
};

// Splits a text at its line feeds. A carriage return is allowed only right
// before a line feed, and all lines must end the same way; a last line without
// a line ending is kept, and a final line ending does not start another line.
SplitText SplitLines(const std::string& text) {
  SplitText result;
  std::optional<bool> crlf;
  std::size_t start = 0;
  while (start < text.size()) {
    const int number = static_cast<int>(result.lines.size()) + 1;
    const std::size_t feed = text.find('\n', start);
    const std::size_t end = feed == std::string::npos ? text.size() : feed;
    std::string line = text.substr(start, end - start);
    const bool has_return = !line.empty() && line.back() == '\r';
    if (has_return) line.pop_back();
    if (line.find('\r') != std::string::npos || (has_return && feed == std::string::npos)) {
      Fail(number, "a carriage return that does not end the line");
    }
    if (feed != std::string::npos) {
      if (crlf && *crlf != has_return) {
        Fail(number, std::string("ends with ") + (has_return ? "CRLF" : "LF") +
                         " but the lines before end with " + (*crlf ? "CRLF" : "LF"));
      }
      crlf = has_return;
    }
    result.lines.push_back(std::move(line));
    start = end + 1;
  }
  result.crlf = crlf.value_or(false);
  return result;
}

// Walks the lines of a file and knows their numbers, for error messages.
class LineCursor {
 public:
  explicit LineCursor(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  bool AtEnd() const { return next_ >= lines_.size(); }
  // The line Take() returns next; only when !AtEnd().
  const std::string& Peek() const { return lines_[next_]; }
  // 1-based number of the line Take() returns next.
  int NextNumber() const { return static_cast<int>(next_) + 1; }
  // 1-based number of the line Take() returned last.
  int Number() const { return static_cast<int>(next_); }

  // Consumes the next line; at the end of the file, fails saying that
  // `expected` should have come.
  const std::string& Take(const std::string& expected) {
    if (AtEnd()) FailNext(expected);
    return lines_[next_++];
  }

  // Fails on the next line (or the end of the file): expected X, found Y.
  [[noreturn]] void FailNext(const std::string& expected) const {
    Fail(NextNumber(), "expected " + expected + ", found " +
                           (AtEnd() ? std::string("the end of the file") : Quote(Peek())));
  }

  // Fails on the line Take() returned last: expected X, found that line.
  [[noreturn]] void FailTaken(const std::string& expected) const {
    Fail(Number(), "expected " + expected + ", found " + Quote(lines_[next_ - 1]));
  }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
};

// ---------------------------------------------------------------------------
// HEC-RAS GIS import file

const char* const kUnits = "UNITS";
const char* const kReachCount = "NUMBER OF REACHES";
const char* const kSectionCount = "NUMBER OF CROSS-SECTIONS";

// Header keywords whose value is free text (and may be empty).
const std::set<std::string, std::less<>> kHeaderTextKeywords = {
    "DTM TYPE",        "DTM",   "STREAM LAYER",  "CROSS-SECTION LAYER", "MAP PROJECTION",
    "PROJECTION ZONE", "DATUM", "VERTICAL DATUM"};

const char* const kExtentKeywords[] = {"XMIN", "YMIN", "XMAX", "YMAX"};

// A "NAME: value" line.
struct Keyword {
  int line = 0;
  std::string text;   // the whole line, trimmed
  std::string name;   // before the first colon
  std::string value;  // after it, trimmed
};

// One element of an array (or the value of a list keyword): its fields
// between commas, trimmed.
struct FieldRow {
  int line = 0;
  std::vector<std::string> fields;
};

FieldRow SplitCommas(int line, std::string_view text) {
  FieldRow row{line, {}};
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    row.fields.emplace_back(Trim(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return row;
}

void RequireFieldCount(const FieldRow& row, std::size_t min, std::size_t max,
                       const std::string& what) {
  if (row.fields.size() >= min && row.fields.size() <= max) return;
  const std::string count =
      min == max ? std::to_string(min) : std::to_string(min) + " or " + std::to_string(max);
  Fail(row.line, "expected " + what + " (" + count + " comma-separated values), found " +
                     std::to_string(row.fields.size()));
}

double NumberField(const FieldRow& row, std::size_t index, const std::string& what) {
  const std::string& field = row.fields.at(index);
  const auto value = ParseDouble(field);
  if (!value) Fail(row.line, "expected " + what + " as a number, found " + Quote(field));
  return *value;
}

// An elevation: a number, or exactly NULL or nothing when it is not known.
std::optional<double> ElevationField(const FieldRow& row, std::size_t index) {
  if (row.fields.at(index) == "NULL" || row.fields.at(index).empty()) return std::nullopt;
  return NumberField(row, index, "an elevation or NULL");
}

template <std::size_t N>
std::array<double, N> NumberRow(const FieldRow& row, const std::string& what) {
  RequireFieldCount(row, N, N, what);
  std::array<double, N> values{};
  for (std::size_t i = 0; i < N; ++i) values[i] = NumberField(row, i, what);
  return values;
}

class HecRasReader {
 public:
  explicit HecRasReader(std::vector<std::string> lines) : cursor_(std::move(lines)) {}

  HecRasFile Read() {
    HecRasFile file;
    ReadHeader(file);
    ReadNetwork(file);
    ReadSections(file);
    SkipBlanksAndComments();
    if (!cursor_.AtEnd()) {
      cursor_.FailNext("nothing after END CROSS-SECTIONS: but comments and blank lines");
    }
    CheckCount(file, kReachCount, file.reaches.size());
    CheckCount(file, kSectionCount, file.sections.size());
    return file;
  }

 private:
  // Comments and blank lines may come anywhere but inside an array.
  void SkipBlanksAndComments() {
    while (!cursor_.AtEnd()) {
      const std::string_view text = Trim(cursor_.Peek());
      if (!text.empty() && text.front() != '#') return;
      cursor_.Take("");
    }
  }

  // The next line that is neither blank nor a comment, which must be a keyword.
  Keyword TakeKeyword(const std::string& expected) {
    SkipBlanksAndComments();
    if (cursor_.AtEnd()) cursor_.FailNext(expected);
    const std::string_view text = Trim(cursor_.Peek());
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) cursor_.FailNext(expected);
    cursor_.Take(expected);
    return Keyword{cursor_.Number(), std::string(text), std::string(text.substr(0, colon)),
                   std::string(Trim(text.substr(colon + 1)))};
  }

  [[noreturn]] static void Unexpected(const Keyword& keyword, const std::string& expected) {
    Fail(keyword.line, "expected " + expected + ", found " + Quote(keyword.text));
  }

  // A keyword that opens or closes something and has no value.
  static void RequireNoValue(const Keyword& keyword) {
    if (!keyword.value.empty()) {
      Fail(keyword.line,
           "expected nothing after " + keyword.name + ":, found " + Quote(keyword.value));
    }
  }

  void TakeBare(const std::string& name) {
    const Keyword keyword = TakeKeyword(name + ":");
    if (keyword.name != name) Unexpected(keyword, name + ":");
    RequireNoValue(keyword);
  }

  static void RequireValue(const Keyword& keyword) {
    if (keyword.value.empty()) Fail(keyword.line, keyword.name + ": has no value");
  }

  static int IntValue(const Keyword& keyword) {
    const auto value = ParseInt(keyword.value);
    if (!value) {
      Fail(keyword.line,
           "expected an integer after " + keyword.name + ":, found " + Quote(keyword.value));
    }
    return *value;
  }

  // Rows up to the next keyword; blank lines are skipped, comments refused
  // (a reader that ends the array only at a keyword takes them for data).
  std::vector<FieldRow> ReadArray() {
    std::vector<FieldRow> rows;
    while (!cursor_.AtEnd()) {
      const std::string_view text = Trim(cursor_.Peek());
      if (!text.empty() && text.front() == '#') {
        Fail(cursor_.NextNumber(), "a comment inside an array, which only a keyword ends");
      }
      if (text.find(':') != std::string_view::npos) break;
      cursor_.Take("");
      if (!text.empty()) rows.push_back(SplitCommas(cursor_.Number(), text));
    }
    return rows;
  }

  void Store(std::map<std::string, std::string>& header, const Keyword& keyword) {
    if (!header.emplace(keyword.name, keyword.value).second) {
      Fail(keyword.line, "a second " + keyword.name + ": in the header");
    }
  }

  // The header's keywords come in the order HEC-RAS's own export writes
  // them, as strict readers expect; UNITS may stand first or last.
  void CheckHeaderOrder(const Keyword& keyword) {
    static const std::vector<std::string> kOrder = {"DTM TYPE",
                                                    "DTM",
                                                    "STREAM LAYER",
                                                    "CROSS-SECTION LAYER",
                                                    "MAP PROJECTION",
                                                    "PROJECTION ZONE",
                                                    "DATUM",
                                                    "VERTICAL DATUM",
                                                    "NUMBER OF REACHES",
                                                    "NUMBER OF CROSS-SECTIONS"};
    const auto at = std::find(kOrder.begin(), kOrder.end(), keyword.name);
    if (at == kOrder.end()) return;
    const size_t index = static_cast<size_t>(at - kOrder.begin());
    if (header_index_ && index < *header_index_) {
      Fail(keyword.line, keyword.name + ": comes after " + kOrder[*header_index_] +
                             ", where HEC-RAS writes it before");
    }
    header_index_ = index;
  }

  void ReadHeader(HecRasFile& file) {
    TakeBare("BEGIN HEADER");
    bool had_extent = false;
    for (;;) {
      const Keyword keyword = TakeKeyword("a header keyword or END HEADER:");
      if (keyword.name == "END HEADER") {
        RequireNoValue(keyword);
        if (!file.header.count(kUnits)) Fail(keyword.line, "the header has no UNITS:");
        return;
      }
      if (keyword.name == "BEGIN SPATIAL EXTENT" && !had_extent) {
        RequireNoValue(keyword);
        ReadSpatialExtent(file);
        had_extent = true;
        continue;
      }
      if (keyword.name == kUnits) {
        if (keyword.value != "METRIC" && keyword.value != "US CUSTOMARY" &&
            keyword.value != "ENGLISH") {
          Fail(keyword.line,
               "expected UNITS: METRIC, ENGLISH or US CUSTOMARY, found " + Quote(keyword.value));
        }
      } else if (keyword.name == "PROJECTION ZONE" && !keyword.value.empty()) {
        // Strict readers take a whole number: -1 for none, or a UTM zone.
        const auto zone = ParseInt(keyword.value);
        if (!zone || (*zone != -1 && (*zone < 1 || *zone > 60))) {
          Fail(keyword.line,
               "expected PROJECTION ZONE: -1 or a zone 1 to 60, found " + Quote(keyword.value));
        }
      } else if (keyword.name == kReachCount || keyword.name == kSectionCount) {
        if (IntValue(keyword) < 0) Fail(keyword.line, "a negative count");
        count_lines_[keyword.name] = keyword.line;
      } else if (!kHeaderTextKeywords.count(keyword.name)) {
        Unexpected(keyword, "a header keyword or END HEADER:");
      }
      CheckHeaderOrder(keyword);
      Store(file.header, keyword);
      file.header_order.push_back(keyword.name);
    }
  }

  void ReadSpatialExtent(HecRasFile& file) {
    for (;;) {
      const Keyword keyword = TakeKeyword("XMIN:, YMIN:, XMAX:, YMAX: or END SPATIAL EXTENT:");
      if (keyword.name == "END SPATIAL EXTENT") {
        RequireNoValue(keyword);
        for (const char* name : kExtentKeywords) {
          if (!file.header.count(name)) {
            Fail(keyword.line, std::string("the spatial extent has no ") + name + ":");
          }
        }
        return;
      }
      bool known = false;
      for (const char* name : kExtentKeywords) known = known || keyword.name == name;
      if (!known) Unexpected(keyword, "XMIN:, YMIN:, XMAX:, YMAX: or END SPATIAL EXTENT:");
      if (!ParseDouble(keyword.value)) {
        Fail(keyword.line,
             "expected a number after " + keyword.name + ":, found " + Quote(keyword.value));
      }
      Store(file.header, keyword);
    }
  }

  void ReadNetwork(HecRasFile& file) {
    TakeBare("BEGIN STREAM NETWORK");
    for (;;) {
      const Keyword keyword = TakeKeyword("ENDPOINT:, REACH: or END STREAM NETWORK:");
      if (keyword.name == "END STREAM NETWORK") {
        RequireNoValue(keyword);
        if (file.endpoints.size() < 2) {
          Fail(keyword.line, "the stream network needs at least two ENDPOINT: lines");
        }
        if (file.reaches.empty()) Fail(keyword.line, "the stream network has no REACH:");
        return;
      }
      if (keyword.name == "ENDPOINT") {
        ReadEndpoint(file, keyword);
      } else if (keyword.name == "REACH") {
        RequireNoValue(keyword);
        file.reaches.push_back(ReadReach(file));
      } else {
        Unexpected(keyword, "ENDPOINT:, REACH: or END STREAM NETWORK:");
      }
    }
  }

  static void ReadEndpoint(HecRasFile& file, const Keyword& keyword) {
    const FieldRow row = SplitCommas(keyword.line, keyword.value);
    RequireFieldCount(row, 4, 4, "ENDPOINT: X, Y, Z, id");
    const std::array<double, 3> point = {
        NumberField(row, 0, "the endpoint X"), NumberField(row, 1, "the endpoint Y"),
        ElevationField(row, 2).value_or(std::numeric_limits<double>::quiet_NaN())};
    const auto id = ParseInt(row.fields[3]);
    if (!id) Fail(keyword.line, "expected an integer endpoint id, found " + Quote(row.fields[3]));
    if (!file.endpoints.emplace(*id, point).second) {
      Fail(keyword.line, "a second ENDPOINT: with id " + std::to_string(*id));
    }
  }

  HecRasReach ReadReach(const HecRasFile& file) {
    const std::string expected =
        "STREAM ID:, REACH ID:, FROM POINT:, TO POINT:, CENTERLINE: or END:";
    HecRasReach reach;
    std::set<std::string> seen;
    for (;;) {
      const Keyword keyword = TakeKeyword(expected);
      if (keyword.name == "END") {
        RequireNoValue(keyword);
        for (const char* name : {"STREAM ID", "REACH ID", "FROM POINT", "TO POINT", "CENTERLINE"}) {
          if (!seen.count(name)) Fail(keyword.line, std::string("the reach has no ") + name + ":");
        }
        if (reach.from_point == reach.to_point) {
          Fail(keyword.line, "the reach starts and ends at the same endpoint");
        }
        if (reach.centerline.size() < 2) {
          Fail(keyword.line, "the centerline needs at least two points");
        }
        for (const HecRasReach& other : file.reaches) {
          if (other.stream_id == reach.stream_id && other.reach_id == reach.reach_id) {
            Fail(keyword.line, "a second reach " + reach.stream_id + " / " + reach.reach_id);
          }
        }
        return reach;
      }
      if (!seen.insert(keyword.name).second) {
        Fail(keyword.line, "a second " + keyword.name + ": in the reach");
      }
      if (keyword.name == "STREAM ID" || keyword.name == "REACH ID") {
        RequireValue(keyword);
        (keyword.name == "STREAM ID" ? reach.stream_id : reach.reach_id) = keyword.value;
      } else if (keyword.name == "FROM POINT" || keyword.name == "TO POINT") {
        const int id = IntValue(keyword);
        if (!file.endpoints.count(id)) {
          Fail(keyword.line,
               keyword.name + ": " + std::to_string(id) + " is not the id of an earlier ENDPOINT:");
        }
        (keyword.name == "FROM POINT" ? reach.from_point : reach.to_point) = id;
      } else if (keyword.name == "CENTERLINE") {
        RequireNoValue(keyword);
        for (const FieldRow& row : ReadArray()) {
          RequireFieldCount(row, 3, 4, "a centerline point X, Y, Z[, station]");
          HecRasPoint point{NumberField(row, 0, "X"), NumberField(row, 1, "Y"),
                            ElevationField(row, 2), std::nullopt};
          if (row.fields.size() == 4) point.station = NumberField(row, 3, "a station");
          reach.centerline.push_back(point);
        }
      } else {
        Unexpected(keyword, expected);
      }
    }
  }

  void ReadSections(HecRasFile& file) {
    TakeBare("BEGIN CROSS-SECTIONS");
    for (;;) {
      const Keyword keyword = TakeKeyword("CROSS-SECTION: or END CROSS-SECTIONS:");
      if (keyword.name == "END CROSS-SECTIONS") {
        RequireNoValue(keyword);
        if (file.sections.empty()) Fail(keyword.line, "there is no CROSS-SECTION:");
        return;
      }
      if (keyword.name != "CROSS-SECTION") {
        Unexpected(keyword, "CROSS-SECTION: or END CROSS-SECTIONS:");
      }
      RequireNoValue(keyword);
      file.sections.push_back(ReadSection(file));
    }
  }

  HecRasSection ReadSection(const HecRasFile& file) {
    const std::string expected = "a cross-section keyword or END:";
    HecRasSection section;
    std::set<std::string> seen;
    for (;;) {
      const Keyword keyword = TakeKeyword(expected);
      if (keyword.name == "END") {
        RequireNoValue(keyword);
        CheckSection(file, section, seen, keyword.line);
        return section;
      }
      if (!seen.insert(keyword.name).second) {
        Fail(keyword.line, "a second " + keyword.name + ": in the cross-section");
      }
      const std::string& name = keyword.name;
      if (name == "STREAM ID" || name == "REACH ID" || name == "NODE NAME") {
        RequireValue(keyword);
        (name == "STREAM ID"  ? section.stream_id
         : name == "REACH ID" ? section.reach_id
                              : section.node_name) = keyword.value;
      } else if (name == "STATION") {
        const auto station = ParseDouble(keyword.value);
        if (!station) {
          Fail(keyword.line, "expected a number after STATION:, found " + Quote(keyword.value));
        }
        section.station_text = keyword.value;
        section.station = *station;
      } else if (name == "BANK POSITIONS") {
        // After the cut line they are fractions of, as HEC-RAS writes them
        // and readers that follow it expect.
        if (!seen.count("CUT LINE")) Fail(keyword.line, "BANK POSITIONS: before the CUT LINE:");
        const auto banks =
            NumberRow<2>(SplitCommas(keyword.line, keyword.value), "BANK POSITIONS: left, right");
        if (banks[0] < 0 || banks[1] > 1 || banks[0] > banks[1]) {
          Fail(keyword.line, "bank positions must be fractions with 0 <= left <= right <= 1");
        }
        section.bank_positions = banks;
      } else if (name == "REACH LENGTHS") {
        const auto lengths = NumberRow<3>(SplitCommas(keyword.line, keyword.value),
                                          "REACH LENGTHS: left overbank, channel, right overbank");
        for (double length : lengths) {
          if (length < 0) Fail(keyword.line, "a negative reach length");
        }
        section.reach_lengths = lengths;
      } else if (name == "CUT LINE") {
        RequireNoValue(keyword);
        for (const FieldRow& row : ReadArray()) {
          RequireFieldCount(row, 2, 2, "a cut-line point X, Y");
          section.cut_line.push_back(
              {NumberField(row, 0, "X"), NumberField(row, 1, "Y"), std::nullopt, std::nullopt});
        }
      } else if (name == "SURFACE LINE") {
        RequireNoValue(keyword);
        for (const FieldRow& row : ReadArray()) {
          RequireFieldCount(row, 3, 3, "a surface-line point X, Y, Z");
          section.surface_line.push_back({NumberField(row, 0, "X"), NumberField(row, 1, "Y"),
                                          ElevationField(row, 2), std::nullopt});
        }
      } else if (name == "NVALUES") {
        RequireNoValue(keyword);
        for (const FieldRow& row : ReadArray()) {
          section.n_values.push_back(NumberRow<2>(row, "an n value: fraction, n"));
        }
      } else if (name == "LEVEE POSITIONS") {
        RequireNoValue(keyword);
        for (const FieldRow& row : ReadArray()) {
          section.levee_positions.push_back(NumberRow<3>(row, "a levee: id, fraction, elevation"));
        }
      } else if (name == "INEFFECTIVE POSITIONS" || name == "BLOCKED POSITIONS") {
        RequireNoValue(keyword);
        auto& target = name == "INEFFECTIVE POSITIONS" ? section.ineffective_positions
                                                       : section.blocked_positions;
        for (const FieldRow& row : ReadArray()) {
          target.push_back(NumberRow<4>(row, "an area: id, from, to, elevation"));
        }
      } else {
        Unexpected(keyword, expected);
      }
    }
  }

  static void CheckSection(const HecRasFile& file, const HecRasSection& section,
                           const std::set<std::string>& seen, int end_line) {
    for (const char* name : {"STREAM ID", "REACH ID", "STATION", "CUT LINE", "SURFACE LINE"}) {
      if (!seen.count(name)) Fail(end_line, std::string("the cross-section has no ") + name + ":");
    }
    if (section.cut_line.size() < 2) Fail(end_line, "the cut line needs at least two points");
    if (section.surface_line.size() < 2) {
      Fail(end_line, "the surface line needs at least two points");
    }
    bool known = false;
    for (const HecRasReach& reach : file.reaches) {
      known = known || (reach.stream_id == section.stream_id && reach.reach_id == section.reach_id);
    }
    if (!known) {
      Fail(end_line,
           "no reach " + section.stream_id + " / " + section.reach_id + " in the stream network");
    }
  }

  void CheckCount(const HecRasFile& file, const char* name, std::size_t actual) const {
    const auto found = file.header.find(name);
    if (found == file.header.end()) return;
    if (std::stoi(found->second) != static_cast<int>(actual)) {
      Fail(count_lines_.at(name), std::string(name) + ": " + found->second + " but the file has " +
                                      std::to_string(actual));
    }
  }

  LineCursor cursor_;
  std::map<std::string, int> count_lines_;
  std::optional<size_t> header_index_;  // of the last header keyword, in HEC-RAS's order  // NUMBER
                                        // OF ... -> its line
};

// ---------------------------------------------------------------------------
// MIKE 11 raw data text

class Mike11Reader {
 public:
  explicit Mike11Reader(std::vector<std::string> lines) : cursor_(std::move(lines)) {}

  std::vector<Mike11Section> Read() {
    std::vector<Mike11Section> sections;
    do {
      sections.push_back(ReadSection());
    } while (!cursor_.AtEnd());
    return sections;
  }

 private:
  // A keyword line, written from the first column; trailing spaces are allowed.
  void ExpectKeyword(const std::string& keyword) {
    if (TrimRight(cursor_.Take(keyword)) != keyword) cursor_.FailTaken(keyword);
  }

  bool NextIs(const std::string& keyword) const {
    return !cursor_.AtEnd() && TrimRight(cursor_.Peek()) == keyword;
  }

  // The next line as exactly `count` blank-separated tokens.
  std::vector<std::string_view> Tokens(const std::string& what, std::size_t count) {
    const auto tokens = SplitWhitespace(cursor_.Take(what));
    if (tokens.size() != count) cursor_.FailTaken(what);
    return tokens;
  }

  // The next line, trimmed; `what` says what it holds.
  std::string Text(const std::string& what, bool may_be_empty) {
    const std::string_view text = Trim(cursor_.Take(what));
    if (text.empty() && !may_be_empty) cursor_.FailTaken(what);
    return std::string(text);
  }

  double Number(std::string_view token, const std::string& what) const {
    const auto value = ParseDouble(token);
    if (!value) Fail(cursor_.Number(), "expected " + what + " as a number, found " + Quote(token));
    return *value;
  }

  int Integer(std::string_view token, const std::string& what) const {
    const auto value = ParseInt(token);
    if (!value) {
      Fail(cursor_.Number(), "expected " + what + " as an integer, found " + Quote(token));
    }
    return *value;
  }

  int IntegerLine(const std::string& what) { return Integer(Tokens(what, 1)[0], what); }

  Mike11Section ReadSection() {
    Mike11Section section;
    section.topo_id = Text("a topo ID", false);
    section.branch = Text("a branch name", false);
    section.chainage = Number(Tokens("a chainage", 1)[0], "the chainage");
    ExpectKeyword("COORDINATES");
    ReadCoordinates(section);
    ExpectKeyword("FLOW DIRECTION");
    section.flow_direction = IntegerLine("the flow direction");
    ExpectKeyword("PROTECT DATA");
    section.protect_data = IntegerLine("the protect-data flag");
    ExpectKeyword("DATUM");
    section.datum = Number(Tokens("the datum", 1)[0], "the datum");
    if (NextIs("CLOSED SECTION")) {
      ExpectKeyword("CLOSED SECTION");
      section.closed = true;
    }
    ExpectKeyword("RADIUS TYPE");
    section.radius_type = IntegerLine("the radius type");
    ExpectKeyword("DIVIDE X-Section");
    section.divide = IntegerLine("the divide flag");
    ExpectKeyword("SECTION ID");
    section.section_id = Text("a section ID", true);
    ExpectKeyword("INTERPOLATED");
    section.interpolated = IntegerLine("the interpolated flag");
    ExpectKeyword("ANGLE");
    const auto angle = Tokens("the angle and its type", 2);
    section.angle = Number(angle[0], "the angle");
    section.angle_type = Integer(angle[1], "the angle type");
    ExpectKeyword("RESISTANCE NUMBERS");
    ReadResistance(section);
    ReadProfile(section);
    ExpectKeyword("LEVEL PARAMS");
    ReadLevelParams(section);
    const std::string_view separator = TrimRight(cursor_.Take("a line of asterisks"));
    if (separator.empty() || separator.find_first_not_of('*') != std::string_view::npos) {
      cursor_.FailTaken("a line of asterisks");
    }
    return section;
  }

  void ReadCoordinates(Mike11Section& section) {
    const std::string what = "a point count (0 or 2) and X Y of each point";
    const auto tokens = SplitWhitespace(cursor_.Take(what));
    if (tokens.empty()) cursor_.FailTaken(what);
    const int count = Integer(tokens[0], "the coordinate count");
    if (count != 0 && count != 2) {
      Fail(cursor_.Number(), "expected 0 or 2 coordinate points, found " + std::to_string(count));
    }
    if (tokens.size() != 1 + 2 * static_cast<std::size_t>(count)) {
      Fail(cursor_.Number(), std::to_string(count) + " coordinate points need " +
                                 std::to_string(2 * count) + " numbers, found " +
                                 std::to_string(tokens.size() - 1));
    }
    for (std::size_t i = 1; i < tokens.size(); ++i) {
      section.coordinates.push_back(Number(tokens[i], "a coordinate"));
    }
  }

  void ReadResistance(Mike11Section& section) {
    const auto tokens = Tokens("2 integers and 5 resistance numbers", 7);
    section.resistance_flag = Integer(tokens[0], "the first resistance field");
    section.resistance_type = Integer(tokens[1], "the resistance type");
    if (section.resistance_type < 0 || section.resistance_type > 4) {
      Fail(cursor_.Number(), "expected a resistance type from 0 to 4, found " +
                                 std::to_string(section.resistance_type));
    }
    for (std::size_t i = 0; i < 5; ++i) {
      section.resistance_values[i] = Number(tokens[2 + i], "a resistance number");
    }
  }

  // "PROFILE n", then n rows up to LEVEL PARAMS.
  void ReadProfile(Mike11Section& section) {
    const std::string what = "PROFILE and the number of points";
    const std::string& line = cursor_.Take(what);
    const auto tokens = SplitWhitespace(line);
    if (!StartsWith(line, "PROFILE") || tokens.size() != 2 || tokens[0] != "PROFILE") {
      cursor_.FailTaken(what);
    }
    const int profile_line = cursor_.Number();
    const int count = Integer(tokens[1], "the number of points");
    while (!cursor_.AtEnd() && !NextIs("LEVEL PARAMS")) {
      section.profile.push_back(ReadProfileRow());
    }
    if (cursor_.AtEnd()) cursor_.FailNext("LEVEL PARAMS");
    if (count != static_cast<int>(section.profile.size())) {
      Fail(profile_line, "PROFILE says " + std::to_string(count) + " points but " +
                             std::to_string(section.profile.size()) + " rows follow");
    }
    if (count < 2) Fail(profile_line, "a profile needs at least two points");
  }

  // x z resistance <#marker> and three more numbers.
  Mike11Point ReadProfileRow() {
    const auto tokens = Tokens("a profile row: x z resistance <#marker> and 3 numbers", 7);
    Mike11Point point;
    point.x = Number(tokens[0], "x");
    point.z = Number(tokens[1], "z");
    point.resistance = Number(tokens[2], "the resistance");
    const std::string_view marker = tokens[3];
    const auto bits = marker.size() > 3 && StartsWith(marker, "<#") && marker.back() == '>'
                          ? ParseInt(marker.substr(2, marker.size() - 3))
                          : std::nullopt;
    if (!bits || *bits < 0) {
      Fail(cursor_.Number(), "expected a marker <#n> with n >= 0, found " + Quote(marker));
    }
    point.marker = *bits;
    for (std::size_t i = 4; i < 7; ++i) Number(tokens[i], "a trailing row field");
    return point;
  }

  void ReadLevelParams(Mike11Section& section) {
    const auto tokens = Tokens("6 level parameters", 6);
    Integer(tokens[0], "a level parameter");
    Integer(tokens[1], "a level parameter");
    Number(tokens[2], "a level parameter");
    Integer(tokens[3], "a level parameter");
    Number(tokens[4], "a level parameter");
    section.processed_levels = Integer(tokens[5], "the number of processed levels");
    if (section.processed_levels < 1) {
      Fail(cursor_.Number(), "expected at least one processed level");
    }
  }

  LineCursor cursor_;  // its lines stay put, so tokens may point into them
};

// ---------------------------------------------------------------------------
// Flood Modeller DAT

constexpr std::size_t kField = 10;  // width of a numeric field

// Columns [start, start + width) of a line; shorter where the line ends.
std::string_view Columns(std::string_view line, std::size_t start, std::size_t width) {
  if (start >= line.size()) return {};
  return line.substr(start, width);
}

std::string ColumnRange(std::size_t start, std::size_t width) {
  return "columns " + std::to_string(start + 1) + "-" + std::to_string(start + width);
}

class FloodModellerReader {
 public:
  explicit FloodModellerReader(std::vector<std::string> lines) : cursor_(std::move(lines)) {}

  void Read(FloodModellerFile& file) {
    ReadGeneral(file);
    for (;;) {
      const std::string expected = "RIVER or INITIAL CONDITIONS";
      const std::string_view line = TrimRight(cursor_.Take(expected));
      if (line == "INITIAL CONDITIONS") break;
      if (!StartsWith(line, "RIVER") || (line.size() > 5 && line[5] != ' ')) {
        cursor_.FailTaken(expected);
      }
      file.sections.push_back(ReadRiver(file.label_width, std::string(Trim(line.substr(5)))));
    }
    if (static_cast<int>(file.sections.size()) != file.node_count) {
      Fail(parameters_line_, "the file says " + std::to_string(file.node_count) +
                                 " nodes but has " + std::to_string(file.sections.size()) +
                                 " RIVER units");
    }
    ReadInitialConditions(file);
  }

 private:
  // The next line, which must hold fixed-width fields: no tabs, and nothing
  // past column `max_width` but trailing spaces.
  std::string_view TakeFixed(const std::string& what, std::size_t max_width) {
    const std::string_view line = TrimRight(cursor_.Take(what));
    if (line.find('\t') != std::string_view::npos) {
      Fail(cursor_.Number(), "a tab in a line of fixed-width fields");
    }
    if (line.size() > max_width) {
      Fail(cursor_.Number(), "expected " + what + ", found text past column " +
                                 std::to_string(max_width) + ": " + Quote(line));
    }
    return line;
  }

  // A right-aligned number filling columns [start, start + width).
  double FixedNumber(std::string_view line, std::size_t start, std::size_t width,
                     const std::string& what) const {
    const std::string_view field = Columns(line, start, width);
    const auto value = ParseDouble(Trim(field));
    if (!value || field.size() != width || field.back() == ' ') {
      Fail(cursor_.Number(), "expected " + what + " right-aligned in " + ColumnRange(start, width) +
                                 ", found " + Quote(field));
    }
    return *value;
  }

  int FixedInteger(std::string_view line, std::size_t start, std::size_t width,
                   const std::string& what) const {
    const std::string_view field = Columns(line, start, width);
    const auto value = ParseInt(Trim(field));
    if (!value || field.size() != width || field.back() == ' ') {
      Fail(cursor_.Number(), "expected " + what + " as an integer right-aligned in " +
                                 ColumnRange(start, width) + ", found " + Quote(field));
    }
    return *value;
  }

  // A right-aligned word from `allowed` (one of which may be ""), or blanks.
  std::string FixedWord(std::string_view line, std::size_t start,
                        const std::set<std::string, std::less<>>& allowed,
                        const std::string& what) const {
    const std::string_view field = Columns(line, start, kField);
    const std::string_view word = Trim(field);
    const bool aligned = word.empty() || (field.size() == kField && field.back() != ' ');
    if (!aligned || !allowed.count(word)) {
      Fail(cursor_.Number(), "expected " + what + " right-aligned in " +
                                 ColumnRange(start, kField) + ", found " + Quote(field));
    }
    return std::string(word);
  }

  void ExpectLine(const std::string& text) {
    if (TrimRight(cursor_.Take(text)) != text) cursor_.FailTaken(text);
  }

  void ReadGeneral(FloodModellerFile& file) {
    file.title = std::string(TrimRight(cursor_.Take("a title line")));
    if (!cursor_.AtEnd() && TrimRight(cursor_.Peek()) == "#REVISION#1") {
      cursor_.Take("#REVISION#1");
      file.label_width = 12;
    } else {
      file.label_width = 8;
    }
    const std::string parameters = "the general parameters";
    const std::string_view line = TakeFixed(parameters, 62);
    parameters_line_ = cursor_.Number();
    file.node_count = FixedInteger(line, 0, kField, "the node count");
    if (file.node_count < 1) Fail(parameters_line_, "expected at least one node");
    for (std::size_t i = 1; i < 5; ++i) {
      FixedNumber(line, i * kField, kField, "a general parameter");
    }
    const int width = FixedInteger(line, 5 * kField, kField, "the label width");
    if (width != file.label_width) {
      Fail(parameters_line_, "the label width is " + std::to_string(width) + " but " +
                                 (file.label_width == 12 ? "#REVISION#1 makes it 12"
                                                         : "without #REVISION#1 it is 8"));
    }
    file.units = std::string(line.substr(std::min(line.size(), 6 * kField)));
    if (file.units != "SI" && file.units != "US") {
      Fail(parameters_line_,
           "expected the units SI or US in columns 61-62, found " + Quote(file.units));
    }
    const std::string_view more = TakeFixed("seven general parameters", 7 * kField);
    for (std::size_t i = 0; i < 7; ++i) {
      FixedNumber(more, i * kField, kField, "a general parameter");
    }
    ExpectLine("RAD FILE");
    cursor_.Take("the RAD FILE line");
    ExpectLine("END GENERAL");
  }

  FloodModellerSection ReadRiver(int label_width, std::string comment) {
    FloodModellerSection section;
    section.comment = std::move(comment);
    ExpectLine("SECTION");
    const std::size_t width = static_cast<std::size_t>(label_width);
    const std::string_view labels =
        TakeFixed("the node label and 6 spill/lateral labels", 7 * width);
    const std::string_view label = Columns(labels, 0, width);
    section.label = std::string(Trim(label));
    if (IsUnitKeyword(section.label)) {
      Fail(cursor_.Number(), "the label " + Quote(label) +
                                 " is a unit's keyword: a reader takes the line for a new unit");
    }
    if (section.label.empty() || label.front() == ' ') {
      Fail(cursor_.Number(), "expected a node label left-aligned in " + ColumnRange(0, width) +
                                 ", found " + Quote(label));
    }
    for (std::size_t i = 1; i < 7; ++i) {
      section.other_labels.emplace_back(Trim(Columns(labels, i * width, width)));
    }
    const std::string_view parameters =
        TakeFixed("distance to next, a blank field, slope and density", 4 * kField);
    section.distance_to_next = FixedNumber(parameters, 0, kField, "the distance to the next node");
    if (!Trim(Columns(parameters, kField, kField)).empty()) {
      Fail(cursor_.Number(), "expected " + ColumnRange(kField, kField) + " to be blank");
    }
    section.slope = FixedNumber(parameters, 2 * kField, kField, "the slope");
    section.density = FixedNumber(parameters, 3 * kField, kField, "the density");
    const int count =
        FixedInteger(TakeFixed("the number of rows", kField), 0, kField, "the number of rows");
    if (count < 2) Fail(cursor_.Number(), "a section needs at least two rows");
    for (int i = 1; i <= count; ++i) {
      section.rows.push_back(
          ReadRow(" of row " + std::to_string(i) + " of " + std::to_string(count)));
    }
    return section;
  }

  // `of_row` names the row in messages: " of row 2 of 3".
  FloodModellerRow ReadRow(const std::string& of_row) {
    const std::string_view line = TakeFixed("the fields" + of_row, 9 * kField);
    FloodModellerRow row;
    row.offset = FixedNumber(line, 0, kField, "the offset" + of_row);
    row.level = FixedNumber(line, kField, kField, "the level" + of_row);
    row.manning = FixedNumber(line, 2 * kField, kField, "Manning's n" + of_row);
    const std::string_view panel = Columns(line, 3 * kField, 1);
    if (panel != "*" && panel != " ") {
      Fail(cursor_.Number(),
           "expected '*' or a blank in column 31" + of_row + ", found " + Quote(panel));
    }
    row.panel = panel == "*";
    row.path_length = FixedNumber(line, 3 * kField + 1, kField - 1, "the path length" + of_row);
    row.marker = FixedWord(line, 4 * kField, {"", "LEFT", "BED", "RIGHT"},
                           "blanks, LEFT, BED or RIGHT" + of_row);
    row.easting = FixedNumber(line, 5 * kField, kField, "the easting" + of_row);
    row.northing = FixedNumber(line, 6 * kField, kField, "the northing" + of_row);
    row.deactivation =
        FixedWord(line, 7 * kField, {"", "LEFT", "RIGHT"}, "blanks, LEFT or RIGHT" + of_row);
    if (!Trim(Columns(line, 8 * kField, kField)).empty()) {
      row.special = FixedNumber(line, 8 * kField, kField, "the special marker" + of_row);
    }
    return row;
  }

  void ReadInitialConditions(FloodModellerFile& file) {
    const std::string header = "label ? flow stage froude no velocity umode ustate z";
    std::string words;
    for (std::string_view word : SplitWhitespace(cursor_.Take("the column headings"))) {
      words += (words.empty() ? "" : " ") + std::string(word);
    }
    if (words != header) cursor_.FailTaken("the column headings " + Quote(header));

    const std::size_t width = static_cast<std::size_t>(file.label_width);
    for (const FloodModellerSection& section : file.sections) {
      const std::string_view line =
          TakeFixed("the initial conditions of " + section.label, width + 2 + 7 * kField);
      const std::string label(Trim(Columns(line, 0, width)));
      if (label != section.label) {
        Fail(cursor_.Number(), "expected the initial conditions of " + section.label +
                                   ", found those of " + Quote(label));
      }
      if (Columns(line, width, 2) != " y") {
        Fail(cursor_.Number(), "expected ' y' in " + ColumnRange(width, 2) + ", found " +
                                   Quote(Columns(line, width, 2)));
      }
      for (std::size_t i = 0; i < 7; ++i) {
        FixedNumber(line, width + 2 + i * kField, kField, "an initial condition");
      }
      file.initial_condition_labels.push_back(label);
    }
    while (!cursor_.AtEnd()) {
      if (!Trim(cursor_.Peek()).empty()) {
        cursor_.FailNext("nothing but blank lines after the initial conditions");
      }
      cursor_.Take("");
    }
  }

  LineCursor cursor_;
  int parameters_line_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// CSV

namespace {

// Reads records of RFC 4180 CSV one character at a time.
class CsvParser {
 public:
  explicit CsvParser(const std::string& text) : text_(text) {}

  std::vector<std::vector<std::string>> Records(std::vector<int>& lines, bool& crlf) {
    std::vector<std::vector<std::string>> records;
    std::optional<bool> record_crlf;
    while (pos_ < text_.size()) {
      lines.push_back(line_);
      std::vector<std::string> record;
      for (;;) {
        record.push_back(Field());
        if (pos_ >= text_.size()) break;
        if (text_[pos_] == ',') {
          ++pos_;
          continue;
        }
        // The record ends with CRLF or LF.
        const bool is_crlf = text_[pos_] == '\r';
        if (is_crlf && (pos_ + 1 >= text_.size() || text_[pos_ + 1] != '\n')) {
          Fail(line_, "a carriage return that does not end the record");
        }
        if (record_crlf && *record_crlf != is_crlf) {
          Fail(line_, std::string("ends with ") + (is_crlf ? "CRLF" : "LF") +
                          " but the records before end with " + (*record_crlf ? "CRLF" : "LF"));
        }
        record_crlf = is_crlf;
        pos_ += is_crlf ? 2 : 1;
        ++line_;
        break;
      }
      records.push_back(std::move(record));
    }
    crlf = record_crlf.value_or(false);
    return records;
  }

 private:
  std::string Field() {
    std::string field;
    if (pos_ < text_.size() && text_[pos_] == '"') return QuotedField();
    while (pos_ < text_.size() && !EndsField(text_[pos_])) {
      if (text_[pos_] == '"') Fail(line_, "a quote inside an unquoted field");
      field += text_[pos_++];
    }
    return field;
  }

  std::string QuotedField() {
    const int start_line = line_;
    std::string field;
    ++pos_;
    for (;;) {
      if (pos_ >= text_.size()) Fail(start_line, "a quoted field is not closed");
      const char c = text_[pos_++];
      if (c == '"') {
        if (pos_ < text_.size() && text_[pos_] == '"') {
          field += '"';
          ++pos_;
          continue;
        }
        break;
      }
      if (c == '\n') ++line_;
      field += c;
    }
    if (pos_ < text_.size() && !EndsField(text_[pos_])) {
      Fail(line_, "expected a comma or the end of the record after a closing quote, found " +
                      Quote(std::string(1, text_[pos_])));
    }
    return field;
  }

  static bool EndsField(char c) { return c == ',' || c == '\n' || c == '\r'; }

  const std::string& text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

CsvTable ReadCsv(const std::string& text) {
  if (text.empty()) Fail(1, "expected a header row, found an empty text");
  CsvTable table;
  std::vector<int> lines;
  auto records = CsvParser(text).Records(lines, table.crlf);
  table.header = std::move(records.front());
  for (const std::string& name : table.header) {
    if (name.empty()) Fail(1, "an empty column name in the header");
  }
  for (std::size_t i = 1; i < records.size(); ++i) {
    if (records[i].size() != table.header.size()) {
      Fail(lines[i], "expected " + std::to_string(table.header.size()) + " fields, found " +
                         std::to_string(records[i].size()));
    }
    table.rows.push_back(std::move(records[i]));
  }
  return table;
}

// ---------------------------------------------------------------------------
// Entry points of the line-based readers

HecRasFile ReadHecRas(const std::string& text) {
  SplitText split = SplitLines(text);
  HecRasFile file = HecRasReader(std::move(split.lines)).Read();
  file.crlf = split.crlf;
  return file;
}

Mike11File ReadMike11(const std::string& text) {
  SplitText split = SplitLines(text);
  Mike11File file;
  file.crlf = split.crlf;
  file.sections = Mike11Reader(std::move(split.lines)).Read();
  return file;
}

FloodModellerFile ReadFloodModeller(const std::string& text) {
  SplitText split = SplitLines(text);
  FloodModellerFile file;
  file.crlf = split.crlf;
  FloodModellerReader(std::move(split.lines)).Read(file);
  return file;
}

}  // namespace palvane::testing
