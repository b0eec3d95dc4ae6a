#include "model/reach.h"

#include "host/convert.h"
#include "model/tags.h"

namespace palvane::model {

bool TEVReach::RetrieveValues() { return Load(Profile->GetXData(kTagApp)); }

bool TEVReach::Load(const host::XData& tag) {
  if (!IsTagKind(tag, kReachKind)) return false;
  ReachNo = host::ToText(TagItem(tag.values, 2));
  Status = host::ToBoolean(TagItem(tag.values, 3));
  PhotoDirectory = host::ToText(TagItem(tag.values, 4));
  return true;
}

void TEVReach::AssignValues() {
  Profile->SetXData(
      {1001, 1000, 1071, 1070, 1000},
      {host::Variant(kTagApp), host::Variant(kReachKind), host::Variant(ReachNo),
       host::Variant(int16_t{Status ? int16_t{-1} : int16_t{0}}), host::Variant(PhotoDirectory)});
}

}  // namespace palvane::model
