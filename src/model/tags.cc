#include "model/tags.h"

#include "host/convert.h"

namespace palvane::model {

std::string GetTagKind(host::Object& object) { return TagKindOf(object.GetXData(kTagApp)); }

std::string TagKindOf(const host::XData& data) {
  if (data.empty()) return "Null";
  return host::ToText(TagItem(data.values, 1));
}

const host::Variant& TagItem(const std::vector<host::Variant>& values, size_t index) {
  if (index >= values.size()) throw host::Error::SubscriptOutOfRange();
  return values[index];
}

}  // namespace palvane::model
