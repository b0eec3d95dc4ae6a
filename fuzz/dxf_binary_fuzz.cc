// libFuzzer target: the binary form of the reader. Every input follows the
// binary file's sentinel, so the fuzzer spends its time on binary tags; a
// drawing read is written back in binary and read again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "drawing_fuzzing.h"
#include "dxf/drawing.h"
#include "dxf/tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto app = palvane::host::memory::NewMemApplication();
  std::string bytes(palvane::dxf::kBinarySentinel);
  bytes.append(reinterpret_cast<const char*>(data), size);
  try {
    const auto read = palvane::dxf::ReadDrawing(*app, std::move(bytes), "fuzz.dxf");
    palvane::fuzzing::ReadWhole(*palvane::host::memory::InMemory(*read));
    const std::string written = palvane::dxf::WriteDrawing(*read, true);
    palvane::dxf::ReadDrawing(*app, written, "again.dxf");
  } catch (const palvane::dxf::DxfError&) {
  }
  return 0;
}
