#pragma once

// Strict readers of the files `palvane sections` writes: CSV, the HEC-RAS GIS
// import file, MIKE 11 cross-section raw text and a Flood Modeller DAT of
// RIVER sections. They are written from the public descriptions of those
// formats, independently of the writer, so that a test can parse what the
// writer produced and check it value by value.
//
// Every reader throws std::runtime_error("line N: ...") on the first line the
// format does not allow, saying what was expected there. They are tolerant
// only where the formats are: LF or CRLF (recorded, but one of them for the
// whole file), trailing spaces, and in HEC-RAS indentation, blank lines and
// spaces around commas.

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace palvane::testing {

// ---------------------------------------------------------------------------
// CSV (RFC 4180)

struct CsvTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  bool crlf = false;  // records end with CRLF (else LF)
};

// Comma separated; a field holding a comma, quote or line break is quoted with
// "" and its quotes doubled. Every row has as many fields as the header; the
// last record may lack its line break. Throws on a stray or unclosed quote, a
// row of the wrong width, mixed line endings or an empty text.
CsvTable ReadCsv(const std::string& text);

// ---------------------------------------------------------------------------
// HEC-RAS GIS import file (*.RASImport.sdf)

struct HecRasPoint {
  double x = 0, y = 0;
  std::optional<double> z;        // empty for NULL, and for cut-line points
  std::optional<double> station;  // the optional 4th centerline field
};

struct HecRasReach {
  std::string stream_id, reach_id;
  int from_point = 0, to_point = 0;
  std::vector<HecRasPoint> centerline;
};

struct HecRasSection {
  std::string stream_id, reach_id;
  std::string station_text;  // as written, to check its length (<= 8 characters)
  double station = 0;
  std::string node_name;                                // empty when absent
  std::optional<std::array<double, 2>> bank_positions;  // fractions 0..1, left, right
  std::optional<std::array<double, 3>> reach_lengths;   // left overbank, channel, right overbank
  std::vector<HecRasPoint> cut_line;                    // x, y
  std::vector<HecRasPoint> surface_line;                // x, y, z (z empty for NULL)
  std::vector<std::array<double, 2>> n_values;          // fraction, n
  std::vector<std::array<double, 3>> levee_positions;   // id, fraction, elevation
  std::vector<std::array<double, 4>> ineffective_positions;  // id, from, to, elevation
  std::vector<std::array<double, 4>> blocked_positions;      // id, from, to, elevation
};

struct HecRasFile {
  bool crlf = false;
  // Keyword without its colon -> value, e.g. "UNITS" -> "METRIC". The spatial
  // extent's XMIN, YMIN, XMAX and YMAX are stored here too.
  std::map<std::string, std::string> header;
  std::vector<std::string> header_order;           // the keywords as they came, extent aside
  std::map<int, std::array<double, 3>> endpoints;  // id -> x, y, z (NaN: not given)
  std::vector<HecRasReach> reaches;
  std::vector<HecRasSection> sections;
};

HecRasFile ReadHecRas(const std::string& text);

// ---------------------------------------------------------------------------
// MIKE 11 cross-section raw data text

struct Mike11Point {
  double x = 0, z = 0, resistance = 0;
  int marker = 0;  // 0 when none (<#0>), else the n of <#n>
};

struct Mike11Section {
  std::string topo_id, branch;
  double chainage = 0;
  std::vector<double> coordinates;  // after the count: 0 or 2 points -> 0 or 4 numbers
  int flow_direction = 0;
  int protect_data = 0;
  double datum = 0;
  bool closed = false;  // a CLOSED SECTION line was present
  int radius_type = 0;
  int divide = 0;  // DIVIDE X-Section
  std::string section_id;
  int interpolated = 0;
  double angle = 0;
  int angle_type = 0;       // second field of ANGLE
  int resistance_flag = 0;  // 1st field of RESISTANCE NUMBERS
  int resistance_type = 0;  // 2nd field of RESISTANCE NUMBERS
  std::array<double, 5> resistance_values{};
  std::vector<Mike11Point> profile;
  int processed_levels = 0;  // last field of LEVEL PARAMS
};

struct Mike11File {
  bool crlf = false;
  std::vector<Mike11Section> sections;
};

Mike11File ReadMike11(const std::string& text);

// ---------------------------------------------------------------------------
// Flood Modeller (ISIS) DAT holding RIVER SECTION units

struct FloodModellerRow {
  double offset = 0, level = 0, manning = 0;
  bool panel = false;  // '*' before the relative path length
  double path_length = 0;
  std::string marker;  // "", LEFT, BED, RIGHT
  double easting = 0, northing = 0;
  std::string deactivation;       // "", LEFT, RIGHT
  std::optional<double> special;  // the last field, empty when blank or absent
};

struct FloodModellerSection {
  std::string label;
  std::string comment;                    // the rest of the RIVER line, trimmed
  std::vector<std::string> other_labels;  // spill 1-2, lateral 1-4 as written ("" when blank)
  double distance_to_next = 0;
  double slope = 0, density = 0;
  std::vector<FloodModellerRow> rows;
};

struct FloodModellerFile {
  bool crlf = false;
  std::string title;
  int label_width = 8;  // 12 with #REVISION#1, else 8
  int node_count = 0;
  std::string units;  // SI or US, after the label width on the parameters line
  std::vector<FloodModellerSection> sections;
  std::vector<std::string> initial_condition_labels;
};

FloodModellerFile ReadFloodModeller(const std::string& text);

}  // namespace palvane::testing
