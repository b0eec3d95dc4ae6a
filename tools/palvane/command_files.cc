#include "command_files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "dxf/drawing.h"
#include "failure.h"
#include "host/message_sink.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace palvane::tools {

std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool StderrIsTerminal() {
#ifdef _WIN32
  return ::_isatty(::_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) == 1;
#endif
}

void Say(const std::string& text) {
  std::fprintf(stderr, "palvane: %s\n", host::PrintableText(text).c_str());
}

namespace {

// The version of a DWG file from its first bytes ("AC1032"), or nothing for
// any other file. DXF starts with a group code or "AutoCAD Binary DXF".
std::optional<std::string> DwgVersion(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  char head[6] = {};
  if (!in.read(head, sizeof head)) return std::nullopt;
  const std::string version(head, sizeof head);
  if (version.compare(0, 2, "AC") != 0 ||
      !std::all_of(version.begin() + 2, version.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return version;
}

// The release a DWG version code stands for, where known.
std::string DwgRelease(const std::string& version) {
  static const std::map<std::string, std::string> kReleases{
      {"AC1009", "R11/R12"}, {"AC1012", "R13"},  {"AC1014", "R14"},
      {"AC1015", "2000"},    {"AC1018", "2004"}, {"AC1021", "2007"},
      {"AC1024", "2010"},    {"AC1027", "2013"}, {"AC1032", "2018"}};
  const auto it = kReleases.find(version);
  return it == kReleases.end() ? version : version + ", the " + it->second + " format";
}

}  // namespace

void SectionMessageSink::Show(std::string_view text) {
  if (layer_.empty()) return elsewhere_.Show(text);
  troubled_.insert(layer_);
  const std::string number = layer_.substr(0, layer_.find("_SectionLine"));
  Say("section " + number + " (" + layer_ + "): " + std::string(text));
}

host::Ref<host::Document> Load(host::Application& app, const std::string& path,
                               Progress& progress) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(FsPath(path), ec);
  progress.Phase("reading " + path +
                 (ec ? std::string() : " (" + std::to_string(size / 1024) + " KiB)"));
  if (const auto version = DwgVersion(path)) {
    throw Failure{2, path + " is a DWG drawing (" + DwgRelease(*version) +
                         "), which Palvane does not read: save it as DXF in the CAD program"};
  }
  try {
    return dxf::LoadDrawing(app, path);
  } catch (const dxf::DxfError& e) {
    throw Failure{2, std::string("cannot read the drawing: ") + e.what()};
  }
}

void Save(host::Document& doc, const std::string& path, bool overwrite, Progress& progress) {
  progress.Phase("writing " + path);
  try {
    dxf::SaveDrawing(doc, path, overwrite);
  } catch (const dxf::DxfError& e) {
    throw Failure{2, std::string("cannot write the drawing: ") + e.what()};
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(FsPath(a), FsPath(b), ec)) return true;
  auto full = [](const std::string& path) {
    std::error_code error;
    std::string text =
        std::filesystem::weakly_canonical(std::filesystem::absolute(FsPath(path), error), error)
            .string();
#ifdef _WIN32
    // Names differing only in case are one file there.
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    return error ? std::string() : text;
  };
  const std::string full_a = full(a);
  return !full_a.empty() && full_a == full(b);
}

void CheckDrawingPath(const std::string& path) {
  std::string extension = FsPath(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".dxf") return;
  throw Failure{2, path + ": drawings are written as DXF; give a name ending in .dxf" +
                       std::string(extension == ".dwg" ? " (DWG is not written)" : "")};
}

void CheckReplaceable(const std::string& path, bool overwrite) {
  std::error_code ec;
  if (path.empty()) return;
  if (std::filesystem::is_directory(FsPath(path), ec)) throw Failure{2, path + " is a directory"};
  if (!overwrite && std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec))) {
    throw Failure{2, path + " exists; give --overwrite to replace it"};
  }
}

std::unique_ptr<dxf::PendingFile> PendingDrawing(host::Document& doc, const std::string& path,
                                                 bool overwrite, Progress& progress) {
  progress.Phase("writing " + path);
  try {
    return std::make_unique<dxf::PendingFile>(path, dxf::WriteDrawing(doc), overwrite);
  } catch (const dxf::DxfError& e) {
    throw Failure{2, std::string("cannot write the drawing: ") + e.what()};
  }
}

std::optional<uint64_t> DecimalWhole(const std::string& text) {
  uint64_t value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) return {};
  return value;
}

}  // namespace palvane::tools
