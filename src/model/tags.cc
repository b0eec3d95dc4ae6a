#include "model/tags.h"

#include "host/convert.h"

namespace palvane::model {

std::string GetTagKind(host::Object& object) { return TagKindOf(object.GetXData(kTagApp)); }

std::string TagKindOf(const host::XData& data) {
  if (data.empty()) return "Null";
  return host::ToText(TagItem(data.values, 1));
}

bool IsTagKind(const host::XData& data, std::string_view kind) {
  if (data.empty()) return kind == "Null";
  const host::Variant& item = TagItem(data.values, 1);
  if (item.type() == host::Variant::Type::kString) return item.AsStringUnchecked() == kind;
  return host::ToText(item) == kind;
}

const host::Variant& TagItem(const std::vector<host::Variant>& values, size_t index) {
  if (index >= values.size()) throw host::Error::SubscriptOutOfRange();
  return values[index];
}

bool CarriesSectionTag(const host::XData& data) {
  try {
    return IsTagKind(data, kSectionKind);
  } catch (const host::Error&) {
    return false;
  }
}

}  // namespace palvane::model
