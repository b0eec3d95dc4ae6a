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

// Writes `bytes` to `path` through a temporary file in the same folder that is
// renamed over the target, so that a failure never leaves a half-written
// file. Without `overwrite`, an existing file is refused. DxfError on failure.
void WriteFileAtomically(const std::string& path, const std::string& bytes, bool overwrite);

// Makes the writes of WriteFileAtomically fail as on a full disk: with
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
