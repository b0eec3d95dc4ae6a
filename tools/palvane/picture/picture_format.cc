#include "picture/picture_format.h"

#include <cctype>

namespace palvane::tools::picture {

std::optional<PictureFormat> PictureFormatOfPath(const std::string& path) {
  std::string p = path;
  for (char& c : p) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const PictureFormat f : {PictureFormat::kPdf, PictureFormat::kSvg, PictureFormat::kPng}) {
    if (p.ends_with(ExtensionOf(f))) return f;
  }
  return std::nullopt;
}

const char* ExtensionOf(PictureFormat format) {
  switch (format) {
    case PictureFormat::kPdf:
      return ".pdf";
    case PictureFormat::kSvg:
      return ".svg";
    case PictureFormat::kPng:
      break;
  }
  return ".png";
}

std::string PagePath(const std::string& path, size_t page, size_t pages) {
  if (pages <= 1) return path;
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  const bool has_dot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = has_dot ? path.substr(0, dot) : path;
  const std::string ext = has_dot ? path.substr(dot) : "";
  return stem + "-" + std::to_string(page) + ext;
}

}  // namespace palvane::tools::picture
