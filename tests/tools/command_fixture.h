#pragma once

// The fixture of the palvane command's end-to-end tests: the built binary (or
// PALVANE_COMMAND, such as "wine palvane.exe --host automation") run on
// drawings the tests write, in a folder of the test's own.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/scratch.h"
#include "support/xml.h"

namespace palvane::testing {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

class PalvaneTest : public ScratchFolderTest {
 protected:
  // The command under test: the one built here, or PALVANE_COMMAND when set
  // (such as "wine palvane.exe --host automation").
  static std::string Command() {
    const char* command = std::getenv("PALVANE_COMMAND");
    return command != nullptr && *command != '\0' ? command : PALVANE_BINARY;
  }

  Outcome Palvane(const std::string& args) const {
    const std::string out = Path("stdout.txt"), err = Path("stderr.txt");
    const std::string command = Command() + " " + args + " > '" + out + "' 2> '" + err + "'";
    const int raw = std::system(command.c_str());
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(out), Read(err)};
  }
  // Runs the independent checker on a drawing: its audit must find no error.
  static void ExpectAuditClean(const std::string& path) {
    const std::string command = "/usr/bin/python3 -m ezdxf audit '" + path + "' 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string output;
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) output.append(buf, n);
    const int status = ::pclose(p);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("No errors found"), std::string::npos) << output;
  }
  // A picture the command wrote: well-formed XML, and rendered by librsvg
  // into a PNG where rsvg-convert is installed.
  void ExpectGoodPicture(const std::string& path) const {
    SCOPED_TRACE(path);
    const std::string svg = Read(path);
    EXPECT_TRUE(WellFormedXml(svg));
    if (!fs::exists("/usr/bin/rsvg-convert")) return;
    const std::string png = path + ".png";
    const std::string command =
        "/usr/bin/rsvg-convert -o '" + png + "' '" + path + "' 2>'" + png + ".err'";
    EXPECT_EQ(std::system(command.c_str()), 0) << Read(png + ".err");
    EXPECT_EQ(Read(png).substr(0, 4), "\x89PNG");
  }
  // Whether the command under test draws pictures: the Windows build has no
  // cairo, and refuses them.
  bool PicturesDrawn() const {
    const Outcome r =
        Palvane("check '" + Path("no-such.dxf") + "' --pdf '" + Path("no-such.pdf") + "'");
    return r.err.find("draws no pictures") == std::string::npos;
  }
  std::string River(int sections = 12, int clutter = 1) const {
    const std::string path = Path("river.dxf");
    const Outcome r = Palvane("generate --sections " + std::to_string(sections) + " --clutter " +
                              std::to_string(clutter) + " --seed 5 -o '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
  }
};

inline bool Checker() {
  return fs::exists("/usr/bin/python3") &&
         std::system("/usr/bin/python3 -c 'import ezdxf' 2>/dev/null") == 0;
}

// Whether `text` holds nothing a terminal would act on. The messages here
// quote only ASCII once escaped: printable ASCII and line ends.
inline bool Printable(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7f); });
}

}  // namespace palvane::testing
