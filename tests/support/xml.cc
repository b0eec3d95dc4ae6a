#include "support/xml.h"

#include <libxml/parser.h>

namespace palvane::testing {

::testing::AssertionResult WellFormedXml(const std::string& text) {
  // Huge: a river's path may be longer than libxml2's default text limit.
  xmlDocPtr doc =
      xmlReadMemory(text.data(), static_cast<int>(text.size()), "picture.svg", nullptr,
                    XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc != nullptr) {
    xmlFreeDoc(doc);
    return ::testing::AssertionSuccess();
  }
  const xmlError* error = xmlGetLastError();
  return ::testing::AssertionFailure()
         << "not well-formed XML: "
         << (error != nullptr && error->message != nullptr ? error->message : "(no message)")
         << " at line " << (error != nullptr ? error->line : 0);
}

}  // namespace palvane::testing
