#pragma once

// Drawing files on disk: read whole, within the size a drawing may have,
// and written atomically (platform/files.h).

#include <cstdint>
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

// Reads a drawing file and opens it in `app`, an in-memory application,
// named after the file.
host::Ref<host::Document> LoadDrawing(host::Application& app, const std::string& path);

// Saves `doc`, an in-memory drawing, to `path` in the version and form it was
// read in, through a pending file; DxfError when it cannot.
void SaveDrawing(host::Document& doc, const std::string& path, bool overwrite);

}  // namespace palvane::dxf
