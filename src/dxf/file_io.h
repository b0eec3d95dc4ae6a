#pragma once

// Drawing files on disk: read whole, written atomically.

#include <memory>
#include <string>

#include "host/host.h"

namespace palvane::dxf {

// The bytes of a file; DxfError when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Writes `bytes` to `path` through a temporary file in the same folder that is
// renamed over the target, so that a failure never leaves a half-written
// file. Without `overwrite`, an existing file is refused. DxfError on failure.
void WriteFileAtomically(const std::string& path, const std::string& bytes, bool overwrite);

// Reads a drawing file and opens it in `app`, an in-memory application,
// named after the file.
host::Ref<host::Document> LoadDrawing(host::Application& app, const std::string& path);

// Saves `doc`, an in-memory drawing, to `path` in the version and form it was
// read in.
void SaveDrawing(host::Document& doc, const std::string& path, bool overwrite);

}  // namespace palvane::dxf
