#include "dxf/file_io.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dxf/tags.h"

namespace palvane::testing {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("palvane_io_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    dxf::FailWritesAfterForTesting(-1, 0);
    fs::remove_all(dir_);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  size_t FilesLeft() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  static std::string ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const dxf::DxfError& e) {
      return e.what();
    }
    return "";
  }

  fs::path dir_;
};

// The limit is checked on the size alone, before anything is read or made,
// and its message names the limit; sizes never wrap around.
TEST_F(FileIoTest, DrawingSizeLimitNamesItself) {
  EXPECT_EQ(ErrorOf([] { dxf::CheckDrawingSize(dxf::kMaxDrawingBytes); }), "");
  const std::string over = ErrorOf([] { dxf::CheckDrawingSize(dxf::kMaxDrawingBytes + 1); });
  EXPECT_NE(over.find("that a drawing may have here"), std::string::npos) << over;
  if (sizeof(void*) >= 8) {
    EXPECT_EQ(over,
              "the drawing is 4 294 967 297 bytes, over the 4 294 967 296 bytes (4 GiB) that a "
              "drawing may have here");
  }
  // A size that would wrap a 32-bit count is still over.
  EXPECT_NE(ErrorOf([] { dxf::CheckDrawingSize(uint64_t{1} << 63); }), "");
  EXPECT_NE(ErrorOf([] { dxf::CheckDrawingSize(~uint64_t{0}); }), "");
}

TEST_F(FileIoTest, FolderIsNoDrawing) {
  const std::string e = ErrorOf([&] { dxf::ReadFileBytes(dir_.string()); });
  EXPECT_EQ(e, dir_.string() + ": is a directory");
}

// A full disk in the middle of a write: the reason is given, no file is
// left, and a file being replaced keeps its bytes.
TEST_F(FileIoTest, WriteFailingHalfwayLeavesNothingAndTheOldFileIntact) {
  const std::string bytes(100000, 'x');
  dxf::WriteFileAtomically(Path("old.dxf"), "the user's drawing", false);
  for (const int64_t after : {int64_t{0}, int64_t{4096}, int64_t{99999}}) {
    SCOPED_TRACE(after);
    dxf::FailWritesAfterForTesting(after, ENOSPC);
    const std::string replace =
        ErrorOf([&] { dxf::WriteFileAtomically(Path("old.dxf"), bytes, true); });
    EXPECT_NE(replace.find("write failed"), std::string::npos) << replace;
    EXPECT_EQ(Read(Path("old.dxf")), "the user's drawing");
    const std::string fresh =
        ErrorOf([&] { dxf::WriteFileAtomically(Path("new.dxf"), bytes, false); });
    EXPECT_NE(fresh.find("write failed"), std::string::npos) << fresh;
    EXPECT_FALSE(fs::exists(Path("new.dxf")));
    EXPECT_EQ(FilesLeft(), 1u);
  }
  // Room again: the same write succeeds.
  dxf::FailWritesAfterForTesting(-1, 0);
  dxf::WriteFileAtomically(Path("old.dxf"), bytes, true);
  EXPECT_EQ(Read(Path("old.dxf")), bytes);
}

}  // namespace
}  // namespace palvane::testing
