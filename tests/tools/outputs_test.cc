#include "outputs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "failure.h"
#include "support/scratch.h"

namespace palvane::testing {
namespace {

namespace fs = std::filesystem;

class OutputsTest : public ScratchFolderTest {
 protected:
  // The reason of the Failure `f` throws; empty when it throws none.
  static std::string FailureOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const tools::Failure& failure) {
      EXPECT_EQ(failure.status, 2);
      return failure.reason;
    }
    return "";
  }

  tools::Progress progress;
};

TEST_F(OutputsTest, NothingIsPutInPlaceUntilEveryOutputIsWritten) {
  {
    tools::Outputs outputs(progress);
    outputs.AddFile(Path("a.svg"), "A", false, "the picture");
    const std::string reason = FailureOf(
        [&] { outputs.AddFile((dir_ / "missing" / "b.svg").string(), "B", false, "the picture"); });
    EXPECT_EQ(reason.rfind("cannot write the picture: ", 0), 0u) << reason;
    EXPECT_FALSE(fs::exists(Path("a.svg")));
  }
  // The outputs let go unplaced leave no temporary file behind.
  EXPECT_EQ(FilesLeft(), 0u);
}

TEST_F(OutputsTest, AFailingCommitNamesWhatWasAlreadyWritten) {
  tools::Outputs outputs(progress);
  outputs.AddFile(Path("a.txt"), "A", false, "the listing");
  outputs.AddFile(Path("b.svg"), "B", false, "the picture");
  { std::ofstream(Path("b.svg"), std::ios::binary) << "someone else's"; }
  const std::string reason = FailureOf([&] { outputs.Commit(); });
  EXPECT_EQ(reason.rfind("cannot write the picture: ", 0), 0u) << reason;
  EXPECT_NE(reason.find("(already written: " + Path("a.txt") + ")"), std::string::npos) << reason;
  EXPECT_EQ(Read(Path("a.txt")), "A");
  EXPECT_EQ(Read(Path("b.svg")), "someone else's");
}

TEST_F(OutputsTest, DrawingsAreWrittenWholeAndAnExistingOneOnlyWhenAsked) {
  auto app = dxf::NewApplication();
  const auto doc = app->Documents()->Add();
  doc->Layers()->Add("Kept");
  { std::ofstream(Path("d.dxf"), std::ios::binary) << "old"; }
  tools::Outputs refused(progress);
  const std::string reason =
      FailureOf([&] { refused.AddDrawing(*doc, Path("d.dxf"), /*overwrite=*/false); });
  EXPECT_EQ(reason.rfind("cannot write the drawing: ", 0), 0u) << reason;
  EXPECT_EQ(Read(Path("d.dxf")), "old");

  tools::Outputs outputs(progress);
  outputs.AddDrawing(*doc, Path("d.dxf"), /*overwrite=*/true);
  EXPECT_EQ(Read(Path("d.dxf")), "old");  // until committed
  outputs.Commit();
  auto again = dxf::NewApplication();
  const auto read = dxf::LoadDrawing(*again, Path("d.dxf"));
  EXPECT_EQ(read->Layers()->Item("Kept")->Name(), "Kept");
}

}  // namespace
}  // namespace palvane::testing
