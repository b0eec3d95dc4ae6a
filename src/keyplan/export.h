#pragma once

#include <functional>
#include <string>

#include "host/host.h"
#include "host/message_sink.h"
#include "keyplan/options.h"

namespace palvane::keyplan {

// The keyplan's own layers: its centre line, and the labels of its
// section lines.
inline constexpr const char* kCentreLineLayer = "CENTRE_LINE";
inline constexpr const char* kSectionLineTextLayer = "SECTION_LINE_TEXT";

enum class KeyplanKind {
  kLabels,      // each section line labelled with multi-line text
  kAttributes,  // each section line a block carrying six attributes
};

// Writes the keyplan of `drawing`'s current reach into a new drawing of the
// application `application()` gives: the reach's centre line on
// kCentreLineLayer, and for every source layer that names a section's line
// (model::SectionNumberOf) the straight line from the first to the last vertex of the
// section's profile polyline, on a layer named after the option LineLayer and
// the section's chainage, labelled (kLabels) or made into an attribute block
// (kAttributes). The new drawing is purged, activated and zoomed, and left
// unsaved, and returned.
//
// Every failing step shows its message through `sink` and the export goes on
// with the next step. A section whose profile polyline or record cannot be
// read shows its messages but draws nothing. With no current reach, nothing
// is created.
//
// `on_section`, when given, hears of each section layer as the export turns
// to it: in pass 1, where the section's line layer is made, and in pass 2,
// where it is drawn; then once with an empty name when the sections are
// done. Callers name the section a message arose on from it, and count
// progress.
using SectionWatch = std::function<void(const std::string& layer, int pass)>;

// What an export made and changed.
struct KeyplanMade {
  // The keyplan drawing; null when none was made.
  host::Ref<host::Document> drawing;
  // Whether a section's lost tag was restored from its centre point onto
  // its profile in the source drawing, which then differs from its file.
  bool tags_restored = false;
  // The number of the current reach the keyplan was made of.
  std::string reach;
};

KeyplanMade ExportKeyplan(host::MessageSink& sink,
                          const std::function<host::Ref<host::Application>()>& application,
                          const host::Ref<host::Document>& drawing, const KeyplanOptions& options,
                          KeyplanKind kind, const SectionWatch& on_section = {});

}  // namespace palvane::keyplan
