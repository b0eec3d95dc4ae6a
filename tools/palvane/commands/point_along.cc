// palvane point-along: the point and bearing at distances along a polyline.

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "along/station.h"
#include "automation/centerline_class.h"
#include "command.h"
#include "console.h"
#include "drawing_files.h"
#include "operation_host.h"

namespace palvane::tools {
namespace {

struct Args {
  std::string drawing, handle;
  std::vector<double> distances;
  bool json = false;
};

int Run(const Args& a) {
  OpenedDrawing drawing(a.drawing);
  const auto line = drawing.Polyline(a.handle);
  const auto seen = drawing.Seen();
  // Point-along works in the polyline's own coordinates, which are the
  // world's only when its normal points up.
  if (const host::Point3 n = line->Normal(); !(n[0] == 0 && n[1] == 0 && n[2] > 0)) {
    Say("note: polyline " + a.handle + " has the normal (" + ShortestText(n[0]) + ", " +
        ShortestText(n[1]) + ", " + ShortestText(n[2]) +
        "): points and bearings are in its own coordinates, not the world's");
  }
  host::StderrMessageSink sink;
  automation::CenterlineClass centerline(sink, OperationConversions());
  nlohmann::json out = nlohmann::json::array();
  std::string text;
  for (double distance : a.distances) {
    double bearing = 0;
    const host::Variant point = centerline.LWPolyPntAlong(seen, line, distance, bearing);
    const std::string at = "distance " + Millimetres(distance) + ": ";
    if (!point.IsArray()) {
      if (a.json) {
        out.push_back({{"distance", distance}, {"point", nullptr}});
      } else {
        text += at + "no point (beyond the polyline)\n";
      }
      continue;
    }
    const auto& p = point.AsArrayUnchecked();
    const double x = p[0].AsDoubleUnchecked(), y = p[1].AsDoubleUnchecked(),
                 z = p[2].AsDoubleUnchecked();
    if (a.json) {
      out.push_back({{"distance", distance},
                     {"point", {x, y, z}},
                     {"bearing", bearing},
                     {"bearing_deg", along::BearingFromNorth(bearing)}});
    } else {
      text += at + "x " + Millimetres(x) + ", y " + Millimetres(y) + ", z " + Millimetres(z) +
              ", bearing " + BearingText(bearing) + "\n";
    }
  }
  Print(a.json ? out.dump(2) + "\n" : text, "the points");
  return 0;
}

}  // namespace

Command AddPointAlong(CLI::App& cli) {
  auto a = std::make_shared<Args>();
  CLI::App* app =
      cli.add_subcommand("point-along", "The point and bearing at distances along a polyline");
  app->add_option("DRAWING", a->drawing, "The drawing (DXF)")->required();
  app->add_option("--polyline", a->handle, "Handle of a lightweight polyline")->required();
  app->add_option("--distance", a->distances, "Distance from the first vertex (repeatable)")
      ->required()
      ->allow_extra_args(false);
  app->add_flag("--json", a->json, "Print a JSON array");
  return {app, [a] { return Run(*a); }};
}

}  // namespace palvane::tools
