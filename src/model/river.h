#pragma once

// A surveyed river as its tags describe it: every reach, and every section
// a section-line layer names, read with the lookups and record rules of the
// keyplan exports. Each reach and section is read on its own: one that
// cannot be read is kept with its problems, and never takes another's
// values. The commands that list, export or measure the river read it here.

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

struct RiverSection {
  explicit RiverSection(host::MessageSink& sink) : record(sink) {}

  std::string number;  // from the section-line layer's name
  std::string layer;   // that layer
  // The record, bound to the section's profile (null when none was found).
  // Its members hold this section's own values as far as Has() says.
  TEVSection record;
  std::string handle;  // of the profile
  // Where the values came from: "tag", "centre point" when the profile had
  // lost its tag, or empty when none were read.
  std::string source;
  bool complete = false;  // the whole tag was read without a failure
  // The centre point, when looked up (RiverOptions::centre_points) or when
  // a lost tag was restored from it.
  host::Ref<host::PointEntity> centre_point;
  std::vector<Problem> problems;

  // Whether tag item `item` (2 to 9) was read, from a tag that holds it.
  bool Has(size_t item) const { return record.LoadedThrough(item) && tag_items_ > item; }

 private:
  friend class RiverReader;
  size_t tag_items_ = 0;
};

struct River {
  std::vector<RiverReach> reaches;
  std::vector<std::string> unread_reaches;  // polylines whose reach tag cannot be read
  std::vector<RiverSection> sections;       // in layer order, one per section-line layer
};

struct RiverOptions {
  bool sections = true;        // read the sections too, not only the reaches
  bool centre_points = false;  // look every section's centre point up
};

// Reads the river of `drawing`. A lost section tag is restored from its
// centre point in the drawing in memory, as the exports restore it; nothing
// else is written. The lookups' messages and each failure go to `sink` as
// they arise, and to the problems of the reach or section they concern.
River ReadRiver(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                const RiverOptions& options = {});

// The first current reach in drawing order, or null.
const RiverReach* CurrentReach(const River& river);

}  // namespace palvane::model
