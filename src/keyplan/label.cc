#include "keyplan/label.h"

namespace palvane::keyplan {

std::string ComposeLabel(trap::ErrorTrap& step, const KeyplanOptions& o, const LabelValues& v) {
  const model::TEVSection& s = *v.section;
  std::string label;
  auto separate = [&] {
    if (!label.empty()) label += "\\P";
  };
  auto append = [&](auto&& make_text) { step.Do([&] { label += make_text(); }); };

  if (step.If([&] { return ReadFlag(o.SectionNameChkBox); })) {
    append([&] { return o.SectionNamePrefix + s.SectionName + o.SectionNameSuffix; });
  }
  if (step.If([&] { return ReadFlag(o.ENChkBox); })) {
    separate();
    append([&] {
      return o.ENPrefix + NumberText(v.easting, 2) + "mE " + NumberText(v.northing, 2) + "mN" +
             o.ENSuffix;
    });
  }
  if (step.If([&] { return ReadFlag(o.BearingChkBox); })) {
    separate();
    append([&] {
      return o.BearingPrefix + NumberText(s.Bearing, ReadPrecision(o.BearingPrecision)) +
             o.BearingSuffix;
    });
  }
  if (step.If([&] { return ReadFlag(o.ChainageChkBox); })) {
    separate();
    append([&] {
      return o.ChainagePrefix + NumberText(s.Chainage, ReadPrecision(o.ChainagePrecision)) +
             o.ChainageSuffix;
    });
  }
  if (step.If([&] { return ReadFlag(o.Mike11ChainageChkBox); })) {
    separate();
    append([&] {
      return o.Mike11ChainagePrefix +
             NumberText(v.reach_length() - s.Chainage, ReadPrecision(o.Mike11ChainagePrecision)) +
             o.Mike11ChainageSuffix;
    });
  }
  // A title of exactly "Z" means "no description".
  if (step.If([&] { return ReadFlag(o.DescriptionChkBox) && s.Title != "Z"; })) {
    separate();
    append([&] { return o.DescriptionPrefix + s.Title + o.DescriptionSuffix; });
  }
  return label;
}

}  // namespace palvane::keyplan
