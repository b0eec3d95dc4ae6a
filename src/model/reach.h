#pragma once

#include <string>

#include "host/host.h"

namespace palvane::model {

// The record of one river reach, bound to the polyline of its centre line,
// which carries the reach tag. Neither operation traps errors.
class TEVReach {
 public:
  std::string ReachNo;
  host::Ref<host::LWPolyline> Profile;
  bool Status = false;  // true for the current reach
  std::string PhotoDirectory;

  // Loads the members from Profile's reach tag. False, with nothing changed,
  // when Profile carries no reach tag. REQUIRES: Profile is assigned.
  bool RetrieveValues();
  // The same from a reach tag already read: Profile's "TEV" data.
  bool Load(const host::XData& tag);

  // Writes the members onto Profile as its reach tag, replacing its "TEV"
  // data. The reach number goes over as text into an integer item, so the
  // host refuses one that is not a whole number within 32 bits.
  void AssignValues();
};

}  // namespace palvane::model
