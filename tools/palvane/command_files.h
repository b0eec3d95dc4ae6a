#pragma once

// What the commands share: one-line messages and progress on standard error,
// and reading and writing drawing files with the failures a user must hear of.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "dxf/file_io.h"
#include "host/host.h"
#include "host/message_sink.h"

namespace palvane::tools {

// A path given in UTF-8, for the file system library.
std::filesystem::path FsPath(const std::string& utf8);

bool StderrIsTerminal();

// One line on standard error, "palvane: TEXT", with whatever the text
// quotes from a file or an argument made printable.
void Say(const std::string& text);

// Progress on standard error, only when it is a terminal.
class Progress {
 public:
  Progress() : on_(StderrIsTerminal()) {}
  void Phase(const std::string& what) {
    if (on_) Say(what);
  }
  void Count(int32_t done, int32_t total) {
    if (!on_ || total <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (done != total && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    std::fprintf(stderr, "\rpalvane: %d of %d sections%s", done, total, done == total ? "\n" : "");
  }

 private:
  bool on_;
  std::chrono::steady_clock::time_point last_{};
};

// The keyplan exports' messages on the command line: each names the section
// it arose on ("section 12 (12_SectionLine): Type mismatch"), the text
// itself the operation's own; the sections with problems are counted.
class SectionMessageSink : public host::MessageSink {
 public:
  // What the export turns to: a section layer, or "" when it is done.
  void Watch(const std::string& layer) { layer_ = layer; }
  void Show(std::string_view text) override;
  size_t sections_with_problems() const { return troubled_.size(); }

 private:
  std::string layer_;
  std::set<std::string> troubled_;
  host::StderrMessageSink elsewhere_;  // messages of no section, as they are
};

// A drawing read and opened in `app`; a Failure (status 2) when it cannot be.
host::Ref<host::Document> Load(host::Application& app, const std::string& path, Progress& progress);

// Saves `doc` to `path`; a Failure (status 2) when it cannot.
void Save(host::Document& doc, const std::string& path, bool overwrite, Progress& progress);

// Whether two paths name one file: an existing one by any path or link, or
// one yet to be made by the same path once links and dots are resolved.
bool SameFile(const std::string& a, const std::string& b);

// Refuses, before any work, a drawing output whose name does not end in
// .dxf (in any letter case): drawings are written as DXF only.
void CheckDrawingPath(const std::string& path);

// Refuses, before any work, an output that would replace a file the user
// did not ask to replace, or a folder.
void CheckReplaceable(const std::string& path, bool overwrite);

// A drawing's bytes written beside `path`, put in place by Commit; a Failure
// (status 2) when they cannot be written.
std::unique_ptr<dxf::PendingFile> PendingDrawing(host::Document& doc, const std::string& path,
                                                 bool overwrite, Progress& progress);

// A whole number in decimal digits alone, within 64 bits.
std::optional<uint64_t> DecimalWhole(const std::string& text);

}  // namespace palvane::tools
