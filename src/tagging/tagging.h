#pragma once

// Tagging a drawing that carries no tags yet: a reach tag on a centre line,
// and section tags on the profiles that cross it, measured from the
// geometry as the survey check measures it. Tags are written through the
// records' own write path (TEVReach::AssignValues, TEVSection::AssignValues).
// With `dry_run` nothing is written and the result says what would be.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/message_sink.h"
#include "model/fix.h"

namespace palvane::tagging {

// A tag that cannot be written, or a river that cannot be tagged: the
// message names the entity or what is missing. The drawing in memory may
// be part written; the caller saves nothing then.
class TagError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A lightweight polyline in plan through the vertices of the heavy polyline
// `line` (2D or 3D), its arcs kept, on its layer and in its colour, added to
// model space: the line a centre line or section drawn as a heavy polyline
// is measured and tagged on. `line` stays as it is. TagError when `line`
// does not lie flat in plan.
host::Ref<host::LWPolyline> PlanCopy(const host::Ref<host::Document>& drawing, host::Entity& line);

struct ReachTagged {
  std::string number;    // as the tag gives it back: "007" is 7
  bool current = false;  // the reach is current
  // The reaches that were current and are made not current: "1 (polyline
  // 31)".
  std::vector<std::string> no_longer_current;
};

// Writes a reach tag on `line`: reach `number` (a whole number within 32
// bits), current or not, with `photos` as its photo directory. With
// `current`, every other current reach is made not current. A line tagged
// as a reach already stays current if it was, and keeps its photo
// directory unless `photos` is given. Refused: a line that carries a
// section tag, a number another polyline's reach tag has, and a new number
// for a reach whose sections are tagged with its old one.
ReachTagged TagReach(const host::Ref<host::Document>& drawing,
                     const host::Ref<host::LWPolyline>& line, const std::string& number,
                     bool current, const std::optional<std::string>& photos, bool dry_run);

struct SectionTagOptions {
  std::string reach;      // the reach's number; empty for the current reach
  bool from_end = false;  // chainages from the centre line's last vertex
  // Chainages from the end the reach's tagged sections agree on, as the
  // check infers it (then `from_end` is not read): each within
  // `chainage_tolerance` (drawing units) of its line's crossing.
  bool chainage_auto = false;
  double chainage_tolerance = 0.5;
  size_t convention = 0;  // of model::kConventions: how bearings are written
  // The other items of a new tag; on a section retagged, each replaces the
  // item only when given.
  std::optional<std::string> title;
  std::optional<std::string> name_pattern;  // the section name, "{n}" the number
  std::optional<host::Date> water_date;
  std::optional<bool> through;
  bool retag = false;  // measure and write sections already tagged too
  // When given, the sections are the polylines of this layer that cross the
  // centre line once, numbered first, first + step, ... in the order of
  // their chainages and moved onto their own profile layers.
  std::string from_layer;
  int64_t first = 1, step = 1;
  // When above 0, the lines of `from_layer` are numbered instead by the
  // TEXT or MTEXT nearest their first vertex, within this distance.
  double numbers_from_text = 0;
  // When given, each section tagged has its layers renamed after its
  // chainage (TEVSection::renameLayerstoChainage: "12_Profile" becomes
  // "CH1235_Profile" for the prefix "CH"), and its tag the number its layers
  // now give. A prefix the drawing would refuse in a layer name, or names
  // that would collide, are refused before anything is written.
  std::string rename_prefix;
};

enum class Outcome {
  kTagged,            // a new tag
  kRetagged,          // its chainage, bearing and reach written anew
  kKept,              // tagged already, and left so
  kNoProfile,         // its profile layer holds no polyline
  kNotInPlan,         // its profile does not lie flat in plan
  kNoCrossing,        // its profile does not cross the centre line
  kSeveralCrossings,  // it crosses more than once
  kNumberDiffers,     // its tag gives another number than its layers
  kOtherReach,        // tagged as a section of another reach, and left so
  kLeftAlone,         // a line of --from-layer carrying a tag already
  kNoNumber,          // no text near a line of --from-layer gives it a number
};
const char* OutcomeName(Outcome outcome);  // "tagged", "no-crossing", ...
// Whether it carries a tag of this reach now.
inline bool IsTagged(Outcome o) {
  return o == Outcome::kTagged || o == Outcome::kRetagged || o == Outcome::kKept;
}
// Whether it is a section that could not be tagged.
inline bool IsFailure(Outcome o) {
  return !IsTagged(o) && o != Outcome::kOtherReach && o != Outcome::kLeftAlone;
}

struct TaggedSection {
  std::string number, handle;  // the number its layers give; its profile
  Outcome outcome = Outcome::kTagged;
  double chainage = 0, bearing = 0;  // measured; for one kept, as tagged
  std::vector<std::string> made;     // "centre point 4F", "layer ..." made
  std::string why;                   // for one not tagged
  std::string renamed;               // the number its layers were renamed to
  // What else was done: "moved onto layer ...", a 3D polyline moved onto
  // its section's 3d layer.
  std::vector<std::string> done;
};

struct SectionsTagged {
  std::string reach_no, reach_handle;
  bool from_end = false;                // the chainages written run from the last vertex
  std::vector<TaggedSection> sections;  // in the order of their profile layers
};

// Tags the sections whose profiles lie on layers named N_Profile, numbered
// N (or the lines of `options.from_layer`, see there), against the centre
// line of the reach `options` names. Lines of that layer that cannot be
// sections come last, with an empty number. The chainage is
// the distance along the centre line, arcs followed, to where the profile
// crosses it; the bearing the direction of the profile's first vertex to
// its last, in the convention asked for. A section without a centre point
// gets one (a POINT where its profile crosses, on N_SectionCenter), and one
// without a section-line layer gets that layer, so that the exports and the
// section view find it. Messages of the lookups go to `sink`.
SectionsTagged TagSections(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                           const SectionTagOptions& options, bool dry_run);

// A fix the check found (model::Fix), as written or not.
struct FixWritten {
  std::string code, section, handle;
  double from = 0, to = 0;
  bool written = false;
  std::string why;  // when not written
};

// Writes the fixes whose codes are in `codes` (chainage-mismatch,
// bearing-mismatch, tag-restorable): the measured chainage or bearing into
// the section's tag, on its profile and its centre point, and a lost tag
// back onto its profile from its centre point. Every other item of a tag
// stays. A section whose tag gives another number than its layers is left
// alone. With `dry_run` nothing is written.
std::vector<FixWritten> WriteFixes(const host::Ref<host::Document>& drawing,
                                   host::MessageSink& sink, const std::vector<model::Fix>& fixes,
                                   const std::vector<std::string>& codes, bool dry_run);

}  // namespace palvane::tagging
