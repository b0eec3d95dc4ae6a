#include "tagging/edits.h"

#include "host/convert.h"
#include "tagging/tagging.h"

namespace palvane::tagging {

std::vector<host::Ref<host::Entity>> SelectPart(const host::Ref<host::Document>& drawing,
                                                model::SectionPart part,
                                                const std::string& number) {
  const model::DeleteSetAfter delete_after(drawing, kSetName);
  return model::SelectSectionPart(drawing, kSetName, part, number);
}

model::River ReadReaches(const host::Ref<host::Document>& drawing, host::MessageSink& sink) {
  model::RiverOptions options = model::RiverOptions::ReachesOnly();
  options.selection_set = kSetName;
  return model::ReadRiver(drawing, sink, options);
}

bool HasLayer(const host::Ref<host::Document>& drawing, const std::string& name) {
  try {
    drawing->Layers()->Item(name);
    return true;
  } catch (const host::Error& e) {
    if (e.number() != host::Error::kKeyNotFound) throw;
    return false;
  }
}

bool EnsureLayer(const host::Ref<host::Document>& drawing, const std::string& name) {
  if (HasLayer(drawing, name)) return false;
  drawing->Layers()->Add(name);
  return true;
}

bool IsLocked(const host::Ref<host::Document>& drawing, const std::string& name) {
  if (!HasLayer(drawing, name)) return false;
  return drawing->Layers()->Item(name)->Lock();
}

void RefuseLocked(const host::Ref<host::Document>& drawing, const host::Ref<host::Entity>& entity,
                  const std::string& what) {
  const std::string layer = entity->Layer();
  if (IsLocked(drawing, layer)) {
    throw TagError(what + " " + entity->Handle() + " lies on locked layer " + layer +
                   ": its tag cannot be written; unlock the layer first");
  }
}

std::string Num(double value) { return host::FormatFixedWithPoint(value, 3); }

}  // namespace palvane::tagging
