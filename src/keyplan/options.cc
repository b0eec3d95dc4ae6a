#include "keyplan/options.h"

#include "host/convert.h"
#include "host/error.h"
#include "host/symbol_name.h"

namespace palvane::keyplan {

#define PALVANE_OPTION(name) \
  OptionField { #name, &KeyplanOptions::name }
const std::array<OptionField, 24> kOptionFields = {
    PALVANE_OPTION(SectionNameChkBox),
    PALVANE_OPTION(SectionNamePrefix),
    PALVANE_OPTION(SectionNameSuffix),
    PALVANE_OPTION(ENChkBox),
    PALVANE_OPTION(ENPrefix),
    PALVANE_OPTION(ENSuffix),
    PALVANE_OPTION(BearingChkBox),
    PALVANE_OPTION(BearingPrefix),
    PALVANE_OPTION(BearingSuffix),
    PALVANE_OPTION(BearingPrecision),
    PALVANE_OPTION(ChainageChkBox),
    PALVANE_OPTION(ChainagePrefix),
    PALVANE_OPTION(ChainageSuffix),
    PALVANE_OPTION(ChainagePrecision),
    PALVANE_OPTION(Mike11ChainageChkBox),
    PALVANE_OPTION(Mike11ChainagePrefix),
    PALVANE_OPTION(Mike11ChainageSuffix),
    PALVANE_OPTION(Mike11ChainagePrecision),
    PALVANE_OPTION(DescriptionChkBox),
    PALVANE_OPTION(DescriptionPrefix),
    PALVANE_OPTION(DescriptionSuffix),
    PALVANE_OPTION(SectionLineWidth),
    PALVANE_OPTION(TextHeight),
    PALVANE_OPTION(LineLayer),
};
#undef PALVANE_OPTION

bool ReadFlag(const std::string& text) { return host::TextToBoolean(text); }

int32_t ReadPrecision(const std::string& text) {
  const int32_t places = host::TextToLong(text);
  if (places < 0) throw host::Error::InvalidProcedureCall();
  return places;
}

double ReadMeasure(const std::string& text) { return host::TextToDouble(text); }

std::string NumberText(double value, int32_t places) {
  return host::DoubleToText(host::RoundToEven(value, places));
}

std::string LayerChainage(const std::string& prefix, double chainage) {
  // Always with a point: the program refuses a layer name holding a comma,
  // which a locale with a decimal comma would put there.
  return prefix + host::FormatFixedWithPoint(chainage, 3);
}

void CheckLineLayerPrefix(const std::string& prefix) {
  host::CheckSymbolName(LayerChainage(prefix, 0), "layer");
}

}  // namespace palvane::keyplan
