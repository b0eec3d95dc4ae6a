// How the operations grow with the drawing: the keyplan exports for 1 000 to
// 40 000 sections and the `info` listing, each next to loading the same
// drawing from its file, and the section view on a drawing of 50 000 layers.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "automation/centerline_class.h"
#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "generate.h"
#include "host/memory/entities.h"
#include "info.h"

namespace {

namespace memory = palvane::host::memory;
using palvane::host::Ref;

// A river of `sections` sections with ten unrelated entities per section
// entity, as a file on disk: the command line loads drawings from files.
struct River {
  std::string path;
  size_t bytes = 0;
};

const River& RiverOf(int sections) {
  static std::map<int, River> cache;
  River& r = cache[sections];
  if (r.path.empty()) {
    const std::string file = palvane::tools::RiverFile({sections, 1, 20});
    r.path = (std::filesystem::temp_directory_path() /
              ("palvane-bench-river-" + std::to_string(::getpid()) + "-" +
               std::to_string(sections) + ".dxf"))
                 .string();
    palvane::dxf::WriteFileAtomically(r.path, file, true);
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
double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Each iteration loads the drawing from its file, as `palvane keyplan` does,
// and exports its keyplan; the time reported is the export's, as the command
// line runs it: the first operation on a freshly loaded drawing, which reads
// what loading left unread. Measured in the same iteration, the counters give
// the export's time over loading the drawing from its file (`per_load`) and
// over reading the drawing from bytes already in memory (`per_read`).
void Export(benchmark::State& state, bool attributes) {
  const River& river = RiverOf(static_cast<int>(state.range(0)));
  palvane::host::RecordingMessageSink sink;
  const auto options = Options();
  double load = 0, read = 0, exported = 0;
  for (auto _ : state) {
    auto app = memory::CreateApplication();
    app->new_drawing_template = [](memory::MemDocument& d) { palvane::dxf::ApplyTemplate(d); };
    const auto t0 = Clock::now();
    std::string bytes = palvane::dxf::ReadFileBytes(river.path);
    const auto t1 = Clock::now();
    auto doc = palvane::dxf::ReadDrawing(*app, std::move(bytes), "river.dxf");
    app->Open(doc);
    const auto t2 = Clock::now();
    palvane::automation::CenterlineClass centerline(sink);
    if (attributes) {
      centerline.ExportKeyplanAsAttributes(Ref<palvane::host::Document>(doc), options);
    } else {
      centerline.ExportKeyplan(Ref<palvane::host::Document>(doc), options);
    }
    const auto t3 = Clock::now();
    state.SetIterationTime(Seconds(t2, t3));
    load += Seconds(t0, t2);
    read += Seconds(t1, t2);
    exported += Seconds(t2, t3);
  }
  if (!sink.messages().empty()) state.SkipWithError(sink.messages().front().c_str());
  state.counters["sections"] = static_cast<double>(state.range(0));
  state.counters["MB"] = static_cast<double>(river.bytes) / 1e6;
  state.counters["per_load"] = exported / load;
  state.counters["per_read"] = exported / read;
}

void BM_ExportKeyplan(benchmark::State& state) { Export(state, false); }
void BM_ExportKeyplanAsAttributes(benchmark::State& state) { Export(state, true); }

// `palvane info` on a drawing loaded from its file: the listing of every
// reach and section, written piece by piece and discarded here. The time is
// the listing's; `per_load` sets it against loading the drawing.
void BM_Info(benchmark::State& state) {
  const River& river = RiverOf(static_cast<int>(state.range(0)));
  palvane::host::RecordingMessageSink next;
  palvane::tools::CollectingSink sink(next);
  double load = 0, listed = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    auto app = memory::CreateApplication();
    const auto t0 = Clock::now();
    auto doc = palvane::dxf::LoadDrawing(*app, river.path);
    const auto t1 = Clock::now();
    palvane::tools::WriteInfo(Ref<palvane::host::Document>(doc), sink, state.range(1) != 0,
                              [&](std::string_view piece) { bytes += piece.size(); });
    const auto t2 = Clock::now();
    state.SetIterationTime(Seconds(t1, t2));
    load += Seconds(t0, t1);
    listed += Seconds(t1, t2);
  }
  if (!sink.messages.empty()) state.SkipWithError(sink.messages.front().c_str());
  state.counters["sections"] = static_cast<double>(state.range(0));
  state.counters["per_load"] = listed / load;
  state.counters["listing_MB"] =
      static_cast<double>(bytes) / 1e6 / static_cast<double>(state.iterations());
}

// The floor for the exports: loading the same drawing from its file.
void BM_LoadRiver(benchmark::State& state) {
  const River& river = RiverOf(static_cast<int>(state.range(0)));
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
}

// The section view in a drawing of `layers` layers (four per section).
void BM_ViewSection(benchmark::State& state) {
  auto app = memory::CreateApplication();
  auto doc = app->AddDocument("layers.dwg");
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
    centerline.ViewSection(Ref<palvane::host::Document>(doc), line, false);
  }
  state.counters["layers"] = static_cast<double>(doc->layers().size());
  if (!sink.messages().empty()) state.SkipWithError(sink.messages().front().c_str());
}

// This machine's neighbours slow it by up to half at times: the least of the
// repetitions is the figure least disturbed.
double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_LoadRiver)
    ->Arg(1000)->Arg(10000)->Arg(20000)->Arg(40000)
    ->ComputeStatistics("min", Least)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportKeyplan)
    ->Arg(1000)->Arg(10000)->Arg(20000)->Arg(40000)
    ->UseManualTime()->ComputeStatistics("min", Least)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportKeyplanAsAttributes)
    ->Arg(1000)->Arg(10000)->Arg(20000)->Arg(40000)
    ->UseManualTime()->ComputeStatistics("min", Least)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Info)
    ->Args({10000, 0})->Args({20000, 0})->Args({40000, 0})->Args({40000, 1})
    ->UseManualTime()->ComputeStatistics("min", Least)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewSection)
    ->Arg(12500)->Arg(25000)->Arg(50000)
    ->ComputeStatistics("min", Least)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
