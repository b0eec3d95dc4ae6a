// The command as a user meets it: what it prints, in which units, with which
// exit status, and what it needs to start.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "command_fixture.h"
#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "host/memory/memory_host.h"
#include "support/dxf_compare.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

// Output of a shell command, standard error with it.
std::string Shell(const std::string& command) {
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  std::string output;
  if (p == nullptr) return output;
  char buf[4096];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) output.append(buf, n);
  ::pclose(p);
  return output;
}

TEST_F(PalvaneTest, OnlyGisLoadsGdal) {
  if (Command() != PALVANE_BINARY) GTEST_SKIP() << "the Linux build's linking";
  const std::string libraries = Shell("ldd '" PALVANE_BINARY "'");
  ASSERT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
  EXPECT_EQ(libraries.find("gdal"), std::string::npos) << libraries;
  EXPECT_EQ(libraries.find("proj"), std::string::npos) << libraries;

  // Without its module beside it, gis says what is missing; the other
  // commands do not notice.
  const fs::path alone = dir_ / "alone";
  fs::create_directories(alone);
  fs::copy_file(PALVANE_BINARY, alone / "palvane");
  const std::string river = River(4, 0);
  const std::string command = "'" + (alone / "palvane").string() + "' ";
  const std::string gis = Shell(command + "gis '" + river + "' -o '" + Path("r.gpkg") + "'");
  EXPECT_NE(gis.find("palvane: gis needs the GDAL module"), std::string::npos) << gis;
  EXPECT_NE(gis.find("palvane-gis.so"), std::string::npos) << gis;
  EXPECT_FALSE(fs::exists(Path("r.gpkg")));
  EXPECT_NE(Shell(command + "info '" + river + "'").find("reach 1 (current)"), std::string::npos);
}

// Each of the exports' messages names the section it arose on; the last
// line counts the sections with problems and points to check.
TEST_F(PalvaneTest, ExportMessagesNameTheirSection) {
  const std::string faulty = Path("faulty.dxf");
  ASSERT_EQ(Palvane("generate --sections 30 --faults tag-unreadable,no-profile -o '" + faulty + "'")
                .status,
            0);
  for (const char* kind : {"", " --attributes"}) {
    SCOPED_TRACE(kind);
    const Outcome r =
        Palvane("keyplan '" + faulty + "' -o '" + Path("k.dxf") + "' --overwrite" + kind);
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.err);
    std::string line, last;
    size_t messages = 0;
    while (std::getline(lines, line)) {
      last = line;
      if (line.find("sections had problems") != std::string::npos) continue;
      ++messages;
      EXPECT_TRUE(line.rfind("palvane: section 4 (4_SectionLine): ", 0) == 0 ||
                  line.rfind("palvane: section 8 (8_SectionLine): ", 0) == 0)
          << line;
    }
    EXPECT_GT(messages, 2u);
    EXPECT_NE(r.err.find("(4_SectionLine): Type mismatch"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(8_SectionLine): Section 8 Has no profile"), std::string::npos) << r.err;
    EXPECT_EQ(last, "palvane: 2 of 30 sections had problems; palvane check " + faulty +
                        " lists them with their causes");
  }
}

TEST_F(PalvaneTest, DrawingsWithoutTagsAndFilesThatAreNoDxfAreSaidSo) {
  const std::string blank = std::string(PALVANE_TEST_DIR) + "/../src/dxf/template.dxf";
  const Outcome info = Palvane("info '" + blank + "'");
  EXPECT_EQ(info.status, 1);
  EXPECT_EQ(info.out, "");
  EXPECT_NE(info.err.find("the drawing has no tagged reach"), std::string::npos) << info.err;
  if (Command() == PALVANE_BINARY) {
    const Outcome gis = Palvane("gis '" + blank + "' -o '" + Path("r.gpkg") + "'");
    EXPECT_EQ(gis.status, 1);
    EXPECT_NE(gis.err.find("the drawing has no tagged reach"), std::string::npos) << gis.err;
    EXPECT_FALSE(fs::exists(Path("r.gpkg")));
  }

  // A DWG drawing is named as one, with its version.
  {
    std::ofstream dwg(Path("site.dwg"), std::ios::binary);
    dwg.write("AC1027\0\0\0\0\x1f\x01", 12);
  }
  const Outcome dwg = Palvane("info '" + Path("site.dwg") + "'");
  EXPECT_EQ(dwg.status, 2);
  EXPECT_NE(dwg.err.find("is a DWG drawing (AC1027, the 2013 format)"), std::string::npos)
      << dwg.err;
  EXPECT_NE(dwg.err.find("save it as DXF"), std::string::npos) << dwg.err;

  // Drawings are written as DXF only, whatever the command.
  const std::string river = River(4, 0);
  for (const std::string& out : {Path("k.dwg"), Path("k.txt"), Path("k")}) {
    SCOPED_TRACE(out);
    const Outcome k = Palvane("keyplan '" + river + "' -o '" + out + "'");
    EXPECT_EQ(k.status, 2);
    EXPECT_NE(k.err.find("drawings are written as DXF"), std::string::npos) << k.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(Palvane("generate --sections 3 -o '" + out + "'").status, 2);
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(Palvane("keyplan '" + river + "' -o '" + Path("K.DXF") + "'").status, 0);
}

TEST_F(PalvaneTest, AttributeKeyplanRefusesLabelFlags) {
  const std::string river = River(4, 0);
  for (const char* flags :
       {"--fields name", "--name-prefix XS", "--chainage-suffix m", "--bearing-precision 3"}) {
    SCOPED_TRACE(flags);
    const Outcome r =
        Palvane("keyplan '" + river + "' -o '" + Path("a.dxf") + "' --attributes " + flags);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--attributes writes every field"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(fs::exists(Path("a.dxf")));
  }
  // What the attribute export reads stays open to it.
  EXPECT_EQ(Palvane("keyplan '" + river + "' -o '" + Path("a.dxf") +
                    "' --attributes --chainage-precision 3 --text-height 1")
                .status,
            0);
}

TEST_F(PalvaneTest, InfoGivesLengthsAndChainagesToTheMillimetre) {
  const std::string river = Path("far.dxf");
  ASSERT_EQ(Palvane("generate --sections 3000 -o '" + river + "'").status, 0);
  const Outcome r = Palvane("info '" + river + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("e+"), std::string::npos);
  std::istringstream lines(r.out);
  std::string line;
  size_t chainages = 0;
  while (std::getline(lines, line)) {
    const size_t at = line.find(" at chainage ");
    if (at == std::string::npos) continue;
    ++chainages;
    const std::string value = line.substr(at + 13, line.find(',', at) - at - 13);
    ASSERT_NE(value.find('.'), std::string::npos) << line;
    EXPECT_EQ(value.size() - value.find('.'), 4u) << line;
  }
  EXPECT_EQ(chainages, 3000u);
}

// Interrupted while it writes, gis leaves nothing of its temporary folder
// and ends by the signal.
TEST_F(PalvaneTest, AnInterruptedCommandLeavesNoTemporaryBehind) {
  if (Command() != PALVANE_BINARY) GTEST_SKIP() << "signals of the Linux build";
  const std::string river = Path("big.dxf");
  ASSERT_EQ(Palvane("generate --sections 20000 -o '" + river + "'").status, 0);
  for (const int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    const fs::path out = dir_ / "out";
    fs::remove_all(out);
    fs::create_directories(out);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::execl(PALVANE_BINARY, PALVANE_BINARY, "gis", river.c_str(), "-o",
              (out / "river.gpkg").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Waits for the temporary folder to appear, then interrupts.
    auto temporary_there = [&] {
      for (const auto& entry : fs::directory_iterator(out)) {
        if (entry.path().filename().string().ends_with(".tmp")) return true;
      }
      return false;
    };
    int status = 0;
    bool seen = false;
    for (int i = 0; i < 6000 && !seen; ++i) {
      seen = temporary_there();
      if (!seen && ::waitpid(child, &status, WNOHANG) == child) break;
      if (!seen) ::usleep(5000);
    }
    ASSERT_TRUE(seen) << "the command ended before it wrote";
    ::kill(child, signal_number);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_FALSE(temporary_there());
    EXPECT_FALSE(fs::exists(out / "river.gpkg"));
  }
}

// A mirrored centre line (normal pointing down) lies in the world at
// (-x, y) of its own coordinates: station measures it there, and
// point-along, which works in the line's own coordinates, says so.
TEST_F(PalvaneTest, AMirroredCentreLineIsMeasuredInTheWorld) {
  auto app = host::memory::NewMemApplication();
  auto doc = app->NewDetachedDocument("mirrored.dxf");
  dxf::ApplyTemplate(*doc);
  app->Open(doc);
  const auto reach = AddPolyline(Ref<host::Document>(doc), "CL", {-100, 0, -300, 0});
  reach->SetNormal({0, 0, -1});
  TagReach(*reach, "1", true);
  dxf::SaveDrawing(*doc, Path("mirrored.dxf"), false);

  const Outcome s = Palvane("station '" + Path("mirrored.dxf") + "' --point 150,5");
  ASSERT_EQ(s.status, 0) << s.err;
  EXPECT_EQ(
      s.out.rfind("point 150.000,5.000: chainage 50.000, offset 5.000, nearest 150.000,0.000, "
                  "bearing 90.0000 degrees from grid north",
                  0),
      0u)
      << s.out;
  const Outcome p = Palvane("point-along '" + Path("mirrored.dxf") + "' --polyline " +
                            reach->Handle() + " --distance 50");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.err, "palvane: note: polyline " + reach->Handle() +
                       " has the normal (0, 0, -1): points and bearings are in its own "
                       "coordinates, not the world's\n");
  EXPECT_EQ(p.out.rfind("distance 50.000: x -150.000, y 0.000, ", 0), 0u) << p.out;
}

// Section numbers holding the program's wild-card characters: every section
// is labelled from its own profile (through palvane.exe --host automation
// too, where the filters are the program's patterns).
TEST_F(PalvaneTest, SectionNumbersWithWildcardCharactersAreLabelledRight) {
  auto app = host::memory::NewMemApplication();
  auto doc = app->NewDetachedDocument("numbers.dxf");
  dxf::ApplyTemplate(*doc);
  app->Open(doc);
  const Ref<host::Document> drawing(doc);
  TagReach(*AddPolyline(drawing, "CL", {0, 0, 1000, 0}), "1", true);
  const char* numbers[] = {"12.5", "12-5", "1#", "10", "11"};
  double x = 100;
  for (const char* n : numbers) {
    AddSection(drawing, n, {x, -50, x, 50}, x, 0, "", std::string("XS") + n);
    x += 100;
  }
  dxf::SaveDrawing(*doc, Path("numbers.dxf"), false);
  const Outcome r = Palvane("keyplan '" + Path("numbers.dxf") + "' -o '" + Path("k.dxf") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  auto read = host::memory::NewMemApplication();
  const auto keyplan = LoadMem(*read, Path("k.dxf"));
  std::vector<std::string> labels;
  for (const auto* t : EntitiesOf<host::memory::MemMText>(*keyplan->model_space())) {
    labels.push_back(t->fields().text);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"XS12.5\\P100", "XS12-5\\P200", "XS1#\\P300",
                                              "XS10\\P400", "XS11\\P500"}));
}

}  // namespace
}  // namespace palvane::testing
