// The command as a user meets it: what it prints, in which units, with which
// exit status, and what it needs to start.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "command_fixture.h"

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

}  // namespace
}  // namespace palvane::testing
