#pragma once

// Finding the model's entities in a drawing through its named selection
// sets: the current reach among the reach centre lines, and a section's
// profile polyline and centre point from its number. Messages go to the sink;
// errors are not trapped here.

#include <optional>
#include <string>

#include "host/host.h"
#include "host/message_sink.h"
#include "model/reach.h"

namespace palvane::model {

// A new, empty selection set `name`; an existing set of that exact name is
// deleted first.
host::Ref<host::SelectionSet> NewSelectionSet(const host::Ref<host::Document>& drawing,
                                              const std::string& name);

// The selection set "LWPolys" of every lightweight polyline carrying a reach tag.
host::Ref<host::SelectionSet> GetReachPolylines(const host::Ref<host::Document>& drawing);

// The record of the first current reach in selection order, or nothing.
// Shows "You must first create a Reach" when the drawing has no reach at all.
std::optional<TEVReach> GetCurrentReach(host::MessageSink& sink,
                                        const host::Ref<host::Document>& drawing, bool& found);

// The lightweight polyline on layer sectionNo + "_Profile", or nothing; the
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
