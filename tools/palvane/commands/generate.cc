// palvane generate: a synthetic surveyed river written to a drawing, with
// the faults asked for.

#include <charconv>
#include <memory>
#include <stdexcept>
#include <string>

#include "command.h"
#include "console.h"
#include "drawing_files.h"
#include "dxf/drawing.h"
#include "failure.h"
#include "generator/river_generator.h"
#include "outputs.h"

namespace palvane::tools {
namespace {

// A whole number in decimal digits alone, within 64 bits: the option
// library would take a leading 0 as octal, and clamp "-1".
std::optional<uint64_t> DecimalWhole(const std::string& text) {
  uint64_t value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) return {};
  return value;
}

struct Args {
  generator::RiverShape shape;
  std::string seed, faults, out;
  bool overwrite = false;
};

int Run(Args a) {
  generator::RiverShape& shape = a.shape;
  shape.seed = *DecimalWhole(a.seed);
  if (shape.untagged && !a.faults.empty()) {
    throw Failure{2, "--untagged writes no tags, so no tag can be faulty: leave --faults out"};
  }
  if (!a.faults.empty()) {
    shape.faults = generator::FaultsNamed(a.faults);
    int32_t needed = 0;
    try {
      needed = generator::SectionsNeeded(*shape.faults);
    } catch (const std::invalid_argument& e) {
      throw Failure{2, e.what()};
    }
    if (shape.sections < needed) {
      throw Failure{2, "these faults need at least " + std::to_string(needed) + " sections"};
    }
  }
  CheckDrawingPath(a.out);
  CheckReplaceable(a.out, a.overwrite);
  Progress progress;
  auto app = dxf::NewApplication();
  const host::Ref<host::Document> doc = app->Documents()->Add();
  progress.Phase("generating " + std::to_string(shape.sections) + " sections");
  const auto injected = generator::GenerateRiver(*doc, shape);
  Outputs outputs(progress);
  outputs.AddDrawing(*doc, a.out, a.overwrite);
  outputs.Commit();
  if (shape.faults) Print(generator::InjectedJson(injected), "the faults");
  return 0;
}

}  // namespace

Command AddGenerate(CLI::App& cli) {
  auto a = std::make_shared<Args>();
  a->seed = std::to_string(a->shape.seed);
  CLI::App* app = cli.add_subcommand("generate", "Write a synthetic surveyed river");
  app->add_option("--sections", a->shape.sections, "Cross-sections")
      ->required()
      ->check(CLI::Range(0, 10000000));
  app->add_option("--seed", a->seed, "Seed of the random river")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            return DecimalWhole(text) ? "" : "a whole number from 0 to 18446744073709551615";
          },
          "SEED"));
  app->add_option("--clutter", a->shape.clutter, "Unrelated entities per section")
      ->capture_default_str()
      ->check(CLI::Range(0, 1000));
  app->add_option("--survey", a->shape.survey,
                  "Survey points per section: a 3D polyline of the survey as taken on N_3d, "
                  "every other point of it on N_3d_LPSO, and bank lines on \"Bank_Lines\"")
      ->capture_default_str()
      ->check(CLI::Range(0, 100000));
  app->add_option("-o", a->out, "The drawing to write")->required();
  app->add_flag("--overwrite", a->overwrite, "Replace OUT if it exists");
  app->add_flag("--untagged", a->shape.untagged,
                "Write no tags: the river as surveyed, for palvane tag to tag");
  app->add_option("--faults", a->faults,
                  "none, all, or kinds of fault separated by commas (each as the code of its "
                  "finding in palvane check); prints what was injected as JSON");
  return {app, [a] { return Run(*a); }};
}

}  // namespace palvane::tools
