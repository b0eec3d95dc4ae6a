#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "host/message_sink.h"

namespace palvane::tools {

// The messages of the lookups: kept for the JSON listing and passed on to
// another sink as they come.
class CollectingSink : public host::MessageSink {
 public:
  explicit CollectingSink(host::MessageSink& next) : next_(next) {}
  void Show(std::string_view text) override {
    messages.emplace_back(text);
    next_.Show(text);
  }
  std::vector<std::string> messages;

 private:
  host::MessageSink& next_;
};

// The shortest text that reads back as the same number: how the listing,
// and the other commands' plain output, write numbers.
std::string ShortestText(double value);

// Lists the reaches and the sections of a drawing: one line each, or with
// `json` one JSON object of "reaches", "sections" and "messages" (the
// lookups' messages, which also go to `sink`). The listing goes to `write`
// piece by piece as it is made, so that a drawing of tens of thousands of
// sections is never held a second time as its listing.
// Lengths and chainages in the text listing are fixed-point, to the
// millimetre. Returns how many reaches and sections were listed.
size_t WriteInfo(const host::Ref<host::Document>& doc, CollectingSink& sink, bool json,
                 const std::function<void(std::string_view)>& write);

}  // namespace palvane::tools
