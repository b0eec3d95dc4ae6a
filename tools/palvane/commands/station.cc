// palvane station: the chainage and offset of points against the current
// reach or a polyline.

#include "commands/station.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>

#include "along/station.h"
#include "command.h"
#include "console.h"
#include "drawing_files.h"
#include "failure.h"
#include "host/convert.h"
#include "model/river.h"

namespace palvane::tools {

std::optional<geometry::Point2> ParsePoint(const std::string& text) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return std::nullopt;
  const std::string parts[2] = {text.substr(0, comma), text.substr(comma + 1)};
  geometry::Point2 point;
  for (int i = 0; i < 2; ++i) {
    const std::string& part = parts[i];
    const auto r = std::from_chars(part.data(), part.data() + part.size(), point[i]);
    if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size() ||
        !std::isfinite(point[i]))
      return std::nullopt;
  }
  return point;
}

std::string StationsReport(const std::vector<geometry::Point2>& points,
                           const std::vector<std::optional<geometry::NearestPlace>>& places,
                           bool json) {
  nlohmann::json out = nlohmann::json::array();
  std::string text;
  for (size_t i = 0; i < points.size(); ++i) {
    const auto& p = *places[i];
    const char* beyond = p.beyond < 0 ? "start" : p.beyond > 0 ? "end" : nullptr;
    if (json) {
      out.push_back(
          {{"point", {points[i][0], points[i][1]}},
           {"chainage", p.chainage},
           {"offset", p.offset},
           {"nearest", {p.point[0], p.point[1]}},
           {"bearing", p.bearing},
           {"bearing_deg", along::BearingFromNorth(p.bearing)},
           {"beyond", beyond == nullptr ? nlohmann::json(nullptr) : nlohmann::json(beyond)},
           {"beyond_by", p.beyond_by}});
      continue;
    }
    text += "point " + Millimetres(points[i][0]) + "," + Millimetres(points[i][1]) + ": chainage " +
            Millimetres(p.chainage) + ", offset " + Millimetres(p.offset) + ", nearest " +
            Millimetres(p.point[0]) + "," + Millimetres(p.point[1]) + ", bearing " +
            BearingText(p.bearing);
    if (beyond != nullptr) {
      text += std::string(", beyond the ") + beyond + " by " + Millimetres(p.beyond_by);
    }
    text += "\n";
  }
  return json ? out.dump(2) + "\n" : text;
}

// ------------------------------------------------------------------ the command

namespace {

struct Args {
  std::string drawing, handle;
  std::vector<std::string> points;
  bool json = false;
};

int Run(const Args& a) {
  std::vector<geometry::Point2> points;
  for (const std::string& text : a.points) {
    const auto point = ParsePoint(text);
    if (!point) throw Failure{2, "\"" + text + "\" is not a point X,Y of two numbers"};
    points.push_back(*point);
  }
  OpenedDrawing drawing(a.drawing);
  const auto seen = drawing.Seen();
  host::Ref<host::Entity> line;
  if (!a.handle.empty()) {
    line = drawing.Line(a.handle);
  } else {
    host::StderrMessageSink sink;
    const model::River river = model::ReadRiver(seen, sink, model::RiverOptions::ReachesOnly());
    const model::RiverReach* current = model::CurrentReach(river);
    // The exports stop at a reach tag they cannot read, and the current
    // reach may be the one that cannot be read.
    if (!river.unread_reaches.empty()) {
      throw Failure{2, "the reaches' tags cannot be read; check the drawing, or give --polyline"};
    }
    if (current == nullptr) throw Failure{1, "the drawing has no current reach; give --polyline"};
    line = current->record.Profile;
  }
  // Measured in world plan coordinates, as check measures: a mirrored line
  // (normal pointing down) is read as it lies in the drawing.
  auto plan = along::ReadLinePlan(*line, *seen->Utility());
  if (!plan) throw Failure{1, "polyline " + line->Handle() + " does not lie flat in plan"};
  const auto places = along::Stations(std::move(*plan), points);
  if (!points.empty() && !places.front()) {
    throw Failure{1, "polyline " + line->Handle() + " has no segment"};
  }
  Print(StationsReport(points, places, a.json), "the stations");
  return 0;
}

}  // namespace

Command AddStation(CLI::App& cli) {
  auto a = std::make_shared<Args>();
  CLI::App* app = cli.add_subcommand(
      "station", "The chainage and offset of points against the current reach or a polyline");
  app->add_option("DRAWING", a->drawing, "The drawing (DXF)")->required();
  app->add_option("--point", a->points, "X,Y (repeatable)")->required()->allow_extra_args(false);
  app->add_option("--polyline", a->handle,
                  "Handle of a polyline, lightweight, 2D or 3D (default: the current reach)");
  app->add_flag("--json", a->json, "Print a JSON array");
  return {app, [a] { return Run(*a); }};
}

}  // namespace palvane::tools
