#pragma once

#include <string>

namespace palvane::tools {

// A failure the user must hear of in one line, with its exit status.
struct Failure {
  int status;
  std::string reason;
};

}  // namespace palvane::tools
