// palvane info: the reaches and sections of a drawing, listed.

#include "commands/info.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "command.h"
#include "drawing_files.h"
#include "failure.h"
#include "host/convert.h"
#include "model/river.h"

namespace palvane::tools {

namespace {

// A JSON array written one member at a time, each laid out as a member of a
// document dumped with an indent of two.
class JsonArrayWriter {
 public:
  JsonArrayWriter(const std::function<void(std::string_view)>& write, const char* key,
                  bool first_key)
      : write_(write) {
    write_(first_key ? "{\n  \"" : ",\n  \"");
    write_(key);
    write_("\": [");
  }
  void Add(const nlohmann::json& member) {
    std::string text = member.dump(2);
    std::string indented = first_ ? "\n    " : ",\n    ";
    indented.reserve(indented.size() + text.size() + text.size() / 8);
    for (const char c : text) {
      indented += c;
      if (c == '\n') indented += "    ";
    }
    write_(indented);
    first_ = false;
  }
  void Close() { write_(first_ ? "]" : "\n  ]"); }

 private:
  const std::function<void(std::string_view)>& write_;
  bool first_ = true;
};

}  // namespace

InfoListed WriteInfo(const host::Ref<host::Document>& doc, host::CollectingMessageSink& sink,
                     bool json, const std::function<void(std::string_view)>& write) {
  const model::River river = model::ReadRiver(doc, sink, model::RiverOptions::ReachesOnly());
  size_t listed = 0, untagged = 0;
  std::optional<JsonArrayWriter> array;
  if (json) array.emplace(write, "reaches", true);
  for (const model::RiverReach& reach : river.reaches) {
    const model::TEVReach& r = reach.record;
    try {
      const double length = r.Profile->Length();
      const size_t vertices = r.Profile->Coordinates().size() / 2;
      ++listed;
      if (json) {
        array->Add({{"handle", reach.handle},
                    {"ReachNo", r.ReachNo},
                    {"Status", r.Status},
                    {"PhotoDirectory", r.PhotoDirectory},
                    {"layer", r.Profile->Layer()},
                    {"length", length},
                    {"vertices", vertices}});
      } else {
        write("reach " + r.ReachNo + (r.Status ? " (current)" : "") + ": handle " + reach.handle +
              ", length " + host::FormatFixedWithPoint(length, 3) + ", " +
              std::to_string(vertices) + " vertices, photos \"" + r.PhotoDirectory + "\"\n");
      }
    } catch (const host::Error& e) {
      sink.Show(e.description());
    }
  }
  if (json) {
    array->Close();
    array.emplace(write, "sections", false);
  }
  // The sections as they are read: none is held beyond its line.
  model::ForEachSection(doc, sink, {}, [&](const model::RiverSection& section) {
    // A section is listed when its whole tag was read.
    if (section.record.Profile && section.complete && section.tag.empty()) ++untagged;
    if (!section.record.Profile || !section.complete || section.tag.empty()) return;
    const model::TEVSection& s = section.record;
    std::string date = host::DateToText(s.WaterDate);
    ++listed;
    if (date.size() > 10) date[10] = 'T';
    if (json) {
      array->Add({{"layer", section.layer},
                  {"handle", section.handle},
                  {"SectionNo", s.SectionNo},
                  {"SectionName", s.SectionName},
                  {"Chainage", s.Chainage},
                  {"Bearing", s.Bearing},
                  {"Title", s.Title},
                  {"ReachNo", s.ReachNo},
                  {"WaterDate", date},
                  {"ThroughSection", s.ThroughSection}});
    } else {
      write("section " + s.SectionNo + ": " + s.SectionName + " at chainage " +
            host::FormatFixedWithPoint(s.Chainage, 3) + ", bearing " + UpToDecimals(s.Bearing, 4) +
            ", reach " + s.ReachNo + ", profile " + section.handle + ", \"" + s.Title +
            "\", water date " + date + (s.ThroughSection ? ", through section" : "") + "\n");
    }
  });
  if (json) {
    array->Close();
    write(",\n  \"messages\": ");
    std::string messages = nlohmann::json(sink.messages).dump(2);
    for (size_t at = messages.find('\n'); at != std::string::npos;
         at = messages.find('\n', at + 1)) {
      messages.insert(at + 1, "  ");
    }
    write(messages);
    write("\n}\n");
  }
  return {listed, untagged};
}

// ------------------------------------------------------------------ the command

Command AddInfo(CLI::App& cli) {
  struct Args {
    std::string drawing;
    bool json = false;
  };
  auto a = std::make_shared<Args>();
  CLI::App* app = cli.add_subcommand("info", "List the reaches and sections of a drawing");
  app->add_option("DRAWING", a->drawing, "The drawing (DXF)")->required();
  app->add_flag("--json", a->json, "Print one JSON object");
  return {app, [a] {
            OpenedDrawing drawing(a->drawing);
            host::StderrMessageSink to_stderr;
            host::CollectingMessageSink sink(to_stderr);
            const InfoListed info = WriteInfo(
                drawing.Seen(), sink, a->json,
                [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); });
            Print("", "the listing");
            if (info.untagged > 0) {
              Say(std::to_string(info.untagged) +
                  " sections have their layers but no section tag; palvane tag sections tags "
                  "them from their lines");
            }
            if (info.listed == 0 && info.untagged == 0 && sink.messages.empty()) {
              throw Failure{1, NoRiverMessage() + CentreLineCandidates(*drawing.document())};
            }
            return info.listed == 0 && info.untagged > 0 ? 1 : 0;
          }};
}

}  // namespace palvane::tools
