// The fixes a check found, written back onto the tags.

#include <algorithm>

#include "model/layer_names.h"
#include "model/lookup.h"
#include "model/problem_codes.h"
#include "model/tags.h"
#include "tagging/edits.h"
#include "tagging/tagging.h"

namespace palvane::tagging {

std::vector<FixWritten> WriteFixes(const host::Ref<host::Document>& drawing,
                                   host::MessageSink& sink, const std::vector<model::Fix>& fixes,
                                   const std::vector<std::string>& codes, bool dry_run) {
  // A dry run first: whatever refuses (a locked layer) refuses before any
  // fix is written.
  if (!dry_run) WriteFixes(drawing, sink, fixes, codes, true);
  std::vector<FixWritten> out;
  for (const model::Fix& fix : fixes) {
    if (std::find(codes.begin(), codes.end(), fix.code) == codes.end()) continue;
    FixWritten& w = out.emplace_back();
    w.code = fix.code;
    w.section = fix.section;
    w.handle = fix.handle;
    w.from = fix.from;
    w.to = fix.to;
    try {
      const auto profiles = SelectPart(drawing, model::SectionPart::kProfile, fix.section);
      if (profiles.empty() || profiles.front()->Handle() != fix.handle) {
        w.why = "its profile is no longer " + fix.handle;
        continue;
      }
      const auto& profile = profiles.front();
      const auto points = SelectPart(drawing, model::SectionPart::kCenterPoint, fix.section);
      const host::XData own = profile->GetXData(model::kTagApp);
      const host::XData copy =
          points.empty() ? host::XData{} : points.front()->GetXData(model::kTagApp);
      const bool lost = !model::CarriesSectionTag(own);
      if (lost && !model::CarriesSectionTag(copy)) {
        w.why = "neither its profile nor its centre point carries a section tag";
        continue;
      }
      if (fix.code == model::code::kTagRestorable) {
        if (!lost) {
          w.why = "its profile carries its tag again";
          continue;
        }
        RefuseLocked(drawing, profile, "section " + fix.section + ": profile");
        w.written = true;
        // The tag as the centre point keeps it, item for item.
        if (!dry_run) profile->SetXData(copy.codes, copy.values);
        continue;
      }
      // The one item changes, on every entity that carries the tag; every
      // other item stays as it is, even one that cannot be read.
      const size_t item = fix.code == model::code::kChainageMismatch ? 4 : 5;
      std::vector<std::pair<host::Ref<host::Entity>, host::XData>> owners;
      if (!lost) owners.emplace_back(profile, own);
      if (model::CarriesSectionTag(copy)) owners.emplace_back(points.front(), copy);
      for (const auto& [owner, tag] : owners) {
        if (tag.values.size() <= item) {
          w.why = "the tag of " + owner->Handle() + " has no item " + std::to_string(item);
          break;
        }
      }
      if (!w.why.empty()) continue;
      for (const auto& [owner, tag] : owners) {
        RefuseLocked(drawing, owner, "section " + fix.section + ": entity");
      }
      w.written = true;
      if (dry_run) continue;
      for (auto& [owner, tag] : owners) {
        tag.values[item] = host::Variant(fix.to);
        tag.codes[item] = 1040;
        owner->SetXData(tag.codes, tag.values);
      }
    } catch (const host::Error& e) {
      throw TagError("section " + fix.section + " (profile " + fix.handle +
                     "): its tag cannot be written: " + e.description());
    }
  }
  return out;
}

}  // namespace palvane::tagging
