// libFuzzer target, differential: a drawing that reads is written, read
// again, and the two drawings must hold the same objects with the same
// fields, handles, layers and extended data, in ASCII and in binary.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "drawing_fuzzing.h"
#include "dxf/drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using palvane::host::memory::InMemory;
  auto app = palvane::host::memory::NewMemApplication();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  palvane::host::Ref<palvane::host::Document> read;
  try {
    read = palvane::dxf::ReadDrawing(*app, bytes, "fuzz.dxf");
  } catch (const palvane::dxf::DxfError&) {
    return 0;  // the reader's own target covers bad input
  }
  auto& first = *InMemory(*read);
  palvane::fuzzing::ReadWhole(first);
  const std::string before = palvane::fuzzing::Describe(first);
  for (const bool binary : {false, true}) {
    std::string written;
    try {
      written = palvane::dxf::WriteDrawing(*read, binary);
    } catch (const palvane::dxf::DxfError&) {
      continue;  // a drawing this form cannot hold (R12 in binary, say)
    }
    palvane::host::Ref<palvane::host::Document> again;
    try {
      again = palvane::dxf::ReadDrawing(*app, written, "again.dxf");
    } catch (const palvane::dxf::DxfError& e) {
      std::fprintf(stderr, "a drawing written does not read again (%s): %s\n",
                   binary ? "binary" : "ASCII", e.what());
      std::abort();
    }
    auto& second = *InMemory(*again);
    for (const auto& block : second.blocks()) {
      for (auto* entity : block->entities()) entity->Load();
    }
    const std::string after = palvane::fuzzing::Describe(second);
    if (after != before) {
      size_t at = 0;
      while (at < before.size() && at < after.size() && before[at] == after[at]) ++at;
      const size_t from = at > 80 ? at - 80 : 0;
      std::fprintf(stderr, "the drawing read again differs (%s) at %zu:\n  %s\n  %s\n",
                   binary ? "binary" : "ASCII", at, before.substr(from, 160).c_str(),
                   after.substr(from, 160).c_str());
      std::abort();
    }
  }
  return 0;
}
