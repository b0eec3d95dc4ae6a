#include "dxf/drawing.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "dxf/file_io.h"
#include "dxf/template.h"
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
  auto app = host::memory::CreateApplication();
  auto doc = NewDrawing(*app);
  EXPECT_EQ(dxf::VersionOf(*doc), "AC1027");
  EXPECT_EQ(FirstDifference(dxf::kTemplate, dxf::WriteDrawing(*doc)), "");
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
    auto app = host::memory::CreateApplication();
    const std::string bytes = dxf::ReadFileBytes(entry.path().string());
    try {
      auto doc = dxf::ReadDrawing(*app, bytes, "x.dxf");
      const std::string written = dxf::WriteDrawing(*doc);
      std::string diff = FirstDifference(bytes, written);
      if (diff.empty()) {
        auto again = dxf::ReadDrawing(*app, written, "y.dxf");
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
