#include "support/dxf_compare.h"

#include <charconv>

#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "dxf/tags.h"
#include "dxf/text.h"

namespace palvane::testing {

NormalTags NormalizeDxf(std::string_view bytes) {
  std::vector<std::pair<int, std::string>> raw;
  dxf::TagReader reader(bytes);
  dxf::Tag t;
  std::string version = "AC1009", code_page = "ANSI_1252", last_var;
  while (reader.Next(t)) {
    raw.emplace_back(t.code, std::string(t.value));
    if (t.code == 9) last_var = std::string(t.value);
    if (last_var == "$ACADVER" && t.code == 1) version = std::string(t.value);
    if (last_var == "$DWGCODEPAGE" && t.code == 3) code_page = std::string(t.value);
  }
  const dxf::TextCodec codec(version >= "AC1021", code_page);
  NormalTags out;
  for (auto& [code, value] : raw) {
    switch (dxf::ValueTypeOf(code)) {
      case dxf::ValueType::kDouble: {
        std::string_view v = value;
        while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
        while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
        if (!v.empty() && v.front() == '+') v.remove_prefix(1);
        double d = 0;
        std::from_chars(v.data(), v.data() + v.size(), d);
        out.emplace_back(code, dxf::FormatDouble(d));
        break;
      }
      case dxf::ValueType::kInt16:
      case dxf::ValueType::kInt32:
      case dxf::ValueType::kInt64:
      case dxf::ValueType::kBool: {
        std::string_view v = value;
        while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
        while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
        if (!v.empty() && v.front() == '+') v.remove_prefix(1);
        long long n = 0;
        std::from_chars(v.data(), v.data() + v.size(), n);
        out.emplace_back(code, std::to_string(n));
        break;
      }
      case dxf::ValueType::kHandle: {
        std::string v = value;
        while (v.size() > 1 && v.front() == '0') v.erase(0, 1);
        for (char& c : v) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        out.emplace_back(code, v);
        break;
      }
      default:
        out.emplace_back(code, dxf::DecodeEscapes(codec.Decode(value)));
    }
  }
  return out;
}

std::string FirstDifference(std::string_view a, std::string_view b) {
  const NormalTags x = NormalizeDxf(a), y = NormalizeDxf(b);
  const size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) {
      return "tag " + std::to_string(i) + ": " + std::to_string(x[i].first) + " \"" + x[i].second +
             "\" against " + std::to_string(y[i].first) + " \"" + y[i].second + "\"";
    }
  }
  if (x.size() != y.size()) {
    return "tag counts differ: " + std::to_string(x.size()) + " against " +
           std::to_string(y.size());
  }
  return "";
}

std::shared_ptr<host::memory::MemDocument> ReadMem(host::Application& app, std::string_view bytes,
                                                   const std::string& name) {
  return std::dynamic_pointer_cast<host::memory::MemDocument>(
      dxf::ReadDrawing(app, bytes, name).shared());
}

std::shared_ptr<host::memory::MemDocument> LoadMem(host::Application& app,
                                                   const std::string& path) {
  return std::dynamic_pointer_cast<host::memory::MemDocument>(dxf::LoadDrawing(app, path).shared());
}

}  // namespace palvane::testing
