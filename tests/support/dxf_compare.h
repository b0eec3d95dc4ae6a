#pragma once

// Compares drawing files tag by tag, by value: numbers by what they read as,
// texts after decoding (code page, \U+ escapes), so that two files holding
// the same tags with the same values compare equal whatever their form.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host.h"
#include "host/memory/document.h"

namespace palvane::testing {

using NormalTags = std::vector<std::pair<int, std::string>>;

NormalTags NormalizeDxf(std::string_view bytes);

// The first difference between two files, or "" when they hold the same tags.
std::string FirstDifference(std::string_view a, std::string_view b);

// A drawing read or loaded by the file layer, as the in-memory host's own
// class, for what a test checks beyond the host interface.
std::shared_ptr<host::memory::MemDocument> ReadMem(host::Application& app, std::string_view bytes,
                                                   const std::string& name);
std::shared_ptr<host::memory::MemDocument> LoadMem(host::Application& app, const std::string& path);

}  // namespace palvane::testing
