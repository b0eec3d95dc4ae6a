#include "command_files.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>

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

host::Ref<host::Document> Load(host::Application& app, const std::string& path,
                               Progress& progress) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(FsPath(path), ec);
  progress.Phase("reading " + path +
                 (ec ? std::string() : " (" + std::to_string(size / 1024) + " KiB)"));
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
