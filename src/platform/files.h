#pragma once

// Files on disk, as each system reads and writes them: a file read whole,
// and files written in full beside their paths before they are put in
// place, so that a failure never leaves a half-written file. One source per
// system implements what differs (files_posix.cc, files_windows.cc); the
// build picks one.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

namespace palvane::platform {

// A file that cannot be read or written; the message begins with its path.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The last part of a path: what follows its last separator ("/", and on
// Windows "\" as well).
std::string FileName(const std::string& path);

// A file open for reading, closed when let go.
class InputFile {
 public:
  // FileError when it cannot be opened, or is a folder.
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Its size when the system knows it (a pipe's it does not).
  std::optional<uint64_t> size() const { return size_; }
  // Reads up to `n` bytes, fewer only at its end; FileError on a read error.
  size_t Read(char* data, size_t n);

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  std::optional<uint64_t> size_;
};

// Advises the system that `size` bytes at `data`, not yet touched, will be
// read in no set order: where it has them, huge pages spare most of the
// address translation misses. Advice only.
void AdviseRandomAccess(void* data, size_t size);

// A file written in full under a temporary name beside its path, put in
// place by Commit. Until then the path is untouched, so that several outputs
// of one command can all be written before any of them replaces a file; one
// let go without Commit removes what it wrote. A symbolic link at the path
// stays: the file it names is replaced. A file replaced keeps its
// permissions; a new one gets those the user's umask leaves.
class PendingFile {
 public:
  // Writes `bytes`; FileError when they cannot be written. Without
  // `overwrite`, a file already at `path` is refused.
  PendingFile(const std::string& path, const std::string& bytes, bool overwrite);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Puts the file in place; FileError when it cannot, the file at the path
  // then unchanged.
  void Commit();

 private:
  std::string path_;    // as given, for messages
  std::string target_;  // the file replaced: the path, or what its link names
  std::string temp_;
  int slot_ = -1;  // of the temporary file, removed on interrupt
  bool overwrite_;
  bool committed_ = false;
};

// Writes `bytes` to `path` through a PendingFile. Without `overwrite`, an
// existing file is refused. FileError on failure.
void WriteFileAtomically(const std::string& path, const std::string& bytes, bool overwrite);

// Temporary files and folders that an interrupted command removes: on
// SIGINT or SIGTERM, once RemoveTemporariesOnInterrupt was called, every
// path registered and not yet let go is removed (a folder with the files
// it holds), and the process then ends by that signal. PendingFile
// registers its files itself. Register returns a slot for Release, or -1
// when the path cannot be kept (it is then left behind on interrupt). On
// Windows these do nothing.
void RemoveTemporariesOnInterrupt();
int RegisterTemporary(const std::string& path, bool folder);
void ReleaseTemporary(int slot);

// Makes the writes of PendingFile fail as on a full disk: with
// `error` (an errno value, such as ENOSPC) once `bytes` bytes of a file were
// written, or on Windows with the system's "disk full" before the write that
// would pass them. A negative `bytes` lets writes succeed again. For tests
// only: one setting for the whole process, not guarded for threads.
void FailWritesAfterForTesting(int64_t bytes, int error);

// The setting FailWritesAfterForTesting made, for the writers.
struct WriteFault {
  int64_t after = -1;
  int error = 0;
};
const WriteFault& PlannedWriteFault();

}  // namespace palvane::platform
