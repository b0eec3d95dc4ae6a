#pragma once

// The collections and small objects an in-memory drawing hands out per call:
// views of it without state of their own, made by the drawing that owns them.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/host.h"
#include "host/memory/memory_host.h"
#include "host/memory/names.h"

namespace palvane::host::memory {

class MemApplication;
class MemDocument;

std::unique_ptr<Layers> NewLayersView(MemDocument* doc);
std::unique_ptr<Blocks> NewBlocksView(MemDocument* doc);
std::unique_ptr<SelectionSets> NewSelectionSetsView(MemDocument* doc);
std::unique_ptr<Utility> NewUtilityView(MemDocument* doc);
std::shared_ptr<UCSs> NewUCSsView(std::shared_ptr<MemDocument> doc);
std::shared_ptr<Documents> NewDocumentsView(std::shared_ptr<MemApplication> app);
// A copy of the view's settings; ApplyViewport assigns one back to `view`,
// false (having changed nothing) for a viewport of another drawing.
std::shared_ptr<Viewport> NewViewportView(std::shared_ptr<MemDocument> doc, const ViewState& view);
bool ApplyViewport(const Viewport& viewport, const MemDocument* doc, ViewState& view);

// Names compared as the tables compare them, letter case ignored.
inline bool SameName(std::string_view a, std::string_view b) { return FoldedEqual{}(a, b); }

// `index` when it lies within a collection of `count`, else the host's error.
int32_t CheckIndex(int32_t index, size_t count);

}  // namespace palvane::host::memory
