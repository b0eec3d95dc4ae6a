// Drawing files: loading and saving against the floor set by a plain loop
// that only splits the same bytes into (group code, value) pairs.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstring>
#include <sstream>

#ifdef PALVANE_HAVE_DXFLIB
#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>
#endif

#include "dxf/drawing.h"
#include "dxf/tags.h"
#include "generator/river_generator.h"
#include "host/memory/memory_host.h"

namespace {

namespace memory = palvane::host::memory;

// A synthetic river with ten unrelated entities per section entity.
const std::string& RiverBytes(int sections) {
  static std::map<int, std::string> cache;
  auto& bytes = cache[sections];
  if (bytes.empty()) bytes = palvane::generator::RiverFile({sections, 1, 20, std::nullopt});
  return bytes;
}

void SetBytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

// The floor: split lines into pairs, parse the code, touch the value.
void BM_SplitTags(benchmark::State& state) {
  const std::string& bytes = RiverBytes(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    uint64_t sum = 0;
    while (p < end) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (nl == nullptr) break;
      const char* b = p;
      while (b < nl && *b == ' ') ++b;
      int code = 0;
      std::from_chars(b, nl, code);
      p = nl + 1;
      nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (nl == nullptr) break;
      sum += static_cast<uint64_t>(code) + static_cast<uint64_t>(nl - p);
      p = nl + 1;
    }
    benchmark::DoNotOptimize(sum);
  }
  SetBytes(state, bytes.size());
}

// The reader's own tokenizer over the same bytes: checks every number and
// keeps every tag's position, which the floor does not.
void BM_Tokenize(benchmark::State& state) {
  const std::string& bytes = RiverBytes(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    palvane::dxf::TagReader reader(bytes);
    palvane::dxf::Tag tag;
    uint64_t sum = 0;
    while (reader.Next(tag)) sum += static_cast<uint64_t>(tag.code) + tag.value.size();
    benchmark::DoNotOptimize(sum);
  }
  SetBytes(state, bytes.size());
}

void BM_Load(benchmark::State& state) {
  const std::string& bytes = RiverBytes(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    // The drawing takes the bytes over, as it does from a file just read:
    // the copy is made outside the measured time, like the file's reading.
    state.PauseTiming();
    std::string copy = bytes;
    auto app = memory::CreateApplication();
    state.ResumeTiming();
    auto doc = palvane::dxf::ReadDrawing(*app, std::move(copy), "bench.dxf");
    benchmark::DoNotOptimize(doc);
    state.PauseTiming();
    doc.reset();
    app.reset();
    state.ResumeTiming();
  }
  SetBytes(state, bytes.size());
}

void BM_Save(benchmark::State& state) {
  const std::string& bytes = RiverBytes(static_cast<int>(state.range(0)));
  auto app = memory::CreateApplication();
  auto doc = palvane::dxf::ReadDrawing(*app, bytes, "bench.dxf");
  for (auto _ : state) {
    std::string out = palvane::dxf::WriteDrawing(*doc);
    benchmark::DoNotOptimize(out);
  }
  SetBytes(state, bytes.size());
}

#ifdef PALVANE_HAVE_DXFLIB
// dxflib, a C++ reader that hands each entity to callbacks, on the same
// bytes with callbacks that do nothing: for comparison only.
void BM_DxflibRead(benchmark::State& state) {
  const std::string& bytes = RiverBytes(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::istringstream stream(bytes);
    DL_CreationAdapter ignore;
    DL_Dxf dxf;
    benchmark::DoNotOptimize(dxf.in(stream, &ignore));
  }
  SetBytes(state, bytes.size());
}
BENCHMARK(BM_DxflibRead)->Arg(2000)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_SplitTags)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tokenize)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
