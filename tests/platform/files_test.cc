#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dxf/file_io.h"
#ifndef _WIN32
#include <sys/wait.h>

#include <csignal>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "dxf/tags.h"
#include "support/scratch.h"

namespace palvane::testing {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ScratchFolderTest {
 protected:
  void TearDown() override {
    platform::FailWritesAfterForTesting(-1, 0);
    ScratchFolderTest::TearDown();
  }
  static std::string ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "";
  }
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
  platform::WriteFileAtomically(Path("old.dxf"), "the user's drawing", false);
  for (const int64_t after : {int64_t{0}, int64_t{4096}, int64_t{99999}}) {
    SCOPED_TRACE(after);
    platform::FailWritesAfterForTesting(after, ENOSPC);
    const std::string replace =
        ErrorOf([&] { platform::WriteFileAtomically(Path("old.dxf"), bytes, true); });
    EXPECT_NE(replace.find("write failed"), std::string::npos) << replace;
    EXPECT_EQ(Read(Path("old.dxf")), "the user's drawing");
    const std::string fresh =
        ErrorOf([&] { platform::WriteFileAtomically(Path("new.dxf"), bytes, false); });
    EXPECT_NE(fresh.find("write failed"), std::string::npos) << fresh;
    EXPECT_FALSE(fs::exists(Path("new.dxf")));
    EXPECT_EQ(FilesLeft(), 1u);
  }
  // Room again: the same write succeeds.
  platform::FailWritesAfterForTesting(-1, 0);
  platform::WriteFileAtomically(Path("old.dxf"), bytes, true);
  EXPECT_EQ(Read(Path("old.dxf")), bytes);
}

// A pending file touches nothing at its path until committed, and one let
// go uncommitted leaves nothing behind; several can be written before any
// is put in place.
TEST_F(FileIoTest, PendingFilesReplaceNothingUntilCommitted) {
  platform::WriteFileAtomically(Path("a.dxf"), "old a", false);
  platform::WriteFileAtomically(Path("b.dxf"), "old b", false);
  {
    platform::PendingFile a(Path("a.dxf"), "new a", true);
    EXPECT_EQ(Read(Path("a.dxf")), "old a");
    EXPECT_EQ(FilesLeft(), 3u);
    // The second output cannot be written: the first is let go.
    EXPECT_NE(ErrorOf([&] { platform::PendingFile(Path("missing/b.dxf"), "x", true); }), "");
  }
  EXPECT_EQ(Read(Path("a.dxf")), "old a");
  EXPECT_EQ(FilesLeft(), 2u);
  {
    platform::PendingFile a(Path("a.dxf"), "new a", true);
    platform::PendingFile b(Path("b.dxf"), "new b", true);
    a.Commit();
    b.Commit();
  }
  EXPECT_EQ(Read(Path("a.dxf")), "new a");
  EXPECT_EQ(Read(Path("b.dxf")), "new b");
  EXPECT_EQ(FilesLeft(), 2u);
  // Without overwrite, a file made after the pending one began is kept.
  platform::PendingFile late(Path("c.dxf"), "mine", false);
  platform::WriteFileAtomically(Path("c.dxf"), "theirs", false);
  EXPECT_NE(ErrorOf([&] { late.Commit(); }), "");
  EXPECT_EQ(Read(Path("c.dxf")), "theirs");
}

// A file nobody may write (on Windows, one marked read-only) is never
// replaced, whoever asks: not even the superuser, whom permissions do not
// stop. Nothing is left beside it.
TEST_F(FileIoTest, AReadOnlyFileIsNeverReplaced) {
  platform::WriteFileAtomically(Path("ro.dxf"), "old", false);
  fs::permissions(Path("ro.dxf"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(ErrorOf([&] { platform::WriteFileAtomically(Path("ro.dxf"), "new", true); }),
            Path("ro.dxf") + ": the file is read-only; it is not replaced");
  EXPECT_EQ(Read(Path("ro.dxf")), "old");
  EXPECT_EQ(FilesLeft(), 1u);
  // Read, it is any other drawing.
  EXPECT_EQ(dxf::ReadFileBytes(Path("ro.dxf")), "old");
  fs::permissions(Path("ro.dxf"), fs::perms::owner_write, fs::perm_options::add);
  platform::WriteFileAtomically(Path("ro.dxf"), "new", true);
  EXPECT_EQ(Read(Path("ro.dxf")), "new");
}

#ifndef _WIN32
// Another user's file, which this user may write (a shared folder), is not
// replaced: the new file could not be given back to its owner. A child
// process that gives up the superuser's rights stands for that user.
TEST_F(FileIoTest, AnotherUsersFileIsNotReplaced) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to act as another user";
  fs::permissions(dir_, fs::perms::all);
  platform::WriteFileAtomically(Path("theirs.dxf"), "old", false);
  fs::permissions(Path("theirs.dxf"), fs::perms::all);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    try {
      platform::WriteFileAtomically(Path("theirs.dxf"), "new", true);
    } catch (const std::runtime_error& e) {
      ::_exit(std::string(e.what()).find("another user's") != std::string::npos ? 0 : 2);
    }
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Read(Path("theirs.dxf")), "old");
  EXPECT_EQ(FilesLeft(), 1u);
}

// A replaced file keeps its permissions; a new one gets what the umask
// leaves; a link stays a link to the file replaced; and what is no file (a
// folder, a pipe) is never replaced.
TEST_F(FileIoTest, ReplacingKeepsPermissionsLinksAndRefusesWhatIsNoFile) {
  platform::WriteFileAtomically(Path("kept.dxf"), "old", false);
  ::chmod(Path("kept.dxf").c_str(), 0604);
  platform::WriteFileAtomically(Path("kept.dxf"), "new", true);
  struct stat st;
  ASSERT_EQ(::stat(Path("kept.dxf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);

  // A new file gets the permissions any new file gets here (the umask, or
  // the folder's default access list).
  const mode_t mask = ::umask(027);
  platform::WriteFileAtomically(Path("fresh.dxf"), "new", false);
  const int probe = ::open(Path("probe").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  ::umask(mask);
  ASSERT_GE(probe, 0);
  ::close(probe);
  struct stat expected;
  ASSERT_EQ(::stat(Path("probe").c_str(), &expected), 0);
  ASSERT_EQ(::stat(Path("fresh.dxf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, expected.st_mode & 07777);
  fs::remove(Path("probe"));

  fs::create_symlink(Path("kept.dxf"), Path("link.dxf"));
  platform::WriteFileAtomically(Path("link.dxf"), "through the link", true);
  EXPECT_TRUE(fs::is_symlink(Path("link.dxf")));
  EXPECT_EQ(Read(Path("kept.dxf")), "through the link");
  fs::create_symlink(Path("nothing.dxf"), Path("dangling.dxf"));
  EXPECT_NE(ErrorOf([&] {
              platform::WriteFileAtomically(Path("dangling.dxf"), "x", true);
            }).find("cannot follow the link"),
            std::string::npos);

  fs::create_directories(Path("folder"));
  EXPECT_EQ(ErrorOf([&] { platform::WriteFileAtomically(Path("folder"), "x", true); }),
            Path("folder") + ": is a directory");
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
  EXPECT_NE(ErrorOf([&] {
              platform::WriteFileAtomically(Path("pipe"), "x", true);
            }).find("is not a regular file"),
            std::string::npos);
  EXPECT_TRUE(fs::is_fifo(Path("pipe")));
  EXPECT_EQ(FilesLeft(), 6u);  // kept, fresh, link, dangling, folder, pipe
}
#endif

#ifndef _WIN32
// A command interrupted while it writes removes its temporary files and
// folders, then ends by the signal: a child process stands for it.
TEST(InterruptTest, TemporariesAreRemovedAndTheSignalEndsTheProcess) {
  const fs::path dir =
      fs::temp_directory_path() / ("palvane_interrupt_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      platform::RemoveTemporariesOnInterrupt();
      // A pending file, a folder of files, and a file let go before the
      // signal, which stays.
      platform::PendingFile pending((dir / "out.dxf").string(), "0\nEOF\n", false);
      const fs::path folder = dir / ".out.gpkg.tmp";
      fs::create_directories(folder);
      for (const char* name : {"a.shp", "a.dbf", "a.prj"}) std::ofstream(folder / name) << name;
      fs::create_directories(folder / "index" / "deeper");
      std::ofstream(folder / "index" / "deeper" / "a.idx") << "idx";
      platform::RegisterTemporary(folder.string(), true);
      std::ofstream(dir / "kept.txt") << "kept";
      platform::ReleaseTemporary(platform::RegisterTemporary((dir / "kept.txt").string(), false));
      ::raise(signal_number);
      ::_exit(0);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir)) {
      left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"kept.txt"});
  }
  fs::remove_all(dir);
}
#endif

}  // namespace
}  // namespace palvane::testing
