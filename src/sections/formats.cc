#include "sections/formats.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "host/convert.h"

namespace palvane::sections {

namespace {

std::string Fixed(double value, int decimals) {
  return host::FormatFixedWithPoint(value, decimals);
}

// Text on one line of a file: control characters become spaces.
std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return out;
}

std::string PadLeft(std::string_view text, size_t width) {
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + std::string(text);
}
std::string PadRight(std::string_view text, size_t width) {
  return std::string(text) + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

// A number in a fixed field of `width` characters, right-aligned, with as
// many of `decimals` as fit; FormatError when even the whole number does not.
std::string Field(double value, size_t width, int decimals, const std::string& what) {
  for (int d = decimals; d >= 0; --d) {
    const std::string text = Fixed(value, d);
    if (text.size() < width || (text.size() == width && d < decimals)) {
      return PadLeft(text, width);
    }
  }
  throw FormatError(what + " " + Fixed(value, 3) + " does not fit the format's field of " +
                    std::to_string(width) + " characters");
}

class Lines {
 public:
  explicit Lines(bool crlf) : end_(crlf ? "\r\n" : "\n") {}
  Lines& operator<<(std::string_view line) {
    text_ += line;
    text_ += end_;
    return *this;
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
  const char* end_;
};

std::string Rs(const Survey& survey, const SurveyReach& reach, const CrossSection& x) {
  const double rs = RiverStation(survey, reach, x.chainage);
  const auto text = StationText(rs);
  if (!text) {
    throw FormatError("section " + x.number + ": its river station " + Fixed(rs, 3) +
                      " has more than 8 characters");
  }
  return *text;
}

std::string MarkerNames(uint8_t markers) {
  std::string out;
  auto add = [&](uint8_t bit, const char* name) {
    if ((markers & bit) == 0) return;
    if (!out.empty()) out += ';';
    out += name;
  };
  add(kLeftBank, "left-bank");
  add(kLowest, "lowest");
  add(kRightBank, "right-bank");
  add(kInserted, "inserted");
  return out;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// ---------------------------------------------------------------------------

Written WriteCsv(const Survey& survey) {
  Lines lines(true);
  lines << "reach,section,name,chainage,river_station,point,station,elevation,x,y,offset,layer,"
           "marker";
  for (const SurveyReach& reach : survey.reaches) {
    for (const CrossSection& x : reach.sections) {
      const std::string head = CsvField(reach.number) + "," + CsvField(x.number) + "," +
                               CsvField(x.name) + "," + Fixed(x.chainage, 3) + "," +
                               Fixed(RiverStation(survey, reach, x.chainage), 3) + ",";
      for (size_t i = 0; i < x.points.size(); ++i) {
        const SurveyPoint& p = x.points[i];
        lines << head + std::to_string(i + 1) + "," + Fixed(p.station, 3) + "," +
                     Fixed(p.elevation, 3) + "," + Fixed(p.at[0], 3) + "," + Fixed(p.at[1], 3) +
                     "," + Fixed(p.offset, 3) + "," + CsvField(p.layer) + "," +
                     MarkerNames(p.markers);
      }
    }
  }
  return {lines.Take(), {}};
}

// ---------------------------------------------------------------------------

std::string Xy(const Point2& p) { return Fixed(p[0], 3) + ", " + Fixed(p[1], 3); }

Written WriteHecRas(const Survey& survey, const FormatOptions& options) {
  Written out;
  Lines lines(true);
  // A reach without sections has no place in a model's geometry.
  std::vector<const SurveyReach*> reaches;
  size_t count = 0;
  for (const SurveyReach& reach : survey.reaches) {
    if (reach.sections.empty()) continue;
    reaches.push_back(&reach);
    count += reach.sections.size();
  }
  if (!options.title.empty()) lines << "# " + OneLine(options.title);
  // The header in the order HEC-RAS's own export writes it, the counts
  // last, which strict readers expect; what a drawing does not know gets a
  // neutral value (zone -1: none, where readers take 1 to 60 for a UTM zone).
  lines << "BEGIN HEADER:";
  lines << std::string("  UNITS: ") + (options.metric ? "METRIC" : "ENGLISH");
  lines << "  DTM TYPE: TIN";
  lines << "  DTM: NONE";
  lines << "  STREAM LAYER: " + OneLine(options.river);
  lines << "  CROSS-SECTION LAYER: " + OneLine(options.river);
  lines << "  MAP PROJECTION: NONE";
  lines << "  PROJECTION ZONE: -1";
  lines << "  DATUM: NONE";
  lines << "  VERTICAL DATUM: NONE";
  lines << "  NUMBER OF REACHES: " + std::to_string(reaches.size());
  lines << "  NUMBER OF CROSS-SECTIONS: " + std::to_string(count);
  lines << "END HEADER:";
  lines << "";
  lines << "BEGIN STREAM NETWORK:";
  const std::string stream = OneLine(options.river);
  int id = 0;
  for (const SurveyReach* r : reaches) {
    const SurveyReach& reach = *r;
    // From the upstream end to the downstream end.
    std::vector<Point2> centre = reach.centre;
    std::vector<double> along = reach.centre_along;
    if (along.size() != centre.size()) {
      // A reach made without distances: along its chords.
      along.assign(centre.size(), 0);
      for (size_t i = 1; i < centre.size(); ++i) {
        along[i] = along[i - 1] +
                   std::hypot(centre[i][0] - centre[i - 1][0], centre[i][1] - centre[i - 1][1]);
      }
    }
    if (!reach.flows_forward) {
      std::reverse(centre.begin(), centre.end());
      std::reverse(along.begin(), along.end());
    }
    // A centre line has no elevation: its Z is left empty, as HEC-RAS
    // leaves it.
    lines << "  ENDPOINT: " + Xy(centre.front()) + ", , " + std::to_string(id + 1);
    lines << "  ENDPOINT: " + Xy(centre.back()) + ", , " + std::to_string(id + 2);
    lines << "  REACH:";
    lines << "    STREAM ID: " + stream;
    lines << "    REACH ID: " + OneLine(reach.number);
    lines << "    FROM POINT: " + std::to_string(id + 1);
    lines << "    TO POINT: " + std::to_string(id + 2);
    lines << "    CENTERLINE:";
    for (size_t i = 0; i < centre.size(); ++i) {
      const double rs = RiverStation(survey, reach, ChainageAt(reach, along[i]));
      lines << "      " + Xy(centre[i]) + ", , " + Fixed(rs, 3);
    }
    lines << "  END:";
    id += 2;
  }
  lines << "END STREAM NETWORK:";
  lines << "";
  lines << "BEGIN CROSS-SECTIONS:";
  for (const SurveyReach* r : reaches) {
    const SurveyReach& reach = *r;
    std::set<std::string> stations;
    for (const CrossSection& x : reach.sections) {
      const std::string rs = Rs(survey, reach, x);
      if (!stations.insert(rs).second) {
        throw FormatError("reach " + reach.number + ": two sections have river station " + rs +
                          " (section " + x.number + " is one)");
      }
      std::vector<SurveyPoint> points = x.points;
      if (points.size() < 2) {
        throw FormatError("section " + x.number + " has " + std::to_string(points.size()) +
                          " survey points; a cross-section needs at least 2");
      }
      if (points.size() > kHecRasMostPoints) {
        if (!options.thin) {
          throw FormatError("section " + x.number + " has " + std::to_string(points.size()) +
                            " survey points; HEC-RAS takes at most " +
                            std::to_string(kHecRasMostPoints));
        }
        const size_t removed = Thin(points, kHecRasMostPoints);
        out.notes.push_back("section " + x.number + ": thinned from " +
                            std::to_string(points.size() + removed) + " to " +
                            std::to_string(points.size()) + " points");
        if (points.size() > kHecRasMostPoints) {
          throw FormatError("section " + x.number + " keeps more than " +
                            std::to_string(kHecRasMostPoints) + " marked points");
        }
      }
      lines << "  CROSS-SECTION:";
      lines << "    STREAM ID: " + stream;
      lines << "    REACH ID: " + OneLine(reach.number);
      lines << "    STATION: " + rs;
      if (!x.name.empty()) lines << "    NODE NAME: " + OneLine(x.name);
      // After the cut line, as HEC-RAS's own export has them. The cut line
      // to the micrometre and the banks' fractions of its length to 1e-9,
      // so that a reader's bank stations are the other formats' within a
      // millimetre on a floodplain kilometres wide.
      lines << "    CUT LINE:";
      for (const Point2& p : x.cut) lines << "      " + Fixed(p[0], 6) + ", " + Fixed(p[1], 6);
      lines << "    BANK POSITIONS: " + Fixed(x.left_bank / x.length, 9) + ", " +
                   Fixed(x.right_bank / x.length, 9);
      lines << "    REACH LENGTHS: " + Fixed(x.reach_lengths[0], 3) + ", " +
                   Fixed(x.reach_lengths[1], 3) + ", " + Fixed(x.reach_lengths[2], 3);
      lines << "    SURFACE LINE:";
      for (const SurveyPoint& p : points) {
        lines << "      " + Xy(p.at) + ", " +
                     (std::isfinite(p.elevation) ? Fixed(p.elevation, 3) : std::string("NULL"));
      }
      lines << "  END:";
    }
  }
  lines << "END CROSS-SECTIONS:";
  out.text = lines.Take();
  return out;
}

// ---------------------------------------------------------------------------

constexpr size_t kLabelWidth = 12;

// The words that open a unit in a Flood Modeller data file. Readers take a
// line that is one of them for the start of a unit, so a label (which also
// opens a line of the initial conditions) must never be one.
bool IsUnitKeyword(std::string_view label) {
  static const std::set<std::string, std::less<>> kKeywords = {
      "2DCELL",  "ABSTRACTION", "BERNOULLI", "BLOCKAGE", "BREACH",  "BRIDGE",    "COMMENT",
      "CONDUIT", "CONPUMP",     "CONVALVE",  "CRUMP",    "CULVERT", "FEHBDY",    "FLOODPLAIN",
      "FRQSIM",  "FSRBDY",      "FSSR16BDY", "GAUGE",    "GERRBDY", "GISINFO",   "HBDY",
      "HTBDY",   "INTERPOLATE", "JUNCTION",  "LATERAL",  "LDPUMP",  "LOSS",      "MANHOLE",
      "NCBDY",   "NCDBDY",      "NOTWEIR",   "NOZZLE",   "OCPUMP",  "ORIFICE",   "OUTFALL",
      "PIPE",    "POND",        "QHBDY",     "QRATING",  "QTBDY",   "REBDY",     "REFH2BDY",
      "REFHBDY", "REPLICATE",   "RESERVOIR", "RIVER",    "RNWEIR",  "SCSBDY",    "SCWEIR",
      "SLUICE",  "SPILL",       "SYPHON",    "TIDAL",    "TIDBDY",  "VARIABLES", "WEIR"};
  std::string upper(label);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return kKeywords.count(upper) > 0;
}

// Labels from the section names, cut to the label width and kept unique; a
// label that is a unit's keyword gets a "_" after it, with a note.
std::vector<std::string> Labels(const Survey& survey, std::vector<std::string>& notes) {
  std::vector<std::string> labels;
  std::set<std::string> taken;
  for (const SurveyReach& reach : survey.reaches) {
    for (const CrossSection& x : reach.sections) {
      std::string base = OneLine(x.name.empty() ? x.number : x.name);
      base.erase(std::remove(base.begin(), base.end(), ' '), base.end());
      if (base.empty()) base = "XS";
      const std::string keyword = base.substr(0, kLabelWidth);
      const bool unsafe = IsUnitKeyword(keyword);
      if (unsafe) base = base.substr(0, kLabelWidth - 1) + "_";
      std::string label = base.substr(0, kLabelWidth);
      for (int n = 2; !taken.insert(label).second || IsUnitKeyword(label); ++n) {
        const std::string tail = "~" + std::to_string(n);
        label = base.substr(0, kLabelWidth - tail.size()) + tail;
      }
      if (unsafe) {
        notes.push_back("section " + x.number + ": its label " + keyword +
                        " is a Flood Modeller unit keyword; written as " + label);
      }
      labels.push_back(label);
    }
  }
  return labels;
}

Written WriteFloodModeller(const Survey& survey, const FormatOptions& options) {
  Written out;
  Lines lines(true);
  const std::vector<std::string> labels = Labels(survey, out.notes);
  lines << OneLine(options.title);
  lines << "#REVISION#1";
  lines << PadLeft(std::to_string(labels.size()), 10) + "     0.750     0.900     0.100     0.001" +
               PadLeft(std::to_string(kLabelWidth), 10) + (options.metric ? "SI" : "US");
  lines << "    10.000     0.010     0.010     0.700     0.100     0.700     0.000";
  lines << "RAD FILE";
  lines << "";
  lines << "END GENERAL";
  size_t k = 0;
  for (const SurveyReach& reach : survey.reaches) {
    for (const CrossSection& x : reach.sections) {
      const std::string& label = labels[k++];
      lines << "RIVER";
      lines << "SECTION";
      lines << label;
      lines << Field(x.reach_lengths[1], 10, 3, "section " + x.number + ": distance") +
                   std::string(10, ' ') + "  0.000100  1000.000";
      lines << PadLeft(std::to_string(x.points.size()), 10);
      for (const SurveyPoint& p : x.points) {
        const std::string what = "section " + x.number + ":";
        std::string marker;
        if (p.markers & kLeftBank) marker = "LEFT";
        if (p.markers & kRightBank) marker = "RIGHT";
        if (marker.empty() && (p.markers & kLowest)) marker = "BED";
        lines << Field(p.station, 10, 3, what + " offset") +
                     Field(p.elevation, 10, 3, what + " level") +
                     Field(options.manning, 10, 3, "Manning's n") + " " +
                     Field(1.0, 9, 3, "path length") + PadLeft(marker, 10) +
                     Field(p.at[0], 10, 3, what + " easting") +
                     Field(p.at[1], 10, 3, what + " northing") + std::string(10, ' ') +
                     PadLeft("0", 10);
      }
    }
  }
  lines << "INITIAL CONDITIONS";
  lines << " label   ?      flow     stage froude no  velocity     umode    ustate         z";
  for (const std::string& label : labels) {
    std::string line = PadRight(label, kLabelWidth) + " y";
    for (int i = 0; i < 7; ++i) line += "     0.000";
    lines << line;
  }
  out.text = lines.Take();
  return out;
}

// ---------------------------------------------------------------------------

std::string Mike11Marker(uint8_t markers) {
  int bits = 0;
  if (markers & kLeftBank) bits |= 1;
  if (markers & kLowest) bits |= 2;
  if (markers & kRightBank) bits |= 4;
  return "<#" + std::to_string(bits) + ">";
}

Written WriteMike11(const Survey& survey, const FormatOptions& options) {
  Lines lines(true);
  const std::string n = Fixed(options.manning, 3);
  for (const SurveyReach& reach : survey.reaches) {
    for (const CrossSection& x : reach.sections) {
      std::string topo = options.topo_id;
      // The water date's year, as surveys are named; without one a word,
      // where a single character is a line some readers skip.
      if (topo.empty()) topo = x.water_date.size() >= 4 ? x.water_date.substr(0, 4) : "SURVEY";
      // MIKE 11 counts chainage downstream.
      const double chainage = reach.length - RiverStation(survey, reach, x.chainage);
      lines << OneLine(topo);
      lines << OneLine(options.river);
      lines << PadLeft(Fixed(chainage, 3), 19);
      lines << "COORDINATES";
      lines << "    2  " + Fixed(x.cut.front()[0], 3) + "  " + Fixed(x.cut.front()[1], 3) + "  " +
                   Fixed(x.cut.back()[0], 3) + "  " + Fixed(x.cut.back()[1], 3);
      lines << "FLOW DIRECTION"
            << "    0";
      lines << "PROTECT DATA"
            << "    0";
      lines << "DATUM"
            << "    0.00";
      lines << "RADIUS TYPE"
            << "    0";
      lines << "DIVIDE X-Section"
            << "0";
      lines << "SECTION ID"
            << "    " + OneLine(x.name.empty() ? x.number : x.name);
      lines << "INTERPOLATED"
            << "    0";
      lines << "ANGLE"
            << "    0.00   0";
      lines << "RESISTANCE NUMBERS";
      lines << "   2  1     " + n + "     " + n + "     " + n + "    " + n + "    " + n;
      lines << "PROFILE        " + std::to_string(x.points.size());
      for (const SurveyPoint& p : x.points) {
        lines << "    " + Fixed(p.station, 3) + "    " + Fixed(p.elevation, 3) + "     " + n +
                     "     " + Mike11Marker(p.markers) + "     0     0.000     0";
      }
      lines << "LEVEL PARAMS";
      lines << "   0  0    0.000  0    0.000  20";
      lines << "*******************************";
    }
  }
  return {lines.Take(), {}};
}

// Two sections of a reach at one chainage (to the millimetre) are one place
// in a model: every format refuses them, naming both.
void RefuseSharedChainages(const Survey& survey) {
  for (const SurveyReach& reach : survey.reaches) {
    std::vector<const CrossSection*> sections;
    for (const CrossSection& x : reach.sections) sections.push_back(&x);
    std::stable_sort(sections.begin(), sections.end(),
                     [](const auto* a, const auto* b) { return a->chainage < b->chainage; });
    for (size_t i = 1; i < sections.size(); ++i) {
      const CrossSection& a = *sections[i - 1];
      const CrossSection& b = *sections[i];
      if (Fixed(a.chainage, 3) == Fixed(b.chainage, 3)) {
        throw FormatError("reach " + reach.number + ": sections " + a.number + " and " + b.number +
                          " are both at chainage " + Fixed(a.chainage, 3));
      }
    }
  }
}

}  // namespace

std::optional<Format> FormatNamed(std::string_view name) {
  if (name == "csv") return Format::kCsv;
  if (name == "hecras") return Format::kHecRas;
  if (name == "floodmodeller") return Format::kFloodModeller;
  if (name == "mike11") return Format::kMike11;
  return std::nullopt;
}

std::optional<Format> FormatOfPath(std::string_view path) {
  auto ends = [&](std::string_view suffix) {
    if (path.size() < suffix.size()) return false;
    std::string tail(path.substr(path.size() - suffix.size()));
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == suffix;
  };
  if (ends(".csv")) return Format::kCsv;
  if (ends(".sdf")) return Format::kHecRas;
  if (ends(".dat")) return Format::kFloodModeller;
  if (ends(".txt")) return Format::kMike11;
  return std::nullopt;
}

const char* FormatName(Format format) {
  switch (format) {
    case Format::kCsv:
      return "csv";
    case Format::kHecRas:
      return "hecras";
    case Format::kFloodModeller:
      return "floodmodeller";
    case Format::kMike11:
      return "mike11";
  }
  return "";
}

Written Write(Format format, const Survey& survey, const FormatOptions& options) {
  RefuseSharedChainages(survey);
  switch (format) {
    case Format::kCsv:
      return WriteCsv(survey);
    case Format::kHecRas:
      return WriteHecRas(survey, options);
    case Format::kFloodModeller:
      return WriteFloodModeller(survey, options);
    case Format::kMike11:
      return WriteMike11(survey, options);
  }
  return {};
}

std::optional<std::string> StationText(double station, size_t width) {
  for (int decimals = 3; decimals >= 0; --decimals) {
    std::string text = host::FormatFixedWithPoint(station, decimals);
    if (text.size() <= width) return text;
  }
  return std::nullopt;
}

size_t Thin(std::vector<SurveyPoint>& points, size_t most) {
  const size_t n = points.size();
  if (n <= most) return 0;
  // The points left as a chain; each point that may go is ranked by the
  // area of the triangle with its neighbours, least first.
  std::vector<size_t> before(n), after(n);
  for (size_t i = 0; i < n; ++i) before[i] = i - 1, after[i] = i + 1;
  auto area = [&](size_t i) {
    const SurveyPoint& a = points[before[i]];
    const SurveyPoint& b = points[i];
    const SurveyPoint& c = points[after[i]];
    return std::fabs((b.station - a.station) * (c.elevation - a.elevation) -
                     (c.station - a.station) * (b.elevation - a.elevation)) /
           2;
  };
  auto removable = [&](size_t i) { return i > 0 && i + 1 < n && points[i].markers == 0; };
  std::set<std::pair<double, size_t>> queue;
  std::vector<double> rank(n, 0);
  for (size_t i = 1; i + 1 < n; ++i) {
    if (removable(i)) queue.insert({rank[i] = area(i), i});
  }
  std::vector<bool> gone(n, false);
  size_t left = n;
  while (left > most && !queue.empty()) {
    const size_t i = queue.begin()->second;
    queue.erase(queue.begin());
    gone[i] = true;
    --left;
    after[before[i]] = after[i];
    before[after[i]] = before[i];
    for (const size_t j : {before[i], after[i]}) {
      if (!removable(j)) continue;
      queue.erase({rank[j], j});
      queue.insert({rank[j] = area(j), j});
    }
  }
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!gone[i]) points[kept++] = std::move(points[i]);
  }
  points.resize(kept);
  return n - kept;
}

}  // namespace palvane::sections
