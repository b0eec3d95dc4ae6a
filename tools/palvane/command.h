#pragma once

// A palvane command: one file under commands/ each. Its Add function adds
// the command, with its options, to the command line, and hands back what
// runs it once the line is parsed with the command chosen. Run returns the
// exit status, or throws Failure (or an uncaught host::Error) for main to
// report.

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "model/layer_names.h"

namespace palvane::tools {

struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

Command AddInfo(CLI::App& cli);
Command AddPointAlong(CLI::App& cli);
Command AddViewSection(CLI::App& cli);
Command AddKeyplan(CLI::App& cli);
Command AddGis(CLI::App& cli);
Command AddGenerate(CLI::App& cli);
Command AddCheck(CLI::App& cli);
Command AddStation(CLI::App& cli);
Command AddTag(CLI::App& cli);
Command AddSections(CLI::App& cli);

// What a command says when a drawing holds nothing it works on.
inline std::string NoRiverMessage() {
  return "the drawing has no tagged reach and no section layer: no polyline carries a \"TEV\" "
         "reach tag, and no layer is named N" +
         std::string(model::kSectionLineLayer);
}

}  // namespace palvane::tools
