#pragma once

// The 24 option strings of the keyplan exports and the rules by which they
// are read: flags, affixes, precisions, measures and the layer prefix.

#include <array>
#include <cstdint>
#include <string>

namespace palvane::keyplan {

struct KeyplanOptions {
  std::string SectionNameChkBox, SectionNamePrefix, SectionNameSuffix;
  std::string ENChkBox, ENPrefix, ENSuffix;
  std::string BearingChkBox, BearingPrefix, BearingSuffix, BearingPrecision;
  std::string ChainageChkBox, ChainagePrefix, ChainageSuffix, ChainagePrecision;
  std::string Mike11ChainageChkBox, Mike11ChainagePrefix, Mike11ChainageSuffix,
      Mike11ChainagePrecision;
  std::string DescriptionChkBox, DescriptionPrefix, DescriptionSuffix;
  std::string SectionLineWidth, TextHeight, LineLayer;
};

// The options by name, in parameter order.
struct OptionField {
  const char* name;
  std::string KeyplanOptions::*member;
};
extern const std::array<OptionField, 24> kOptionFields;

// Flag: "True"/"False" in any case, or a number (zero is false); anything
// else is a type mismatch.
bool ReadFlag(const std::string& text);

// Precision: a whole number of decimals (a tie rounds to even); a negative
// count is an invalid procedure call, beyond 32 bits an overflow.
int32_t ReadPrecision(const std::string& text);

// Measure: a decimal number, passed on whatever its sign.
double ReadMeasure(const std::string& text);

// A value rounded to `places` decimals (ties to even on the stored double)
// as number text: no trailing zeros, no point for a whole number.
std::string NumberText(double value, int32_t places);

// The layer of a section line: the prefix followed by the chainage with
// exactly three decimals, as in XS_1250.500.
std::string LayerChainage(const std::string& prefix, double chainage);

// Raises the error the drawing raises for section line layers named with
// `prefix` (a character layer names may not hold, or a name too long), so
// that a prefix can be refused once before an export instead of for every
// section.
void CheckLineLayerPrefix(const std::string& prefix);

}  // namespace palvane::keyplan
