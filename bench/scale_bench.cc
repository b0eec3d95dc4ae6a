// How the operations grow with the drawing: the keyplan exports for 1 000 to
// 40 000 sections next to loading the same drawing from its file, the
// section view on a drawing of 50 000 layers.

#include <benchmark/benchmark.h>

#include <map>

#include "automation/centerline_class.h"
#include "dxf/drawing.h"
#include "generate.h"
#include "host/memory/entities.h"

namespace {

namespace memory = palvane::host::memory;
using palvane::host::Ref;

// A river of `sections` sections with ten unrelated entities per section
// entity: its file, and the drawing loaded from it, as the command line
// works on it (what is read on first use is read during the first export).
struct River {
  std::shared_ptr<memory::MemApplication> app;
  std::shared_ptr<memory::MemDocument> doc;
  std::string file;
};

River& RiverOf(int sections) {
  static std::map<int, River> cache;
  River& r = cache[sections];
  if (!r.doc) {
    r.app = memory::CreateApplication();
    r.app->new_drawing_template = [](memory::MemDocument& d) { palvane::dxf::ApplyTemplate(d); };
    r.file = palvane::tools::RiverFile({sections, 1, 20});
    r.doc = palvane::dxf::ReadDrawing(*r.app, r.file, "river.dxf");
    r.app->Open(r.doc);
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

void Export(benchmark::State& state, bool attributes) {
  River& river = RiverOf(static_cast<int>(state.range(0)));
  palvane::host::RecordingMessageSink sink;
  palvane::automation::CenterlineClass centerline(sink);
  const auto options = Options();
  for (auto _ : state) {
    if (attributes) {
      centerline.ExportKeyplanAsAttributes(Ref<palvane::host::Document>(river.doc), options);
    } else {
      centerline.ExportKeyplan(Ref<palvane::host::Document>(river.doc), options);
    }
    state.PauseTiming();
    river.app->Close(river.app->documents().back().get());
    river.doc->Activate();
    state.ResumeTiming();
  }
  state.counters["sections"] = static_cast<double>(state.range(0));
  state.counters["MB"] = static_cast<double>(river.file.size()) / 1e6;
}

void BM_ExportKeyplan(benchmark::State& state) { Export(state, false); }
void BM_ExportKeyplanAsAttributes(benchmark::State& state) { Export(state, true); }

// The floor for the exports: loading the same drawing from its file.
void BM_LoadRiver(benchmark::State& state) {
  const River& river = RiverOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto app = memory::CreateApplication();
    auto doc = palvane::dxf::ReadDrawing(*app, river.file, "river.dxf");
    benchmark::DoNotOptimize(doc);
    state.PauseTiming();
    doc.reset();
    app.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * river.file.size()));
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

BENCHMARK(BM_LoadRiver)->Arg(1000)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportKeyplan)->Arg(1000)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportKeyplanAsAttributes)
    ->Arg(1000)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewSection)->Arg(12500)->Arg(25000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
