// palvane: the operations on DXF drawings from the command line.

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
#endif

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "along/station.h"
#include "automation/centerline_class.h"
#include "check/survey_check.h"
#include "check_report.h"
#include "command_files.h"
#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "failure.h"
#include "generate.h"
#include "gis_data.h"
#include "station_report.h"
#ifdef PALVANE_GIS
#include "gis_module.h"
#endif
#include "host/check.h"
#include "host/convert.h"
#include "host/memory/memory_host.h"
#include "info.h"
#include "keyplan/options.h"
#include "keyplan_args.h"
#include "model/lookup.h"
#include "model/reach.h"
#include "model/section.h"
#include "svg.h"
#ifdef PALVANE_AUTOMATION_HOST
#include "com/dispatch_host.h"
#include "com/facade.h"
#include "com/ole_conversions.h"
#endif

namespace {

using palvane::host::Ref;
using palvane::tools::BuildOptions;
using palvane::tools::CheckDrawingPath;
using palvane::tools::CheckReplaceable;
using palvane::tools::DecimalWhole;
using palvane::tools::Failure;
using palvane::tools::KeyplanArgs;
using palvane::tools::kLabelFields;
using palvane::tools::kMeasureFlags;
using palvane::tools::LabelField;
using palvane::tools::Load;
using palvane::tools::MeasureFlag;
using palvane::tools::PendingDrawing;
using palvane::tools::Progress;
using palvane::tools::SameFile;
using palvane::tools::Save;
using palvane::tools::Say;
using palvane::tools::ShortestText;
namespace dxf = palvane::dxf;
namespace host = palvane::host;

constexpr const char* kVersion = "0.1.0";

constexpr const char* kNoTags =
    "the drawing has no tagged reach and no section layer: no polyline carries a \"TEV\" reach "
    "tag, and no layer is named N_SectionLine";

// How the operations reach the drawing: the in-memory host itself, or (in
// the Windows build) the COM adapter over the automation facade of it, as
// they reach the CAD program's drawing inside the program.
#ifdef PALVANE_AUTOMATION_HOST
bool g_automation_host = false;
#endif

// The conversions of text, numbers and dates the operations run with: the
// invariant forms on the in-memory host; through the COM adapter, the OLE
// conversions of the user's locale, as the COM server has them inside the
// program.
const host::Conversions& OperationConversions() {
#ifdef PALVANE_AUTOMATION_HOST
  static const palvane::com::OleConversions kUserLocale;
  if (g_automation_host) return kUserLocale;
#endif
  return host::InvariantConversions();
}

Ref<host::Document> AsSeen(const Ref<host::Document>& document) {
#ifdef PALVANE_AUTOMATION_HOST
  if (g_automation_host) {
    IDispatch* object = palvane::com::FacadeDocument(document);
    Ref<host::Document> seen = palvane::com::WrapDocument(object);
    if (object != nullptr) object->Release();
    return seen;
  }
#endif
  return document;
}

Ref<host::LWPolyline> AsSeen(const Ref<host::LWPolyline>& polyline) {
#ifdef PALVANE_AUTOMATION_HOST
  if (g_automation_host) {
    IDispatch* object = palvane::com::FacadeEntity(Ref<host::Entity>(polyline));
    Ref<host::LWPolyline> seen = palvane::com::WrapPolyline(object);
    if (object != nullptr) object->Release();
    return seen;
  }
#endif
  return polyline;
}

Ref<host::LWPolyline> FindPolyline(host::Document& doc, const std::string& handle_text) {
  uint64_t handle = 0;
  const auto r =
      std::from_chars(handle_text.data(), handle_text.data() + handle_text.size(), handle, 16);
  if (r.ec != std::errc() || r.ptr != handle_text.data() + handle_text.size()) {
    throw Failure{2, "\"" + handle_text + "\" is not a handle (a hexadecimal number)"};
  }
  const Ref<host::Entity> entity = host::memory::Inspector(doc).EntityOfHandle(handle);
  if (!entity) throw Failure{2, "the drawing has no entity with handle " + handle_text};
  const std::string kind = host::memory::Inspector::KindOf(*entity);
  if (kind != "LWPOLYLINE") {
    throw Failure{2, "entity " + handle_text + " is a " + kind + ", not a lightweight polyline"};
  }
  return entity.As<host::LWPolyline>();
}

// ------------------------------------------------------------------ info

int Info(const std::string& path, bool json) {
  Progress progress;
  auto app = dxf::NewApplication();
  auto doc = Load(*app, path, progress);
  host::StderrMessageSink to_stderr;
  palvane::tools::CollectingSink sink(to_stderr);
  const size_t listed = palvane::tools::WriteInfo(
      AsSeen(doc), sink, json,
      [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); });
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    throw Failure{2, "cannot write the listing to standard output"};
  }
  if (listed == 0 && sink.messages.empty()) throw Failure{1, kNoTags};
  return 0;
}

// ------------------------------------------------------------------ point-along

int PointAlong(const std::string& path, const std::string& handle,
               const std::vector<double>& distances, bool json) {
  Progress progress;
  auto app = dxf::NewApplication();
  auto doc = Load(*app, path, progress);
  const auto line = AsSeen(FindPolyline(*doc, handle));
  const auto drawing = AsSeen(doc);
  // Point-along works in the polyline's own coordinates, which are the
  // world's only when its normal points up.
  if (const host::Point3 n = line->Normal(); !(n[0] == 0 && n[1] == 0 && n[2] > 0)) {
    Say("note: polyline " + handle + " has the normal (" + ShortestText(n[0]) + ", " +
        ShortestText(n[1]) + ", " + ShortestText(n[2]) +
        "): points and bearings are in its own coordinates, not the world's");
  }
  host::StderrMessageSink sink;
  palvane::automation::CenterlineClass centerline(sink, OperationConversions());
  nlohmann::json out = nlohmann::json::array();
  for (double distance : distances) {
    double bearing = 0;
    const host::Variant point = centerline.LWPolyPntAlong(drawing, line, distance, bearing);
    const std::string at = "distance " + palvane::tools::Millimetres(distance) + ": ";
    if (!point.IsArray()) {
      if (json) {
        out.push_back({{"distance", distance}, {"point", nullptr}});
      } else {
        std::printf("%sno point (beyond the polyline)\n", at.c_str());
      }
      continue;
    }
    const auto& p = point.AsArrayUnchecked();
    const double x = p[0].AsDoubleUnchecked(), y = p[1].AsDoubleUnchecked(),
                 z = p[2].AsDoubleUnchecked();
    if (json) {
      out.push_back({{"distance", distance},
                     {"point", {x, y, z}},
                     {"bearing", bearing},
                     {"bearing_deg", palvane::along::BearingFromNorth(bearing)}});
    } else {
      using palvane::tools::Millimetres;
      std::printf("%sx %s, y %s, z %s, bearing %s\n", at.c_str(), Millimetres(x).c_str(),
                  Millimetres(y).c_str(), Millimetres(z).c_str(),
                  palvane::tools::BearingText(bearing).c_str());
    }
  }
  if (json) std::printf("%s\n", out.dump(2).c_str());
  return 0;
}

// ------------------------------------------------------------------ view-section

int ViewSection(const std::string& path, const std::string& handle, bool original_data,
                const std::string& out, bool in_place, bool overwrite) {
  if (!in_place && SameFile(path, out)) {
    throw Failure{2, "the output is the input drawing; use --in-place to change it"};
  }
  if (!in_place) CheckDrawingPath(out);
  if (!in_place) CheckReplaceable(out, overwrite);
  Progress progress;
  auto app = dxf::NewApplication();
  auto doc = Load(*app, path, progress);
  const auto line = AsSeen(FindPolyline(*doc, handle));
  host::StderrMessageSink sink;
  palvane::automation::CenterlineClass centerline(sink, OperationConversions());
  bool original = original_data;
  centerline.ViewSection(AsSeen(doc), line, original);
  Save(*doc, in_place ? path : out, in_place || overwrite, progress);
  return 0;
}

// ------------------------------------------------------------------ keyplan

// Adds one flag for every option string but the ...ChkBox flags.
void AddKeyplanFlags(CLI::App& command, KeyplanArgs& k, std::vector<CLI::Option*>& label_only) {
  for (const auto& f : palvane::keyplan::kOptionFields) {
    const std::string_view name = f.name;
    std::string flag, help;
    bool from_fields = false;
    for (const LabelField& field : kLabelFields) {
      if (!name.starts_with(field.option)) continue;
      const std::string_view part = name.substr(field.option.size());
      const std::string what = field.what;
      if (part == "Prefix") {
        flag = std::string("--") + field.word + "-prefix";
        help = "Text before " + what;
      } else if (part == "Suffix") {
        flag = std::string("--") + field.word + "-suffix";
        help = "Text after " + what;
      } else if (part == "Precision") {
        flag = std::string("--") + field.word + "-precision";
        help = "Decimals of " + what;
      } else if (part == "ChkBox") {
        from_fields = true;
      }
    }
    for (const MeasureFlag& measure : kMeasureFlags) {
      if (name == measure.option) {
        flag = measure.flag;
        help = measure.help;
      }
    }
    if (from_fields) continue;
    // Every option string has a flag: a new one needs its row above.
    PALVANE_CHECK(!flag.empty());
    std::string& value = k.values.*f.member;
    auto* option = command.add_option(flag, value, help);
    if (!value.empty()) option->capture_default_str();
    // The attribute export reads no affix and no bearing precision.
    if (name.ends_with("Prefix") || name.ends_with("Suffix") || name == "BearingPrecision") {
      label_only.push_back(option);
    }
  }
}

int Keyplan(const KeyplanArgs& a) {
  if (a.attributes && !a.label_flags_given.empty()) {
    std::string flags;
    for (const std::string& f : a.label_flags_given) flags += (flags.empty() ? "" : ", ") + f;
    throw Failure{2, "--attributes writes every field in its attribute block and reads no " +
                         flags + ": leave " + (a.label_flags_given.size() == 1 ? "it" : "them") +
                         " out, or drop --attributes"};
  }
  CheckDrawingPath(a.out);
  if (SameFile(a.drawing, a.out)) {
    throw Failure{2, "the keyplan would overwrite the source drawing; choose another -o"};
  }
  if (!a.svg.empty() && SameFile(a.drawing, a.svg)) {
    throw Failure{2, "the picture would overwrite the source drawing; choose another --svg"};
  }
  if (!a.svg.empty() && SameFile(a.out, a.svg)) {
    throw Failure{2, "the picture would overwrite the keyplan; choose another --svg"};
  }
  auto options = BuildOptions(a);
  // The flags' measures are given in the invariant form; the export reads
  // them as the program's user types them, in the locale's form.
  for (const auto& f : palvane::keyplan::kOptionFields) {
    const std::string_view name = f.name;
    if ((name != "TextHeight" && name != "SectionLineWidth") || SetByOption(a, name)) continue;
    std::string& value = options.*f.member;
    value = OperationConversions().DoubleToText(host::InvariantConversions().TextToDouble(value));
  }
  // The prefix starts every section line's layer name: one the drawing
  // refuses is refused here once, not for every section.
  try {
    if (!SetByOption(a, "LineLayer")) {
      auto scratch = dxf::NewApplication();
      scratch->Documents()->Add()->Layers()->Add(
          palvane::keyplan::LayerChainage(options.LineLayer, 0));
    }
  } catch (const host::Error& e) {
    throw Failure{2, "LineLayer (--line-layer) \"" + options.LineLayer +
                         "\" makes layer names the drawing refuses: " + e.description()};
  }
  CheckReplaceable(a.out, a.overwrite);
  CheckReplaceable(a.svg, a.overwrite);
  Progress progress;
  auto app = dxf::NewApplication();
  auto doc = Load(*app, a.drawing, progress);
  const uint64_t writes_before = host::memory::Inspector(*doc).extended_data_writes();
  const int32_t documents = app->Documents()->Count();
  // Progress counts the sections, which the export draws in its second pass.
  int32_t sections = 0, drawn = 0;
  {
    const auto layers = doc->Layers();
    const int32_t count = layers->Count();
    for (int32_t i = 0; i < count; ++i) {
      sections += layers->Item(i)->Name().find("_SectionLine") != std::string::npos ? 1 : 0;
    }
  }
  palvane::tools::SectionMessageSink sink;
  palvane::automation::CenterlineClass centerline(sink, OperationConversions());
  centerline.SetSectionWatch([&](const std::string& layer, int pass) {
    sink.Watch(layer);
    if (pass == 2) progress.Count(++drawn, sections);
  });
  progress.Phase(a.attributes ? "exporting the attribute keyplan" : "exporting the keyplan");
  {
    // The adapter's objects (and through them the drawings) are let go
    // before the drawings are saved or closed.
    const Ref<host::Document> drawing = AsSeen(doc);
    if (a.attributes) {
      centerline.ExportKeyplanAsAttributes(drawing, options);
    } else {
      centerline.ExportKeyplan(drawing, options);
    }
  }
  const int32_t documents_after = app->Documents()->Count();
  if (documents_after == documents) {
    Say("no keyplan was made");
    return 1;
  }
  if (const size_t troubled = sink.sections_with_problems(); troubled > 0) {
    Say(std::to_string(troubled) + " of " + std::to_string(sections) +
        " sections had problems; palvane check " + a.drawing + " lists them with their causes");
  }
  const Ref<host::Document> keyplan_doc = app->Documents()->Item(documents_after - 1);
  host::Document& keyplan = *keyplan_doc;
  const bool restored = host::memory::Inspector(*doc).extended_data_writes() != writes_before;
  if (!(restored && a.update_source)) {
    // The source is not saved: let it go before the keyplan's file is made,
    // so that the two drawings and the keyplan's bytes are never held at once.
    host::memory::Close(*doc);
    doc.reset();
  }
  // The command's outputs stand together: each is written in full beside
  // its path, and none replaces a file until all are written.
  std::unique_ptr<dxf::PendingFile> keyplan_file =
      PendingDrawing(keyplan, a.out, a.overwrite, progress);
  std::unique_ptr<dxf::PendingFile> svg_file, source_file;
  if (!a.svg.empty()) {
    try {
      svg_file = std::make_unique<dxf::PendingFile>(a.svg, palvane::tools::DrawingSvg(keyplan),
                                                    a.overwrite);
    } catch (const dxf::DxfError& e) {
      throw Failure{2, std::string("cannot write the picture: ") + e.what()};
    }
  }
  if (restored && a.update_source) source_file = PendingDrawing(*doc, a.drawing, true, progress);
  // Only putting a file in place is left, which fails only when a file
  // appeared meanwhile or another program holds one: the message then says
  // what was already put in place.
  std::string placed;
  try {
    for (const auto& [file, path] :
         {std::pair{keyplan_file.get(), a.out}, std::pair{svg_file.get(), a.svg},
          std::pair{source_file.get(), a.drawing}}) {
      if (file == nullptr) continue;
      file->Commit();
      placed += (placed.empty() ? "" : ", ") + path;
    }
  } catch (const dxf::DxfError& e) {
    throw Failure{2, std::string("cannot write: ") + e.what() +
                         (placed.empty() ? "" : " (already written: " + placed + ")")};
  }
  if (restored) {
    if (a.update_source) {
      Say("restored section tags were saved into " + a.drawing);
    } else {
      Say("section tags were restored from centre points but not saved; "
          "use --update-source to save them into " +
          a.drawing);
    }
  }
  return 0;
}

// ------------------------------------------------------------------ gis

struct GisArgs {
  std::string drawing, out, driver, crs;
  double arc_tolerance = 0.01;
  bool overwrite = false, json = false;
};

#ifdef PALVANE_GIS
int Gis(const GisArgs& a) {
  if (!(a.arc_tolerance > 0) || !std::isfinite(a.arc_tolerance)) {
    throw Failure{2, "--arc-tolerance must be a distance above 0"};
  }
  Progress progress;
  auto app = dxf::NewApplication();
  auto doc = Load(*app, a.drawing, progress);
  host::StderrMessageSink sink;
  progress.Phase("reading the reaches and sections");
  const palvane::tools::GisRiver river =
      palvane::tools::ReadGisRiver(AsSeen(doc), sink, a.arc_tolerance);
  if (river.reaches.empty() && river.unread_reaches.empty() && river.sections.empty()) {
    throw Failure{1, kNoTags};
  }
  // The drawing is only read: a tag restored in memory is never saved.
  host::memory::Close(*doc);
  doc.reset();
  progress.Phase("writing " + a.out);
  palvane::tools::GisOutput output{a.out,
                                   a.driver,
                                   a.crs,
                                   a.overwrite,
                                   a.drawing,
                                   dxf::RegisterTemporary,
                                   dxf::ReleaseTemporary};
  const palvane::tools::GisWritten written = palvane::tools::WriteGisThroughModule(river, output);
  for (const std::string& warning : written.warnings) Say(warning);
  if (a.crs.empty()) Say("no --crs: " + a.out + " has no coordinate reference system");
  if (a.json) {
    nlohmann::json counts(written.features);
    counts["files"] = written.files;
    std::printf("%s\n", counts.dump(2).c_str());
  }
  return 0;
}
#else
int Gis(const GisArgs&) { throw Failure{2, "gis exists only in the Linux build, which has GDAL"}; }
#endif

// ------------------------------------------------------------------ generate

int Generate(palvane::tools::RiverShape shape, const std::string& faults, const std::string& out,
             bool overwrite) {
  if (!faults.empty()) {
    shape.faults = palvane::tools::FaultsNamed(faults);
    int32_t needed = 0;
    try {
      needed = palvane::tools::SectionsNeeded(*shape.faults);
    } catch (const std::invalid_argument& e) {
      throw Failure{2, e.what()};
    }
    if (shape.sections < needed) {
      throw Failure{2, "these faults need at least " + std::to_string(needed) + " sections"};
    }
  }
  CheckDrawingPath(out);
  CheckReplaceable(out, overwrite);
  Progress progress;
  auto app = dxf::NewApplication();
  const Ref<host::Document> doc = app->Documents()->Add();
  progress.Phase("generating " + std::to_string(shape.sections) + " sections");
  const auto injected = palvane::tools::GenerateRiver(*doc, shape);
  Save(*doc, out, overwrite, progress);
  if (shape.faults) {
    const std::string list = palvane::tools::InjectedJson(injected);
    std::fwrite(list.data(), 1, list.size(), stdout);
  }
  return 0;
}

// ------------------------------------------------------------------ check

struct CheckArgs {
  std::string drawing, svg;
  palvane::check::CheckOptions options;
  bool json = false, overwrite = false;
};

int Check(const CheckArgs& a) {
  const double d = a.options.chainage_tolerance, angle = a.options.bearing_tolerance;
  if (!(d >= 0) || !std::isfinite(d)) throw Failure{2, "--chainage-tolerance must be 0 or more"};
  if (!(angle >= 0) || !(angle <= 180)) {
    throw Failure{2, "--bearing-tolerance must be from 0 to 180 degrees"};
  }
  if (!a.svg.empty() && SameFile(a.drawing, a.svg)) {
    throw Failure{2, "the picture would overwrite the drawing; choose another --svg"};
  }
  CheckReplaceable(a.svg, a.overwrite);
  Progress progress;
  auto app = dxf::NewApplication();
  auto doc = Load(*app, a.drawing, progress);
  progress.Phase("checking");
  const palvane::check::CheckResult result = palvane::check::CheckSurvey(AsSeen(doc), a.options);
  // What was inferred goes with the messages: the findings are the problems.
  for (const auto& note : result.notes) Say("note: " + note.text);
  const std::string report =
      a.json ? palvane::tools::FindingsJson(result) : palvane::tools::FindingsText(result);
  std::fwrite(report.data(), 1, report.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    throw Failure{2, "cannot write the findings to standard output"};
  }
  if (!a.svg.empty()) {
    const Ref<host::Document> blank = app->Documents()->Add();
    try {
      dxf::WriteFileAtomically(a.svg, palvane::tools::CheckSvg(result, *blank), a.overwrite);
    } catch (const dxf::DxfError& e) {
      throw Failure{2, std::string("cannot write the picture: ") + e.what()};
    }
  }
  return result.errors() > 0 ? 1 : 0;
}

// ------------------------------------------------------------------ station

int Station(const std::string& path, const std::string& handle,
            const std::vector<std::string>& point_texts, bool json) {
  std::vector<palvane::geometry::Point2> points;
  for (const std::string& text : point_texts) {
    const auto point = palvane::tools::ParsePoint(text);
    if (!point) throw Failure{2, "\"" + text + "\" is not a point X,Y of two numbers"};
    points.push_back(*point);
  }
  Progress progress;
  auto app = dxf::NewApplication();
  auto doc = Load(*app, path, progress);
  const auto drawing = AsSeen(doc);
  Ref<host::LWPolyline> line;
  if (!handle.empty()) {
    line = AsSeen(FindPolyline(*doc, handle));
  } else {
    host::StderrMessageSink sink;
    bool found = false;
    std::optional<palvane::model::TEVReach> reach;
    try {
      reach = palvane::model::GetCurrentReach(sink, drawing, found);
    } catch (const host::Error& e) {
      throw Failure{2, "the reaches' tags cannot be read (error " + std::to_string(e.number()) +
                           ": " + e.description() + "); check the drawing, or give --polyline"};
    }
    if (!found) throw Failure{1, "the drawing has no current reach; give --polyline"};
    line = reach->Profile;
  }
  // Measured in world plan coordinates, as check measures: a mirrored line
  // (normal pointing down) is read as it lies in the drawing.
  auto plan = palvane::along::ReadWorldPlan(*line, *drawing->Utility());
  if (!plan) throw Failure{1, "polyline " + line->Handle() + " does not lie flat in plan"};
  const auto places = palvane::along::Stations(std::move(*plan), points);
  if (!points.empty() && !places.front()) {
    throw Failure{1, "polyline " + line->Handle() + " has no segment"};
  }
  const std::string text = palvane::tools::StationsReport(points, places, json);
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    throw Failure{2, "cannot write the stations to standard output"};
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The arguments as UTF-8, whatever the code page; output bytes exactly as
  // written, with no line ends translated.
  std::vector<std::string> utf8_args;
  {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 0; wide != nullptr && i < count; ++i) {
      const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string arg(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
      ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
      utf8_args.push_back(std::move(arg));
    }
    ::LocalFree(wide);
  }
  std::vector<char*> utf8_argv;
  for (std::string& arg : utf8_args) utf8_argv.push_back(arg.data());
  utf8_argv.push_back(nullptr);
  argc = static_cast<int>(utf8_args.size());
  argv = utf8_argv.data();
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
  // An interrupted command leaves no temporary file or folder behind.
  dxf::RemoveTemporariesOnInterrupt();
  CLI::App cli{"Palvane: river cross-section operations on DXF drawings"};
  cli.set_version_flag("--version", kVersion);
  cli.require_subcommand(1);
  // Options begin with "-" everywhere: "/path" is a path, on Windows too.
  cli.allow_windows_style_options(false);

  std::string host_kind = "memory";
  cli.add_option("--host", host_kind,
                 "memory: the operations on the in-memory drawing; automation (Windows build): "
                 "through the COM adapter over the automation facade of that drawing")
      ->check(CLI::IsMember({"memory", "automation"}))
      ->capture_default_str();

  std::string drawing, handle, out;
  bool json = false;

  auto* info = cli.add_subcommand("info", "List the reaches and sections of a drawing");
  info->add_option("DRAWING", drawing, "The drawing (DXF)")->required();
  info->add_flag("--json", json, "Print one JSON object");

  std::vector<double> distances;
  auto* along =
      cli.add_subcommand("point-along", "The point and bearing at distances along a polyline");
  along->add_option("DRAWING", drawing, "The drawing (DXF)")->required();
  along->add_option("--polyline", handle, "Handle of a lightweight polyline")->required();
  along->add_option("--distance", distances, "Distance from the first vertex (repeatable)")
      ->required()
      ->allow_extra_args(false);
  along->add_flag("--json", json, "Print a JSON array");

  bool original_data = false, in_place = false;
  auto* view =
      cli.add_subcommand("view-section", "Set the view up to look along one cross-section");
  view->add_option("DRAWING", drawing, "The drawing (DXF)")->required();
  view->add_option("--polyline", handle, "Handle of the section line")->required();
  view->add_flag("--original-data", original_data, "Keep the section's 3d layers thawed");
  auto* view_out = view->add_option("-o", out, "Write the result here");
  auto* view_in_place = view->add_flag("--in-place", in_place, "Save over DRAWING");
  view_out->excludes(view_in_place);
  bool overwrite = false;
  view->add_flag("--overwrite", overwrite, "Replace OUT if it exists");
  view->callback([&] {
    if (out.empty() && !in_place) throw CLI::RequiredError("-o OUT or --in-place");
  });

  KeyplanArgs k;
  auto* key = cli.add_subcommand("keyplan", "Export the current reach's keyplan to a new drawing");
  key->add_option("DRAWING", k.drawing, "The source drawing (DXF)")->required();
  key->add_option("-o", k.out, "The keyplan drawing to write")->required();
  key->add_flag("--attributes", k.attributes, "One attribute block per section instead of labels");
  key->add_option("--svg", k.svg, "Also draw the keyplan as an SVG picture");
  key->add_flag("--overwrite", k.overwrite, "Replace OUT and the picture if they exist");
  key->add_flag("--update-source", k.update_source,
                "Save section tags restored from centre points into DRAWING");
  key->add_option("--option", k.options,
                  "NAME=VALUE: set one of the 24 option strings by its own name "
                  "(wins over the flags below)");
  std::vector<CLI::Option*> label_only{
      key->add_option("--fields", k.fields,
                      "Label fields that are on: name,en,bearing,chainage,mike11,description")
          ->capture_default_str()};
  AddKeyplanFlags(*key, k, label_only);
  key->callback([&] {
    for (const CLI::Option* option : label_only) {
      if (option->count() > 0) k.label_flags_given.push_back(option->get_name());
    }
  });

  GisArgs g;
  auto* gis = cli.add_subcommand(
      "gis", "Write the reaches, sections and centre points to a GIS format through GDAL");
  gis->add_option("DRAWING", g.drawing, "The drawing (DXF)")->required();
  gis->add_option("-o", g.out,
                  "The output: .gpkg, .geojson, .shp, .tab, .mif, .fgb, .csv or .kml "
                  "(formats of one layer per file get OUT_reaches, OUT_sections and "
                  "OUT_centre_points)")
      ->required();
  gis->add_option("-f", g.driver, "GDAL driver, when the extension does not say");
  gis->add_option("--crs", g.crs, "The drawing's coordinate reference system (EPSG:27700, ...)");
  gis->add_option("--arc-tolerance", g.arc_tolerance,
                  "Largest distance of a chord from the arc it stands for")
      ->capture_default_str();
  gis->add_flag("--overwrite", g.overwrite, "Replace existing output files");
  gis->add_flag("--json", g.json, "Print the counts per layer");

  palvane::tools::RiverShape shape;
  auto* gen = cli.add_subcommand("generate", "Write a synthetic surveyed river");
  gen->add_option("--sections", shape.sections, "Cross-sections")
      ->required()
      ->check(CLI::Range(0, 10000000));
  // Read here in decimal: the option library would take a leading 0 as octal.
  std::string seed_text = std::to_string(shape.seed);
  gen->add_option("--seed", seed_text, "Seed of the random river")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            return DecimalWhole(text) ? "" : "a whole number from 0 to 18446744073709551615";
          },
          "SEED"));
  gen->add_option("--clutter", shape.clutter, "Unrelated entities per section")
      ->capture_default_str()
      ->check(CLI::Range(0, 1000));
  gen->add_option("-o", out, "The drawing to write")->required();
  gen->add_flag("--overwrite", overwrite, "Replace OUT if it exists");
  std::string faults;
  gen->add_option("--faults", faults,
                  "none, all, or kinds of fault separated by commas (each as the code of its "
                  "finding in palvane check); prints what was injected as JSON");

  CheckArgs c;
  auto* check = cli.add_subcommand(
      "check", "Find a survey drawing's problems before modelling (exit status 1 on errors)");
  check->add_option("DRAWING", c.drawing, "The drawing (DXF)")->required();
  check->add_flag("--json", c.json, "Print a JSON array of the findings");
  check->add_option("--svg", c.svg, "Also draw the reaches and sections, findings in red");
  check->add_flag("--overwrite", c.overwrite, "Replace the picture if it exists");
  check
      ->add_option("--chainage-tolerance", c.options.chainage_tolerance,
                   "Largest difference of a tagged chainage from the measured one")
      ->capture_default_str();
  check
      ->add_option("--bearing-tolerance", c.options.bearing_tolerance,
                   "Largest difference of a tagged bearing from its line's, in degrees")
      ->capture_default_str();

  std::vector<std::string> station_points;
  auto* station = cli.add_subcommand(
      "station", "The chainage and offset of points against the current reach or a polyline");
  station->add_option("DRAWING", drawing, "The drawing (DXF)")->required();
  station->add_option("--point", station_points, "X,Y (repeatable)")
      ->required()
      ->allow_extra_args(false);
  station->add_option("--polyline", handle,
                      "Handle of a lightweight polyline (default: the current reach)");
  station->add_flag("--json", json, "Print a JSON array");

  try {
    cli.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return cli.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return cli.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return cli.exit(e);
  } catch (const CLI::ParseError& e) {
    Say(std::string(e.what()) + " (see palvane --help)");
    return 2;
  }

#ifdef PALVANE_AUTOMATION_HOST
  g_automation_host = host_kind == "automation";
#else
  if (host_kind == "automation") {
    std::fprintf(stderr, "palvane: --host automation exists only in the Windows build\n");
    return 2;
  }
#endif

  try {
    int status = 2;
    if (*info) status = Info(drawing, json);
    if (*along) status = PointAlong(drawing, handle, distances, json);
    if (*view) status = ViewSection(drawing, handle, original_data, out, in_place, overwrite);
    if (*key) status = Keyplan(k);
    if (*gen) {
      shape.seed = *DecimalWhole(seed_text);
      status = Generate(shape, faults, out, overwrite);
    }
    if (*check) status = Check(c);
    if (*station) status = Station(drawing, handle, station_points, json);
    if (*gis) status = Gis(g);
    // What a command printed must have reached its reader.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      throw Failure{2, "cannot write to standard output"};
    }
    return status;
  } catch (const Failure& f) {
    Say(f.reason);
    return f.status;
  } catch (const host::Error& e) {
    // A host failure outside the operations' own traps, such as while
    // drawing the picture.
    Say("error " + std::to_string(e.number()) + ": " + e.description());
    return 2;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "palvane: out of memory\n");
    return 2;
  }
  return 2;
}
