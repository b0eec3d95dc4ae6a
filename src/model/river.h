#pragma once

// A surveyed river as its tags describe it: every reach, and every section
// a section-line layer names, found with the lookups of the keyplan exports
// and read with their record rules. Each reach and section is read on its
// own: one that cannot be read is kept with what was read and its problems,
// and never takes another's values. The drawing is only read: a lost
// section tag is read from its centre point, not written back. Every
// command that lists, exports, checks or measures the river reads it here.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/message_sink.h"
#include "model/reach.h"
#include "model/section.h"

namespace palvane::model {

// What went wrong reading a reach or section: the code of the kind of
// problem (model/problem_codes.h) and a sentence.
struct Problem {
  std::string code;
  std::string text;
};

struct RiverReach {
  TEVReach record;  // Profile is the centre line
  std::string handle;
};

// A polyline whose "TEV" data is no reach tag that can be read.
struct UnreadReach {
  std::string handle;  // empty when even that could not be read
  host::XData tag;     // as read; empty when reading it failed
  host::Error error;
};

struct RiverSection {
  std::string number;  // from the section-line layer's name
  std::string layer;   // that layer
  // The polylines on the section's profile layer and the points on its
  // centre-point layer, in drawing order: the first of each is the
  // section's. The points are looked up when the profile has lost its tag,
  // or for every section with RiverOptions::centre_points.
  std::vector<host::Ref<host::LWPolyline>> profiles;
  std::vector<host::Ref<host::PointEntity>> centre_points;
  bool centre_points_looked_up = false;
  std::string handle;  // of the profile
  // The section tag read: the profile's own, or when it has none the copy
  // its first centre point carries (then `own_tag` is false). Empty when
  // neither has one.
  host::XData tag;
  bool own_tag = false;
  // The record loaded from `tag`, bound to the profile and the centre point
  // the tag came from. Its members hold this section's own values as far as
  // Has() says.
  TEVSection record;
  // Where the values came from: "tag", "centre point" when the profile had
  // lost its tag, or empty when none were read.
  std::string source;
  // The record was read without a failure (a profile whose tag is lost,
  // with no centre point's to take it from, reads as no values).
  bool complete = false;
  // Why the tag could not be loaded, and a host failure that ended the
  // reading early (after the lookups when `profiles` or `centre_points` are
  // filled).
  std::optional<host::Error> load_failure, host_failure;
  std::vector<Problem> problems;

  // Whether tag item `item` (2 to 9) was read, from a tag that holds it.
  bool Has(size_t item) const { return record.LoadedThrough(item) && tag.values.size() > item; }

  explicit RiverSection(host::MessageSink& sink) : record(sink) {}
};

// A failure that ended the reading of a whole part: "selecting the
// polylines" or "reading the layers".
struct RiverFailure {
  std::string what;
  host::Error error;
};

struct River {
  std::vector<RiverReach> reaches;
  std::vector<UnreadReach> unread_reaches;
  std::vector<RiverSection> sections;  // in layer order, one per section-line layer
  std::vector<RiverFailure> failures;
};

struct RiverOptions {
  bool sections = true;        // read the sections too, not only the reaches
  bool centre_points = false;  // look every section's centre points up
  // The selection set the lookups use, made and deleted for each query;
  // empty for the exports' own sets ("LWPolys", "Section"), which are kept.
  std::string selection_set;

  static RiverOptions ReachesOnly() {
    RiverOptions options;
    options.sections = false;
    return options;
  }
  static RiverOptions WithCentrePoints() {
    RiverOptions options;
    options.centre_points = true;
    return options;
  }
};

// Reads the river of `drawing`. The lookups' messages ("Section 12 Has no
// profile") and each failure go to `sink` as they arise, and to the problems
// of the reach or section they concern.
River ReadRiver(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                const RiverOptions& options = {});

// The same for the sections alone, one at a time: each is handed to
// `visit` as it is read and kept by nothing here, so that a river of tens of
// thousands of sections is never held whole. Returns the failures.
std::vector<RiverFailure> ForEachSection(const host::Ref<host::Document>& drawing,
                                         host::MessageSink& sink, const RiverOptions& options,
                                         const std::function<void(RiverSection&)>& visit);

// The first current reach in drawing order, or null.
const RiverReach* CurrentReach(const River& river);

}  // namespace palvane::model
