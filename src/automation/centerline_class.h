#pragma once

// CenterlineClass: the library's one public class and its only way in. Each
// operation takes the drawing to work on (and, for some, one polyline of it),
// runs to its end under its own error trap, reports every failure to the user
// through the message sink, and never fails its call.

#include <functional>
#include <string>

#include "host/convert.h"
#include "host/host.h"
#include "host/message_sink.h"
#include "keyplan/export.h"
#include "keyplan/options.h"

namespace palvane::automation {

class CenterlineClass {
 public:
  // Messages go to `sink`; text and number conversions follow `conversions`
  // (the user's locale inside the CAD program, the invariant forms on the
  // command line).
  explicit CenterlineClass(host::MessageSink& sink,
                           const host::Conversions& conversions = host::InvariantConversions())
      : sink_(sink), conversions_(conversions) {}

  // Hears, during the keyplan exports, of each section layer the export
  // turns to (see keyplan::SectionWatch), for callers that name the section
  // a message arose on or show progress.
  void SetSectionWatch(keyplan::SectionWatch watch) { watch_ = std::move(watch); }

  // The point (three Doubles, Z = 0) at distance `Length` along `objPline`,
  // and in `Bearing` the direction of travel there; an empty Variant, with
  // `Bearing` untouched, when the polyline is shorter or after an error.
  host::Variant LWPolyPntAlong(const host::Ref<host::Document>& Currentdoc,
                               const host::Ref<host::LWPolyline>& objPline, const double& Length,
                               double& Bearing);

  // Sets the drawing's view up to look along `SectionLine`: the coordinate
  // system "UCS1" in its vertical plane, only its section's layers thawed,
  // that coordinate system current, the view zoomed. Always the empty String.
  std::string ViewSection(const host::Ref<host::Document>& thisdrawing,
                          const host::Ref<host::LWPolyline>& SectionLine, const bool& OriginalData);

  // Writes the current reach's keyplan into a new drawing, with labelled
  // section lines. Always the empty String; what the export made goes to
  // `made` when given.
  std::string ExportKeyplan(const host::Ref<host::Document>& thisdrawing,
                            const keyplan::KeyplanOptions& options,
                            keyplan::KeyplanMade* made = nullptr);

  // The same keyplan with one attribute block per section.
  std::string ExportKeyplanAsAttributes(const host::Ref<host::Document>& thisdrawing,
                                        const keyplan::KeyplanOptions& options,
                                        keyplan::KeyplanMade* made = nullptr);

 private:
  // The application that keyplan drawings are added to, obtained once.
  host::Ref<host::Application> KeyplanApplication(const host::Ref<host::Document>& drawing);

  host::MessageSink& sink_;
  const host::Conversions& conversions_;
  host::Ref<host::Application> application_;
  keyplan::SectionWatch watch_;
};

}  // namespace palvane::automation
