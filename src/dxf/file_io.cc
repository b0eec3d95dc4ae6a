#include "dxf/file_io.h"

#include <string>

#include "dxf/drawing.h"
#include "dxf/tags.h"
#include "host/memory/builder.h"
#include "platform/files.h"

namespace palvane::dxf {
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

}  // namespace

void CheckDrawingSize(uint64_t size) {
  if (size <= kMaxDrawingBytes) return;
  throw DxfError("the drawing is " + Grouped(size) + " bytes, over the " +
                 Grouped(kMaxDrawingBytes) + " bytes (" +
                 (kMaxDrawingBytes > uint64_t{2} << 30 ? "4 GiB" : "2 GiB") +
                 ") that a drawing may have here");
}

std::string ReadFileBytes(const std::string& path) {
  try {
    platform::InputFile file(path);
    // Sized once from the file, so that reading never holds two copies.
    std::string bytes;
    if (const auto size = file.size(); size && *size > 0) {
      try {
        CheckDrawingSize(*size);
      } catch (const DxfError& e) {
        throw DxfError(path + ": " + e.what());
      }
      bytes.reserve(static_cast<size_t>(*size));
      // The drawing keeps slices of these bytes and reads them in no set
      // order afterwards.
      platform::AdviseRandomAccess(bytes.data(), bytes.capacity());
      bytes.resize(static_cast<size_t>(*size));
      bytes.resize(file.Read(bytes.data(), bytes.size()));
    }
    // What a file that grows, or one of no known size (a pipe), holds beyond.
    char buf[1 << 16];
    while (const size_t n = file.Read(buf, sizeof buf)) {
      if (bytes.size() + n > kMaxDrawingBytes) {
        throw DxfError(path + ": more than " + Grouped(kMaxDrawingBytes) +
                       " bytes, the most a drawing may have here");
      }
      bytes.append(buf, n);
    }
    return bytes;
  } catch (const platform::FileError& e) {
    throw DxfError(e.what());
  }
}

host::Ref<host::Document> LoadDrawing(host::Application& app, const std::string& path) {
  std::string bytes = ReadFileBytes(path);
  host::Ref<host::Document> doc;
  try {
    doc = ReadDrawing(app, std::move(bytes), platform::FileName(path));
  } catch (const DxfError& e) {
    throw DxfError(path + ": " + e.what());
  }
  host::memory::Builder::Open(*doc);
  return doc;
}

void SaveDrawing(host::Document& doc, const std::string& path, bool overwrite) {
  try {
    platform::WriteFileAtomically(path, WriteDrawing(doc), overwrite);
  } catch (const platform::FileError& e) {
    throw DxfError(e.what());
  }
}

}  // namespace palvane::dxf
