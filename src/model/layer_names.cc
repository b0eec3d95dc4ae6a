#include "model/layer_names.h"

#include <cctype>

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
  // Letter case aside, as the lookups find a profile's layer.
  if (layer_name.size() < kProfileLayer.size()) return std::nullopt;
  const std::string_view end = layer_name.substr(layer_name.size() - kProfileLayer.size());
  for (size_t i = 0; i < end.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(end[i])) !=
        std::tolower(static_cast<unsigned char>(kProfileLayer[i]))) {
      return std::nullopt;
    }
  }
  return std::string(layer_name.substr(0, layer_name.size() - kProfileLayer.size()));
}

}  // namespace palvane::model
