#include "model/river.h"

#include <algorithm>
#include <string_view>

#include "model/layer_names.h"
#include "model/lookup.h"
#include "model/problem_codes.h"
#include "model/tags.h"

namespace palvane::model {
namespace {

// The code of the problem a lookup's message tells of.
const char* LookupCode(const std::string& message) {
  const auto ends = [&](std::string_view end) { return message.ends_with(end); };
  if (ends("Has no profile")) return code::kNoProfile;
  if (ends("Has more than one Profile using first found")) return code::kSeveralProfiles;
  if (ends("Has no Center Point")) return code::kNoCentrePoint;
  if (ends("Has more than one Center Point using first found")) {
    return code::kSeveralCentrePoints;
  }
  return code::kHostError;
}

}  // namespace

class RiverReader {
 public:
  RiverReader(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
              const RiverOptions& options)
      : drawing_(drawing), sink_(sink), options_(options) {}

  River Read() {
    ReadReaches();
    if (options_.sections) {
      ReadSections([&](RiverSection& section) { river_.sections.push_back(std::move(section)); });
    }
    return std::move(river_);
  }

  std::vector<RiverFailure> Visit(const std::function<void(RiverSection&)>& visit) {
    ReadSections(visit);
    return std::move(river_.failures);
  }

 private:
  // The set a query selects into: the exports' own, or the caller's, which
  // is deleted again however the query ends.
  template <class Query>
  auto InSet(const char* exports_set, const Query& query) {
    if (options_.selection_set.empty()) return query(exports_set);
    const DeleteSetAfter delete_after(drawing_, options_.selection_set);
    return query(options_.selection_set);
  }

  // Every polyline whose tag is a reach's, each read on its own: one whose
  // tag cannot be read is left out with its problem, and the others stay.
  void ReadReaches() {
    std::vector<host::Ref<host::Entity>> lines;
    try {
      lines = InSet("LWPolys", [&](const std::string& name) {
        return SelectAll(drawing_, name, {0}, {host::Variant("LWPOLYLINE")});
      });
    } catch (const host::Error& e) {
      river_.failures.push_back({"selecting the polylines", e});
      sink_.Show(e.description());
    }
    for (const host::Ref<host::Entity>& entity : lines) {
      UnreadReach unread{"", {}, host::Error(0, "")};
      try {
        RiverReach reach;
        reach.record.Profile = entity.As<host::LWPolyline>();
        unread.handle = reach.record.Profile->Handle();
        unread.tag = reach.record.Profile->GetXData(kTagApp);
        if (!reach.record.Load(unread.tag)) continue;
        reach.handle = std::move(unread.handle);
        river_.reaches.push_back(std::move(reach));
      } catch (const host::Error& e) {
        sink_.Show("polyline " + unread.handle + ": its reach tag cannot be read (" +
                   e.description() + "); it is left out of the reaches");
        unread.error = e;
        river_.unread_reaches.push_back(std::move(unread));
      }
    }
  }

  void ReadSections(const std::function<void(RiverSection&)>& visit) {
    try {
      const auto layers = drawing_->Layers();
      const int32_t count = layers->Count();
      for (int32_t i = 0; i < count; ++i) {
        std::string layer = layers->Item(i)->Name();
        const auto number = SectionNumberOf(layer);
        if (!number) continue;
        RiverSection section(sink_);
        ReadSection(section, *number, std::move(layer));
        visit(section);
      }
    } catch (const host::Error& e) {
      river_.failures.push_back({"reading the layers", e});
      sink_.Show(e.description());
    }
  }

  // The entities of one part of a section, with the exports' messages.
  template <class T>
  std::vector<host::Ref<T>> LookUp(host::MessageSink& heard, SectionPart part,
                                   const std::string& number) {
    const auto found = InSet("Section", [&](const std::string& name) {
      return SelectSectionPart(drawing_, name, part, number);
    });
    ShowLookupCount(heard, part, number, found.size());
    std::vector<host::Ref<T>> out;
    out.reserve(found.size());
    for (const auto& entity : found) out.push_back(entity.template As<T>());
    return out;
  }

  void LookUpCentrePoints(host::MessageSink& heard, RiverSection& section) {
    section.centre_points_looked_up = true;
    section.centre_points =
        LookUp<host::PointEntity>(heard, SectionPart::kCenterPoint, section.number);
  }

  void ReadSection(RiverSection& section, const std::string& number, std::string layer) {
    // The lookups' messages are the section's problems too.
    host::CollectingMessageSink heard(sink_);
    section.record.SetSink(heard);
    section.number = number;
    section.layer = std::move(layer);
    TEVSection& record = section.record;
    std::vector<Problem> failures;  // told first
    try {
      section.profiles = LookUp<host::LWPolyline>(heard, SectionPart::kProfile, number);
      if (section.profiles.empty()) {
        if (options_.centre_points) LookUpCentrePoints(heard, section);
      } else {
        record.Profile = section.profiles.front();
        section.handle = record.Profile->Handle();
        section.tag = record.Profile->GetXData(kTagApp);
        section.own_tag = CarriesSectionTag(section.tag);
        if (!section.own_tag) {
          // The profile lost its tag: its centre point keeps a copy.
          section.tag = {};
          LookUpCentrePoints(heard, section);
          if (!section.centre_points.empty()) {
            record.CenterPoint = section.centre_points.front();
            host::XData copy = record.CenterPoint->GetXData(kTagApp);
            if (CarriesSectionTag(copy)) section.tag = std::move(copy);
          }
        }
        if (!section.tag.empty()) {
          try {
            record.LoadFrom(section.tag);
          } catch (const host::Error& e) {
            section.load_failure = e;
            failures.push_back({code::kTagUnreadable, e.description()});
            heard.Show(e.description());
          }
        }
        section.complete = !section.load_failure;
        if (section.own_tag && options_.centre_points) LookUpCentrePoints(heard, section);
      }
    } catch (const host::Error& e) {
      section.host_failure = e;
      section.complete = false;
      failures.push_back({code::kHostError, e.description()});
      heard.Show(e.description());
    }
    section.problems = std::move(failures);
    if (section.Has(2)) {
      section.source = section.own_tag ? "tag" : "centre point";
      if (!section.own_tag) {
        section.problems.push_back(
            {code::kTagRestorable,
             "profile " + section.handle +
                 " has lost its section tag: restored from its centre point"});
      }
    } else if (record.Profile && !section.own_tag && section.tag.empty() && !section.host_failure) {
      section.problems.push_back(
          {code::kTagLost,
           "profile " + section.handle + " carries no section tag and no centre point has one"});
    }
    // The lookups' messages, each under the code of its problem.
    for (const std::string& message : heard.messages) {
      const bool counted = std::any_of(section.problems.begin(), section.problems.end(),
                                       [&](const Problem& p) { return p.text == message; });
      if (!counted) section.problems.push_back({LookupCode(message), message});
    }
    // The record outlives the sink it was read with.
    record.SetSink(sink_);
  }

  const host::Ref<host::Document>& drawing_;
  host::MessageSink& sink_;
  const RiverOptions& options_;
  River river_;
};

River ReadRiver(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                const RiverOptions& options) {
  return RiverReader(drawing, sink, options).Read();
}

std::vector<RiverFailure> ForEachSection(const host::Ref<host::Document>& drawing,
                                         host::MessageSink& sink, const RiverOptions& options,
                                         const std::function<void(RiverSection&)>& visit) {
  return RiverReader(drawing, sink, options).Visit(visit);
}

const RiverReach* CurrentReach(const River& river) {
  for (const RiverReach& reach : river.reaches) {
    if (reach.record.Status) return &reach;
  }
  return nullptr;
}

}  // namespace palvane::model
