#include "support/model_readers.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace palvane::testing {
namespace {

using Lines = std::vector<std::string>;

std::string Join(const Lines& lines, const std::string& eol = "\n") {
  std::string text;
  for (const std::string& line : lines) text += line + eol;
  return text;
}

// Copies of `lines` with line `number` (1-based) replaced, removed, or with
// `text` inserted before it.
Lines Replaced(Lines lines, std::size_t number, const std::string& text) {
  lines.at(number - 1) = text;
  return lines;
}
Lines Removed(Lines lines, std::size_t number) {
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(number - 1));
  return lines;
}
Lines Inserted(Lines lines, std::size_t number, const std::string& text) {
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(number - 1), text);
  return lines;
}

// Whether `read` throws std::runtime_error with a message holding `fragment`.
template <typename Read>
::testing::AssertionResult Rejects(Read read, const std::string& text,
                                   const std::string& fragment) {
  try {
    read(text);
  } catch (const std::runtime_error& error) {
    if (std::string(error.what()).find(fragment) != std::string::npos) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "rejected with \"" << error.what() << "\", which lacks \"" << fragment << "\"";
  }
  return ::testing::AssertionFailure() << "accepted:\n" << text;
}

// ---------------------------------------------------------------------------
// CSV

TEST(ReadCsvTest, ReadsQuotedFieldsAndTheLineEnding) {
  const CsvTable table = ReadCsv(
      "name,value\r\n"
      "plain,1\r\n"
      "\"a, b\",\"say \"\"hi\"\"\"\r\n"
      "\"two\nlines\",\r\n");
  EXPECT_TRUE(table.crlf);
  EXPECT_EQ(table.header, (std::vector<std::string>{"name", "value"}));
  ASSERT_EQ(table.rows.size(), 3u);
  EXPECT_EQ(table.rows[0], (std::vector<std::string>{"plain", "1"}));
  EXPECT_EQ(table.rows[1], (std::vector<std::string>{"a, b", "say \"hi\""}));
  EXPECT_EQ(table.rows[2], (std::vector<std::string>{"two\nlines", ""}));

  const CsvTable unterminated = ReadCsv("a,b\n1,2");  // the last line break is optional
  EXPECT_FALSE(unterminated.crlf);
  EXPECT_EQ(unterminated.rows, (std::vector<std::vector<std::string>>{{"1", "2"}}));
}

TEST(ReadCsvTest, RejectsBadQuotesRaggedRowsAndMixedEndings) {
  EXPECT_TRUE(Rejects(ReadCsv, "a,b\n1,x\"y\n", "line 2: a quote inside an unquoted field"));
  EXPECT_TRUE(Rejects(ReadCsv, "a,b\n1,\"open\n", "line 2: a quoted field is not closed"));
  EXPECT_TRUE(Rejects(ReadCsv, "a,b\n\"1\"x,2\n", "line 2: expected a comma"));
  // The quoted line break counts: the short row is on line 4.
  EXPECT_TRUE(Rejects(ReadCsv, "a,b\n\"x\ny\",1\n3\n", "line 4: expected 2 fields, found 1"));
  EXPECT_TRUE(Rejects(ReadCsv, "a,b\n1,2\n\n", "line 3: expected 2 fields, found 1"));
  EXPECT_TRUE(Rejects(ReadCsv, "a,b\r\n1,2\n", "line 2: ends with LF"));
  EXPECT_TRUE(Rejects(ReadCsv, "", "line 1: expected a header row"));
}

// ---------------------------------------------------------------------------
// HEC-RAS

const Lines kHecRas = {
    "BEGIN HEADER:",                               // 1
    "  UNITS: METRIC",                             // 2
    "  NUMBER OF REACHES: 1",                      // 3
    "  NUMBER OF CROSS-SECTIONS: 2",               // 4
    "END HEADER:",                                 // 5
    "BEGIN STREAM NETWORK:",                       // 6
    "  ENDPOINT: 500000.000, 6500100.000, 0, 1",   // 7
    "  ENDPOINT: 500000.000, 6499900.000, 0, 2",   // 8
    "  REACH:",                                    // 9
    "    STREAM ID: Palvane",                      // 10
    "    REACH ID: Main",                          // 11
    "    FROM POINT: 1",                           // 12
    "    TO POINT: 2",                             // 13
    "    CENTERLINE:",                             // 14
    "      500000.000, 6500100.000, NULL, 200.0",  // 15
    "      500000.000, 6499900.000, NULL, 0.0",    // 16
    "  END:",                                      // 17
    "END STREAM NETWORK:",                         // 18
    "BEGIN CROSS-SECTIONS:",                       // 19
    "  CROSS-SECTION:",                            // 20
    "    STREAM ID: Palvane",                      // 21
    "    REACH ID: Main",                          // 22
    "    STATION: 150",                            // 23
    "    CUT LINE:",                               // 24
    "      500020.000, 6500050.000",               // 25
    "      499980.000, 6500050.000",               // 26
    "    BANK POSITIONS: 0.25, 0.75",              // 27
    "    REACH LENGTHS: 100, 100, 100",            // 28
    "    SURFACE LINE:",                           // 29
    "      500020.000, 6500050.000, 12.00",        // 30
    "      500000.000, 6500050.000, 9.80",         // 31
    "      499980.000, 6500050.000, 12.10",        // 32
    "  END:",                                      // 33
    "  CROSS-SECTION:",                            // 34
    "    STREAM ID: Palvane",                      // 35
    "    REACH ID: Main",                          // 36
    "    STATION: 50",                             // 37
    "    REACH LENGTHS: 0, 0, 0",                  // 38
    "    CUT LINE:",                               // 39
    "      500020.000, 6499950.000",               // 40
    "      499980.000, 6499950.000",               // 41
    "    SURFACE LINE:",                           // 42
    "      500020.000, 6499950.000, 11.80",        // 43
    "      500000.000, 6499950.000, 9.60",         // 44
    "      499980.000, 6499950.000, 11.90",        // 45
    "  END:",                                      // 46
    "END CROSS-SECTIONS:",                         // 47
};

TEST(ReadHecRasTest, ReadsTheMinimalExample) {
  const HecRasFile file = ReadHecRas(Join(kHecRas));
  EXPECT_FALSE(file.crlf);
  EXPECT_EQ(file.header, (std::map<std::string, std::string>{{"UNITS", "METRIC"},
                                                             {"NUMBER OF REACHES", "1"},
                                                             {"NUMBER OF CROSS-SECTIONS", "2"}}));
  EXPECT_EQ(file.endpoints, (std::map<int, std::array<double, 3>>{
                                {1, {500000.0, 6500100.0, 0.0}}, {2, {500000.0, 6499900.0, 0.0}}}));

  ASSERT_EQ(file.reaches.size(), 1u);
  const HecRasReach& reach = file.reaches[0];
  EXPECT_EQ(reach.stream_id, "Palvane");
  EXPECT_EQ(reach.reach_id, "Main");
  EXPECT_EQ(reach.from_point, 1);
  EXPECT_EQ(reach.to_point, 2);
  ASSERT_EQ(reach.centerline.size(), 2u);
  EXPECT_DOUBLE_EQ(reach.centerline[0].y, 6500100.0);
  EXPECT_FALSE(reach.centerline[0].z.has_value());
  EXPECT_EQ(reach.centerline[0].station, 200.0);
  EXPECT_EQ(reach.centerline[1].station, 0.0);

  ASSERT_EQ(file.sections.size(), 2u);
  const HecRasSection& first = file.sections[0];
  EXPECT_EQ(first.stream_id, "Palvane");
  EXPECT_EQ(first.reach_id, "Main");
  EXPECT_EQ(first.station_text, "150");
  EXPECT_EQ(first.station, 150.0);
  EXPECT_EQ(first.node_name, "");
  EXPECT_EQ(first.bank_positions, (std::array<double, 2>{0.25, 0.75}));
  EXPECT_EQ(first.reach_lengths, (std::array<double, 3>{100, 100, 100}));
  ASSERT_EQ(first.cut_line.size(), 2u);
  EXPECT_EQ(first.cut_line[1].x, 499980.0);
  EXPECT_FALSE(first.cut_line[1].z.has_value());
  ASSERT_EQ(first.surface_line.size(), 3u);
  EXPECT_EQ(first.surface_line[1].x, 500000.0);
  EXPECT_EQ(first.surface_line[1].y, 6500050.0);
  EXPECT_EQ(first.surface_line[1].z, 9.80);

  const HecRasSection& second = file.sections[1];
  EXPECT_EQ(second.station_text, "50");
  EXPECT_FALSE(second.bank_positions.has_value());
  EXPECT_EQ(second.reach_lengths, (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(second.surface_line[2].z, 11.90);

  EXPECT_TRUE(ReadHecRas(Join(kHecRas, "\r\n")).crlf);
}

TEST(ReadHecRasTest, ToleratesLayoutCommentsNullsAndOptionalKeywords) {
  Lines lines = kHecRas;
  lines = Replaced(lines, 31, "500000.000 , 6500050.000 ,NULL   ");  // no indent, spaces, NULL
  lines = Replaced(lines, 25, "\t\t500020.000,6500050.000");
  // A centre line's Z left out, as HEC-RAS leaves it.
  lines = Replaced(lines, 15, "      500000.000, 6500100.000, , 200.0");
  lines = Replaced(lines, 7, "  ENDPOINT: 500000.000, 6500100.000, , 1");
  lines = Inserted(lines, 24, "\tNODE NAME: PAL_001  ");
  lines = Replaced(lines, 16, "      500000.000, 6499900.000, 3.5");  // no station
  lines = Inserted(lines, 5, "  BEGIN SPATIAL EXTENT:");
  lines = Inserted(lines, 6, "    XMIN: 499980");
  lines = Inserted(lines, 7, "    YMIN: 6499900");
  lines = Inserted(lines, 8, "    XMAX: 500020");
  lines = Inserted(lines, 9, "    YMAX: 6500100");
  lines = Inserted(lines, 10, "  END SPATIAL EXTENT:");
  lines = Inserted(lines, 1, "# RAS export file created by a test");
  lines = Inserted(lines, 2, "");
  lines.push_back("# the end");
  lines.push_back("");

  const HecRasFile file = ReadHecRas(Join(lines, "\r\n"));
  EXPECT_TRUE(file.crlf);
  EXPECT_EQ(file.header.at("XMAX"), "500020");
  EXPECT_EQ(file.reaches[0].centerline[1].z, 3.5);
  EXPECT_FALSE(file.reaches[0].centerline[0].z.has_value());
  EXPECT_TRUE(std::isnan(file.endpoints.at(1)[2]));
  EXPECT_EQ(file.reaches[0].centerline[0].station, 200.0);
  EXPECT_FALSE(file.reaches[0].centerline[1].station.has_value());
  const HecRasSection& first = file.sections[0];
  EXPECT_EQ(first.node_name, "PAL_001");
  EXPECT_EQ(first.cut_line[0].x, 500020.0);
  EXPECT_EQ(first.cut_line[0].y, 6500050.0);
  EXPECT_EQ(first.surface_line[1].x, 500000.0);
  EXPECT_FALSE(first.surface_line[1].z.has_value());
  EXPECT_EQ(first.surface_line[2].z, 12.10);
}

TEST(ReadHecRasTest, RejectsStrayLinesAndBrokenStructure) {
  const auto text = [](const Lines& lines) { return Join(lines); };
  EXPECT_TRUE(Rejects(ReadHecRas, text(Inserted(kHecRas, 24, "    Palvane")),
                      "line 24: expected a cross-section keyword or END:"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Inserted(kHecRas, 24, "    MANNING: 0.035")),
                      "line 24: expected a cross-section keyword or END:"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Inserted(kHecRas, 26, "      # a comment")),
                      "line 26: a comment inside an array"));
  // Without its END: the second section swallows the end of the block.
  EXPECT_TRUE(Rejects(ReadHecRas, text(Removed(kHecRas, 46)),
                      "line 46: expected a cross-section keyword or END:, found 'END CROSS"));
  // The header must come first.
  Lines no_header(kHecRas.begin() + 5, kHecRas.end());
  EXPECT_TRUE(Rejects(ReadHecRas, text(no_header),
                      "line 1: expected BEGIN HEADER:, found 'BEGIN STREAM NETWORK:'"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Inserted(kHecRas, 48, "END:")),
                      "line 48: expected nothing after END CROSS-SECTIONS:"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Inserted(kHecRas, 38, "    STATION: 40")),
                      "line 38: a second STATION:"));
  Lines no_surface = kHecRas;
  no_surface.erase(no_surface.begin() + 41, no_surface.begin() + 45);  // lines 42-45
  EXPECT_TRUE(
      Rejects(ReadHecRas, text(no_surface), "line 42: the cross-section has no SURFACE LINE:"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Removed(kHecRas, 41)),
                      "line 45: the cut line needs at least two points"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Removed(kHecRas, 8)),
                      "line 12: TO POINT: 2 is not the id of an earlier ENDPOINT:"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 36, "    REACH ID: Upper")),
                      "line 46: no reach Palvane / Upper in the stream network"));
}

TEST(ReadHecRasTest, RejectsBadValuesAndCounts) {
  const auto text = [](const Lines& lines) { return Join(lines); };
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 31, "500000.000, 6500050.000, None")),
                      "line 31: expected an elevation or NULL as a number, found 'None'"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 31, "500000.000, 6500050.000, null")),
                      "line 31: expected an elevation or NULL"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 31, "500000.000, 6500050.000")),
                      "line 31: expected a surface-line point X, Y, Z (3 comma-separated values)"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 25, "500020,000, 6500050.000")),
                      "line 25: expected a cut-line point X, Y (2 comma-separated values), "
                      "found 3"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 23, "    STATION: 1.5.0")),
                      "line 23: expected a number after STATION:"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 2, "  UNITS: METERS")),
                      "line 2: expected UNITS: METRIC, ENGLISH or US CUSTOMARY, found 'METERS'"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Removed(kHecRas, 2)), "line 4: the header has no UNITS:"));
  EXPECT_TRUE(Rejects(ReadHecRas,
                      text(Replaced(Replaced(kHecRas, 3, "  NUMBER OF CROSS-SECTIONS: 2"), 4,
                                    "  NUMBER OF REACHES: 1")),
                      "line 4: NUMBER OF REACHES: comes after NUMBER OF CROSS-SECTIONS"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 4, "  NUMBER OF CROSS-SECTIONS: 3")),
                      "line 4: NUMBER OF CROSS-SECTIONS: 3 but the file has 2"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 27, "    BANK POSITIONS: 0.75, 0.25")),
                      "line 27: bank positions must be fractions"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 27, "    BANK POSITIONS: 0.25, 1.5")),
                      "line 27: bank positions must be fractions"));
  // Banks are fractions of a cut line read before them; a zone is -1 or a
  // UTM zone, as strict readers take them.
  EXPECT_TRUE(Rejects(ReadHecRas,
                      text(Inserted(Removed(kHecRas, 27), 24, "    BANK POSITIONS: 0.25, 0.75")),
                      "line 24: BANK POSITIONS: before the CUT LINE:"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Inserted(kHecRas, 2, "  PROJECTION ZONE: 0")),
                      "line 2: expected PROJECTION ZONE: -1 or a zone 1 to 60, found '0'"));
  EXPECT_TRUE(Rejects(ReadHecRas, text(Replaced(kHecRas, 28, "    REACH LENGTHS: 100, 100")),
                      "line 28: expected REACH LENGTHS"));
  EXPECT_TRUE(Rejects(ReadHecRas,
                      text(Replaced(kHecRas, 8, "  ENDPOINT: 500000.000, 6499900.000, 0, 1")),
                      "line 8: a second ENDPOINT: with id 1"));
}

// ---------------------------------------------------------------------------
// MIKE 11

const Lines kMike11 = {
    "1",                                                             // 1
    "PALVANE",                                                       // 2
    "            150.000",                                           // 3
    "COORDINATES",                                                   // 4
    "    2  500020.000  6500050.000  499980.000  6500050.000",       // 5
    "FLOW DIRECTION",                                                // 6
    "    0",                                                         // 7
    "PROTECT DATA",                                                  // 8
    "    0",                                                         // 9
    "DATUM",                                                         // 10
    "    0.00",                                                      // 11
    "RADIUS TYPE",                                                   // 12
    "    0",                                                         // 13
    "DIVIDE X-Section",                                              // 14
    "0",                                                             // 15
    "SECTION ID",                                                    // 16
    "    S1",                                                        // 17
    "INTERPOLATED",                                                  // 18
    "    0",                                                         // 19
    "ANGLE",                                                         // 20
    "    0.00   0",                                                  // 21
    "RESISTANCE NUMBERS",                                            // 22
    "   2  0     1.000     1.000     1.000    1.000    1.000",       // 23
    "PROFILE        3",                                              // 24
    "    0.000    12.000     1.000     <#1>     0     0.000     0",  // 25
    "   20.000     9.800     1.000     <#2>     0     0.000     0",  // 26
    "   40.000    12.100     1.000     <#4>     0     0.000     0",  // 27
    "LEVEL PARAMS",                                                  // 28
    "   0  0    0.000  0    0.000  50",                              // 29
    "*******************************",                               // 30
    "1",                                                             // 31
    "PALVANE",                                                       // 32
    "             50.000",                                           // 33
    "COORDINATES",                                                   // 34
    "    0",                                                         // 35
    "FLOW DIRECTION",                                                // 36
    "    0",                                                         // 37
    "PROTECT DATA",                                                  // 38
    "    0",                                                         // 39
    "DATUM",                                                         // 40
    "    1.50",                                                      // 41
    "CLOSED SECTION",                                                // 42
    "RADIUS TYPE",                                                   // 43
    "    0",                                                         // 44
    "DIVIDE X-Section",                                              // 45
    "0",                                                             // 46
    "SECTION ID",                                                    // 47
    "    S2",                                                        // 48
    "INTERPOLATED",                                                  // 49
    "    0",                                                         // 50
    "ANGLE",                                                         // 51
    "    0.00   0",                                                  // 52
    "RESISTANCE NUMBERS",                                            // 53
    "   2  1     0.035     0.035     0.035    0.035    0.035",       // 54
    "PROFILE        2",                                              // 55
    "    0.000    11.800     0.035     <#0>     0     0.000     0",  // 56
    "   40.000    11.900     0.035     <#0>     0     0.000     0",  // 57
    "LEVEL PARAMS",                                                  // 58
    "   0  0    0.000  0    0.000  20",                              // 59
    "*******************************",                               // 60
};

TEST(ReadMike11Test, ReadsTheExample) {
  const Mike11File file = ReadMike11(Join(kMike11));
  EXPECT_FALSE(file.crlf);
  ASSERT_EQ(file.sections.size(), 2u);
  const Mike11Section& first = file.sections[0];
  EXPECT_EQ(first.topo_id, "1");
  EXPECT_EQ(first.branch, "PALVANE");
  EXPECT_EQ(first.chainage, 150.0);
  EXPECT_EQ(first.coordinates, (std::vector<double>{500020, 6500050, 499980, 6500050}));
  EXPECT_FALSE(first.closed);
  EXPECT_EQ(first.section_id, "S1");
  EXPECT_EQ(first.resistance_flag, 2);
  EXPECT_EQ(first.resistance_type, 0);
  EXPECT_EQ(first.processed_levels, 50);
  ASSERT_EQ(first.profile.size(), 3u);
  EXPECT_EQ(first.profile[1].x, 20.0);
  EXPECT_EQ(first.profile[1].z, 9.8);
  EXPECT_EQ(first.profile[1].resistance, 1.0);
  EXPECT_EQ(first.profile[0].marker, 1);
  EXPECT_EQ(first.profile[1].marker, 2);
  EXPECT_EQ(first.profile[2].marker, 4);

  const Mike11Section& second = file.sections[1];
  EXPECT_EQ(second.chainage, 50.0);
  EXPECT_TRUE(second.coordinates.empty());
  EXPECT_EQ(second.datum, 1.5);
  EXPECT_TRUE(second.closed);
  EXPECT_EQ(second.section_id, "S2");
  EXPECT_EQ(second.resistance_type, 1);
  EXPECT_EQ(second.resistance_values[4], 0.035);
  ASSERT_EQ(second.profile.size(), 2u);
  EXPECT_EQ(second.profile[1].marker, 0);

  EXPECT_TRUE(ReadMike11(Join(kMike11, "\r\n")).crlf);
}

TEST(ReadMike11Test, RejectsCountsMarkersOrderAndStrayLines) {
  const auto text = [](const Lines& lines) { return Join(lines); };
  EXPECT_TRUE(Rejects(ReadMike11, text(Replaced(kMike11, 24, "PROFILE        4")),
                      "line 24: PROFILE says 4 points but 3 rows follow"));
  EXPECT_TRUE(Rejects(ReadMike11, text(Removed(kMike11, 57)),
                      "line 55: PROFILE says 2 points but 1 rows follow"));
  EXPECT_TRUE(Rejects(ReadMike11, text(Replaced(kMike11, 5, "    1  500020.000  6500050.000")),
                      "line 5: expected 0 or 2 coordinate points, found 1"));
  EXPECT_TRUE(Rejects(ReadMike11, text(Replaced(kMike11, 35, "    0  500020.000  6500050.000")),
                      "line 35: 0 coordinate points need 0 numbers, found 2"));
  EXPECT_TRUE(Rejects(
      ReadMike11,
      text(Replaced(kMike11, 26, "   20.000     9.800     1.000     <#x>     0     0.000     0")),
      "line 26: expected a marker <#n>"));
  EXPECT_TRUE(
      Rejects(ReadMike11,
              text(Replaced(kMike11, 26, "   20.000     9.800     1.000     0     0.000     0")),
              "line 26: expected a profile row"));
  EXPECT_TRUE(Rejects(
      ReadMike11,
      text(Replaced(kMike11, 26, "   20.000     9,800     1.000     <#2>     0     0.000     0")),
      "line 26: expected z as a number, found '9,800'"));
  EXPECT_TRUE(Rejects(
      ReadMike11,
      text(Replaced(kMike11, 23, "   2  7     1.000     1.000     1.000    1.000    1.000")),
      "line 23: expected a resistance type from 0 to 4"));
  // Blocks in their order only; a stray value line is not skipped.
  EXPECT_TRUE(Rejects(ReadMike11, text(Inserted(kMike11, 8, "    0")),
                      "line 8: expected PROTECT DATA, found '    0'"));
  EXPECT_TRUE(Rejects(ReadMike11, text(Removed(kMike11, 6)),
                      "line 6: expected FLOW DIRECTION, found '    0'"));
  // Every section ends with asterisks, and nothing follows the last one.
  EXPECT_TRUE(Rejects(ReadMike11, text(Removed(kMike11, 60)),
                      "line 60: expected a line of asterisks, found the end of the file"));
  EXPECT_TRUE(Rejects(ReadMike11, text(Replaced(kMike11, 30, "*****-****")),
                      "line 30: expected a line of asterisks"));
  EXPECT_TRUE(Rejects(ReadMike11, Join(kMike11) + "\n", "line 61: expected a topo ID"));
}

// ---------------------------------------------------------------------------
// Flood Modeller

const std::string kRow1 =
    "     0.000    12.000     0.035     1.000      LEFT     0.000     0.000                   0";
const std::string kRow2 =
    "     5.000    10.500     0.035     1.000       BED     0.000     0.000                   0";
const std::string kRow3 =
    "    10.000    12.200     0.035     1.000     RIGHT     0.000     0.000                   0";
const std::string kNoConditions =
    "     0.000     0.000     0.000     0.000     0.000     0.000     0.000";

const Lines kFloodModeller = {
    "",                                                                                  // 1
    "#REVISION#1",                                                                       // 2
    "         2     0.750     0.900     0.100     0.001        12SI",                    // 3
    "    10.000     0.010     0.010     0.700     0.100     0.700     0.000",            // 4
    "RAD FILE",                                                                          // 5
    "",                                                                                  // 6
    "END GENERAL",                                                                       // 7
    "RIVER",                                                                             // 8
    "SECTION",                                                                           // 9
    "PAL_001",                                                                           // 10
    "   100.000            0.000100  1000.000",                                          // 11
    "         3",                                                                        // 12
    kRow1,                                                                               // 13
    kRow2,                                                                               // 14
    kRow3,                                                                               // 15
    "RIVER",                                                                             // 16
    "SECTION",                                                                           // 17
    "PAL_002",                                                                           // 18
    "     0.000            0.000100  1000.000",                                          // 19
    "         3",                                                                        // 20
    kRow1,                                                                               // 21
    kRow2,                                                                               // 22
    kRow3,                                                                               // 23
    "INITIAL CONDITIONS",                                                                // 24
    " label   ?      flow     stage froude no  velocity     umode    ustate         z",  // 25
    "PAL_001      y" + kNoConditions,                                                    // 26
    "PAL_002      y" + kNoConditions,                                                    // 27
};

TEST(ReadFloodModellerTest, ReadsTheExample) {
  const FloodModellerFile file = ReadFloodModeller(Join(kFloodModeller));
  EXPECT_FALSE(file.crlf);
  EXPECT_EQ(file.title, "");
  EXPECT_EQ(file.label_width, 12);
  EXPECT_EQ(file.node_count, 2);
  EXPECT_EQ(file.units, "SI");
  ASSERT_EQ(file.sections.size(), 2u);
  const FloodModellerSection& first = file.sections[0];
  EXPECT_EQ(first.label, "PAL_001");
  EXPECT_EQ(first.comment, "");
  EXPECT_EQ(first.other_labels, std::vector<std::string>(6, ""));
  EXPECT_EQ(first.distance_to_next, 100.0);
  EXPECT_EQ(first.slope, 0.0001);
  EXPECT_EQ(first.density, 1000.0);
  ASSERT_EQ(first.rows.size(), 3u);
  const FloodModellerRow& bed = first.rows[1];
  EXPECT_EQ(bed.offset, 5.0);
  EXPECT_EQ(bed.level, 10.5);
  EXPECT_EQ(bed.manning, 0.035);
  EXPECT_FALSE(bed.panel);
  EXPECT_EQ(bed.path_length, 1.0);
  EXPECT_EQ(bed.marker, "BED");
  EXPECT_EQ(bed.deactivation, "");
  EXPECT_EQ(bed.special, 0.0);
  EXPECT_EQ(first.rows[0].marker, "LEFT");
  EXPECT_EQ(first.rows[2].marker, "RIGHT");
  EXPECT_EQ(first.rows[2].level, 12.2);
  EXPECT_EQ(file.sections[1].label, "PAL_002");
  EXPECT_EQ(file.sections[1].distance_to_next, 0.0);
  EXPECT_EQ(file.initial_condition_labels, (std::vector<std::string>{"PAL_001", "PAL_002"}));

  EXPECT_TRUE(ReadFloodModeller(Join(kFloodModeller, "\r\n")).crlf);
}

TEST(ReadFloodModellerTest, ReadsPanelsCoordinatesCommentsAndEightCharacterLabels) {
  Lines lines = Removed(kFloodModeller, 2);  // no #REVISION#1: labels are 8 wide
  lines = Replaced(lines, 1, "Palvane test river");
  lines = Replaced(lines, 2, "         2     0.750     0.900     0.100     0.001         8SI");
  lines = Replaced(lines, 7, "RIVER Upper reach");
  lines = Replaced(lines, 9, "PAL_001 SPILL_A");
  // Fields that fill their ten columns, a panel marker, a blank special field.
  lines =
      Replaced(lines, 13, "     5.000    10.500     0.035*    2.500       BED500000.0006500050.00");
  lines = Replaced(lines, 25, "PAL_001  y" + kNoConditions);
  lines = Replaced(lines, 26, "PAL_002  y" + kNoConditions);
  lines.push_back("");
  lines.push_back("   ");

  const FloodModellerFile file = ReadFloodModeller(Join(lines));
  EXPECT_EQ(file.title, "Palvane test river");
  EXPECT_EQ(file.label_width, 8);
  const FloodModellerSection& first = file.sections[0];
  EXPECT_EQ(first.comment, "Upper reach");
  EXPECT_EQ(first.label, "PAL_001");
  EXPECT_EQ(first.other_labels[0], "SPILL_A");
  const FloodModellerRow& row = first.rows[1];
  EXPECT_TRUE(row.panel);
  EXPECT_EQ(row.path_length, 2.5);
  EXPECT_EQ(row.marker, "BED");
  EXPECT_EQ(row.easting, 500000.0);
  EXPECT_EQ(row.northing, 6500050.0);
  EXPECT_FALSE(row.special.has_value());
  EXPECT_FALSE(first.rows[0].panel);
}

TEST(ReadFloodModellerTest, RejectsBrokenFieldsAndCounts) {
  const auto text = [](const Lines& lines) { return Join(lines); };
  // A value shifted one column left no longer ends its field.
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Replaced(kFloodModeller, 14, kRow2.substr(1))),
                      "line 14: expected the offset of row 2 of 3 right-aligned in columns 1-10"));
  EXPECT_TRUE(Rejects(ReadFloodModeller,
                      text(Replaced(kFloodModeller, 14,
                                    "     5.000    10.500     0.035     1.000     BED       0.000"
                                    "     0.000                   0")),
                      "line 14: expected blanks, LEFT, BED or RIGHT of row 2 of 3 right-aligned"));
  EXPECT_TRUE(Rejects(ReadFloodModeller,
                      text(Replaced(kFloodModeller, 14,
                                    "     5.000    10.500     0.035     x.000       BED     0.000"
                                    "     0.000                   0")),
                      "line 14: expected the path length of row 2 of 3"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Replaced(kFloodModeller, 14, kRow2 + "         1")),
                      "line 14: expected the fields of row 2 of 3, found text past column 90"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Replaced(kFloodModeller, 12, "         4")),
                      "line 16: expected the offset of row 4 of 4"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Replaced(kFloodModeller, 12, "         2")),
                      "line 15: expected RIVER or INITIAL CONDITIONS"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Replaced(kFloodModeller, 12, "        3")),
                      "line 12: expected the number of rows as an integer right-aligned"));
  EXPECT_TRUE(
      Rejects(ReadFloodModeller,
              text(Replaced(kFloodModeller, 3,
                            "         3     0.750     0.900     0.100     0.001        12SI")),
              "line 3: the file says 3 nodes but has 2 RIVER units"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Removed(kFloodModeller, 2)),
                      "line 2: the label width is 12 but without #REVISION#1 it is 8"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Replaced(kFloodModeller, 18, "")),
                      "line 18: expected a node label"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Removed(kFloodModeller, 7)),
                      "line 7: expected END GENERAL, found 'RIVER'"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Replaced(kFloodModeller, 16, "JUNCTION")),
                      "line 16: expected RIVER or INITIAL CONDITIONS, found 'JUNCTION'"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(Replaced(kFloodModeller, 13, "\t" + kRow1.substr(1))),
                      "line 13: a tab"));
}

TEST(ReadFloodModellerTest, RejectsInitialConditionsThatDoNotMatchTheUnits) {
  const auto text = [](const Lines& lines) { return Join(lines); };
  Lines swapped = kFloodModeller;
  std::swap(swapped[25], swapped[26]);
  EXPECT_TRUE(
      Rejects(ReadFloodModeller, text(swapped),
              "line 26: expected the initial conditions of PAL_001, found those of 'PAL_002'"));
  EXPECT_TRUE(
      Rejects(ReadFloodModeller, text(Removed(kFloodModeller, 27)),
              "line 27: expected the initial conditions of PAL_002, found the end of the file"));
  EXPECT_TRUE(Rejects(ReadFloodModeller,
                      text(Replaced(kFloodModeller, 27, "PAL_002     y " + kNoConditions)),
                      "line 27: expected ' y' in columns 13-14"));
  EXPECT_TRUE(
      Rejects(ReadFloodModeller,
              text(Replaced(kFloodModeller, 27, "PAL_002      y" + kNoConditions + "     0.000")),
              "line 27: expected the initial conditions of PAL_002, found text past column 84"));
  Lines extra = kFloodModeller;
  extra.push_back("");
  extra.push_back("GISINFO");
  EXPECT_TRUE(Rejects(ReadFloodModeller, text(extra),
                      "line 29: expected nothing but blank lines after the initial conditions"));
}

// ---------------------------------------------------------------------------
// Line endings, common to the line-based readers

TEST(ModelReadersTest, RejectMixedLineEndings) {
  const std::string hec_ras = Join(Lines(kHecRas.begin(), kHecRas.begin() + 3), "\r\n") +
                              Join(Lines(kHecRas.begin() + 3, kHecRas.end()));
  EXPECT_TRUE(
      Rejects(ReadHecRas, hec_ras, "line 4: ends with LF but the lines before end with CRLF"));
  const std::string mike = Join(Lines(kMike11.begin(), kMike11.begin() + 10)) +
                           Join(Lines(kMike11.begin() + 10, kMike11.end()), "\r\n");
  EXPECT_TRUE(
      Rejects(ReadMike11, mike, "line 11: ends with CRLF but the lines before end with LF"));
  EXPECT_TRUE(Rejects(ReadFloodModeller, Join(kFloodModeller) + "\r",
                      "line 28: a carriage return that does not end the line"));
}

}  // namespace
}  // namespace palvane::testing
