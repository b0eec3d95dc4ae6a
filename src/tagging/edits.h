#pragma once

// What the parts of tagging share: queries through a selection set of their
// own, deleted after each, so that the sets the exports and the user keep
// are left alone; layers looked up, made, or refused when locked; numbers
// as tagging says them.

#include <string>
#include <vector>

#include "host/host.h"
#include "host/message_sink.h"
#include "model/lookup.h"
#include "model/river.h"

namespace palvane::tagging {

inline constexpr const char* kSetName = "PalvaneTag";

// The entities of one part of section `number` (its profile, its centre
// point).
std::vector<host::Ref<host::Entity>> SelectPart(const host::Ref<host::Document>& drawing,
                                                model::SectionPart part, const std::string& number);

// The drawing's reaches, without their sections.
model::River ReadReaches(const host::Ref<host::Document>& drawing, host::MessageSink& sink);

// Whether the drawing has a layer of `name` (letter case aside).
bool HasLayer(const host::Ref<host::Document>& drawing, const std::string& name);

// The layer of `name`, made when the drawing has none; whether it was made.
bool EnsureLayer(const host::Ref<host::Document>& drawing, const std::string& name);

// Whether the drawing has a layer of `name` and it is locked: its entities
// cannot be changed, nor can entities be put on it.
bool IsLocked(const host::Ref<host::Document>& drawing, const std::string& name);

// TagError before anything is written when `entity` (called `what`) lies on
// a locked layer.
void RefuseLocked(const host::Ref<host::Document>& drawing, const host::Ref<host::Entity>& entity,
                  const std::string& what);

// A chainage or distance as tagging says it: three decimals.
std::string Num(double value);

}  // namespace palvane::tagging
