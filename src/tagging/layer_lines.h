#pragma once

// The lines of one layer made sections: each measured, left alone when it
// carries a tag or stands where a tagged section does, and numbered in
// chainage order or by the text beside it.

#include <string>
#include <vector>

#include "geometry/polyline.h"
#include "host/host.h"
#include "tagging/tagging.h"

namespace palvane::tagging {

// A section to tag: its number, and for a line of --from-layer the line.
struct Candidate {
  std::string number;
  host::Ref<host::LWPolyline> line;  // null: the polyline on its profile layer
  // Or a heavy polyline of the layer, whose plan copy becomes the section
  // line; a 3D one is the section's own survey as well.
  host::Ref<host::Entity> drawn;
};

// The lines of the layer `options.from_layer` that cross the centre line
// once, numbered in the order of their chainages. Lines that carry a tag
// already, or lie at the chainage of a section tagged already, are left
// alone, and lines that cannot be sections go to `left`. A number any of
// whose layers exists already is refused.
std::vector<Candidate> LayerLines(const host::Ref<host::Document>& drawing,
                                  const SectionTagOptions& options,
                                  const geometry::PolylineIndex& centre,
                                  const std::string& reach_no, std::vector<TaggedSection>& left);

}  // namespace palvane::tagging
