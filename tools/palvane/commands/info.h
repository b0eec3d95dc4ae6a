#pragma once

#include <functional>
#include <string_view>

#include "console.h"
#include "host/host.h"

namespace palvane::tools {

// Lists the reaches and the sections of a drawing: one line each, or with
// `json` one JSON object of "reaches", "sections" and "messages" (the
// lookups' messages, which also go to `sink`). The listing goes to `write`
// piece by piece as it is made, so that a drawing of tens of thousands of
// sections is never held a second time as its listing.
// Lengths and chainages in the text listing are fixed-point, to the
// millimetre.
struct InfoListed {
  size_t listed = 0;    // reaches and sections
  size_t untagged = 0;  // sections whose layers are there but whose tag is not
};
InfoListed WriteInfo(const host::Ref<host::Document>& doc, host::CollectingMessageSink& sink,
                     bool json, const std::function<void(std::string_view)>& write);

}  // namespace palvane::tools
