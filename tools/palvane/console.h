#pragma once

// What a command shows its user on the console: one-line messages and
// progress on standard error, numbers as printable text, and what it prints
// on standard output.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/message_sink.h"

namespace palvane::tools {

bool StderrIsTerminal();

// One line on standard error, "palvane: TEXT", with whatever the text
// quotes from a file or an argument made printable.
void Say(const std::string& text);

// Progress on standard error, only when it is a terminal; for a program
// that runs the command (PALVANE_PROGRESS=json in the environment), as lines
// "palvane-progress: " and a JSON object, {"phase": TEXT} or {"done": N,
// "total": M}, whatever standard error is.
class Progress {
 public:
  Progress() : json_(ProgressAsJson()), on_(json_ || StderrIsTerminal()) {}
  void Phase(const std::string& what) {
    if (json_) {
      std::fprintf(stderr, "palvane-progress: {\"phase\": %s}\n", JsonText(what).c_str());
    } else if (on_) {
      Say(what);
    }
  }
  void Count(int32_t done, int32_t total) {
    if (!on_ || total <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (done != total && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    if (json_) {
      std::fprintf(stderr, "palvane-progress: {\"done\": %d, \"total\": %d}\n", done, total);
    } else {
      std::fprintf(stderr, "\rpalvane: %d of %d sections%s", done, total,
                   done == total ? "\n" : "");
    }
  }

 private:
  static bool ProgressAsJson();
  static std::string JsonText(const std::string& text);
  bool json_;
  bool on_;
  std::chrono::steady_clock::time_point last_{};
};

// Writes `text` to standard output and makes sure it got there; a Failure
// (status 2) saying "cannot write `what` to standard output" otherwise.
void Print(std::string_view text, const char* what);

// The keyplan exports' messages on the command line: each names the section
// it arose on ("section 12 (its section-line layer): Type mismatch"), the text
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

// The shortest text that reads back as the same number: how the listing,
// and the other commands' plain output, write numbers.
std::string ShortestText(double value);
// `value` with at most `decimals` decimals, trailing zeros dropped: 90 for
// 90.0000, 12.3457 for 12.345678.
std::string UpToDecimals(double value, int decimals);

// Lengths and coordinates in text output: fixed-point, to the millimetre.
std::string Millimetres(double value);

// A bearing given in radians counter-clockwise from east, as text in
// degrees clockwise from grid north ("90.0000 degrees from grid north").
std::string BearingText(double radians_from_east);

}  // namespace palvane::tools
