#pragma once

// The files a command writes, standing together: each is written in full
// beside its path as it is added, and none replaces a file until Commit
// puts them all in place. A command that fails before Commit leaves every
// path as it was.

#include <memory>
#include <string>
#include <vector>

#include "console.h"
#include "host/host.h"
#include "platform/files.h"

namespace palvane::tools {

class Outputs {
 public:
  explicit Outputs(Progress& progress) : progress_(progress) {}

  // Writes the file of a drawing, in the version and form it was read in;
  // a Failure (status 2) "cannot write the drawing: ..." when it cannot be.
  // Without `overwrite`, a file already at `path` is refused.
  void AddDrawing(host::Document& doc, const std::string& path, bool overwrite);
  // Writes `bytes`; the Failure names the file as `what` ("the picture").
  void AddFile(const std::string& path, const std::string& bytes, bool overwrite,
               const std::string& what);

  // Puts every file in place, in the order added. Only a file appearing
  // meanwhile, or another program holding one, makes this fail: the Failure
  // (status 2) then names the outputs already put in place.
  void Commit();

 private:
  struct Output {
    std::unique_ptr<platform::PendingFile> file;
    std::string path, what;
  };
  Progress& progress_;
  std::vector<Output> outputs_;
};

}  // namespace palvane::tools
