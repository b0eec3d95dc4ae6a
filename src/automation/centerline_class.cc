#include "automation/centerline_class.h"

#include "along/point_along.h"
#include "keyplan/export.h"
#include "trap/error_trap.h"
#include "view/section_view.h"

namespace palvane::automation {

using trap::AfterError;
using trap::ErrorTrap;
using trap::RunOperation;

host::Variant CenterlineClass::LWPolyPntAlong(const host::Ref<host::Document>& Currentdoc,
                                              const host::Ref<host::LWPolyline>& objPline,
                                              const double& Length, double& Bearing) {
  const host::ConversionsScope conversions(conversions_);
  host::Variant result;
  ErrorTrap step(sink_, [](const host::Error&) { return AfterError::kShowAndEnd; });
  RunOperation(sink_, [&] {
    step.Do([&] {
      const auto found = along::PointAlong(Currentdoc, *objPline, Length);
      if (found) {
        Bearing = found->bearing;
        result = host::Variant::Point(found->point[0], found->point[1], found->point[2]);
      }
    });
  });
  return result;
}

std::string CenterlineClass::ViewSection(const host::Ref<host::Document>& thisdrawing,
                                         const host::Ref<host::LWPolyline>& SectionLine,
                                         const bool& OriginalData) {
  const host::ConversionsScope conversions(conversions_);
  view::ViewSection(sink_, thisdrawing, SectionLine, OriginalData);
  return "";
}

host::Ref<host::Application> CenterlineClass::KeyplanApplication(
    const host::Ref<host::Document>& drawing) {
  if (!application_) application_ = drawing->Application();
  return application_;
}

std::string CenterlineClass::ExportKeyplan(const host::Ref<host::Document>& thisdrawing,
                                           const keyplan::KeyplanOptions& options,
                                           keyplan::KeyplanMade* made) {
  const host::ConversionsScope conversions(conversions_);
  keyplan::KeyplanMade keyplan = keyplan::ExportKeyplan(
      sink_, [&] { return KeyplanApplication(thisdrawing); }, thisdrawing, options,
      keyplan::KeyplanKind::kLabels, watch_);
  if (made != nullptr) *made = std::move(keyplan);
  return "";
}

std::string CenterlineClass::ExportKeyplanAsAttributes(const host::Ref<host::Document>& thisdrawing,
                                                       const keyplan::KeyplanOptions& options,
                                                       keyplan::KeyplanMade* made) {
  const host::ConversionsScope conversions(conversions_);
  keyplan::KeyplanMade keyplan = keyplan::ExportKeyplan(
      sink_, [&] { return KeyplanApplication(thisdrawing); }, thisdrawing, options,
      keyplan::KeyplanKind::kAttributes, watch_);
  if (made != nullptr) *made = std::move(keyplan);
  return "";
}

}  // namespace palvane::automation
