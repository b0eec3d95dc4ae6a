#include "model/section.h"

#include "host/convert.h"
#include "model/lookup.h"
#include "model/tags.h"

namespace palvane::model {

void TEVSection::Load(const std::vector<host::Variant>& values) {
  const size_t n = values.size();
  // loaded_ counts the items done so far; an item the tag lacks counts as
  // done, as its member keeps its value by design.
  SectionNo = host::ToText(TagItem(values, 2));
  ReachNo = host::ToText(TagItem(values, 3));
  Chainage = host::ToDouble(TagItem(values, 4));
  loaded_ = 5;
  Bearing = host::ToDouble(TagItem(values, 5));
  loaded_ = 6;
  Title = host::ToText(TagItem(values, 6));
  loaded_ = 7;
  if (n >= 8) SectionName = host::ToText(values[7]);
  loaded_ = 8;
  if (n >= 9) WaterDate = host::ToDate(values[8]);
  loaded_ = 9;
  if (n >= 10) ThroughSection = host::ToBoolean(values[9]);
  loaded_ = 10;
}

void TEVSection::LoadFrom(const host::XData& tag) {
  loaded_ = 0;
  Load(tag.values);
}

bool TEVSection::LoadedThrough(size_t item) const { return loaded_ > item; }

bool TEVSection::RetrieveValues(const host::Ref<host::Document>& drawing) {
  loaded_ = 0;
  // One read serves both the kind and the values.
  const host::XData own = Profile->GetXData(kTagApp);
  if (IsTagKind(own, kSectionKind)) {
    Load(own.values);
    return false;
  }
  // The profile lost its tag: recover it from the section's centre point.
  const std::string layer = Profile->Layer();
  const size_t underscore = layer.find('_');
  if (underscore == std::string::npos) throw host::Error::InvalidProcedureCall();
  CenterPoint = FindSectionCenterPoint(*sink_, drawing, layer.substr(0, underscore));
  const host::XData tag = CenterPoint->GetXData(kTagApp);
  if (!IsTagKind(tag, kSectionKind)) return false;
  Load(tag.values);
  Profile->SetXData(tag.codes, tag.values);
  return true;
}

void TEVSection::AssignValues(const host::Ref<host::Document>& drawing) {
  const std::vector<int16_t> codes{1001, 1000, 1000, 1000, 1040, 1040, 1000, 1000, 1000, 1070};
  const std::vector<host::Variant> values{
      host::Variant(kTagApp), host::Variant(kSectionKind), host::Variant(SectionNo),
      host::Variant(ReachNo), host::Variant(Chainage), host::Variant(Bearing), host::Variant(Title),
      host::Variant(SectionName),
      // The date goes in as ISO text ("2012-06-05"), not as a date the host
      // would write in the user's locale: a reader in another locale, or one
      // that takes the day first, reads it as the same day.
      host::Variant(host::InvariantConversions().DateToText(WaterDate)),
      host::Variant(int16_t{ThroughSection ? int16_t{-1} : int16_t{0}})};
  Profile->SetXData(codes, values);
  CenterPoint = FindSectionCenterPoint(*sink_, drawing, SectionNo);
  CenterPoint->SetXData(codes, values);
}

host::Variant TEVSection::renameLayerstoChainage(const std::string& prefix) {
  const host::Ref<host::Layers> layers = Profile->Document()->Layers();
  const int32_t count = layers->Count();
  for (int32_t i = 0; i < count; ++i) {
    const host::Ref<host::Layer> layer = layers->Item(i);
    const std::string name = layer->Name();
    const size_t underscore = name.find('_');
    if (underscore == std::string::npos) continue;
    if (name.compare(0, underscore, SectionNo) != 0 || underscore != SectionNo.size()) continue;
    layer->SetName(prefix + host::FormatFixed(Chainage, 0) + name.substr(underscore));
  }
  return host::Variant();
}

}  // namespace palvane::model
