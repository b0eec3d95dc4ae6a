#include "outputs.h"

#include "dxf/drawing.h"
#include "dxf/tags.h"
#include "failure.h"

namespace palvane::tools {

void Outputs::AddDrawing(host::Document& doc, const std::string& path, bool overwrite) {
  progress_.Phase("writing " + path);
  try {
    outputs_.push_back(
        {std::make_unique<platform::PendingFile>(path, dxf::WriteDrawing(doc), overwrite), path,
         "the drawing"});
  } catch (const platform::FileError& e) {
    throw Failure{2, std::string("cannot write the drawing: ") + e.what()};
  } catch (const dxf::DxfError& e) {
    throw Failure{2, std::string("cannot write the drawing: ") + e.what()};
  }
}

void Outputs::AddFile(const std::string& path, const std::string& bytes, bool overwrite,
                      const std::string& what) {
  try {
    outputs_.push_back(
        {std::make_unique<platform::PendingFile>(path, bytes, overwrite), path, what});
  } catch (const platform::FileError& e) {
    throw Failure{2, "cannot write " + what + ": " + e.what()};
  }
}

void Outputs::Commit() {
  std::string placed;
  for (Output& output : outputs_) {
    try {
      output.file->Commit();
    } catch (const platform::FileError& e) {
      throw Failure{2, "cannot write " + output.what + ": " + e.what() +
                           (placed.empty() ? "" : " (already written: " + placed + ")")};
    }
    placed += (placed.empty() ? "" : ", ") + output.path;
  }
  outputs_.clear();
}

}  // namespace palvane::tools
