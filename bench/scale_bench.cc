// How the operations grow with the drawing: the keyplan exports for 1 000 to
// 40 000 sections and the `info` listing, each next to loading the same
// drawing from its file, and the section view on a drawing of 50 000 layers.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "automation/centerline_class.h"
#include "check/survey_check.h"
#include "commands/gis.h"
#include "commands/info.h"
#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "generator/river_generator.h"
#include "gis/gis_write.h"
#include "host/memory/memory_host.h"
#include "picture/draw_plan.h"
#include "platform/files.h"
#include "sections/formats.h"
#include "sections/survey.h"

namespace {

namespace memory = palvane::host::memory;
using palvane::host::Ref;

// A river of `sections` sections with ten unrelated entities per section
// entity, as a file on disk: the command line loads drawings from files.
struct River {
  std::string path;
  size_t bytes = 0;
};

// With `survey`, each section has a survey of that many points (and half
// as many processed).
const River& RiverOf(int sections, int survey = 0) {
  static std::map<std::pair<int, int>, River> cache;
  River& r = cache[{sections, survey}];
  if (r.path.empty()) {
    palvane::generator::RiverShape shape{sections, 1, 20, std::nullopt};
    shape.survey = survey;
    const std::string file = palvane::generator::RiverFile(shape);
    r.path = (std::filesystem::temp_directory_path() /
              ("palvane-bench-river-" + std::to_string(::getpid()) + "-" +
               std::to_string(sections) + "-" + std::to_string(survey) + ".dxf"))
                 .string();
    palvane::platform::WriteFileAtomically(r.path, file, true);
    r.bytes = file.size();
    // The files go when the benchmarks end.
    static struct Cleanup {
      ~Cleanup() {
        for (const auto& [n, river] : cache) std::filesystem::remove(river.path);
      }
    } cleanup;
  }
  return r;
}

palvane::keyplan::KeyplanOptions Options() {
  palvane::keyplan::KeyplanOptions o;
  for (const auto& f : palvane::keyplan::kOptionFields) o.*f.member = "";
  o.SectionNameChkBox = o.ChainageChkBox = o.Mike11ChainageChkBox = "True";
  o.ENChkBox = o.BearingChkBox = o.DescriptionChkBox = "False";
  o.BearingPrecision = o.ChainagePrecision = o.Mike11ChainagePrecision = "2";
  o.SectionLineWidth = "0.5";
  o.TextHeight = "2.5";
  o.LineLayer = "XS_";
  return o;
}

using Clock = std::chrono::steady_clock;

// The process's resident memory now, and its peak since the last reset, in
// bytes (Linux's /proc/self/status); zero where it cannot be read.
size_t StatusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stoull(line.substr(std::strlen(field))) * 1024;
  }
  return 0;
}
// Starts measuring a peak from the memory in use now: freed memory goes back
// to the system and the peak is reset to the present.
size_t StartPeak() {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  return StatusBytes("VmRSS:");
}
double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Loads a river from its file, as `palvane` does, and runs one operation on
// it: a keyplan export (with `attributes`, the attribute one) or, with
// `info`, the listing of `palvane info`. The operation is the first on the
// freshly loaded drawing, so it reads what loading left unread, as on the
// command line.
struct Timings {
  double load = 0;       // from the file to the drawing
  double read = 0;       // of that, from bytes in memory to the drawing
  double operation = 0;  // the export or the listing
  // Of each, the processor time spent in the program itself and in the
  // system on its behalf: mostly the zeroing of memory touched for the first
  // time, which on this virtual machine is slow and varies with what the
  // machine did before.
  double load_user = 0, load_system = 0, operation_user = 0, operation_system = 0;
};

// Processor time of this thread so far, in the program and in the system.
struct Cpu {
  double user, system;
};
Cpu ThreadCpu() {
  struct rusage r;
  getrusage(RUSAGE_THREAD, &r);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
  return {seconds(r.ru_utime), seconds(r.ru_stime)};
}
enum class Operation { kLabels, kAttributes, kInfo, kGis, kCheck, kSectionsHecRas };

Timings LoadAndRun(const River& river, Operation operation) {
  static const auto options = Options();
  palvane::host::RecordingMessageSink sink;
  palvane::host::CollectingMessageSink collecting(sink);
  auto app = palvane::dxf::NewApplication();
  const Cpu c0 = ThreadCpu();
  const auto t0 = Clock::now();
  std::string bytes = palvane::dxf::ReadFileBytes(river.path);
  const auto t1 = Clock::now();
  auto doc = palvane::dxf::ReadDrawing(*app, std::move(bytes), "river.dxf");
  memory::Open(*doc);
  const auto t2 = Clock::now();
  const Cpu c2 = ThreadCpu();
  palvane::automation::CenterlineClass centerline(sink);
  size_t listed = 0;
  switch (operation) {
    case Operation::kLabels:
      centerline.ExportKeyplan(doc, options);
      break;
    case Operation::kAttributes:
      centerline.ExportKeyplanAsAttributes(doc, options);
      break;
    case Operation::kInfo:
      palvane::tools::WriteInfo(doc, collecting, false,
                                [&](std::string_view piece) { listed += piece.size(); });
      benchmark::DoNotOptimize(listed);
      break;
    case Operation::kCheck: {
      const auto result = palvane::check::CheckSurvey(doc, {});
      benchmark::DoNotOptimize(result.findings.size());
      break;
    }
    case Operation::kSectionsHecRas: {
      // As `palvane sections -o river.RASImport.sdf` does, short of the file.
      const auto survey = palvane::sections::ReadSurvey(doc, sink, {});
      const auto written = palvane::sections::Write(palvane::sections::Format::kHecRas, survey,
                                                    {"river", true, 0.035, "", true, "river.dxf"});
      benchmark::DoNotOptimize(written.text.size());
      break;
    }
    case Operation::kGis: {
      // As `palvane gis -o river.gpkg --crs EPSG:27700 --overwrite` does.
      const auto river_gis = palvane::tools::ReadGisRiver(doc, sink, 0.01);
      palvane::tools::WriteGis(
          river_gis, {(std::filesystem::temp_directory_path() / "palvane_bench.gpkg").string(), "",
                      "EPSG:27700", true, ""});
      break;
    }
  }
  const auto t3 = Clock::now();
  const Cpu c3 = ThreadCpu();
  if (!sink.messages().empty()) throw std::runtime_error(sink.messages().front());
  return {Seconds(t0, t2),       Seconds(t1, t2),   Seconds(t2, t3),      c2.user - c0.user,
          c2.system - c0.system, c3.user - c2.user, c3.system - c2.system};
}

// The operation's time, with counters for it over loading the drawing from
// its file (`per_load`) and over reading it from bytes already in memory
// (`per_read`), both measured in the same iterations.
void TimeOperation(benchmark::State& state, Operation operation, int survey = 0) {
  const River& river = RiverOf(static_cast<int>(state.range(0)), survey);
  Timings sum;
  for (auto _ : state) {
    const Timings t = LoadAndRun(river, operation);
    state.SetIterationTime(t.operation);
    sum.load += t.load;
    sum.read += t.read;
    sum.operation += t.operation;
    sum.load_user += t.load_user;
    sum.operation_user += t.operation_user;
    sum.operation_system += t.operation_system;
  }
  state.counters["sections"] = static_cast<double>(state.range(0));
  state.counters["MB"] = static_cast<double>(river.bytes) / 1e6;
  state.counters["per_load"] = sum.operation / sum.load;
  state.counters["per_read"] = sum.operation / sum.read;
  state.counters["user_per_load"] = sum.operation_user / sum.load_user;
  state.counters["system_share"] =
      sum.operation_system / (sum.operation_user + sum.operation_system);
}

void BM_ExportKeyplan(benchmark::State& state) { TimeOperation(state, Operation::kLabels); }
void BM_ExportKeyplanAsAttributes(benchmark::State& state) {
  TimeOperation(state, Operation::kAttributes);
}
// `palvane info` on a drawing loaded from its file: the listing of every
// reach and section as text, written piece by piece and discarded here.
void BM_Info(benchmark::State& state) { TimeOperation(state, Operation::kInfo); }

// `palvane gis` to a GeoPackage on a drawing loaded from its file: reading
// every reach and section with the lookups, and writing the three layers.
void BM_GisGeoPackage(benchmark::State& state) { TimeOperation(state, Operation::kGis); }

// `palvane check` on a drawing loaded from its file: every reach and section
// read with the lookups, and each section line measured against its reach.
void BM_Check(benchmark::State& state) { TimeOperation(state, Operation::kCheck); }

// `palvane sections -f hecras` on a river of 50 survey points a section (25
// processed, which the cross-sections hold), loaded from its file.
void BM_SectionsHecRas(benchmark::State& state) {
  TimeOperation(state, Operation::kSectionsHecRas, 50);
}

// `palvane keyplan --pdf` on a drawing loaded from its file: the keyplan
// exported, then read back as a plan and drawn as a PDF sheet of the whole
// reach, labels placed. The time is the picture's (reading the keyplan,
// placing and drawing); `per_export` is that over the export's own time,
// measured in the same iterations.
void BM_KeyplanPicture(benchmark::State& state) {
  const River& river = RiverOf(static_cast<int>(state.range(0)), 0);
  static const auto options = Options();
  double exporting = 0, drawing = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    palvane::host::RecordingMessageSink sink;
    auto app = palvane::dxf::NewApplication();
    auto doc =
        palvane::dxf::ReadDrawing(*app, palvane::dxf::ReadFileBytes(river.path), "river.dxf");
    memory::Open(*doc);
    palvane::automation::CenterlineClass centerline(sink);
    palvane::keyplan::KeyplanMade made;
    const auto t0 = Clock::now();
    centerline.ExportKeyplan(doc, options, &made);
    const auto t1 = Clock::now();
    palvane::tools::picture::SheetOptions sheet;
    sheet.paper = *palvane::tools::picture::PaperNamed("A3", true);
    sheet.date = "2026-12-09";
    const auto drawn = palvane::tools::picture::DrawPlan(
        palvane::tools::picture::PlanOfKeyplan(*made.drawing, options.LineLayer), sheet,
        palvane::tools::picture::PictureFormat::kPdf);
    const auto t2 = Clock::now();
    bytes = drawn.files.front().size();
    state.SetIterationTime(Seconds(t1, t2));
    exporting += Seconds(t0, t1);
    drawing += Seconds(t1, t2);
  }
  state.counters["sections"] = static_cast<double>(state.range(0));
  state.counters["per_export"] = drawing / exporting;
  state.counters["pdf_MB"] = static_cast<double>(bytes) / 1e6;
}

// How a time grows when the drawing doubles: the same step on N and on 2N
// sections, taken in turns within each iteration so that the machine's
// slower and faster minutes fall on both alike. `ratio` is the time at 2N
// over the time at N; `user_ratio` the same for the processor time spent in
// the program itself. The step is loading (0), the label export (1), the
// attribute export (2) or the listing of `palvane info` (3).
void BM_Doubling(benchmark::State& state) {
  const River& small = RiverOf(static_cast<int>(state.range(0)));
  const River& large = RiverOf(static_cast<int>(state.range(0)) * 2);
  const int64_t step = state.range(1);
  const Operation operation = step == 2   ? Operation::kAttributes
                              : step == 3 ? Operation::kInfo
                                          : Operation::kLabels;
  auto time_of = [&](const Timings& t) { return step == 0 ? t.load : t.operation; };
  auto user_of = [&](const Timings& t) { return step == 0 ? t.load_user : t.operation_user; };
  double at_small = 0, at_large = 0, user_small = 0, user_large = 0;
  for (auto _ : state) {
    const Timings s = LoadAndRun(small, operation);
    const Timings l = LoadAndRun(large, operation);
    state.SetIterationTime(time_of(s) + time_of(l));
    at_small += time_of(s);
    at_large += time_of(l);
    user_small += user_of(s);
    user_large += user_of(l);
  }
  state.counters["sections"] = static_cast<double>(state.range(0));
  state.counters["ratio"] = at_large / at_small;
  state.counters["user_ratio"] = user_large / user_small;
}

// The floor for the exports: loading the same drawing from its file.
// `peak_per_MB`: how far resident memory rose while loading, the file's
// bytes included, per byte of the file; measured on one load of its own
// before the timed ones, which reuse the memory the ones before them freed.
void BM_LoadRiver(benchmark::State& state) {
  const River& river = RiverOf(static_cast<int>(state.range(0)));
  double peak = 0;
  {
    const size_t before = StartPeak();
    auto app = memory::CreateApplication();
    auto doc = palvane::dxf::LoadDrawing(*app, river.path);
    const size_t high = StatusBytes("VmHWM:");
    if (high > before) peak = static_cast<double>(high - before);
  }
  for (auto _ : state) {
    auto app = memory::CreateApplication();
    auto doc = palvane::dxf::LoadDrawing(*app, river.path);
    benchmark::DoNotOptimize(doc);
    state.PauseTiming();
    doc.reset();
    app.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * river.bytes));
  state.counters["peak_per_MB"] = peak / static_cast<double>(river.bytes);
}

// The section view in a drawing of `layers` layers (four per section).
void BM_ViewSection(benchmark::State& state) {
  auto app = memory::CreateApplication();
  auto doc = app->Documents()->Add();
  const int sections = static_cast<int>(state.range(0)) / 4;
  for (int i = 0; i < sections; ++i) {
    const std::string n = "K" + std::to_string(i);
    for (const char* suffix : {"_SectionLine", "_SectionCenter", "_3d", "_3d_LPSO"}) {
      doc->Layers()->Add(n + suffix);
    }
  }
  doc->Layers()->Add("Temp");
  auto line = doc->ModelSpace()->AddLightWeightPolyline({0, 0, 10, 5});
  line->SetLayer("K" + std::to_string(sections / 2) + "_SectionLine");
  palvane::host::RecordingMessageSink sink;
  palvane::automation::CenterlineClass centerline(sink);
  for (auto _ : state) {
    centerline.ViewSection(doc, line, false);
  }
  state.counters["layers"] = static_cast<double>(doc->Layers()->Count());
  if (!sink.messages().empty()) state.SkipWithError(sink.messages().front().c_str());
}

// This machine's neighbours slow it by up to half at times: the least of the
// repetitions is the figure least disturbed.
double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_LoadRiver)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportKeyplan)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->UseManualTime()
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyplanPicture)
    ->Arg(1000)
    ->Arg(20000)
    ->UseManualTime()
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportKeyplanAsAttributes)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->UseManualTime()
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Info)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->UseManualTime()
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GisGeoPackage)
    ->Arg(1000)
    ->Arg(20000)
    ->UseManualTime()
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Check)
    ->Arg(1000)
    ->Arg(20000)
    ->UseManualTime()
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectionsHecRas)
    ->Arg(1000)
    ->Arg(20000)
    ->UseManualTime()
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Doubling)
    ->ArgsProduct({{10000, 20000}, {0, 1, 2, 3}})
    ->UseManualTime()
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewSection)
    ->Arg(12500)
    ->Arg(25000)
    ->Arg(50000)
    ->ComputeStatistics("min", Least)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
