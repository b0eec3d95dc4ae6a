#include "model/layer_names.h"

namespace palvane::model {

std::string SectionLayer(std::string_view number, std::string_view suffix) {
  std::string name;
  name.reserve(number.size() + suffix.size());
  name.append(number).append(suffix);
  return name;
}

std::optional<std::string> SectionNumberOf(std::string_view layer_name) {
  const size_t at = layer_name.find(kSectionLineLayer);
  if (at == std::string_view::npos) return std::nullopt;
  return std::string(layer_name.substr(0, at));
}

std::optional<std::string> SectionNumberOfProfileLayer(std::string_view layer_name) {
  if (!layer_name.ends_with(kProfileLayer)) return std::nullopt;
  return std::string(layer_name.substr(0, layer_name.size() - kProfileLayer.size()));
}

}  // namespace palvane::model
