#include "drawing_files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <optional>

#include "along/station.h"
#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "failure.h"
#include "geometry/polyline.h"
#include "host/convert.h"
#include "host/memory/memory_host.h"
#include "model/lookup.h"
#include "operation_host.h"
#include "tagging/tagging.h"

namespace palvane::tools {
namespace {

// The version of a DWG file from its first bytes ("AC1032"), or nothing for
// any other file. DXF starts with a group code or "AutoCAD Binary DXF".
std::optional<std::string> DwgVersion(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  char head[6] = {};
  if (!in.read(head, sizeof head)) return std::nullopt;
  const std::string version(head, sizeof head);
  if (version.compare(0, 2, "AC") != 0 ||
      !std::all_of(version.begin() + 2, version.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return version;
}

// The release a DWG version code stands for, where known.
std::string DwgRelease(const std::string& version) {
  static const std::map<std::string, std::string> kReleases{
      {"AC1009", "R11/R12"}, {"AC1012", "R13"},  {"AC1014", "R14"},
      {"AC1015", "2000"},    {"AC1018", "2004"}, {"AC1021", "2007"},
      {"AC1024", "2010"},    {"AC1027", "2013"}, {"AC1032", "2018"}};
  const auto it = kReleases.find(version);
  return it == kReleases.end() ? version : version + ", the " + it->second + " format";
}

// An entity's kind as the exchange format names it ("LWPOLYLINE", "POINT"),
// from the class name the host gives ("AcDbPolyline", "AcDbPoint").
std::string KindName(const std::string& object_name) {
  static const std::map<std::string, std::string> kNamed{
      {"AcDbPolyline", "LWPOLYLINE"},        {"AcDbBlockReference", "INSERT"},
      {"AcDbAttributeDefinition", "ATTDEF"}, {"AcDbAttribute", "ATTRIB"},
      {"AcDb3dPolyline", "POLYLINE"},        {"AcDb2dPolyline", "POLYLINE"}};
  if (const auto it = kNamed.find(object_name); it != kNamed.end()) return it->second;
  std::string kind = object_name.starts_with("AcDb") ? object_name.substr(4) : object_name;
  for (char& c : kind) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return kind;
}

}  // namespace

std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

OpenedDrawing::OpenedDrawing(const std::string& path) : path_(path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(FsPath(path), ec);
  progress_.Phase("reading " + path +
                  (ec ? std::string() : " (" + std::to_string(size / 1024) + " KiB)"));
  if (const auto version = DwgVersion(path)) {
    throw Failure{2, path + " is a DWG drawing (" + DwgRelease(*version) +
                         "), which Palvane does not read: save it as DXF in the CAD program"};
  }
  app_ = dxf::NewApplication();
  try {
    doc_ = dxf::LoadDrawing(*app_, path);
  } catch (const dxf::DxfError& e) {
    throw Failure{2, std::string("cannot read the drawing: ") + e.what()};
  }
}

host::Ref<host::Document> OpenedDrawing::Seen() const { return AsSeen(doc_); }

host::Ref<host::Entity> OpenedDrawing::Find(const std::string& handle_text) {
  uint64_t handle = 0;
  const auto r =
      std::from_chars(handle_text.data(), handle_text.data() + handle_text.size(), handle, 16);
  if (r.ec != std::errc() || r.ptr != handle_text.data() + handle_text.size()) {
    throw Failure{2, "\"" + handle_text + "\" is not a handle (a hexadecimal number)"};
  }
  // Every entity of the drawing's spaces, through a selection set of the
  // command's own that is deleted again.
  const host::Ref<host::SelectionSet> set = model::NewSelectionSet(doc_, "PalvaneHandle");
  set->Select(host::kSelectionSetAll, {}, {});
  host::Ref<host::Entity> found;
  const int32_t count = set->Count();
  for (int32_t i = 0; i < count && !found; ++i) {
    host::Ref<host::Entity> entity = set->Item(i);
    const std::string text = entity->Handle();
    uint64_t value = 0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (read.ec == std::errc() && value == handle) found = std::move(entity);
  }
  set->Delete();
  if (!found) throw Failure{2, "the drawing has no entity with handle " + handle_text};
  return found;
}

host::Ref<host::LWPolyline> OpenedDrawing::Polyline(const std::string& handle_text) {
  const host::Ref<host::Entity> found = Find(handle_text);
  const std::string kind = KindName(found->ObjectName());
  if (kind != "LWPOLYLINE") {
    throw Failure{2, "entity " + handle_text + " is a " + kind + ", not a lightweight polyline"};
  }
  return AsSeen(found.As<host::LWPolyline>());
}

host::Ref<host::Entity> OpenedDrawing::Line(const std::string& handle_text) {
  const host::Ref<host::Entity> found = Find(handle_text);
  if (found.Is<host::LWPolyline>() || found.Is<host::Polyline2D>() ||
      found.Is<host::Polyline3D>()) {
    return AsSeen(found);
  }
  const std::string kind = KindName(found->ObjectName());
  // A heavy polyline of neither form a line takes is a mesh.
  throw Failure{2, "entity " + handle_text + " is a " +
                       (kind == "POLYLINE" ? std::string("polyline mesh") : kind) + ", not a line"};
}

host::Ref<host::LWPolyline> OpenedDrawing::PlanPolyline(const std::string& handle_text,
                                                        std::string& made) {
  const host::Ref<host::Entity> found = Find(handle_text);
  const bool spatial = found.Is<host::Polyline3D>();
  if (!spatial && !found.Is<host::Polyline2D>()) return Polyline(handle_text);
  const auto copy = tagging::PlanCopy(doc_, *found);
  made = std::string(spatial ? "3D" : "2D") + " polyline: its plan copy, lightweight polyline " +
         copy->Handle() + " on layer " + copy->Layer() + ",";
  return AsSeen(copy);
}

void OpenedDrawing::RefuseWithoutLightweightPolylines() const {
  const std::string version = dxf::VersionOf(*doc_);
  if (version > "AC1009") return;
  throw Failure{2, path_ + " is a DXF R12 (" + version +
                       ") drawing, which cannot hold the lightweight polylines tags are written "
                       "on: save it as DXF 2000 or later, then tag it"};
}

void OpenedDrawing::Close() {
  if (!doc_) return;
  host::memory::Close(*doc_);
  doc_.reset();
}

std::string CentreLineCandidates(host::Document& drawing) {
  struct Candidate {
    double length;
    std::string handle, layer;
  };
  std::vector<Candidate> found;
  const host::Ref<host::Block> space = drawing.ModelSpace();
  const int32_t count = space->Count();
  for (int32_t i = 0; i < count; ++i) {
    const host::Ref<host::Entity> e = space->Item(i);
    const auto plan = along::ReadLinePlan(*e, *drawing.Utility());
    if (!plan || plan->vertices.size() < 2) continue;
    const double length = geometry::PolylineIndex(*plan).Length();
    found.push_back({length, e->Handle(), e->Layer()});
  }
  if (found.empty()) return "";
  std::stable_sort(found.begin(), found.end(),
                   [](const Candidate& a, const Candidate& b) { return a.length > b.length; });
  std::string out = "; polylines tag reach --polyline takes, longest first:";
  for (size_t i = 0; i < found.size() && i < 5; ++i) {
    out += std::string(i == 0 ? " " : ", ") + found[i].handle + " on layer " + found[i].layer +
           " (" + host::FormatFixedWithPoint(found[i].length, 3) + ")";
  }
  return out;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(FsPath(a), FsPath(b), ec)) return true;
  auto full = [](const std::string& path) {
    std::error_code error;
    std::string text =
        std::filesystem::weakly_canonical(std::filesystem::absolute(FsPath(path), error), error)
            .string();
#ifdef _WIN32
    // Names differing only in case are one file there.
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    return error ? std::string() : text;
  };
  const std::string full_a = full(a);
  return !full_a.empty() && full_a == full(b);
}

void CheckDrawingPath(const std::string& path) {
  std::string extension = FsPath(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".dxf") return;
  throw Failure{2, path + ": drawings are written as DXF; give a name ending in .dxf" +
                       std::string(extension == ".dwg" ? " (DWG is not written)" : "")};
}

void CheckReplaceable(const std::string& path, bool overwrite) {
  std::error_code ec;
  if (path.empty()) return;
  if (std::filesystem::is_directory(FsPath(path), ec)) throw Failure{2, path + " is a directory"};
  if (!overwrite && std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec))) {
    throw Failure{2, path + " exists; give --overwrite to replace it"};
  }
}

}  // namespace palvane::tools
