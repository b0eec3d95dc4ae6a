// libFuzzer target: the text conversions and the keyplan's option readers.
// Any text either converts or raises the runtime's own error (a host::Error);
// the command's field list and option strings either build the options or
// fail with a reason. Never a crash, a hang or undefined behaviour.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/keyplan.h"
#include "failure.h"
#include "host/convert.h"
#include "host/error.h"
#include "keyplan/options.h"

namespace {

using namespace palvane;

template <class F>
void Try(F&& f) {
  try {
    f();
  } catch (const host::Error&) {
  }
}

// Every conversion of one text, and of the values it gives back.
void Convert(const std::string& text) {
  Try([&] { (void)host::TextToBoolean(text); });
  Try([&] {
    const double d = host::TextToDouble(text);
    (void)host::DoubleToText(d);
    (void)host::FormatFixed(d, static_cast<int>(text.size() % 20));
    (void)host::RoundToEven(d, static_cast<int32_t>(text.size() % 30));
    (void)keyplan::LayerChainage("XS_", d);
  });
  Try([&] { (void)host::TextToLong(text); });
  Try([&] { (void)host::DateToText(host::TextToDate(text)); });
  Try([&] { (void)keyplan::ReadFlag(text); });
  Try([&] {
    const int32_t places = keyplan::ReadPrecision(text);
    (void)keyplan::NumberText(1234.5678, places);
    (void)keyplan::NumberText(-0.000123456, places);
  });
  Try([&] { (void)keyplan::NumberText(keyplan::ReadMeasure(text), 3); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  Convert(std::string(input));
  // As the command's arguments: a field list, then NAME=VALUE lines.
  tools::KeyplanArgs args;
  const size_t end = std::min(input.find('\n'), input.size());
  args.fields = std::string(input.substr(0, end));
  for (size_t at = end + 1; at < input.size();) {
    const size_t next = std::min(input.find('\n', at), input.size());
    args.options.emplace_back(input.substr(at, next - at));
    at = next + 1;
  }
  try {
    const keyplan::KeyplanOptions options = tools::BuildOptions(args);
    for (const auto& f : keyplan::kOptionFields) Convert(options.*f.member);
  } catch (const tools::Failure&) {
  }
  return 0;
}
