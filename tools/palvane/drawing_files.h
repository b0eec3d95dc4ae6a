#pragma once

// The drawing files a command reads and the paths it writes: a drawing read
// and opened with the failures a user must hear of, and the checks made on
// output paths before any work.

#include <filesystem>
#include <memory>
#include <string>

#include "console.h"
#include "host/host.h"

namespace palvane::tools {

// A path given in UTF-8, for the file system library.
std::filesystem::path FsPath(const std::string& utf8);

// A drawing file read into an in-memory application of its own and opened;
// a Failure (status 2) when it cannot be read, naming a DWG file as such.
class OpenedDrawing {
 public:
  explicit OpenedDrawing(const std::string& path);

  const std::string& path() const { return path_; }
  Progress& progress() { return progress_; }
  host::Application& application() { return *app_; }
  // The drawing as read; null once closed.
  const host::Ref<host::Document>& document() const { return doc_; }
  // The drawing as the operations see it (see operation_host.h).
  host::Ref<host::Document> Seen() const;

  // The lightweight polyline of a handle given in hexadecimal, as the
  // operations see it; a Failure (status 2) when the text is no handle or
  // names no entity or another kind, and the kind then.
  host::Ref<host::LWPolyline> Polyline(const std::string& handle_text);

  // The polyline of a handle in any form, lightweight or heavy (2D or 3D),
  // as the operations see it; a Failure as Polyline says for another kind.
  host::Ref<host::Entity> Line(const std::string& handle_text);

  // The lightweight polyline of a handle, but a heavy polyline is taken
  // too: a lightweight polyline in plan is made of it (on its layer, the
  // heavy polyline kept), and `made` then says so: "3D polyline: its plan
  // copy, lightweight polyline 2F on layer Axis,".
  host::Ref<host::LWPolyline> PlanPolyline(const std::string& handle_text, std::string& made);

  // A Failure (status 2) when the drawing is of a version that cannot hold
  // lightweight polylines (R12), which tags are written on: nothing could
  // be written of what tagging it does.
  void RefuseWithoutLightweightPolylines() const;

  // Lets the drawing go, so that it is never held beside the bytes of what
  // is written from it.
  void Close();

 private:
  // The entity of a handle, as read; a Failure as Polyline says.
  host::Ref<host::Entity> Find(const std::string& handle_text);

  std::string path_;
  Progress progress_;
  std::shared_ptr<host::Application> app_;
  host::Ref<host::Document> doc_;
};

// For a drawing with no tagged reach: "; polylines tag reach --polyline
// takes, longest first: 3AB on layer 0 (860.120), ..." naming the five
// longest lightweight and 3D polylines of model space; empty when it has none.
std::string CentreLineCandidates(host::Document& drawing);

// Whether two paths name one file: an existing one by any path or link, or
// one yet to be made by the same path once links and dots are resolved.
bool SameFile(const std::string& a, const std::string& b);

// Refuses, before any work, a drawing output whose name does not end in
// .dxf (in any letter case): drawings are written as DXF only.
void CheckDrawingPath(const std::string& path);

// Refuses, before any work, an output that would replace a file the user
// did not ask to replace, or a folder. An empty path is no output.
void CheckReplaceable(const std::string& path, bool overwrite);

}  // namespace palvane::tools
