#include "model/lookup.h"

#include "host/wildcard.h"
#include "model/layer_names.h"
#include "model/tags.h"

namespace palvane::model {

host::Ref<host::SelectionSet> NewSelectionSet(const host::Ref<host::Document>& drawing,
                                              const std::string& name) {
  const host::Ref<host::SelectionSets> sets = drawing->SelectionSets();
  const int32_t count = sets->Count();
  for (int32_t i = 0; i < count; ++i) {
    if (sets->Item(i)->Name() == name) {
      sets->Item(name)->Delete();
      break;
    }
  }
  return sets->Add(name);
}

host::Ref<host::SelectionSet> GetReachPolylines(const host::Ref<host::Document>& drawing) {
  const host::Ref<host::SelectionSet> set = NewSelectionSet(drawing, "LWPolys");
  set->Select(host::kSelectionSetAll, {0}, {host::Variant("LWPOLYLINE")});
  TEVReach record;
  std::vector<host::Ref<host::Entity>> untagged;
  const int32_t count = set->Count();
  for (int32_t i = 0; i < count; ++i) {
    host::Ref<host::Entity> entity = set->Item(i);
    if (!record.Load(entity->GetXData(kTagApp))) untagged.push_back(std::move(entity));
  }
  if (!untagged.empty()) set->RemoveItems(untagged);
  return set;
}

std::optional<TEVReach> GetCurrentReach(host::MessageSink& sink,
                                        const host::Ref<host::Document>& drawing, bool& found) {
  const host::Ref<host::SelectionSet> set = GetReachPolylines(drawing);
  const int32_t count = set->Count();
  if (count < 1) sink.Show("You must first create a Reach");
  found = false;
  for (int32_t i = 0; i < count; ++i) {
    TEVReach record;
    record.Profile = set->Item(i).As<host::LWPolyline>();
    record.RetrieveValues();
    if (record.Status) {
      found = true;
      return record;
    }
  }
  return std::nullopt;
}

std::vector<host::Ref<host::Entity>> SelectAll(const host::Ref<host::Document>& drawing,
                                               const std::string& set_name,
                                               const std::vector<int16_t>& codes,
                                               const std::vector<host::Variant>& values) {
  const host::Ref<host::SelectionSet> set = NewSelectionSet(drawing, set_name);
  set->Select(host::kSelectionSetAll, codes, values);
  std::vector<host::Ref<host::Entity>> found;
  const int32_t n = set->Count();
  found.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) found.push_back(set->Item(i));
  return found;
}

DeleteSetAfter::~DeleteSetAfter() {
  try {
    drawing_->SelectionSets()->Item(name_)->Delete();
  } catch (const host::Error&) {
  }
}

std::vector<host::Ref<host::Entity>> SelectSectionPart(const host::Ref<host::Document>& drawing,
                                                       const std::string& set_name,
                                                       SectionPart part,
                                                       const std::string& section_no) {
  static const std::vector<int16_t> kTypeAndLayer{0, 8};
  const bool profile = part == SectionPart::kProfile;
  // The program reads a filter's layer as a wild-card pattern: the number's
  // own wild-card characters are escaped, so that section "12.5" does not
  // also find "12-5_Profile", nor "~1" every other layer.
  return SelectAll(drawing, set_name, kTypeAndLayer,
                   {host::Variant(profile ? "LWPOLYLINE" : "POINT"),
                    host::Variant(SectionLayer(host::EscapeWildcards(section_no),
                                               profile ? kProfileLayer : kSectionCenterLayer))});
}

void ShowLookupCount(host::MessageSink& sink, SectionPart part, const std::string& section_no,
                     size_t count) {
  // Made only when shown: a keyplan export looks up every section.
  const bool profile = part == SectionPart::kProfile;
  if (count == 0) {
    sink.Show("Section " + section_no + " Has no " + (profile ? "profile" : "Center Point"));
  } else if (count >= 2) {
    sink.Show("Section " + section_no + " Has more than one " +
              (profile ? "Profile" : "Center Point") + " using first found");
  }
}

host::Ref<host::LWPolyline> FindSectionProfile(host::MessageSink& sink,
                                               const host::Ref<host::Document>& drawing,
                                               const std::string& section_no) {
  const auto found = SelectSectionPart(drawing, "Section", SectionPart::kProfile, section_no);
  ShowLookupCount(sink, SectionPart::kProfile, section_no, found.size());
  return found.empty() ? host::Ref<host::LWPolyline>() : found.front().As<host::LWPolyline>();
}

host::Ref<host::PointEntity> FindSectionCenterPoint(host::MessageSink& sink,
                                                    const host::Ref<host::Document>& drawing,
                                                    const std::string& section_no) {
  const auto found = SelectSectionPart(drawing, "Section", SectionPart::kCenterPoint, section_no);
  ShowLookupCount(sink, SectionPart::kCenterPoint, section_no, found.size());
  return found.empty() ? host::Ref<host::PointEntity>() : found.front().As<host::PointEntity>();
}

}  // namespace palvane::model
