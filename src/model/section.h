#pragma once

#include <string>

#include "host/host.h"
#include "host/message_sink.h"

namespace palvane::model {

// The record of one cross-section, bound to its profile polyline (which
// carries the section tag) and its centre point (which carries a copy). None
// of its operations traps errors; the lookups it makes show their messages
// through the sink it was made with.
class TEVSection {
 public:
  explicit TEVSection(host::MessageSink& sink) : sink_(&sink) {}
  // Where the lookups' messages go from now on.
  void SetSink(host::MessageSink& sink) { sink_ = &sink; }

  std::string ReachNo;
  std::string SectionName;
  std::string SectionNo;
  std::string Title;
  double Chainage = 0;
  double Bearing = 0;
  host::Ref<host::Entity> LineObj;  // carried, never used
  host::Ref<host::LWPolyline> Profile;
  host::Ref<host::PointEntity> CenterPoint;
  host::Variant LeftCrest;   // carried, never used
  host::Variant RightCrest;  // carried, never used
  host::Date WaterDate;
  bool ThroughSection = false;

  // Loads the members from Profile's section tag. When Profile has lost its
  // tag, finds the section's centre point from Profile's layer name and, if
  // the point carries a section tag, loads from it and copies that tag back
  // onto Profile exactly. Returns whether it did so. REQUIRES: Profile is
  // assigned.
  bool RetrieveValues(const host::Ref<host::Document>& drawing);

  // Writes the 10-item section tag onto Profile, then onto the section's
  // centre point (looked up afresh).
  void AssignValues(const host::Ref<host::Document>& drawing);

  // Loads the members from a section tag already read, writing nothing: as
  // RetrieveValues loads them, failing at the same item.
  void LoadFrom(const host::XData& tag);
  // Whether the last RetrieveValues or LoadFrom got past tag item `item` (2 to 9; an
  // item the tag lacks counts as passed), even if it failed later on: the
  // members up to that item hold this section's own values.
  bool LoadedThrough(size_t item) const;

  // Renames every layer of Profile's drawing named SectionNo + "_" + suffix
  // to prefix + the chainage as a whole number + "_" + suffix. Returns an
  // empty Variant.
  host::Variant renameLayerstoChainage(const std::string& prefix);

 private:
  void Load(const std::vector<host::Variant>& values);

  host::MessageSink* sink_;
  size_t loaded_ = 0;  // items 0 to loaded_ - 1 of the last tag read are done
};

}  // namespace palvane::model
