#pragma once

// The kinds of picture file, told by their names; needs no graphics library,
// so that a build without one can check names too.

#include <cstddef>
#include <optional>
#include <string>

namespace palvane::tools::picture {

enum class PictureFormat { kPdf, kSvg, kPng };

// By the path's extension (.pdf, .svg, .png, any letter case).
std::optional<PictureFormat> PictureFormatOfPath(const std::string& path);

// The extension a format's files are named with: ".pdf", ".svg", ".png".
const char* ExtensionOf(PictureFormat format);

// The file name of page `page` (from 1) of `pages` for a format of one file
// per page: the path itself for a single page, "k-2.svg" for the second.
std::string PagePath(const std::string& path, size_t page, size_t pages);

}  // namespace palvane::tools::picture
