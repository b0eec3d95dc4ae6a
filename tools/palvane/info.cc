#include "info.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "host/convert.h"
#include "model/lookup.h"
#include "model/reach.h"
#include "model/section.h"

namespace palvane::tools {

std::string ShortestText(double value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

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

size_t WriteInfo(const host::Ref<host::Document>& doc, CollectingSink& sink, bool json,
                 const std::function<void(std::string_view)>& write) {
  size_t listed = 0;
  std::optional<JsonArrayWriter> array;
  if (json) array.emplace(write, "reaches", true);
  try {
    const auto set = model::GetReachPolylines(doc);
    for (int32_t i = 0; i < set->Count(); ++i) {
      model::TEVReach reach;
      reach.Profile = set->Item(i).As<host::LWPolyline>();
      reach.RetrieveValues();
      const double length = reach.Profile->Length();
      const size_t vertices = reach.Profile->Coordinates().size() / 2;
      ++listed;
      if (json) {
        array->Add({{"handle", reach.Profile->Handle()},
                    {"ReachNo", reach.ReachNo},
                    {"Status", reach.Status},
                    {"PhotoDirectory", reach.PhotoDirectory},
                    {"layer", reach.Profile->Layer()},
                    {"length", length},
                    {"vertices", vertices}});
      } else {
        write("reach " + reach.ReachNo + (reach.Status ? " (current)" : "") + ": handle " +
              reach.Profile->Handle() + ", length " + host::FormatFixedWithPoint(length, 3) + ", " +
              std::to_string(vertices) + " vertices, photos \"" + reach.PhotoDirectory + "\"\n");
      }
    }
  } catch (const host::Error& e) {
    sink.Show(e.description());
  }
  if (json) {
    array->Close();
    array.emplace(write, "sections", false);
  }
  const auto layers = doc->Layers();
  for (int32_t i = 0; i < layers->Count(); ++i) {
    const std::string layer = layers->Item(i)->Name();
    const size_t at = layer.find("_SectionLine");
    if (at == std::string::npos) continue;
    const std::string number = layer.substr(0, at);
    try {
      const auto profile = model::FindSectionProfile(sink, doc, number);
      if (!profile) continue;
      model::TEVSection section(sink);
      section.Profile = profile;
      section.RetrieveValues(doc);
      std::string date = host::DateToText(section.WaterDate);
      ++listed;
      if (date.size() > 10) date[10] = 'T';
      if (json) {
        array->Add({{"layer", layer},
                    {"handle", profile->Handle()},
                    {"SectionNo", section.SectionNo},
                    {"SectionName", section.SectionName},
                    {"Chainage", section.Chainage},
                    {"Bearing", section.Bearing},
                    {"Title", section.Title},
                    {"ReachNo", section.ReachNo},
                    {"WaterDate", date},
                    {"ThroughSection", section.ThroughSection}});
      } else {
        write("section " + section.SectionNo + ": " + section.SectionName + " at chainage " +
              host::FormatFixedWithPoint(section.Chainage, 3) + ", bearing " +
              ShortestText(section.Bearing) + ", reach " + section.ReachNo + ", profile " +
              profile->Handle() + ", \"" + section.Title + "\", water date " + date +
              (section.ThroughSection ? ", through section" : "") + "\n");
      }
    } catch (const host::Error& e) {
      sink.Show(e.description());
    }
  }
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
  return listed;
}

}  // namespace palvane::tools
