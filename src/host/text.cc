#include "host/text.h"

namespace palvane::host {

Point3 PlacementOf(Text& text) {
  const int32_t alignment = text.Alignment();
  return alignment == 0 || alignment == 3 || alignment == 5 ? text.InsertionPoint()
                                                            : text.TextAlignmentPoint();
}

std::vector<std::string> MTextLines(std::string_view text) {
  std::vector<std::string> lines{""};
  ForEachMTextPiece(
      text, [&](std::string_view piece) { lines.back() += piece; }, [&] { lines.emplace_back(); });
  return lines;
}

}  // namespace palvane::host
