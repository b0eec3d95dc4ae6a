// libFuzzer target: any bytes given to the drawing reader either load (and
// then write and load again) or fail with DxfError; never a crash or a hang.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dxf/drawing.h"
#include "host/memory/entities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto app = palvane::host::memory::NewMemApplication();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const auto read = palvane::dxf::ReadDrawing(*app, bytes, "fuzz.dxf");
    palvane::host::memory::MemDocument* doc = palvane::host::memory::InMemory(*read);
    // What is read on first use is read too, and every other entity is
    // written from its fields, as after a change.
    bool change = false;
    for (const auto& block : doc->blocks()) {
      for (auto* entity : block->entities()) {
        entity->Load();
        (void)entity->xdata();
        if ((change = !change)) entity->set_dirty(true);
      }
    }
    const std::string written = palvane::dxf::WriteDrawing(*doc);
    palvane::dxf::ReadDrawing(*app, written, "again.dxf");
  } catch (const palvane::dxf::DxfError&) {
  }
  return 0;
}
