#include "model/lookup.h"

#include "host/wildcard.h"
#include "model/layer_names.h"
#include "model/tags.h"

namespace palvane::model {
namespace {

// Selects, into the set "Section", the entities of one type on one layer and
// returns the first, with a message when there are none or several. The
// messages are "Section N Has more than one <several> using first found" and
// "Section N Has no <none>", made only when shown: a keyplan export looks up
// every section.
host::Ref<host::Entity> FindOnLayer(host::MessageSink& sink,
                                    const host::Ref<host::Document>& drawing,
                                    const std::string& type, const std::string& section_no,
                                    std::string_view layer_suffix, const char* several,
                                    const char* none) {
  static const std::vector<int16_t> kTypeAndLayer{0, 8};
  const host::Ref<host::SelectionSet> set = NewSelectionSet(drawing, "Section");
  // The program reads a filter's layer as a wild-card pattern: the number's
  // own wild-card characters are escaped, so that section "12.5" does not
  // also find "12-5_Profile", nor "~1" every other layer.
  set->Select(host::kSelectionSetAll, kTypeAndLayer,
              {host::Variant(type),
               host::Variant(SectionLayer(host::EscapeWildcards(section_no), layer_suffix))});
  const int32_t n = set->Count();
  if (n == 0) {
    sink.Show("Section " + section_no + " Has no " + none);
    return {};
  }
  if (n >= 2)
    sink.Show("Section " + section_no + " Has more than one " + several + " using first found");
  return set->Item(0);
}

}  // namespace

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

host::Ref<host::LWPolyline> FindSectionProfile(host::MessageSink& sink,
                                               const host::Ref<host::Document>& drawing,
                                               const std::string& section_no) {
  return FindOnLayer(sink, drawing, "LWPOLYLINE", section_no, kProfileLayer, "Profile", "profile")
      .As<host::LWPolyline>();
}

host::Ref<host::PointEntity> FindSectionCenterPoint(host::MessageSink& sink,
                                                    const host::Ref<host::Document>& drawing,
                                                    const std::string& section_no) {
  return FindOnLayer(sink, drawing, "POINT", section_no, kSectionCenterLayer, "Center Point",
                     "Center Point")
      .As<host::PointEntity>();
}

}  // namespace palvane::model
