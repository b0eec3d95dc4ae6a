#include "dxf/file_io.h"

#ifdef _WIN32
// clang-format off
#include <windows.h>
// clang-format on
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <signal.h>
#ifdef __linux__
#include <dirent.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <iterator>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "dxf/drawing.h"
#include "dxf/file_data.h"
#include "dxf/tags.h"
#include "host/memory/memory_host.h"

namespace palvane::dxf {

#ifdef _WIN32
namespace {

// Paths are UTF-8 inside; the system takes them as UTF-16.
std::wstring WidePath(const std::string& path) {
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
  return wide;
}

// The system's text for the last error, on one line.
std::string LastErrorText() {
  const DWORD code = ::GetLastError();
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n > 0 ? std::string(text, n) : "error " + std::to_string(code);
  if (text != nullptr) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) {
    out.pop_back();
  }
  return out;
}

}  // namespace
#endif

namespace {

// A number in decimal, its digits in groups of three: "4 294 967 296".
std::string Grouped(uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return out;
}

// The planned write failure of FailWritesAfterForTesting.
struct WriteFault {
  int64_t after = -1;
  int error = 0;
} g_write_fault;

}  // namespace

void FailWritesAfterForTesting(int64_t bytes, int error) { g_write_fault = {bytes, error}; }

void CheckDrawingSize(uint64_t size) {
  if (size <= kMaxDrawingBytes) return;
  throw DxfError("the drawing is " + Grouped(size) + " bytes, over the " +
                 Grouped(kMaxDrawingBytes) + " bytes (" +
                 (kMaxDrawingBytes > uint64_t{2} << 30 ? "4 GiB" : "2 GiB") +
                 ") that a drawing may have here");
}

std::string ReadFileBytes(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw DxfError(path + ": is a directory");
  }
  FILE* f = ::_wfopen(WidePath(path).c_str(), L"rb");
#else
  FILE* f = std::fopen(path.c_str(), "rb");
#endif
  if (f == nullptr) throw DxfError(path + ": " + std::strerror(errno));
  // Sized once from the file, so that reading never holds two copies.
  std::string bytes;
#ifdef _WIN32
  struct _stat64 st;
  const bool known = ::_fstat64(::_fileno(f), &st) == 0;
#else
  struct stat st;
  const bool known = ::fstat(::fileno(f), &st) == 0;
#endif
  if (known && (st.st_mode & S_IFMT) == S_IFDIR) {
    std::fclose(f);
    throw DxfError(path + ": is a directory");
  }
  if (known && st.st_size > 0) {
    try {
      CheckDrawingSize(static_cast<uint64_t>(st.st_size));
    } catch (const DxfError& e) {
      std::fclose(f);
      throw DxfError(path + ": " + e.what());
    }
    bytes.reserve(static_cast<size_t>(st.st_size));
#ifdef __linux__
    // The drawing keeps slices of these bytes and reads them in no set order
    // afterwards; huge pages spare most of the address translation misses.
    // Advice only, given before the pages are first touched.
    constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<uintptr_t>(bytes.data());
    const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t last = (begin + bytes.capacity()) & ~(kHugePage - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
    bytes.resize(static_cast<size_t>(st.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  }
  // What a file that grows, or one of no known size (a pipe), holds beyond.
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    if (bytes.size() + n > kMaxDrawingBytes) {
      std::fclose(f);
      throw DxfError(path + ": more than " + Grouped(kMaxDrawingBytes) +
                     " bytes, the most a drawing may have here");
    }
    bytes.append(buf, n);
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw DxfError(path + ": read error");
  return bytes;
}

#ifdef _WIN32
PendingFile::PendingFile(const std::string& path, const std::string& bytes, bool overwrite)
    : path_(path), target_(path), overwrite_(overwrite) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (!overwrite && attributes != INVALID_FILE_ATTRIBUTES) {
    throw DxfError(path + ": the file exists; it is not overwritten unless asked");
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw DxfError(path + ": is a directory");
  }
  // A temporary file beside the target, named after this process and a
  // counter, created only if it does not exist yet.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
    temp_ = path + "." + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(attempt) +
            ".tmp";
    file = ::CreateFileW(WidePath(temp_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && (::GetLastError() != ERROR_FILE_EXISTS || attempt >= 100)) {
      temp_.clear();
      throw DxfError(path + ": cannot write here: " + LastErrorText());
    }
  }
  // A constructor that throws runs no destructor: the file goes here.
  auto fail = [&](const char* what) {
    const std::string reason = LastErrorText();
    ::CloseHandle(file);
    ::DeleteFileW(WidePath(temp_).c_str());
    throw DxfError(path + ": " + what + ": " + reason);
  };
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (g_write_fault.after >= 0 && done + chunk > static_cast<uint64_t>(g_write_fault.after)) {
      ::SetLastError(ERROR_DISK_FULL);
      fail("write failed");
    }
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) fail("write failed");
    done += written;
  }
  if (!::FlushFileBuffers(file)) fail("cannot flush");
  if (!::CloseHandle(file)) {
    const std::string reason = LastErrorText();
    ::DeleteFileW(WidePath(temp_).c_str());
    throw DxfError(path + ": close failed: " + reason);
  }
}

PendingFile::~PendingFile() {
  if (!committed_ && !temp_.empty()) ::DeleteFileW(WidePath(temp_).c_str());
}

void RemoveTemporariesOnInterrupt() {}
int RegisterTemporary(const std::string&, bool) { return -1; }
void ReleaseTemporary(int) {}

void PendingFile::Commit() {
  // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing target,
  // even one made meanwhile.
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (overwrite_ ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!::MoveFileExW(WidePath(temp_).c_str(), WidePath(target_).c_str(), flags)) {
    throw DxfError(path_ + ": " + (overwrite_ ? "cannot replace: " : "") + LastErrorText());
  }
  committed_ = true;
}
#else
namespace {

// Renames `from` to `to` unless a file is at `to`, even one made since it was
// last looked at; false with errno set when it cannot. Where the system has
// no rename that refuses (file systems without it, such as some network
// shares), the name is claimed by creating it empty first, which refuses an
// existing file just the same, and then replaced.
bool RenameUnlessTaken(const std::string& from, const std::string& to) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
#endif
  const int claim = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (claim < 0) return false;
  ::close(claim);
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  const int error = errno;
  ::unlink(to.c_str());
  errno = error;
  return false;
}

}  // namespace

PendingFile::PendingFile(const std::string& path, const std::string& bytes, bool overwrite)
    : path_(path), target_(path), overwrite_(overwrite) {
  struct stat link;
  const bool named = ::lstat(path.c_str(), &link) == 0;
  if (!overwrite && named) {
    throw DxfError(path + ": the file exists; it is not overwritten unless asked");
  }
  // A symbolic link stays a link: the file it names is the one replaced.
  if (named && S_ISLNK(link.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
      throw DxfError(path + ": cannot follow the link: " + std::strerror(errno));
    }
    target_ = real;
    std::free(real);
  }
  struct stat existing;
  const bool replaces = ::stat(target_.c_str(), &existing) == 0;
  // Only a file is replaced: never a folder, a device or a pipe.
  if (replaces && S_ISDIR(existing.st_mode)) throw DxfError(path + ": is a directory");
  if (replaces && !S_ISREG(existing.st_mode)) {
    throw DxfError(path + ": is not a regular file; it is not replaced");
  }
  // Made with the permissions the user's umask leaves, as any new file; a
  // file replaced keeps its own below.
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    temp_ = target_ + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
    fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) {
      temp_.clear();
      const std::string where = target_ == path ? "" : " (" + target_ + ")";
      throw DxfError(path + ": cannot write here" + where + ": " + std::strerror(errno));
    }
  }
  slot_ = RegisterTemporary(temp_, false);
  // A constructor that throws runs no destructor: the file goes here.
  auto fail = [&](const char* what) {
    const std::string reason = std::strerror(errno);
    ::close(fd);
    ::unlink(temp_.c_str());
    ReleaseTemporary(slot_);
    throw DxfError(path + ": " + what + ": " + reason);
  };
  size_t done = 0;
  while (done < bytes.size()) {
    size_t chunk = bytes.size() - done;
    if (g_write_fault.after >= 0) {
      // A full disk takes what fits, then refuses.
      const auto room = static_cast<size_t>(g_write_fault.after);
      if (done >= room) {
        errno = g_write_fault.error;
        fail("write failed");
      }
      chunk = std::min(chunk, room - done);
    }
    const ssize_t w = ::write(fd, bytes.data() + done, chunk);
    if (w < 0) {
      if (errno == EINTR) continue;
      fail("write failed");
    }
    done += static_cast<size_t>(w);
  }
  if (replaces) {
    // The owner first, where the system lets this user give the file away
    // (or at least its group), as a change of owner clears the set-id bits
    // the permissions then put back.
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
      // It stays this user's, in this user's group.
    }
    if (::fchmod(fd, existing.st_mode & 07777) != 0) fail("cannot set permissions");
  }
  if (::fsync(fd) != 0) fail("cannot flush");
  if (::close(fd) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temp_.c_str());
    throw DxfError(path + ": close failed: " + reason);
  }
}

PendingFile::~PendingFile() {
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  ReleaseTemporary(slot_);
}

void PendingFile::Commit() {
  if (overwrite_) {
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
      throw DxfError(path_ + ": cannot replace: " + std::strerror(errno));
    }
  } else if (!RenameUnlessTaken(temp_, target_)) {
    throw DxfError(path_ + ": " + std::strerror(errno));
  }
  committed_ = true;
  ReleaseTemporary(slot_);
  slot_ = -1;
}

namespace {

// The paths registered, in storage a signal handler may read: fixed arrays,
// each slot published by its flag once its path is written.
struct TemporarySlot {
  volatile sig_atomic_t used = 0;
  volatile sig_atomic_t folder = 0;
  char path[PATH_MAX] = {};
};
TemporarySlot g_temporaries[32];

// Removes what the folder `name` (in the folder `at`) holds, folders in it
// too down to `depth` levels, and then the folder itself, with calls safe
// in a signal handler: the entries are read with getdents64, as no library
// call to list a folder is. Whether the folder is gone.
bool RemoveFolderNow(int at, const char* name, int depth) {
#ifdef __linux__
  const int fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    alignas(8) char buffer[4096];
    // Entries are read again after each batch is removed, until none is
    // left that can be removed.
    for (bool removed = true; removed;) {
      removed = false;
      ::lseek(fd, 0, SEEK_SET);
      const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
      for (long i = 0; i < n;) {
        // struct linux_dirent64: inode (8), offset (8), length (2), type
        // (1), then the name.
        unsigned short length = 0;
        std::memcpy(&length, buffer + i + 16, sizeof length);
        const unsigned char type = static_cast<unsigned char>(buffer[i + 18]);
        const char* entry = buffer + i + 19;
        if (std::strcmp(entry, ".") != 0 && std::strcmp(entry, "..") != 0) {
          if (type == DT_DIR && depth > 0) {
            removed = RemoveFolderNow(fd, entry, depth - 1) || removed;
          } else if (::unlinkat(fd, entry, 0) == 0) {
            removed = true;
          }
        }
        i += length;
      }
    }
    ::close(fd);
  }
#endif
  return ::unlinkat(at, name, AT_REMOVEDIR) == 0;
}

void OnInterrupt(int signal_number) {
  for (TemporarySlot& slot : g_temporaries) {
    if (slot.used == 0) continue;
    if (slot.folder != 0) {
      RemoveFolderNow(AT_FDCWD, slot.path, 4);
    } else {
      ::unlink(slot.path);
    }
  }
  // Ends as the signal would have ended it, for the caller's shell.
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

void RemoveTemporariesOnInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int s : {SIGINT, SIGTERM}) ::sigaction(s, &action, nullptr);
}

int RegisterTemporary(const std::string& path, bool folder) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < static_cast<int>(std::size(g_temporaries)); ++i) {
    TemporarySlot& slot = g_temporaries[i];
    if (slot.used != 0) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.folder = folder ? 1 : 0;
    // The path is whole before the handler can see the slot in use.
    std::atomic_signal_fence(std::memory_order_release);
    slot.used = 1;
    return i;
  }
  return -1;
}

void ReleaseTemporary(int slot) {
  if (slot >= 0 && slot < static_cast<int>(std::size(g_temporaries))) g_temporaries[slot].used = 0;
}
#endif

void WriteFileAtomically(const std::string& path, const std::string& bytes, bool overwrite) {
  PendingFile(path, bytes, overwrite).Commit();
}

host::Ref<host::Document> LoadDrawing(host::Application& app, const std::string& path) {
  std::string bytes = ReadFileBytes(path);
#ifdef _WIN32
  const size_t slash = path.find_last_of("/\\");
#else
  const size_t slash = path.find_last_of('/');
#endif
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  host::Ref<host::Document> doc;
  try {
    doc = ReadDrawing(app, std::move(bytes), name);
  } catch (const DxfError& e) {
    throw DxfError(path + ": " + e.what());
  }
  host::memory::Open(*doc);
  return doc;
}

void SaveDrawing(host::Document& doc, const std::string& path, bool overwrite) {
  WriteFileAtomically(path, WriteDrawing(doc), overwrite);
}

}  // namespace palvane::dxf
