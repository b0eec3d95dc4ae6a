#pragma once

// Drawing files on disk: read whole, written atomically.

#include <cstdint>
#include <memory>
#include <string>

#include "host/host.h"

namespace palvane::dxf {

// The largest drawing read: 4 GiB, and in a 32-bit build 2 GiB, more than
// its address space can hold beside the drawing read from it. Objects are
// numbered in 32 bits, which no drawing within this size outgrows.
inline constexpr uint64_t kMaxDrawingBytes =
    sizeof(void*) >= 8 ? uint64_t{4} << 30 : (uint64_t{2} << 30) - 1;

// DxfError when a drawing of `size` bytes is over kMaxDrawingBytes; the
// message names the limit.
void CheckDrawingSize(uint64_t size);

// The bytes of a file; DxfError when it cannot be read (a folder, a drawing
// over kMaxDrawingBytes, a read error).
std::string ReadFileBytes(const std::string& path);

// A file written in full under a temporary name beside its path, put in
// place by Commit. Until then the path is untouched, so that several outputs
// of one command can all be written before any of them replaces a file; one
// let go without Commit removes what it wrote. A symbolic link at the path
// stays: the file it names is replaced. A file replaced keeps its
// permissions; a new one gets those the user's umask leaves.
class PendingFile {
 public:
  // Writes `bytes`; DxfError when they cannot be written. Without
  // `overwrite`, a file already at `path` is refused.
  PendingFile(const std::string& path, const std::string& bytes, bool overwrite);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Puts the file in place; DxfError when it cannot, the file at the path
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

// Writes `bytes` to `path` through a PendingFile, so that a failure never
// leaves a half-written file. Without `overwrite`, an existing file is
// refused. DxfError on failure.
void WriteFileAtomically(const std::string& path, const std::string& bytes, bool overwrite);

// Makes the writes of PendingFile fail as on a full disk: with
// `error` (an errno value, such as ENOSPC) once `bytes` bytes of a file were
// written, or on Windows with the system's "disk full" before the write that
// would pass them. A negative `bytes` lets writes succeed again. For tests
// only: one setting for the whole process, not guarded for threads.
void FailWritesAfterForTesting(int64_t bytes, int error);

// Reads a drawing file and opens it in `app`, an in-memory application,
// named after the file.
host::Ref<host::Document> LoadDrawing(host::Application& app, const std::string& path);

// Saves `doc`, an in-memory drawing, to `path` in the version and form it was
// read in.
void SaveDrawing(host::Document& doc, const std::string& path, bool overwrite);

}  // namespace palvane::dxf
