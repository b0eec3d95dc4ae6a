#include "drawing_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "failure.h"
#include "support/scratch.h"

namespace palvane::testing {
namespace {

namespace fs = std::filesystem;

class DrawingFilesTest : public ScratchFolderTest {
 protected:
  static std::string FailureOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const tools::Failure& failure) {
      return failure.reason;
    }
    return "";
  }
};

TEST_F(DrawingFilesTest, APolylineIsFoundByItsHandleAndAnythingElseIsNamed) {
  std::string line_handle, point_handle;
  {
    auto app = dxf::NewApplication();
    const auto doc = app->Documents()->Add();
    line_handle = doc->ModelSpace()->AddLightWeightPolyline({0, 0, 10, 0})->Handle();
    point_handle = doc->ModelSpace()->AddPoint({1, 2, 0})->Handle();
    dxf::SaveDrawing(*doc, Path("d.dxf"), false);
  }
  tools::OpenedDrawing drawing(Path("d.dxf"));
  const int32_t sets = drawing.document()->SelectionSets()->Count();
  EXPECT_EQ(drawing.Polyline(line_handle)->Handle(), line_handle);
  std::string lower = line_handle;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(drawing.Polyline(lower)->Handle(), line_handle);
  EXPECT_EQ(FailureOf([&] { drawing.Polyline(point_handle); }),
            "entity " + point_handle + " is a POINT, not a lightweight polyline");
  EXPECT_EQ(FailureOf([&] { drawing.Polyline("FFFFFF"); }),
            "the drawing has no entity with handle FFFFFF");
  EXPECT_EQ(FailureOf([&] { drawing.Polyline("12G"); }),
            "\"12G\" is not a handle (a hexadecimal number)");
  // The lookup's selection set is gone again.
  EXPECT_EQ(drawing.document()->SelectionSets()->Count(), sets);
  drawing.Close();
  EXPECT_FALSE(drawing.document());
}

TEST_F(DrawingFilesTest, DwgAndOtherOutputNamesAreRefusedUpFront) {
  { std::ofstream(Path("old.dwg"), std::ios::binary) << "AC1032" << std::string(100, '\0'); }
  EXPECT_EQ(FailureOf([&] { tools::OpenedDrawing drawing(Path("old.dwg")); }),
            Path("old.dwg") +
                " is a DWG drawing (AC1032, the 2018 format), which Palvane does not read: "
                "save it as DXF in the CAD program");
  EXPECT_EQ(FailureOf([] { tools::CheckDrawingPath("out.DXF"); }), "");
  EXPECT_EQ(FailureOf([] { tools::CheckDrawingPath("out.dwg"); }),
            "out.dwg: drawings are written as DXF; give a name ending in .dxf (DWG is not "
            "written)");
  EXPECT_EQ(FailureOf([&] { tools::CheckReplaceable(Path("old.dwg"), false); }),
            Path("old.dwg") + " exists; give --overwrite to replace it");
  EXPECT_EQ(FailureOf([&] { tools::CheckReplaceable(Path("old.dwg"), true); }), "");
  EXPECT_EQ(FailureOf([&] { tools::CheckReplaceable(dir_.string(), true); }),
            dir_.string() + " is a directory");
}

}  // namespace
}  // namespace palvane::testing
