#include "station_report.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "along/station.h"
#include "host/convert.h"
#include "info.h"

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

std::string Millimetres(double value) { return host::FormatFixedWithPoint(value, 3); }

std::string BearingText(double radians_from_east) {
  return host::FormatFixedWithPoint(along::BearingFromNorth(radians_from_east), 4) +
         " degrees from grid north";
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

}  // namespace palvane::tools
