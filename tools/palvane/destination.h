#pragma once

// Where a command that changes a drawing writes it: a new file (-o OUT), or
// over the drawing (--in-place) with the drawing as it was kept beside it
// (DRAWING.bak, unless --no-backup); or nowhere with --dry-run.

#include <CLI/CLI.hpp>
#include <string>

#include "drawing_files.h"
#include "outputs.h"

namespace palvane::tools {

struct Destination {
  std::string out;
  bool in_place = false, overwrite = false, no_backup = false, dry_run = false;

  // Adds -o, --in-place, --no-backup, --dry-run and (unless the command
  // has its own, which then sets `overwrite`) --overwrite to `app`.
  void Add(CLI::App& app, bool overwrite_flag = true);
  // Refuses, as the command line is parsed, a destination given wrongly.
  void Check() const;
  // Refuses, before any work, what could not be written.
  void CheckPaths(const std::string& drawing) const;
  // Writes the drawing, and its backup, together; nothing with --dry-run.
  void Write(OpenedDrawing& drawing) const;
  // The same into `outputs`, to stand with the command's other outputs.
  void AddTo(Outputs& outputs, OpenedDrawing& drawing) const;

  std::string Backup(const std::string& drawing) const { return drawing + ".bak"; }
};

}  // namespace palvane::tools
