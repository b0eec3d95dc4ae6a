#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/mman.h>
#include <sys/syscall.h>
#endif

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/files.h"

namespace palvane::platform {

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

InputFile::InputFile(const std::string& path) : path_(path) {
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) throw FileError(path + ": " + std::strerror(errno));
  struct stat st;
  if (::fstat(::fileno(file_), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    std::fclose(file_);
    throw FileError(path + ": is a directory");
  }
  if (S_ISREG(st.st_mode)) size_ = static_cast<uint64_t>(st.st_size);
}

InputFile::~InputFile() { std::fclose(file_); }

size_t InputFile::Read(char* data, size_t n) {
  const size_t got = std::fread(data, 1, n, file_);
  if (got < n && std::ferror(file_) != 0) throw FileError(path_ + ": read error");
  return got;
}

void AdviseRandomAccess(void* data, size_t size) {
#ifdef __linux__
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t last = (begin + size) & ~(kHugePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

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
    throw FileError(path + ": the file exists; it is not overwritten unless asked");
  }
  // A symbolic link stays a link: the file it names is the one replaced.
  if (named && S_ISLNK(link.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
      throw FileError(path + ": cannot follow the link: " + std::strerror(errno));
    }
    target_ = real;
    std::free(real);
  }
  struct stat existing;
  const bool replaces = ::stat(target_.c_str(), &existing) == 0;
  // Only a file is replaced: never a folder, a device or a pipe.
  if (replaces && S_ISDIR(existing.st_mode)) throw FileError(path + ": is a directory");
  if (replaces && !S_ISREG(existing.st_mode)) {
    throw FileError(path + ": is not a regular file; it is not replaced");
  }
  // A file its user may not write is not replaced, although the folder
  // would let it be (the superuser, whom the permissions do not stop, is
  // stopped by a file nobody may write); nor is another user's file, as the
  // one put in its place could not be given back to its owner.
  if (replaces) {
    const bool root = ::geteuid() == 0;
    const bool writable = root ? (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0
                               : ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) == 0;
    if (!writable) throw FileError(path + ": the file is read-only; it is not replaced");
    if (!root && existing.st_uid != ::geteuid()) {
      throw FileError(path + ": the file is another user's; it is not replaced");
    }
  }
  // Made with the permissions the user's umask leaves, as any new file; a
  // file replaced keeps its own below.
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    temp_ = target_ + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
    // Registered before it is made: an interruption between the two would
    // leave it behind. The name holds this process's number.
    slot_ = RegisterTemporary(temp_, false);
    fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      const int error = errno;
      ReleaseTemporary(slot_);
      slot_ = -1;
      if (error != EEXIST || attempt >= 100) {
        temp_.clear();
        const std::string where = target_ == path ? "" : " (" + target_ + ")";
        throw FileError(path + ": cannot write here" + where + ": " + std::strerror(error));
      }
    }
  }
  // A constructor that throws runs no destructor: the file goes here.
  auto fail = [&](const char* what) {
    const std::string reason = std::strerror(errno);
    ::close(fd);
    ::unlink(temp_.c_str());
    ReleaseTemporary(slot_);
    throw FileError(path + ": " + what + ": " + reason);
  };
  size_t done = 0;
  while (done < bytes.size()) {
    size_t chunk = bytes.size() - done;
    if (PlannedWriteFault().after >= 0) {
      // A full disk takes what fits, then refuses.
      const auto room = static_cast<size_t>(PlannedWriteFault().after);
      if (done >= room) {
        errno = PlannedWriteFault().error;
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
    // The file replaced keeps its owner and group, before its permissions,
    // as a change of owner clears the set-id bits the permissions then put
    // back. Where this user may not give the file away (another user's file
    // in a shared folder), it is not replaced.
    struct stat made;
    if (::fstat(fd, &made) != 0) fail("cannot read the new file's owner");
    if ((made.st_uid != existing.st_uid || made.st_gid != existing.st_gid) &&
        ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      fail("cannot keep the file's owner and group, so it is not replaced");
    }
    if (::fchmod(fd, existing.st_mode & 07777) != 0) fail("cannot set permissions");
  }
  if (::fsync(fd) != 0) fail("cannot flush");
  if (::close(fd) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temp_.c_str());
    throw FileError(path + ": close failed: " + reason);
  }
}

PendingFile::~PendingFile() {
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  ReleaseTemporary(slot_);
}

void PendingFile::Commit() {
  if (overwrite_) {
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
      throw FileError(path_ + ": cannot replace: " + std::strerror(errno));
    }
  } else if (!RenameUnlessTaken(temp_, target_)) {
    throw FileError(path_ + ": " + std::strerror(errno));
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

}  // namespace palvane::platform
