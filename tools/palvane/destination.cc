#include "destination.h"

#include <fstream>
#include <sstream>

#include "failure.h"
#include "outputs.h"

namespace palvane::tools {

void Destination::Add(CLI::App& app, bool overwrite_flag) {
  auto* o = app.add_option("-o", out, "Write the changed drawing here");
  auto* in = app.add_flag("--in-place", in_place,
                          "Save over DRAWING, keeping it as it was in DRAWING.bak");
  o->excludes(in);
  if (overwrite_flag) {
    app.add_flag("--overwrite", overwrite, "Replace OUT, or an existing DRAWING.bak");
  }
  app.add_flag("--no-backup", no_backup, "With --in-place, keep no DRAWING.bak");
  app.add_flag("--dry-run", dry_run, "Write nothing; print what would change");
}

void Destination::Check() const {
  if (!dry_run && out.empty() && !in_place) throw CLI::RequiredError("-o OUT or --in-place");
  if (no_backup && !in_place) {
    throw CLI::ValidationError("--no-backup", "goes with --in-place only");
  }
}

void Destination::CheckPaths(const std::string& drawing) const {
  if (dry_run) return;
  if (in_place) {
    if (!no_backup) CheckReplaceable(Backup(drawing), overwrite);
    return;
  }
  if (SameFile(drawing, out)) {
    throw Failure{2, "the output is the input drawing; use --in-place to change it"};
  }
  CheckDrawingPath(out);
  CheckReplaceable(out, overwrite);
}

void Destination::Write(OpenedDrawing& drawing) const {
  if (dry_run) return;
  Outputs outputs(drawing.progress());
  AddTo(outputs, drawing);
  outputs.Commit();
}

void Destination::AddTo(Outputs& outputs, OpenedDrawing& drawing) const {
  if (dry_run) return;
  if (in_place && !no_backup) {
    std::ifstream in(FsPath(drawing.path()), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    if (!in) throw Failure{2, "cannot read " + drawing.path() + " again for its backup"};
    outputs.AddFile(Backup(drawing.path()), bytes.str(), overwrite, "the backup");
  }
  outputs.AddDrawing(*drawing.document(), in_place ? drawing.path() : out, in_place || overwrite);
}

}  // namespace palvane::tools
