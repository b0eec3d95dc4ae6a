#pragma once

// Finding the model's entities in a drawing through its named selection
// sets: the current reach among the reach centre lines, and a section's
// profile polyline and centre point from its number. Messages go to the sink;
// errors are not trapped here.

#include <optional>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/message_sink.h"
#include "model/reach.h"

namespace palvane::model {

// A new, empty selection set `name`; an existing set of that exact name is
// deleted first.
host::Ref<host::SelectionSet> NewSelectionSet(const host::Ref<host::Document>& drawing,
                                              const std::string& name);

// Every entity the filter selects from the whole drawing, in drawing order,
// through the selection set `set_name` (made anew).
std::vector<host::Ref<host::Entity>> SelectAll(const host::Ref<host::Document>& drawing,
                                               const std::string& set_name,
                                               const std::vector<int16_t>& codes,
                                               const std::vector<host::Variant>& values);

// Deletes the selection set of a name when it goes out of scope, however
// the queries through it ended: a set of the caller's own, so that the sets
// the exports and the user keep are left alone. A failure to delete is no
// failure of the queries.
class DeleteSetAfter {
 public:
  DeleteSetAfter(const host::Ref<host::Document>& drawing, std::string name)
      : drawing_(drawing), name_(std::move(name)) {}
  ~DeleteSetAfter();
  DeleteSetAfter(const DeleteSetAfter&) = delete;
  DeleteSetAfter& operator=(const DeleteSetAfter&) = delete;

 private:
  const host::Ref<host::Document>& drawing_;
  std::string name_;
};

// The selection set "LWPolys" of every lightweight polyline carrying a reach tag.
host::Ref<host::SelectionSet> GetReachPolylines(const host::Ref<host::Document>& drawing);

// The record of the first current reach in selection order, or nothing.
// Shows "You must first create a Reach" when the drawing has no reach at all.
std::optional<TEVReach> GetCurrentReach(host::MessageSink& sink,
                                        const host::Ref<host::Document>& drawing, bool& found);

// What the exports look a section's entities up by.
enum class SectionPart { kProfile, kCenterPoint };

// Every entity of `part`'s type on section `section_no`'s layer for it, in
// drawing order, selected into the set `set_name` (made anew). The
// number's wild-card characters are escaped.
std::vector<host::Ref<host::Entity>> SelectSectionPart(const host::Ref<host::Document>& drawing,
                                                       const std::string& set_name,
                                                       SectionPart part,
                                                       const std::string& section_no);

// Shows what the exports show when the lookup of `part` found `count`
// entities: "Section N Has no profile" (or "Center Point") for none, "Section
// N Has more than one Profile using first found" for several, and nothing
// for one.
void ShowLookupCount(host::MessageSink& sink, SectionPart part, const std::string& section_no,
                     size_t count);

// The lightweight polyline on the section's profile layer (see
// layer_names.h), or nothing; the
// first one, with a message, when there are several.
host::Ref<host::LWPolyline> FindSectionProfile(host::MessageSink& sink,
                                               const host::Ref<host::Document>& drawing,
                                               const std::string& section_no);

// The point on layer sectionNo + "_SectionCenter", or nothing; the first one,
// with a message, when there are several.
host::Ref<host::PointEntity> FindSectionCenterPoint(host::MessageSink& sink,
                                                    const host::Ref<host::Document>& drawing,
                                                    const std::string& section_no);

}  // namespace palvane::model
