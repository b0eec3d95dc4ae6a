// End-to-end tests of what the palvane command writes: outputs put in place
// only when whole, never over the source or each other, nor over a file the
// user did not ask to replace; links and permissions kept; failures to write,
// a full disk and bad inputs each refused in one line.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <vector>

#include "dxf/file_io.h"
#include "tools/command_fixture.h"

namespace palvane::testing {
namespace {

TEST_F(PalvaneTest, UnwritableOutputLeavesNothingBehind) {
  const std::string river = River(3, 0);
  fs::create_directories(Path("locked"));
  ::chmod(Path("locked").c_str(), 0555);
  const Outcome r = Palvane("keyplan '" + river + "' -o '" + Path("locked/k.dxf") + "'");
  ::chmod(Path("locked").c_str(), 0755);
  if (::geteuid() != 0) {  // root may write anywhere
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write the drawing"), std::string::npos) << r.err;
  }
  const Outcome dir = Palvane("keyplan '" + river + "' -o '" + Path("missing/k.dxf") + "'");
  EXPECT_EQ(dir.status, 2);
  EXPECT_NE(dir.err.find("cannot write the drawing"), std::string::npos) << dir.err;
  size_t left = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir_)) {
    left += e.path().filename().string().find("k.dxf") != std::string::npos;
  }
  if (::geteuid() != 0) {
    EXPECT_EQ(left, 0u);
  }
}

// The keyplan's picture never replaces the source or the keyplan, and the
// outputs stand together: when the picture cannot be written, a file at -o
// keeps its bytes and nothing is left beside it.
TEST_F(PalvaneTest, KeyplanOutputsNeverReplaceTheSourceOrEachOther) {
  const std::string river = River(3, 0);
  const std::string source = Read(river);
  const std::string keyplan = Path("k.dxf");
  const struct {
    std::string svg, reason;
  } cases[] = {
      {river, "the picture would overwrite the source drawing"},
      {(dir_ / "." / "river.dxf").string(), "the picture would overwrite the source drawing"},
      {keyplan, "the picture would overwrite the keyplan"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.svg);
    const Outcome r = Palvane("keyplan '" + river + "' -o '" + keyplan + "' --svg '" + c.svg + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_EQ(Read(river), source);
    EXPECT_FALSE(fs::exists(keyplan));
  }
  // Names relative to the working folder, for files yet to be made.
  const std::string relative = "cd '" + dir_.string() + "' && " + Command() +
                               " keyplan river.dxf -o k.dxf --svg ./k.dxf > '" + Path("out") +
                               "' 2> '" + Path("err") + "'";
  const int raw = std::system(relative.c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 2) << raw;
  EXPECT_NE(Read(Path("err")).find("the picture would overwrite the keyplan"), std::string::npos)
      << Read(Path("err"));
  EXPECT_FALSE(fs::exists(keyplan));
  fs::remove(Path("out"));
  fs::remove(Path("err"));
  {
    std::ofstream f(keyplan, std::ios::binary);
    f << "the user's file";
  }
  // Not replaced unless asked; and when asked, not while the picture fails.
  const Outcome unasked = Palvane("keyplan '" + river + "' -o '" + keyplan + "'");
  EXPECT_EQ(unasked.status, 2);
  EXPECT_NE(unasked.err.find("k.dxf exists; give --overwrite to replace it"), std::string::npos)
      << unasked.err;
  if (!PicturesDrawn()) return;
  const Outcome r = Palvane("keyplan '" + river + "' -o '" + keyplan + "' --overwrite --svg '" +
                            Path("missing/k.svg") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot write the picture"), std::string::npos) << r.err;
  EXPECT_EQ(Read(keyplan), "the user's file");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"k.dxf", "river.dxf", "stderr.txt", "stdout.txt"}));
}

// Output that cannot reach its reader is a failure, whatever the command.
// The test needs /dev/full, and runs the command as built here: under Wine
// the standard output is the emulator's.
TEST_F(PalvaneTest, StandardOutputThatCannotBeWrittenFails) {
  if (!fs::exists("/dev/full") || std::getenv("PALVANE_COMMAND") != nullptr) {
    GTEST_SKIP() << "needs /dev/full and the command built here";
  }
  const std::string river = River(3, 0);
  const auto j = nlohmann::json::parse(Palvane("info '" + river + "' --json").out);
  const std::string handle = j["reaches"][0]["handle"];
  for (const std::string& args :
       {"point-along '" + river + "' --polyline " + handle + " --distance 1",
        "generate --sections 120 --faults all -o '" + Path("g.dxf") + "' --overwrite",
        "info '" + river + "'", "station '" + river + "' --point 1,2"}) {
    SCOPED_TRACE(args);
    const std::string command = Command() + " " + args + " > /dev/full 2> '" + Path("err") + "'";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 2) << raw;
    EXPECT_NE(Read(Path("err")).find("standard output"), std::string::npos) << Read(Path("err"));
  }
}

// Writing a drawing replaces the file a link names, not the link, and the
// file keeps its permissions. POSIX files as the command built here sees
// them.
TEST_F(PalvaneTest, SavingKeepsLinksAndPermissions) {
  if (std::getenv("PALVANE_COMMAND") != nullptr) GTEST_SKIP() << "POSIX links and permissions";
  const std::string river = River(3, 0);
  const std::string before = Read(river);
  const auto j = nlohmann::json::parse(Palvane("info '" + river + "' --json").out);
  const std::string line = j["sections"][0]["handle"];
  ::chmod(river.c_str(), 0640);
  fs::create_symlink(river, Path("link.dxf"));
  const Outcome r =
      Palvane("view-section '" + Path("link.dxf") + "' --polyline " + line + " --in-place");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(Path("link.dxf")));
  EXPECT_NE(Read(river), before);
  struct stat st;
  ASSERT_EQ(::stat(river.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Each bad input fails with status 2 and one line naming the problem, writes
// no output and leaves the source as it was.
TEST_F(PalvaneTest, BadInputsFailWithOneLineAndWriteNothing) {
  const std::string river = River(3, 0);
  const std::string source = Read(river);
  const std::string out = Path("k.dxf");
  auto expect_refused = [&](const std::string& args, const std::string& reason) {
    SCOPED_TRACE(args);
    const Outcome r = Palvane(args + " -o '" + out + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    EXPECT_TRUE(Printable(r.err)) << r.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(Read(river), source);
  };

  // A folder given as the drawing.
  expect_refused("keyplan '" + dir_.string() + "'", "is a directory");

  // A binary file whose bytes would move the cursor, clear the screen and
  // ring the bell; and a name holding such bytes.
  {
    std::ofstream f(Path("garbled.dxf"), std::ios::binary);
    f << "  0\n\x1b[2J\x1b[31mEVIL\x07\x01\xff\n";
  }
  expect_refused("keyplan '" + Path("garbled.dxf") + "'",
                 "found \"\\x1B[2J\\x1B[31mEVIL\\x07\\x01\\xFF\"");
  expect_refused("keyplan '" + Path("no\x1b]0;title\x07where.dxf") + "'",
                 "no\\x1B]0;title\\x07where.dxf");

  // A drawing over the largest the file image takes: refused before a byte
  // is read, naming the limit. The file is sparse and takes no room.
  { std::ofstream f(Path("huge.dxf"), std::ios::binary); }
  fs::resize_file(Path("huge.dxf"), dxf::kMaxDrawingBytes + 1);
  expect_refused("keyplan '" + Path("huge.dxf") + "'", "GiB) that a drawing may have here");
  fs::remove(Path("huge.dxf"));
}

// A full disk: the output is refused with the system's reason, nothing is
// left behind, and a drawing saved over itself stays as it was. Needs root
// to mount a small file system of its own.
TEST_F(PalvaneTest, FullDiskLeavesNoOutputAndTheSourceIntact) {
  const std::string river = River(3, 0);
  const fs::path full = dir_ / "full";
  fs::create_directories(full);
  const std::string mount = "mount -t tmpfs -o size=256k tmpfs '" + full.string() + "' 2>/dev/null";
  if (::geteuid() != 0 || std::system(mount.c_str()) != 0) {
    GTEST_SKIP() << "mounting a small file system needs root";
  }
  const std::string source = Read(river);
  const std::string copy = (full / "river.dxf").string();
  fs::copy_file(river, copy);
  {
    // Fill what is left.
    std::ofstream filler(full / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
  }
  const auto j = nlohmann::json::parse(Palvane("info '" + river + "' --json").out);
  const std::string line = j["sections"][0]["handle"];
  const struct {
    std::string args;
  } cases[] = {
      {"keyplan '" + copy + "' -o '" + (full / "k.dxf").string() + "'"},
      {"view-section '" + copy + "' --polyline " + line + " --in-place"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = Palvane(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    // The system's reason: "No space left on device", or "Disk full".
    EXPECT_NE(r.err.find("write failed: "), std::string::npos) << r.err;
    EXPECT_TRUE(r.err.find("space") != std::string::npos || r.err.find("full") != std::string::npos)
        << r.err;
    EXPECT_EQ(Read(copy), source);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(full)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"filler", "river.dxf"}));
  }
  EXPECT_EQ(std::system(("umount '" + full.string() + "'").c_str()), 0);
}

}  // namespace
}  // namespace palvane::testing
