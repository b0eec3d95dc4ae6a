#include "model/river.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "model/layer_names.h"
#include "model/lookup.h"
#include "model/problem_codes.h"
#include "model/tags.h"

namespace palvane::model {
namespace {

// The messages of one section's lookups: kept as its problems and passed on
// to the caller's sink as they come.
class SectionSink : public host::MessageSink {
 public:
  explicit SectionSink(host::MessageSink& next) : next_(next) {}
  void Show(std::string_view text) override {
    messages.emplace_back(text);
    next_.Show(text);
  }
  std::vector<std::string> messages;

 private:
  host::MessageSink& next_;
};

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
    if (options_.sections) ReadSections();
    return std::move(river_);
  }

 private:
  // Every polyline whose tag is a reach's, each read on its own: one whose
  // tag cannot be read is left out with its problem, and the others stay.
  void ReadReaches() {
    std::vector<host::Ref<host::Entity>> lines;
    try {
      const host::Ref<host::SelectionSet> set = NewSelectionSet(drawing_, "LWPolys");
      set->Select(host::kSelectionSetAll, {0}, {host::Variant("LWPOLYLINE")});
      const int32_t count = set->Count();
      for (int32_t i = 0; i < count; ++i) lines.push_back(set->Item(i));
    } catch (const host::Error& e) {
      sink_.Show(e.description());
    }
    for (const host::Ref<host::Entity>& entity : lines) {
      std::string handle;
      try {
        RiverReach reach;
        reach.record.Profile = entity.As<host::LWPolyline>();
        handle = reach.record.Profile->Handle();
        if (!reach.record.RetrieveValues()) continue;
        reach.handle = handle;
        river_.reaches.push_back(std::move(reach));
      } catch (const host::Error& e) {
        river_.unread_reaches.push_back(handle);
        sink_.Show("polyline " + handle + ": its reach tag cannot be read (" + e.description() +
                   "); it is left out of the reaches");
      }
    }
  }

  void ReadSections() {
    const auto layers = drawing_->Layers();
    const int32_t count = layers->Count();
    for (int32_t i = 0; i < count; ++i) {
      std::string layer = layers->Item(i)->Name();
      const auto number = SectionNumberOf(layer);
      if (!number) continue;
      ReadSection(*number, std::move(layer));
    }
  }

  void ReadSection(const std::string& number, std::string layer) {
    SectionSink heard(sink_);
    RiverSection& section = river_.sections.emplace_back(heard);
    section.number = number;
    section.layer = std::move(layer);
    TEVSection& record = section.record;
    bool own_tag = false;
    // Each step's failure is this section's problem: what came before it
    // stays, and nothing of another section enters.
    const char* failing = code::kHostError;  // what a host error here means
    std::string told;                        // the failure's text, shown already
    try {
      record.Profile = FindSectionProfile(heard, drawing_, number);
      if (record.Profile) {
        section.handle = record.Profile->Handle();
        const host::XData own = record.Profile->GetXData(kTagApp);
        own_tag = IsTagKind(own, kSectionKind);
        // Counted before the values are read, so that what was read before
        // an item that fails is kept.
        if (own_tag) section.tag_items_ = own.values.size();
        failing = code::kTagUnreadable;
        // The tag in hand is read as RetrieveValues would read it again.
        if (own_tag) {
          record.LoadFrom(own);
        } else {
          record.RetrieveValues(drawing_);
        }
        section.complete = true;
        if (!own_tag) {
          const host::XData restored_tag = record.Profile->GetXData(kTagApp);
          if (IsTagKind(restored_tag, kSectionKind)) {
            section.tag_items_ = restored_tag.values.size();
          }
        }
      }
    } catch (const host::Error& e) {
      // A profile without its tag and no centre point to restore it from.
      if (record.Profile && !own_tag && !record.CenterPoint) failing = code::kTagLost;
      if (!own_tag && record.CenterPoint && section.tag_items_ == 0) {
        // The centre point's tag failed part way: its items before the
        // failing one were read all the same.
        try {
          const host::XData copy = record.CenterPoint->GetXData(kTagApp);
          if (IsTagKind(copy, kSectionKind)) section.tag_items_ = copy.values.size();
        } catch (const host::Error&) {
        }
      }
      // A lost tag's problem is told once, below, in words of its own.
      if (failing != code::kTagLost) section.problems.push_back({failing, e.description()});
      told = e.description();
      heard.Show(e.description());
    }
    if (section.Has(2)) {
      if (own_tag && restored_.count(section.handle) == 0) {
        section.source = "tag";
      } else {
        section.source = "centre point";
        restored_.insert(section.handle);
        section.problems.push_back(
            {code::kTagRestorable,
             "profile " + section.handle +
                 " has lost its section tag: restored from its centre point"});
      }
    } else if (record.Profile && !own_tag && section.tag_items_ == 0) {
      section.problems.push_back(
          {code::kTagLost,
           "profile " + section.handle + " carries no section tag and no centre point has one"});
    }
    // A lost tag's restoring looked the centre point up already.
    section.centre_point = record.CenterPoint;
    if (options_.centre_points && !(record.Profile && !own_tag)) {
      try {
        section.centre_point = FindSectionCenterPoint(heard, drawing_, number);
      } catch (const host::Error& e) {
        heard.Show(e.description());
      }
    }
    // The lookups' messages, each under the code of its problem.
    for (const std::string& message : heard.messages) {
      const bool counted =
          message == told || std::any_of(section.problems.begin(), section.problems.end(),
                                         [&](const Problem& p) { return p.text == message; });
      if (!counted) section.problems.push_back({LookupCode(message), message});
    }
    // The record outlives the sink it was read with.
    section.record.SetSink(sink_);
  }

  const host::Ref<host::Document>& drawing_;
  host::MessageSink& sink_;
  const RiverOptions& options_;
  River river_;
  std::set<std::string> restored_;  // profiles whose tag came from their centre point
};

River ReadRiver(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                const RiverOptions& options) {
  return RiverReader(drawing, sink, options).Read();
}

const RiverReach* CurrentReach(const River& river) {
  for (const RiverReach& reach : river.reaches) {
    if (reach.record.Status) return &reach;
  }
  return nullptr;
}

}  // namespace palvane::model
