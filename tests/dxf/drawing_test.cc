#include "dxf/drawing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "dxf/file_data.h"
#include "dxf/file_io.h"
#include "dxf/tags.h"
#include "dxf/template.h"
#include "dxf/values.h"
#include "platform/files.h"
#include "support/dxf_compare.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

using host::Variant;
using host::memory::MemDocument;

std::shared_ptr<MemDocument> NewDrawing(host::memory::MemApplication& app) {
  auto doc = app.NewDetachedDocument("New.dwg");
  dxf::ApplyTemplate(*doc);
  app.Open(doc);
  return doc;
}

TEST(DxfTemplateTest, TemplateRoundTripsUnchanged) {
  auto app = host::memory::NewMemApplication();
  auto doc = NewDrawing(*app);
  EXPECT_EQ(dxf::VersionOf(*doc), "AC1027");
  EXPECT_EQ(FirstDifference(dxf::TemplateDrawing(), dxf::WriteDrawing(*doc)), "");
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// Every drawing Debian's LibreCAD package installs, written by another
// program, is read, saved and compared tag by tag.
TEST(DxfRoundTripTest, LibreCadDrawingsComeBackUnchanged) {
  const std::filesystem::path root = "/usr/share/librecad";
  if (!std::filesystem::exists(root)) GTEST_SKIP() << "librecad is not installed";
  int files = 0;
  std::vector<std::string> failures;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".dxf") continue;
    ++files;
    auto app = host::memory::NewMemApplication();
    const std::string bytes = dxf::ReadFileBytes(entry.path().string());
    try {
      auto doc = ReadMem(*app, bytes, "x.dxf");
      const std::string written = dxf::WriteDrawing(*doc);
      std::string diff = FirstDifference(bytes, written);
      if (diff.empty()) {
        auto again = ReadMem(*app, written, "y.dxf");
        diff = FirstDifference(written, dxf::WriteDrawing(*again));
      }
      if (!diff.empty()) failures.push_back(entry.path().string() + ": " + diff);
    } catch (const std::exception& e) {
      failures.push_back(entry.path().string() + ": " + e.what());
    }
  }
  EXPECT_GT(files, 1000);
  EXPECT_TRUE(failures.empty()) << failures.size() << " of " << files
                                << " failed, first: " << failures.front();
  for (const auto& f : failures) ADD_FAILURE() << f;
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// A drawing with every entity kind the host models and extended data of
// every group code, made through the host interface.
std::shared_ptr<MemDocument> RichDrawing(host::memory::MemApplication& app) {
  auto doc = NewDrawing(app);
  Ref<host::Document> d(doc);
  const auto line = AddPolyline(d, "Straße_Profile", {0, 0, 10, 0, 10, 5, 0, 5}, {0, 0.5, -1});
  line->SetClosed(true);
  line->SetWidth(1, 0.25, 0.75);
  line->SetElevation(2.5);
  line->SetNormal({0, 0, -1});
  line->SetColor(3);
  line->SetXData(
      {1001, 1000, 1002, 1003, 1004, 1005, 1010, 1011, 1012, 1013, 1040, 1041, 1042, 1070, 1071,
       1002},
      {Variant("TEV"), Variant("Zürich 水路"), Variant("{"), Variant("0"), Variant("0A0BFF"),
       Variant("1F"), Variant::Point(1, 2, 3), Variant::Point(0.1, 0.2, 0.3),
       Variant::Point(-1, -2, -3), Variant::Point(1e-300, 1e300, 0), Variant(1.0 / 3), Variant(2.5),
       Variant(0.75), Variant(int16_t{-32768}), Variant(int32_t{2147483647}), Variant("}")});
  AddPoint(d, "水路_SectionCenter", {1, 2, 3});
  d->Layers()->Add("Notes");
  auto text = d->ModelSpace()->AddMText({5, 6, 0}, 0, "Première ligne\\PSecond line");
  text->SetLayer("Notes");
  text->SetHeight(1.25);
  const auto block = d->Blocks()->Add({1, 1, 0}, "XS12");
  block->AddLightWeightPolyline({1, 1, 4, 5});
  block->AddAttribute(1.5, 0, "Enter Easting", {4, 3, 0}, "Easting", "1.000");
  d->ModelSpace()->InsertBlock({10, 10, 0}, "XS12", 1, 1, 1, 0.5);
  return doc;
}

TEST(DxfRoundTripTest, ProjectDrawingsComeBackAsWritten) {
  auto app = host::memory::NewMemApplication();
  auto doc = RichDrawing(*app);
  const std::string ascii = dxf::WriteDrawing(*doc);
  auto back = ReadMem(*app, ascii, "back.dxf");
  EXPECT_EQ(FirstDifference(ascii, dxf::WriteDrawing(*back)), "");

  // The model reads back as it was made.
  const auto lines = EntitiesOf<host::memory::MemLWPolyline>(*back->model_space());
  ASSERT_EQ(lines.size(), 1u);
  const auto original = EntitiesOf<host::memory::MemLWPolyline>(*doc->model_space());
  EXPECT_EQ(lines[0]->fields().vertices.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(lines[0]->fields().vertices[i].x, original[0]->fields().vertices[i].x);
    EXPECT_EQ(lines[0]->fields().vertices[i].bulge, original[0]->fields().vertices[i].bulge);
    EXPECT_EQ(lines[0]->fields().vertices[i].end_width,
              original[0]->fields().vertices[i].end_width);
  }
  EXPECT_TRUE(lines[0]->fields().closed);
  EXPECT_EQ(lines[0]->fields().elevation, 2.5);
  EXPECT_EQ(lines[0]->fields().normal, (Point3{0, 0, -1}));
  EXPECT_EQ(lines[0]->color(), 3);
  EXPECT_EQ(lines[0]->layer()->name(), "Straße_Profile");
  EXPECT_EQ(lines[0]->GetXData("").values, original[0]->GetXData("").values);
  EXPECT_EQ(lines[0]->GetXData("").codes, original[0]->GetXData("").codes);
  const auto texts = EntitiesOf<host::memory::MemMText>(*back->model_space());
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0]->fields().text, "Première ligne\\PSecond line");
  EXPECT_EQ(texts[0]->fields().height, 1.25);
  const auto refs = EntitiesOf<host::memory::MemBlockReference>(*back->model_space());
  ASSERT_EQ(refs.size(), 1u);
  ASSERT_EQ(refs[0]->attributes.size(), 1u);
  EXPECT_EQ(refs[0]->attributes[0]->fields().value, "1.000");
  EXPECT_DOUBLE_EQ(refs[0]->fields().rotation, 0.5);
  EXPECT_NE(back->FindLayer("水路_SectionCenter"), nullptr);
  EXPECT_NE(back->FindBlock("XS12"), nullptr);
  EXPECT_EQ(back->registered_apps(), (std::vector<std::string>{"ACAD", "TEV"}));

  // Binary and back to ASCII give the same tags.
  const std::string binary = dxf::WriteDrawing(*doc, true);
  EXPECT_EQ(binary.substr(0, dxf::kBinarySentinel.size()), dxf::kBinarySentinel);
  auto from_binary = ReadMem(*app, binary, "b.dxf");
  EXPECT_EQ(FirstDifference(ascii, dxf::WriteDrawing(*from_binary, false)), "");
  EXPECT_EQ(FirstDifference(binary, dxf::WriteDrawing(*from_binary)), "");
}

TEST(DxfRoundTripTest, ChangedEntitiesAreWrittenFromTheModel) {
  auto app = host::memory::NewMemApplication();
  auto doc = RichDrawing(*app);
  auto back = ReadMem(*app, dxf::WriteDrawing(*doc), "back.dxf");
  auto* line = EntitiesOf<host::memory::MemLWPolyline>(*back->model_space())[0];
  line->Move({0, 0, 0}, {1, 0, 0});  // normal (0,0,-1): OCS X runs the other way
  line->SetWidth(0, 2, 2);
  back->FindLayer("Notes")->SetName("Remarks");
  back->FindLayer("Notes") == nullptr ? void() : ADD_FAILURE();
  auto again = ReadMem(*app, dxf::WriteDrawing(*back), "again.dxf");
  auto* moved = EntitiesOf<host::memory::MemLWPolyline>(*again->model_space())[0];
  EXPECT_EQ(moved->fields().vertices[0].x, -1);
  EXPECT_EQ(moved->fields().vertices[0].start_width, 2);
  EXPECT_EQ(moved->fields().vertices[1].end_width, 0.75);
  EXPECT_EQ(EntitiesOf<host::memory::MemMText>(*again->model_space())[0]->layer()->name(),
            "Remarks");
  EXPECT_EQ(again->FindLayer("Notes"), nullptr);
}

// An entity moved onto another layer, and nothing else, is written on it.
TEST(DxfRoundTripTest, AnEntityMovedOntoAnotherLayerStaysThere) {
  auto app = host::memory::NewMemApplication();
  auto doc = RichDrawing(*app);
  auto back = ReadMem(*app, dxf::WriteDrawing(*doc), "back.dxf");
  back->Layers()->Add("Moved");
  auto* text = EntitiesOf<host::memory::MemMText>(*back->model_space())[0];
  text->SetLayer("Moved");
  auto again = ReadMem(*app, dxf::WriteDrawing(*back), "again.dxf");
  EXPECT_EQ(EntitiesOf<host::memory::MemMText>(*again->model_space())[0]->layer()->name(), "Moved");
}

// What the file holds is read when first used: the fields of an entity's
// kind on the first access, extended data for each question without being
// kept, and untouched objects go back byte for byte.
TEST(DxfLazyReadTest, EntitiesAndExtendedDataAreReadOnFirstUse) {
  auto app = host::memory::NewMemApplication();
  auto doc = RichDrawing(*app);
  const std::string bytes = dxf::WriteDrawing(*doc);
  auto back = ReadMem(*app, bytes, "back.dxf");
  auto* line = EntitiesOf<host::memory::MemLWPolyline>(*back->model_space())[0];
  auto* text = EntitiesOf<host::memory::MemMText>(*back->model_space())[0];
  EXPECT_FALSE(line->loaded());
  EXPECT_FALSE(text->loaded());
  EXPECT_TRUE(line->xdata_unread());
  EXPECT_EQ(back->registered_apps(), doc->registered_apps());  // named by unread data

  const auto original = EntitiesOf<host::memory::MemLWPolyline>(*doc->model_space())[0];
  EXPECT_EQ(line->GetXData("TEV").values, original->GetXData("TEV").values);
  EXPECT_TRUE(line->xdata_unread());  // answered, not kept
  EXPECT_FALSE(line->loaded());
  EXPECT_EQ(FirstDifference(bytes, dxf::WriteDrawing(*back)), "");

  EXPECT_EQ(line->Length(), original->Length());
  EXPECT_TRUE(line->loaded());
  EXPECT_EQ(text->TextString(), "Première ligne\\PSecond line");
  EXPECT_EQ(FirstDifference(bytes, dxf::WriteDrawing(*back)), "");  // read, not changed

  // A change reads the data first and keeps it; the rest is kept as read.
  line->SetXData({1001, 1000}, {Variant("OTHER"), Variant("new")});
  EXPECT_FALSE(line->xdata_unread());
  auto again = ReadMem(*app, dxf::WriteDrawing(*back), "again.dxf");
  auto* kept = EntitiesOf<host::memory::MemLWPolyline>(*again->model_space())[0];
  EXPECT_EQ(kept->GetXData("TEV").values, original->GetXData("TEV").values);
  EXPECT_EQ(kept->GetXData("other").values,
            (std::vector<Variant>{Variant("OTHER"), Variant("new")}));
  EXPECT_EQ(kept->GetXData("").codes.size(), original->GetXData("TEV").codes.size() + 2);

  // Purging finds the applications named in unread data, without keeping it.
  again->PurgeAll();
  const auto& apps = again->registered_apps();
  EXPECT_NE(std::find(apps.begin(), apps.end(), "OTHER"), apps.end());
  EXPECT_NE(std::find(apps.begin(), apps.end(), "TEV"), apps.end());
  EXPECT_TRUE(kept->xdata_unread());
}

// Extended data reads the same every time, whatever form the file's lines
// have, and the drawing goes back byte for byte.
TEST(DxfLazyReadTest, ExtendedDataReadsTheSameAgainWhateverTheLineForm) {
  auto app = host::memory::NewMemApplication();
  const std::string bytes = dxf::WriteDrawing(*RichDrawing(*app));
  std::string spaced = bytes;  // a code line that another writer padded
  const size_t at = spaced.find("\n1001\nTEV\n");
  ASSERT_NE(at, std::string::npos);
  spaced.insert(at + 1, " ");
  std::string crlf;
  for (const char c : bytes) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const struct { const std::string* text; } cases[] = {{&bytes}, {&spaced}, {&crlf}};
  for (const auto& c : cases) {
    auto back = ReadMem(*app, *c.text, "back.dxf");
    std::vector<host::XData> first;
    for (auto* e : EntitiesOf<host::memory::MemLWPolyline>(*back->model_space())) {
      first.push_back(e->GetXData(""));
    }
    auto* line = EntitiesOf<host::memory::MemLWPolyline>(*back->model_space())[0];
    ASSERT_TRUE(line->xdata_unread());
    size_t i = 0;
    for (auto* e : EntitiesOf<host::memory::MemLWPolyline>(*back->model_space())) {
      const host::XData again = e->GetXData("");
      EXPECT_EQ(again.codes, first[i].codes);
      EXPECT_EQ(again.values, first[i].values);
      ++i;
    }
    // One application's group, from either form, as from the text.
    auto fresh = ReadMem(*app, *c.text, "fresh.dxf");
    EXPECT_EQ(
        line->GetXData("TEV").values,
        EntitiesOf<host::memory::MemLWPolyline>(*fresh->model_space())[0]->GetXData("TEV").values);
    if (c.text != &crlf) {  // the writer ends lines with line feeds only
      EXPECT_EQ(FirstDifference(*c.text, dxf::WriteDrawing(*back)), "");
    }
  }
}

// The end of a block reference's attributes keeps its own extended data.
TEST(DxfRoundTripTest, SequenceEndKeepsItsExtendedData) {
  auto app = host::memory::NewMemApplication();
  std::string bytes = dxf::WriteDrawing(*RichDrawing(*app));
  const size_t seqend = bytes.find("SEQEND\n");
  ASSERT_NE(seqend, std::string::npos);
  const size_t next = bytes.find("\n  0\n", seqend);
  ASSERT_NE(next, std::string::npos);
  bytes.insert(next + 1, "1001\nTEV\n1000\nend of attributes\n");
  auto back = ReadMem(*app, bytes, "seqend.dxf");
  EXPECT_EQ(FirstDifference(bytes, dxf::WriteDrawing(*back)), "");
  auto* ref = EntitiesOf<host::memory::MemBlockReference>(*back->model_space())[0];
  ref->Move({0, 0, 0}, {1, 1, 0});  // written from the model now
  const std::string moved = dxf::WriteDrawing(*back);
  EXPECT_NE(moved.find("SEQEND\n"), std::string::npos);
  EXPECT_NE(moved.find("1000\nend of attributes\n", moved.find("SEQEND\n")), std::string::npos);
}

// Numbers in every shape the format allows, code lines with spaces, lines
// ending in CR LF and a file ending without a line end all read.
TEST(DxfTokenizerTest, EveryNumberShapeAndLineEndReads) {
  const std::string body =
      "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nPOINT\r\n  8\r\nL\r\n"
      " 10 \r\n 1e3\r\n20\r\n+2.\r\n 30\r\n.5E-1\r\n 62\r\n +3 \r\n  0\r\nPOINT\r\n"
      " 10\r\n-12345678901234567.25\r\n 20\r\n-0\r\n  0\r\nENDSEC\r\n  0\r\nEOF";
  auto app = host::memory::NewMemApplication();
  auto doc = ReadMem(*app, body, "shapes.dxf");
  const auto points = EntitiesOf<host::memory::MemPoint>(*doc->model_space());
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0]->fields().position, (Point3{1000, 2, 0.05}));
  EXPECT_EQ(points[0]->color(), 3);
  EXPECT_EQ(points[1]->fields().position[0], -12345678901234567.25);
  for (const char* bad : {"1.2.3", "1e", "--1", ".", "1-2", "0x10", "1.5 x"}) {
    const std::string bytes = "  0\nSECTION\n  2\nENTITIES\n  0\nPOINT\n 10\n" + std::string(bad) +
                              "\n  0\nENDSEC\n  0\nEOF\n";
    EXPECT_THROW(dxf::ReadDrawing(*app, bytes, "bad.dxf"), dxf::DxfError) << bad;
  }
  for (const char* bad : {"1.5", "2e3", "12a"}) {
    const std::string bytes = "  0\nSECTION\n  2\nENTITIES\n  0\nPOINT\n 70\n" + std::string(bad) +
                              "\n  0\nENDSEC\n  0\nEOF\n";
    EXPECT_THROW(dxf::ReadDrawing(*app, bytes, "bad.dxf"), dxf::DxfError) << bad;
  }
}

// Number text, with the spaces and plus sign drawings may write, converts to
// from_chars' double, whatever its form.
TEST(DxfNumberTest, NumberTextConvertsAsFromChars) {
  std::mt19937_64 random(5);
  auto expect_same = [](const std::string& text) {
    std::string_view trimmed = dxf::Trim(text);
    if (!trimmed.empty() && trimmed.front() == '+') trimmed.remove_prefix(1);
    double expected = 0;
    std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), expected);
    const double got = dxf::ToDouble(text);
    ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << "\"" << text << "\"";
  };
  for (const char* text : {"0",
                           "-0",
                           "+1.5",
                           " 2.25 ",
                           "1.",
                           ".5",
                           "-.5",
                           "007.100",
                           "1e5",
                           "-2.5E-3",
                           "inf",
                           "nan",
                           "",
                           "-",
                           ".",
                           "1.2.3",
                           "12a",
                           "0x10",
                           "9007199254740993",
                           "9007199254740992.5",
                           "12345678901234567890",
                           "0.00000000000000000000001",
                           "1234567890123456789"}) {
    expect_same(text);
  }
  for (int i = 0; i < 300000; ++i) {
    const int digits = 1 + static_cast<int>(random() % 21);
    std::string text = random() % 2 ? "-" : "";
    const int point = static_cast<int>(random() % static_cast<uint64_t>(digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point && random() % 4 != 0) text += '.';
      text += static_cast<char>('0' + random() % 10);
    }
    expect_same(text);
  }
}

TEST(DxfEncodingTest, OlderDrawingsUseTheirCodePageAndEscapes) {
  // An R2000 drawing in code page 1252: a layer name with a 1252 byte, an
  // extended-data text with escapes.
  const std::string file =
      "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1015\n  9\n$DWGCODEPAGE\n  3\nANSI_1252\n"
      "  9\n$HANDSEED\n  5\n100\n  0\nENDSEC\n"
      "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n  5\n2\n 70\n1\n"
      "  0\nLAYER\n  5\n10\n  2\nStra\xDF"
      "e\n 70\n0\n 62\n7\n  6\nCONTINUOUS\n  0\nENDTAB\n"
      "  0\nTABLE\n  2\nAPPID\n  5\n9\n 70\n1\n  0\nAPPID\n  5\n12\n  2\nTEV\n 70\n0\n"
      "  0\nENDTAB\n  0\nENDSEC\n"
      "  0\nSECTION\n  2\nENTITIES\n  0\nPOINT\n  5\n20\n  8\nStra\xDF"
      "e\n 10\n1.0\n 20\n2.0\n"
      " 30\n0.0\n1001\nTEV\n1000\nCaf\\U+00E9 \\U+6C34\n  0\nENDSEC\n  0\nEOF\n";
  auto app = host::memory::NewMemApplication();
  auto doc = ReadMem(*app, file, "old.dxf");
  EXPECT_EQ(dxf::VersionOf(*doc), "AC1015");
  ASSERT_NE(doc->FindLayer("Straße"), nullptr);
  const auto points = EntitiesOf<host::memory::MemPoint>(*doc->model_space());
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0]->GetXData("TEV").values[1], Variant("Café 水"));
  EXPECT_EQ(FirstDifference(file, dxf::WriteDrawing(*doc)), "");
  // Text written from the model goes back into the code page, with an
  // escape for what 1252 lacks.
  points[0]->SetXData({1001, 1000}, {Variant("TEV"), Variant("Ölmühle 水")});
  const std::string written = dxf::WriteDrawing(*doc);
  EXPECT_NE(written.find("\xD6lm\xFChle \\U+6C34"), std::string::npos);
  auto back = ReadMem(*app, written, "again.dxf");
  EXPECT_EQ(EntitiesOf<host::memory::MemPoint>(*back->model_space())[0]->GetXData("TEV").values[1],
            Variant("Ölmühle 水"));
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// Drawings of every version from R12 to 2018, ASCII and binary, written by an
// independent library, are read, saved and read again unchanged.
TEST(DxfRoundTripTest, EveryVersionFromAnotherWriter) {
  if (std::system("/usr/bin/python3 -c 'import ezdxf' 2>/dev/null") != 0) {
    GTEST_SKIP() << "python3-ezdxf is not installed";
  }
  const auto dir =
      std::filesystem::temp_directory_path() / ("palvane_versions_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string command = std::string("/usr/bin/python3 ") + PALVANE_TEST_DIR +
                              "/dxf/make_versions.py '" + dir.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    ++files;
    const std::string name = entry.path().filename().string();
    auto app = host::memory::NewMemApplication();
    const std::string bytes = dxf::ReadFileBytes(entry.path().string());
    auto doc = ReadMem(*app, bytes, name);
    const std::string written = dxf::WriteDrawing(*doc);
    EXPECT_EQ(FirstDifference(bytes, written), "") << name;
    EXPECT_NE(doc->FindLayer("Straße_Profile"), nullptr) << name;
    if (name.rfind("R12", 0) != 0) {
      const auto lines = EntitiesOf<host::memory::MemLWPolyline>(*doc->model_space());
      ASSERT_EQ(lines.size(), 1u) << name;
      EXPECT_EQ(lines[0]->fields().vertices[0].bulge, 0.5) << name;
      EXPECT_EQ(lines[0]->fields().elevation, 2.0) << name;
      const host::XData tag = lines[0]->GetXData("TEV");
      ASSERT_EQ(tag.values.size(), 10u) << name;
      EXPECT_EQ(tag.values[4], Variant(1250.5)) << name;
      EXPECT_EQ(tag.values[9], Variant(int16_t{-1})) << name;
      EXPECT_EQ(EntitiesOf<host::memory::MemMText>(*doc->model_space())[0]->fields().text,
                "Line one\\PLine two");
    }
    const auto refs = EntitiesOf<host::memory::MemBlockReference>(*doc->model_space());
    ASSERT_EQ(refs.size(), 1u) << name;
    ASSERT_EQ(refs[0]->attributes.size(), 1u) << name;
    EXPECT_EQ(refs[0]->attributes[0]->fields().value, "XS12") << name;
  }
  EXPECT_EQ(files, 14);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// The tags of each entity of `type` in a file, one list per entity.
std::vector<NormalTags> EntitiesOfType(const std::string& bytes, const std::string& type) {
  std::vector<NormalTags> out;
  bool in = false;
  for (const auto& [code, value] : NormalizeDxf(bytes)) {
    if (code == 0) {
      in = value == type;
      if (in) out.emplace_back();
      continue;
    }
    if (in) out.back().emplace_back(code, value);
  }
  return out;
}

bool HasTag(const NormalTags& tags, int code, const std::string& value = {}) {
  return std::any_of(tags.begin(), tags.end(), [&](const auto& t) {
    return t.first == code && (value.empty() || t.second == value);
  });
}

// Vertex identifiers (91) stay with their vertices when a changed polyline
// is written from the model, in ASCII and binary, as ezdxf's own tag reader
// sees them too.
TEST(DxfRoundTripTest, VertexIdentifiersStayWithTheirVertices) {
  auto app = host::memory::NewMemApplication();
  auto doc = NewDrawing(*app);
  AddPolyline(Ref<host::Document>(doc), "Bank", {0, 0, 10, 0, 10, 5});
  std::string bytes = dxf::WriteDrawing(*doc);
  // Each vertex's Y is followed by its identifier: 701, 702, 703.
  size_t at = bytes.find("LWPOLYLINE");
  for (int id = 701; id <= 703; ++id) {
    at = bytes.find("\n 20\n", at);
    ASSERT_NE(at, std::string::npos);
    at = bytes.find('\n', at + 5) + 1;
    bytes.insert(at, " 91\n" + std::to_string(id) + "\n");
  }
  for (const bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "ASCII");
    auto read = ReadMem(*app, bytes, "ids.dxf");
    auto* line = EntitiesOf<host::memory::MemLWPolyline>(*read->model_space())[0];
    line->SetWidth(1, 2, 3);  // changed: its vertices are written from the model
    const std::string written = dxf::WriteDrawing(*read, binary);
    const auto lines = EntitiesOfType(written, "LWPOLYLINE");
    ASSERT_EQ(lines.size(), 1u);
    std::vector<std::string> order;
    for (const auto& [code, value] : lines[0]) {
      if (code == 10 || code == 91 || code == 40)
        order.push_back(std::to_string(code) + "=" + value);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"10=0.0", "91=701", "10=10.0", "91=702", "40=2.0",
                                               "10=10.0", "91=703"}));
    if (binary || std::system("/usr/bin/python3 -c 'import ezdxf' 2>/dev/null") != 0) continue;
    const auto path =
        std::filesystem::temp_directory_path() / ("palvane_ids_" + std::to_string(::getpid()));
    platform::WriteFileAtomically(path.string(), written, true);
    const std::string check =
        "/usr/bin/python3 -c \"import sys, ezdxf\n"
        "from ezdxf.lldxf.tagger import ascii_tags_loader\n"
        "tags = list(ascii_tags_loader(open(sys.argv[1])))\n"
        "at = [i for i, t in enumerate(tags) if t == (0, 'LWPOLYLINE')][0]\n"
        "own = tags[at + 1:]\n"
        "own = own[:next(i for i, t in enumerate(own) if t.code == 0)]\n"
        "ids = [t.value for t in own if t.code == 91]\n"
        "assert ids == ['701', '702', '703'], ids\n"
        "assert not ezdxf.readfile(sys.argv[1]).audit().has_errors\" '" +
        path.string() + "'";
    EXPECT_EQ(std::system(check.c_str()), 0);
    std::filesystem::remove(path);
  }
}

// A line of an ASCII file cannot hold a line break: line ends and NULs in
// text (made in the program, or read from a binary file) are written as the
// CAD program writes them, ^J for a line feed, and the file reads again.
// Other control characters stay.
TEST(DxfRoundTripTest, ControlCharactersInTextKeepAnAsciiFileWhole) {
  auto app = host::memory::NewMemApplication();
  auto doc = NewDrawing(*app);
  Ref<host::Document> d(doc);
  d->ModelSpace()->AddMText({0, 0, 0}, 0, "first\nsecond\r\x07");
  // A NUL ends a binary file's value: one inside is written as ^@ too.
  d->ModelSpace()->AddMText({0, 0, 0}, 0, std::string("nul\0inside", 10));
  const auto line = AddPolyline(d, "Bank", {0, 0, 1, 1});
  line->SetXData({1001, 1000}, {Variant("TEV"), Variant("a\nb")});
  for (const bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary first" : "ASCII");
    auto source = binary ? ReadMem(*app, dxf::WriteDrawing(*doc, true), "b.dxf") : doc;
    const std::string ascii = dxf::WriteDrawing(*source, false);
    auto back = ReadMem(*app, ascii, "back.dxf");
    EXPECT_EQ(EntitiesOf<host::memory::MemMText>(*back->model_space())[0]->fields().text,
              "first^Jsecond^M\x07");
    EXPECT_EQ(EntitiesOf<host::memory::MemMText>(*back->model_space())[1]->fields().text,
              "nul^@inside");
    auto binary_back = ReadMem(*app, dxf::WriteDrawing(*source, true), "bb.dxf");
    EXPECT_EQ(EntitiesOf<host::memory::MemMText>(*binary_back->model_space())[1]->fields().text,
              "nul^@inside");
    const auto lines = EntitiesOf<host::memory::MemLWPolyline>(*back->model_space());
    EXPECT_EQ(lines[0]->GetXData("TEV").values[1], Variant("a^Jb"));
  }
}

// Model-space entities that a file held only in its blocks section, with
// no entities section, are written in one: never lost.
TEST(DxfRoundTripTest, ModelSpaceEntitiesWithoutAnEntitiesSectionAreKept) {
  const std::string bytes =
      "  0\nSECTION\n  2\nBLOCKS\n  0\nBLOCK\n  2\n*Model_Space\n"
      "  0\nPOINT\n  8\n0\n 10\n1.5\n 20\n2.5\n 30\n0.0\n  0\nENDBLK\n  0\nENDSEC\n  0\nEOF\n";
  auto app = host::memory::NewMemApplication();
  auto doc = ReadMem(*app, bytes, "blocks_only.dxf");
  ASSERT_EQ(EntitiesOf<host::memory::MemPoint>(*doc->model_space()).size(), 1u);
  auto back = ReadMem(*app, dxf::WriteDrawing(*doc), "back.dxf");
  const auto points = EntitiesOf<host::memory::MemPoint>(*back->model_space());
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0]->fields().position, (Point3{1.5, 2.5, 0}));
}

// A copy within a drawing keeps every tag of the original; a copy into
// another drawing leaves out what referred to the first drawing's objects
// (reactors, linetype, material), keeps the rest, and is saved whole even
// after the first drawing is gone.
TEST(DxfCopyTest, CopiesLeaveOtherDrawingsReferencesBehind) {
  const std::string source_text =
      "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1027\n  0\nENDSEC\n"
      "  0\nSECTION\n  2\nENTITIES\n  0\nLWPOLYLINE\n  5\n2A\n102\n{ACAD_REACTORS\n330\n1F\n"
      "102\n}\n330\n1F\n100\nAcDbEntity\n  8\nBanks\n  6\nDASHED\n347\n3B\n100\nAcDbPolyline\n"
      " 90\n2\n 70\n0\n 43\n0.25\n 10\n0\n 20\n0\n 10\n5\n 20\n5\n  0\nENDSEC\n  0\nEOF\n";
  const auto app = dxf::NewApplication();
  auto source = dxf::ReadDrawing(*app, source_text, "source.dxf");
  host::memory::Open(*source);
  const Ref<host::Document> target = app->Documents()->Add();
  {
    const Ref<host::Entity> line = source->ModelSpace()->Item(0);
    source->CopyObjects({line}, source->ModelSpace());
    const auto copies = source->CopyObjects({line}, target->ModelSpace());
    target->CopyObjects(copies, target->ModelSpace());  // a copy of the copy
  }
  const auto within = EntitiesOfType(dxf::WriteDrawing(*source), "LWPOLYLINE");
  ASSERT_EQ(within.size(), 2u);
  for (const NormalTags& tags : within) {
    EXPECT_TRUE(HasTag(tags, 102, "{ACAD_REACTORS"));
    EXPECT_TRUE(HasTag(tags, 6, "DASHED"));
    EXPECT_TRUE(HasTag(tags, 347, "3B"));
  }
  EXPECT_FALSE(HasTag(within[1], 5, "2A"));  // the copy has a handle of its own

  host::memory::Close(*source);
  source.reset();
  const std::string saved = dxf::WriteDrawing(*target);
  const auto copied = EntitiesOfType(saved, "LWPOLYLINE");
  ASSERT_EQ(copied.size(), 2u);
  for (const NormalTags& tags : copied) {
    EXPECT_FALSE(HasTag(tags, 102));
    EXPECT_FALSE(HasTag(tags, 6));
    EXPECT_FALSE(HasTag(tags, 347));
    EXPECT_TRUE(HasTag(tags, 330, target->ModelSpace()->Handle()));  // its owner here
    EXPECT_TRUE(HasTag(tags, 8, "Banks"));
    EXPECT_TRUE(HasTag(tags, 43, dxf::FormatDouble(0.25)));
    EXPECT_TRUE(HasTag(tags, 10, dxf::FormatDouble(5)));
  }
  // The saved drawing reads back with the copy whole.
  const auto back = ReadMem(*app, saved, "back.dxf");
  const auto lines = EntitiesOf<host::memory::MemLWPolyline>(*back->model_space());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1]->Coordinates(), (std::vector<double>{0, 0, 5, 5}));
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// A coordinate system named twice takes the later entry, extended data and
// all; a block reference whose attribute sequence is empty keeps the end of
// it. Either way the drawing is saved with each handle once and reads back.
TEST(DxfRoundTripTest, RepeatedEntriesAndEmptySequencesWriteBack) {
  const std::string ucs_axes =
      " 70\n0\n 10\n0\n 20\n0\n 30\n0\n 11\n1\n 21\n0\n 31\n0\n 12\n0\n 22\n1\n 32\n0\n";
  const std::string bytes =
      "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1027\n  0\nENDSEC\n"
      "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nUCS\n 70\n2\n"
      "  0\nUCS\n  5\n20\n  2\nA\n" +
      ucs_axes +
      "1001\nACAD\n1000\nfirst\n"
      "  0\nUCS\n  5\n21\n  2\na\n" +
      ucs_axes +
      "  0\nENDTAB\n  0\nTABLE\n  2\nBLOCK_RECORD\n"
      "  0\nBLOCK_RECORD\n  5\n1F\n  2\n*Model_Space\n  0\nENDTAB\n  0\nENDSEC\n"
      "  0\nSECTION\n  2\nENTITIES\n  0\nINSERT\n  5\n30\n  8\n0\n 66\n1\n  2\nB\n"
      " 10\n0\n 20\n0\n 30\n0\n  0\nSEQEND\n  5\n31\n  8\n0\n  0\nENDSEC\n  0\nEOF\n";
  auto app = host::memory::NewMemApplication();
  const auto doc = ReadMem(*app, bytes, "repeated.dxf");
  ASSERT_EQ(doc->ucss().size(), 1u);
  EXPECT_TRUE(doc->ucss()[0]->GetXData("").empty());
  const std::string saved = dxf::WriteDrawing(*doc);
  const NormalTags tags = NormalizeDxf(saved);
  for (const char* handle : {"1F", "21", "30", "31"}) {
    EXPECT_EQ(std::count(tags.begin(), tags.end(), std::pair<int, std::string>(5, handle)), 1)
        << handle;
  }
  EXPECT_EQ(EntitiesOfType(saved, "SEQEND").size(), 1u);
  const auto back = ReadMem(*app, saved, "back.dxf");
  EXPECT_EQ(FirstDifference(saved, dxf::WriteDrawing(*back)), "");
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// A survey's lines and 3D polyline beside a 2D heavy polyline: the 3D one is
// read as one entity with its vertices, the 2D one kept whole with its
// vertices, and all come back byte for byte.
const char kHeavyPolylines[] =
    "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1027\n  0\nENDSEC\n"
    "  0\nSECTION\n  2\nENTITIES\n"
    "  0\nPOLYLINE\n  5\n10\n330\n1F\n100\nAcDbEntity\n  8\n3_3d\n100\nAcDb3dPolyline\n"
    " 66\n1\n 10\n0\n 20\n0\n 30\n0\n 70\n8\n"
    "  0\nVERTEX\n  5\n11\n330\n10\n100\nAcDbEntity\n  8\n3_3d\n100\nAcDbVertex\n"
    "100\nAcDb3dPolylineVertex\n 10\n1.5\n 20\n2\n 30\n10.25\n 70\n32\n"
    "  0\nVERTEX\n  5\n12\n330\n10\n100\nAcDbEntity\n  8\n3_3d\n100\nAcDbVertex\n"
    "100\nAcDb3dPolylineVertex\n 10\n4\n 20\n2\n 30\n9\n 70\n32\n1001\nSURVEY\n1000\nbed\n"
    "  0\nVERTEX\n  5\n13\n330\n10\n100\nAcDbEntity\n  8\n3_3d\n 70\n16\n 10\n99\n 20\n99\n "
    "30\n99\n"
    "  0\nSEQEND\n  5\n14\n330\n10\n100\nAcDbEntity\n  8\n3_3d\n"
    "  0\nPOLYLINE\n  5\n20\n330\n1F\n100\nAcDbEntity\n  8\nOld\n100\nAcDb2dPolyline\n"
    " 66\n1\n 10\n0\n 20\n0\n 30\n5\n 70\n0\n"
    "  0\nVERTEX\n  5\n21\n330\n20\n100\nAcDbEntity\n  8\nOld\n100\nAcDbVertex\n"
    "100\nAcDb2dVertex\n 10\n0\n 20\n0\n 30\n0\n"
    "  0\nVERTEX\n  5\n22\n330\n20\n100\nAcDbEntity\n  8\nOld\n100\nAcDbVertex\n"
    "100\nAcDb2dVertex\n 10\n3\n 20\n4\n 30\n0\n"
    "  0\nSEQEND\n  5\n23\n330\n20\n100\nAcDbEntity\n  8\nOld\n"
    "  0\nLINE\n  5\n2A\n330\n1F\n100\nAcDbEntity\n  8\n3_3d\n100\nAcDbLine\n"
    " 10\n0\n 20\n1\n 30\n12\n 11\n6\n 21\n1\n 31\n11.5\n"
    "  0\nENDSEC\n  0\nEOF\n";

TEST(DxfHeavyPolylineTest, SurveyEntitiesReadAsOneEachAndComeBackUnchanged) {
  const auto app = dxf::NewApplication();
  const auto doc = dxf::ReadDrawing(*app, std::string(kHeavyPolylines), "survey.dxf");
  const Ref<host::Block> space = doc->ModelSpace();
  ASSERT_EQ(space->Count(), 3);  // vertices and sequence ends are not entities of their own
  const auto survey = space->Item(0).As<host::Polyline3D>();
  ASSERT_TRUE(survey);
  EXPECT_EQ(survey->ObjectName(), "AcDb3dPolyline");
  // The spline frame point is not a vertex the polyline passes through.
  EXPECT_EQ(survey->Coordinates(), (std::vector<double>{1.5, 2, 10.25, 4, 2, 9}));
  EXPECT_FALSE(survey->Closed());
  // A polyline in a plane: its vertices in its own coordinates, at its
  // elevation.
  const auto heavy = space->Item(1).As<host::Polyline2D>();
  ASSERT_TRUE(heavy);
  EXPECT_EQ(heavy->ObjectName(), "AcDb2dPolyline");
  EXPECT_EQ(heavy->Coordinates(), (std::vector<double>{0, 0, 3, 4}));
  EXPECT_EQ(heavy->Elevation(), 5);
  const auto line = space->Item(2).As<host::Line>();
  ASSERT_TRUE(line);
  EXPECT_EQ(line->StartPoint(), (host::Point3{0, 1, 12}));
  EXPECT_EQ(line->EndPoint(), (host::Point3{6, 1, 11.5}));
  // The same read from the binary form, whose numbers the reader makes text.
  const auto binary = dxf::ReadDrawing(*app, dxf::WriteDrawing(*doc, true), "survey.dxf");
  EXPECT_EQ(binary->ModelSpace()->Item(0).As<host::Polyline3D>()->Coordinates(),
            (std::vector<double>{1.5, 2, 10.25, 4, 2, 9}));
  // The file lacks the tables, which the writer adds: the entities come
  // back as they were.
  const std::string saved = dxf::WriteDrawing(*doc);
  for (const char* type : {"POLYLINE", "VERTEX", "SEQEND", "LINE"}) {
    EXPECT_EQ(EntitiesOfType(saved, type), EntitiesOfType(kHeavyPolylines, type)) << type;
  }
}

TEST(DxfHeavyPolylineTest, MovedAndCopiedPolylinesKeepTheirVerticesWhole) {
  const auto app = dxf::NewApplication();
  const auto doc = dxf::ReadDrawing(*app, std::string(kHeavyPolylines), "survey.dxf");
  host::memory::Open(*doc);
  const Ref<host::Block> space = doc->ModelSpace();
  space->Item(0)->Move({0, 0, 0}, {10, 0, 1});
  doc->Layers()->Add("Moved");
  space->Item(0)->SetLayer("Moved");
  doc->CopyObjects({space->Item(1)}, space);  // the 2D polyline, copied
  const std::string saved = dxf::WriteDrawing(*doc);

  // Every handle in the file is used once.
  std::set<std::string> handles;
  for (const auto& [code, value] : NormalizeDxf(saved)) {
    if (code == 5) {
      EXPECT_TRUE(handles.insert(value).second) << "handle " << value << " twice";
    }
  }
  // Every entity has a handle; the copy's sequence end is its own.
  for (const char* type : {"POLYLINE", "VERTEX", "SEQEND", "LINE"}) {
    for (const NormalTags& tags : EntitiesOfType(saved, type)) EXPECT_TRUE(HasTag(tags, 5)) << type;
  }
  const auto ends = EntitiesOfType(saved, "SEQEND");
  ASSERT_EQ(ends.size(), 3u);
  EXPECT_TRUE(HasTag(ends[2], 330, space->Item(3)->Handle()));
  const auto vertices = EntitiesOfType(saved, "VERTEX");
  ASSERT_EQ(vertices.size(), 7u);  // 3 moved, 2 kept, 2 copied
  EXPECT_TRUE(HasTag(vertices[0], 10, dxf::FormatDouble(11.5)));
  EXPECT_TRUE(HasTag(vertices[0], 30, dxf::FormatDouble(11.25)));
  EXPECT_TRUE(HasTag(vertices[0], 8, "Moved"));
  EXPECT_TRUE(HasTag(vertices[1], 1000, "bed"));                // a vertex's own data stays
  EXPECT_TRUE(HasTag(vertices[2], 10, dxf::FormatDouble(99)));  // the frame point is not moved
  const std::string copy_handle = space->Item(3)->Handle();
  EXPECT_TRUE(HasTag(vertices[5], 330, copy_handle));
  EXPECT_TRUE(HasTag(vertices[6], 330, copy_handle));
  EXPECT_TRUE(HasTag(vertices[6], 10, dxf::FormatDouble(3)));

  const auto back = dxf::ReadDrawing(*app, saved, "back.dxf");
  ASSERT_EQ(back->ModelSpace()->Count(), 4);
  EXPECT_EQ(back->ModelSpace()->Item(0).As<host::Polyline3D>()->Coordinates(),
            (std::vector<double>{11.5, 2, 11.25, 14, 2, 10}));
  EXPECT_EQ(back->ModelSpace()->Item(0)->Layer(), "Moved");
}

// A 2D polyline moved: its vertices move in its own plane and its height
// with them, while its flags, its vertices' meaningless Z and their bulges
// stay as the file had them; a mirrored one moves the other way in X.
TEST(DxfHeavyPolylineTest, AMovedPlanePolylineKeepsWhatItDoesNotModel) {
  for (const bool mirrored : {false, true}) {
    SCOPED_TRACE(mirrored);
    const std::string text =
        "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1027\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nENTITIES\n"
        "  0\nPOLYLINE\n  5\n20\n330\n1F\n100\nAcDbEntity\n  8\nOld\n100\nAcDb2dPolyline\n"
        " 66\n1\n 10\n0\n 20\n0\n 30\n5\n 70\n129\n" +
        std::string(mirrored ? "210\n0\n220\n0\n230\n-1\n" : "") +
        "  0\nVERTEX\n  5\n21\n330\n20\n100\nAcDbEntity\n  8\nOld\n100\nAcDbVertex\n"
        "100\nAcDb2dVertex\n 10\n0\n 20\n0\n 30\n7\n 42\n0.5\n 70\n0\n"
        "  0\nVERTEX\n  5\n22\n330\n20\n100\nAcDbEntity\n  8\nOld\n100\nAcDbVertex\n"
        "100\nAcDb2dVertex\n 10\n3\n 20\n4\n 30\n7\n 70\n0\n"
        "  0\nSEQEND\n  5\n23\n330\n20\n100\nAcDbEntity\n  8\nOld\n"
        "  0\nENDSEC\n  0\nEOF\n";
    const auto app = dxf::NewApplication();
    const auto doc = dxf::ReadDrawing(*app, text, "plane.dxf");
    host::memory::Open(*doc);
    const auto heavy = doc->ModelSpace()->Item(0).As<host::Polyline2D>();
    ASSERT_TRUE(heavy);
    EXPECT_TRUE(heavy->Closed());
    EXPECT_EQ(heavy->GetBulge(0), 0.5);
    EXPECT_THROW(heavy->GetBulge(2), host::Error);
    heavy->Move({0, 0, 0}, {10, 20, 1});
    const std::string saved = dxf::WriteDrawing(*doc);
    const auto polylines = EntitiesOfType(saved, "POLYLINE");
    ASSERT_EQ(polylines.size(), 1u);
    EXPECT_TRUE(HasTag(polylines[0], 70, "129"));
    const auto vertices = EntitiesOfType(saved, "VERTEX");
    ASSERT_EQ(vertices.size(), 2u);
    EXPECT_TRUE(HasTag(vertices[0], 30, dxf::FormatDouble(7)));
    EXPECT_TRUE(HasTag(vertices[0], 42, dxf::FormatDouble(0.5)));
    const auto back = dxf::ReadDrawing(*app, saved, "back.dxf");
    const auto read = back->ModelSpace()->Item(0).As<host::Polyline2D>();
    const double sign = mirrored ? -1 : 1;
    EXPECT_EQ(read->Coordinates(), (std::vector<double>{sign * 10, 20, 3 + sign * 10, 24}));
    EXPECT_EQ(read->Elevation(), 5 + sign * 1);
    EXPECT_EQ(FirstDifference(saved, dxf::WriteDrawing(*back)), "");
  }
}

TEST(DxfHeavyPolylineTest, NewSurveyEntitiesWriteAndReadBack) {
  for (const char* version : {"AC1027", "AC1009"}) {
    const auto app = dxf::NewApplication();
    const Ref<host::Document> doc =
        dxf::ReadDrawing(*app,
                         std::string("  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\n") + version +
                             "\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n",
                         "new.dxf");
    host::memory::Open(*doc);
    doc->Layers()->Add("3_3d");
    const auto poly = doc->ModelSpace()->Add3DPoly({0, 0, 10, 5, 0.5, 8.75, 10, 1, 10.5});
    poly->SetLayer("3_3d");
    doc->ModelSpace()->AddLine({0, 0, 1}, {2, 2, 3});
    EXPECT_THROW(doc->ModelSpace()->Add3DPoly({0, 0, 1, 2}), host::Error);
    const std::string saved = dxf::WriteDrawing(*doc);
    const auto back = dxf::ReadDrawing(*app, saved, "back.dxf");
    const Ref<host::Block> space = back->ModelSpace();
    ASSERT_EQ(space->Count(), 2) << version;
    const auto read = space->Item(0).As<host::Polyline3D>();
    ASSERT_TRUE(read) << version;
    EXPECT_EQ(read->Coordinates(), (std::vector<double>{0, 0, 10, 5, 0.5, 8.75, 10, 1, 10.5}));
    EXPECT_EQ(read->Layer(), "3_3d");
    EXPECT_EQ(space->Item(1).As<host::Line>()->EndPoint(), (host::Point3{2, 2, 3}));
    EXPECT_EQ(FirstDifference(saved, dxf::WriteDrawing(*back)), "");
  }
}

// A polyline of no vertices keeps the end of its sequence, changed or not,
// and the file reads back.
TEST(DxfHeavyPolylineTest, APolylineWithoutVerticesKeepsItsSequenceEnd) {
  std::string text = kHeavyPolylines;
  const std::string empty =
      "  0\nPOLYLINE\n  5\n40\n330\n1F\n100\nAcDbEntity\n  8\nOld\n100\nAcDb2dPolyline\n"
      " 66\n1\n 10\n0\n 20\n0\n 30\n0\n 70\n0\n"
      "  0\nSEQEND\n  5\n41\n330\n40\n100\nAcDbEntity\n  8\nOld\n";
  text.insert(text.find("  0\nLINE\n"), empty);
  const auto app = dxf::NewApplication();
  const auto doc = dxf::ReadDrawing(*app, text, "empty.dxf");
  host::memory::Open(*doc);
  ASSERT_EQ(doc->ModelSpace()->Count(), 4);
  doc->Layers()->Add("Moved");
  doc->ModelSpace()->Item(2)->SetLayer("Moved");
  const std::string saved = dxf::WriteDrawing(*doc);
  const auto ends = EntitiesOfType(saved, "SEQEND");
  ASSERT_EQ(ends.size(), 3u);
  EXPECT_TRUE(HasTag(ends[2], 5, "41"));
  EXPECT_TRUE(HasTag(ends[2], 8, "Moved"));
  EXPECT_EQ(dxf::ReadDrawing(*app, saved, "back.dxf")->ModelSpace()->Count(), 4);
}

// A polyline whose vertices do not end is refused with what was expected.
TEST(DxfHeavyPolylineTest, UnendedVerticesAreRefused) {
  const auto app = dxf::NewApplication();
  std::string text = kHeavyPolylines;
  text.erase(text.find("  0\nSEQEND\n  5\n14\n"), std::string("  0\nSEQEND\n  5\n14\n").size());
  try {
    dxf::ReadDrawing(*app, text, "bad.dxf");
    ADD_FAILURE() << "read";
  } catch (const dxf::DxfError& e) {
    EXPECT_NE(std::string(e.what()).find("expected 0 VERTEX or 0 SEQEND"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// A number the file wrote as -0 keeps its sign when its entity is written
// anew from its fields: each place a lightweight polyline leaves a number
// out when it is zero, and the fuzz input that found it.
TEST(DxfNegativeZeroTest, ChangedPolylinesKeepEveryNegativeZero) {
  const std::string vertex_tags[] = {" 40\n-0\n 41\n0\n", " 40\n0\n 41\n-0\n", " 42\n-0\n"};
  const std::string polyline_tags[] = {" 43\n-0\n", " 38\n-0\n", " 39\n-0\n"};
  const auto drawing = [](const std::string& own, const std::string& vertex) {
    return "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1027\n  0\nENDSEC\n"
           "  0\nSECTION\n  2\nENTITIES\n  0\nLWPOLYLINE\n  5\n40\n100\nAcDbEntity\n  8\n0\n"
           "100\nAcDbPolyline\n 90\n2\n 70\n0\n" +
           own + " 10\n1\n 20\n2\n" + vertex + " 10\n3\n 20\n4\n  0\nENDSEC\n  0\nEOF\n";
  };
  std::vector<std::string> inputs;
  for (const auto& v : vertex_tags) inputs.push_back(drawing("", v));
  for (const auto& p : polyline_tags) inputs.push_back(drawing(p, ""));
  const auto signs = [](const host::memory::MemLWPolyline& line) {
    const auto& f = line.fields();
    const auto& v = f.vertices[0];
    std::string s;
    for (double d :
         {v.start_width, v.end_width, v.bulge, f.constant_width, f.elevation, f.thickness}) {
      s += std::signbit(d) ? '-' : '+';
    }
    return s;
  };
  for (const auto& input : inputs) {
    for (const bool binary : {false, true}) {
      SCOPED_TRACE(input + (binary ? " (binary)" : " (ASCII)"));
      auto app = host::memory::NewMemApplication();
      auto doc = ReadMem(*app, input, "zero.dxf");
      auto* line = EntitiesOf<host::memory::MemLWPolyline>(*doc->model_space())[0];
      line->Load();
      const std::string before = signs(*line);
      ASSERT_NE(before, "++++++");
      line->set_dirty(true);
      auto again = ReadMem(*app, dxf::WriteDrawing(*doc, binary), "again.dxf");
      auto* back = EntitiesOf<host::memory::MemLWPolyline>(*again->model_space())[0];
      back->Load();
      EXPECT_EQ(signs(*back), before);
    }
  }
}

// A layer named with NULs or line breaks, which an ASCII file holds only in
// caret form: the entities that name it and the table entry written for it
// stay one layer however each was written (a round-trip fuzz finding).
TEST(DxfRoundTripTest, ALayerNamedWithNulsStaysOneLayer) {
  const std::string bytes =
      dxf::ReadFileBytes(PALVANE_TEST_DIR "/../fuzz/corpus/dxf/found-nul-in-layer-name.dxf");
  auto app = host::memory::NewMemApplication();
  auto doc = ReadMem(*app, bytes, "found.dxf");
  const auto names = [](host::memory::MemDocument& d) {
    std::vector<std::string> out;
    for (const auto& layer : d.layers()) out.push_back(layer->name());
    return out;
  };
  const std::string caret = "3_^@^@^@^@^@^@^@^@^@2d";
  EXPECT_EQ(names(*doc), (std::vector<std::string>{"0", caret}));
  for (const bool binary : {false, true}) {
    auto again = ReadMem(*app, dxf::WriteDrawing(*doc, binary), "again.dxf");
    EXPECT_EQ(names(*again), names(*doc)) << (binary ? "binary" : "ASCII");
    for (auto* e : again->model_space()->entities()) EXPECT_EQ(e->layer()->name(), caret);
  }
}

TEST(DxfNegativeZeroTest, TheFuzzFindingReadsWritesAndReadsAgainTheSame) {
  const std::string bytes =
      dxf::ReadFileBytes(PALVANE_TEST_DIR "/../fuzz/corpus/dxf/found-negative-zero-width.dxf");
  auto app = host::memory::NewMemApplication();
  auto doc = ReadMem(*app, bytes, "found.dxf");
  const auto width_signs = [](host::memory::MemDocument& d) {
    std::string s;
    for (const auto& block : d.blocks()) {
      for (auto* e : block->entities()) {
        e->Load();
        if (auto* line = dynamic_cast<host::memory::MemLWPolyline*>(e)) {
          for (const auto& v : line->fields().vertices) {
            s += std::signbit(v.start_width) ? '-' : '+';
            s += std::signbit(v.end_width) ? '-' : '+';
          }
          e->set_dirty(true);
        }
      }
    }
    return s;
  };
  const std::string before = width_signs(*doc);
  ASSERT_NE(before.find('-'), std::string::npos);
  auto again = ReadMem(*app, dxf::WriteDrawing(*doc, false), "again.dxf");
  EXPECT_EQ(width_signs(*again), before);
}

}  // namespace
}  // namespace palvane::testing
