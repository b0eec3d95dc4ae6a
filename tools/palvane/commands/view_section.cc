// palvane view-section: the drawing's view set up to look along one
// cross-section, saved.

#include <memory>
#include <string>

#include "automation/centerline_class.h"
#include "command.h"
#include "drawing_files.h"
#include "failure.h"
#include "operation_host.h"
#include "outputs.h"

namespace palvane::tools {
namespace {

struct Args {
  std::string drawing, handle, out;
  bool original_data = false, in_place = false, overwrite = false;
};

int Run(const Args& a) {
  if (!a.in_place && SameFile(a.drawing, a.out)) {
    throw Failure{2, "the output is the input drawing; use --in-place to change it"};
  }
  if (!a.in_place) {
    CheckDrawingPath(a.out);
    CheckReplaceable(a.out, a.overwrite);
  }
  OpenedDrawing drawing(a.drawing);
  {
    // The adapter's objects (and through them the drawing) are let go
    // before the drawing is saved.
    const auto line = drawing.Polyline(a.handle);
    host::StderrMessageSink sink;
    automation::CenterlineClass centerline(sink, OperationConversions());
    bool original = a.original_data;
    centerline.ViewSection(drawing.Seen(), line, original);
  }
  Outputs outputs(drawing.progress());
  outputs.AddDrawing(*drawing.document(), a.in_place ? a.drawing : a.out,
                     a.in_place || a.overwrite);
  outputs.Commit();
  return 0;
}

}  // namespace

Command AddViewSection(CLI::App& cli) {
  auto a = std::make_shared<Args>();
  CLI::App* app =
      cli.add_subcommand("view-section", "Set the view up to look along one cross-section");
  app->add_option("DRAWING", a->drawing, "The drawing (DXF)")->required();
  app->add_option("--polyline", a->handle, "Handle of the section line")->required();
  app->add_flag("--original-data", a->original_data, "Keep the section's 3d layers thawed");
  auto* out = app->add_option("-o", a->out, "Write the result here");
  auto* in_place = app->add_flag("--in-place", a->in_place, "Save over DRAWING");
  out->excludes(in_place);
  app->add_flag("--overwrite", a->overwrite, "Replace OUT if it exists");
  app->callback([a] {
    if (a->out.empty() && !a->in_place) throw CLI::RequiredError("-o OUT or --in-place");
  });
  return {app, [a] { return Run(*a); }};
}

}  // namespace palvane::tools
