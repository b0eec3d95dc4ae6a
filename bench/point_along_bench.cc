// Point along a polyline through the host interface: every vertex is read
// from the host afresh, so this measures the walk plus the host's calls.

#include <benchmark/benchmark.h>

#include <cmath>

#include "automation/centerline_class.h"
#include "host/memory/memory_host.h"

namespace {

using palvane::host::Ref;

void BM_PointAlong(benchmark::State& state) {
  const auto vertices = static_cast<int>(state.range(0));
  auto app = palvane::host::memory::CreateApplication();
  auto doc = app->Documents()->Add();
  std::vector<double> coords;
  for (int i = 0; i < vertices; ++i) {
    coords.push_back(i);
    coords.push_back(std::sin(i * 0.01));
  }
  auto line = doc->ModelSpace()->AddLightWeightPolyline(coords);
  for (int i = 0; i < vertices; i += 7) line->SetBulge(i, 0.1);  // some arcs
  palvane::host::RecordingMessageSink sink;
  palvane::automation::CenterlineClass centerline(sink);
  const double length = line->Length() - 0.5;  // near the end: the whole walk
  double bearing = 0;
  for (auto _ : state) {
    auto point =
        centerline.LWPolyPntAlong(Ref<palvane::host::Document>(doc), line, length, bearing);
    benchmark::DoNotOptimize(point);
  }
  state.counters["vertices/s"] = benchmark::Counter(static_cast<double>(vertices),
                                                    benchmark::Counter::kIsIterationInvariantRate);
  if (!sink.messages().empty()) state.SkipWithError(sink.messages().front().c_str());
}
BENCHMARK(BM_PointAlong)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
