#include "host/message_sink.h"

#include <cstdio>
#include <string>

namespace palvane::host {

void StderrMessageSink::Show(std::string_view text) {
  // Keep one message on one line, whatever it holds.
  std::string line = "message: ";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  std::fputs(line.c_str(), stderr);
}

}  // namespace palvane::host
