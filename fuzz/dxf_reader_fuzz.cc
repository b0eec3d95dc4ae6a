// libFuzzer target: any bytes given to the drawing reader either load (and
// then write and load again) or fail with DxfError; never a crash or a hang.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "drawing_fuzzing.h"
#include "dxf/drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto app = palvane::host::memory::NewMemApplication();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const auto read = palvane::dxf::ReadDrawing(*app, bytes, "fuzz.dxf");
    palvane::fuzzing::ReadWhole(*palvane::host::memory::InMemory(*read));
    const std::string written = palvane::dxf::WriteDrawing(*read);
    palvane::dxf::ReadDrawing(*app, written, "again.dxf");
  } catch (const palvane::dxf::DxfError&) {
  }
  return 0;
}
