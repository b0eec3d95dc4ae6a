#include "console.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "along/station.h"
#include "failure.h"
#include "host/convert.h"
#include "model/layer_names.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace palvane::tools {

bool StderrIsTerminal() {
#ifdef _WIN32
  return ::_isatty(::_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) == 1;
#endif
}

bool Progress::ProgressAsJson() {
  const char* asked = std::getenv("PALVANE_PROGRESS");
  return asked != nullptr && std::string_view(asked) == "json";
}

std::string Progress::JsonText(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void Say(const std::string& text) {
  std::fprintf(stderr, "palvane: %s\n", host::PrintableText(text).c_str());
}

void Print(std::string_view text, const char* what) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    throw Failure{2, std::string("cannot write ") + what + " to standard output"};
  }
}

void SectionMessageSink::Show(std::string_view text) {
  if (layer_.empty()) return elsewhere_.Show(text);
  troubled_.insert(layer_);
  const std::string number = model::SectionNumberOf(layer_).value_or(layer_);
  Say("section " + number + " (" + layer_ + "): " + std::string(text));
}

std::string ShortestText(double value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

std::string UpToDecimals(double value, int decimals) {
  std::string text = host::FormatFixedWithPoint(value, decimals);
  if (text.find('.') == std::string::npos) return text;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

std::string Millimetres(double value) { return host::FormatFixedWithPoint(value, 3); }

std::string BearingText(double radians_from_east) {
  return host::FormatFixedWithPoint(along::BearingFromNorth(radians_from_east), 4) +
         " degrees from grid north";
}

}  // namespace palvane::tools
