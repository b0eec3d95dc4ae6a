// libFuzzer target: what the commands beyond reading do with whatever a
// drawing holds. For each drawing that reads: the check with its survey,
// the sections tagged as a dry run, the survey written in every model
// format, and the keyplan drawn as a PDF sheet, all in memory. Each may
// refuse the drawing with its own error; a crash, a sanitizer report or any
// other exception is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "automation/centerline_class.h"
#include "check/survey_check.h"
#include "dxf/drawing.h"
#include "host/error.h"
#include "host/message_sink.h"
#include "keyplan/options.h"
#include "picture/draw_plan.h"
#include "picture/plan.h"
#include "sections/formats.h"
#include "sections/survey.h"
#include "tagging/tagging.h"

namespace {

using namespace palvane;

// The layers the seeds keep their survey on: the generated rivers' bank
// lines and shared points, the weir's section lines and boundaries.
constexpr const char* kPointsLayer = "Survey_Points";
constexpr const char* kBankLinesLayer = "Bank_Lines";
constexpr const char* kSectionLines = "PROFILES";
const std::vector<std::string> kBoundaries = {"LEFT_BOUNDARY", "RIGHT_BOUNDARY", kBankLinesLayer};

// Runs one command's work. What it throws must be one of `Refusals`, the
// ways it refuses a drawing (which the command reports as its own errors);
// anything else stops the run with what was thrown.
template <class... Refusals, class F>
void Run(const char* what, F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    if ((... || (dynamic_cast<const Refusals*>(&e) != nullptr))) return;
    std::fprintf(stderr, "%s threw: %s\n", what, e.what());
    std::abort();
  }
}

// The check refuses nothing: what it cannot read becomes a finding.
void Check(const host::Ref<host::Document>& drawing) {
  for (const bool shared : {false, true}) {
    check::CheckOptions options;
    options.bank_lines_layers = {kBankLinesLayer};
    if (shared) {
      options.points_layer = kPointsLayer;
      options.bank_lines_layers = kBoundaries;
      options.flow = sections::Flow::kWithChainage;
    }
    Run<>("check", [&] { (void)check::CheckSurvey(drawing, options); });
  }
}

// Sections on their own layers, retagged, and the lines of a layer (the
// real drawings' 3D polylines) made sections.
void TagSections(const host::Ref<host::Document>& drawing) {
  host::SilentMessageSink sink;
  for (const char* from_layer : {"", kSectionLines}) {
    tagging::SectionTagOptions options;
    options.retag = true;
    options.chainage_auto = *from_layer == '\0';
    options.from_layer = from_layer;
    Run<tagging::TagError, host::Error>("tag sections", [&] {
      (void)tagging::TagSections(drawing, sink, options, /*dry_run=*/true);
    });
  }
}

void WriteSections(const host::Ref<host::Document>& drawing) {
  host::SilentMessageSink sink;
  for (const bool shared : {false, true}) {
    sections::SurveyOptions options;
    if (shared) {
      options.points_layer = kPointsLayer;
      options.bank_lines_layers = kBoundaries;
      options.original_data = true;
      options.least_points = 2;
    }
    sections::Survey survey;
    Run<host::Error>("sections", [&] { survey = ReadSurvey(drawing, sink, options); });
    for (const auto format : {sections::Format::kCsv, sections::Format::kHecRas,
                              sections::Format::kFloodModeller, sections::Format::kMike11}) {
      Run<sections::FormatError>(sections::FormatName(format),
                                 [&] { (void)sections::Write(format, survey, {}); });
    }
  }
}

void DrawKeyplan(host::Application& app, const host::Ref<host::Document>& drawing) {
  host::SilentMessageSink sink;
  automation::CenterlineClass centerline(sink);
  keyplan::KeyplanOptions options;
  keyplan::KeyplanMade made;
  centerline.ExportKeyplan(drawing, options, &made);
  if (!made.drawing) return;
  const host::Ref<host::Document> keyplan = app.Documents()->Item(made.drawing->Name());
  tools::picture::SheetOptions sheet;
  sheet.title = "Keyplan";
  // Sheets that cannot be laid out are refused with a runtime_error.
  Run<std::runtime_error>("keyplan picture", [&] {
    (void)tools::picture::DrawPlan(tools::picture::PlanOfKeyplan(*keyplan, options.LineLayer),
                                   sheet, tools::picture::PictureFormat::kPdf);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto app = dxf::NewApplication();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  host::Ref<host::Document> drawing;
  try {
    drawing = dxf::ReadDrawing(*app, bytes, "fuzz.dxf");
  } catch (const dxf::DxfError&) {
    return 0;  // the reader's own target covers bad input
  }
  Check(drawing);
  TagSections(drawing);
  WriteSections(drawing);
  DrawKeyplan(*app, drawing);
  return 0;
}
