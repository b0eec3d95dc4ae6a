#pragma once

// The keyplan command's arguments and how they become the export's option
// strings.

#include <string>
#include <string_view>
#include <vector>

#include "keyplan/options.h"
#include "pictures.h"

namespace palvane::tools {

// The command-line flags of the keyplan's option strings. Each label field
// has a word: --fields turns its ...ChkBox on, and --WORD-prefix,
// --WORD-suffix and --WORD-precision set its other strings. The three
// measures have a flag each.
struct LabelField {
  std::string_view option;  // the option strings' common beginning
  const char* word;
  const char* what;
};
inline constexpr LabelField kLabelFields[] = {
    {"SectionName", "name", "the section name"},
    {"EN", "en", "the easting and northing"},
    {"Bearing", "bearing", "the bearing"},
    {"Chainage", "chainage", "the chainage"},
    {"Mike11Chainage", "mike11", "the MIKE 11 chainage"},
    {"Description", "description", "the description"},
};
struct MeasureFlag {
  std::string_view option;
  const char* flag;
  const char* help;
};
inline constexpr MeasureFlag kMeasureFlags[] = {
    {"SectionLineWidth", "--line-width", "Width of the section lines"},
    {"TextHeight", "--text-height", "Height of the labels"},
    {"LineLayer", "--line-layer", "Layer name prefix of the section lines"},
};

struct KeyplanArgs {
  std::string drawing, out;
  PictureArgs picture;
  bool attributes = false, update_source = false, overwrite = false;
  // NAME=VALUE, one option string each.
  std::vector<std::string> options;
  // The label fields that are on, as a comma-separated list of words.
  std::string fields = "name,chainage";
  // The flags given that only the labelled keyplan reads (--fields, the
  // affixes, --bearing-precision), by name.
  std::vector<std::string> label_flags_given;
  // The option strings the flags set; the ...ChkBox flags come from fields.
  keyplan::KeyplanOptions values = [] {
    keyplan::KeyplanOptions o;
    o.BearingPrecision = "1";
    o.ChainagePrecision = "2";
    o.Mike11ChainagePrecision = "2";
    o.SectionLineWidth = "0.5";
    o.TextHeight = "2.5";
    o.LineLayer = "XS_";
    return o;
  }();
};

// The member of the option string of that name, or null.
std::string keyplan::KeyplanOptions::*OptionMember(std::string_view name);

// The option strings of the arguments: the flags' values, the ...ChkBox
// strings "True" or "False" from the field list, then each --option. A
// Failure (status 2) names an unknown field or option string, or a flag's
// value that CheckOptionValue refuses; a value given through --option goes
// to the export as it stands, as the automation would pass it.
keyplan::KeyplanOptions BuildOptions(const KeyplanArgs& a);

// Whether --option sets the option string `name`.
bool SetByOption(const KeyplanArgs& a, std::string_view name);

// Reads a precision or measure as the export reads it, so that a value
// it cannot use is refused once, before any work, instead of in a message for
// every section: a Failure (status 2) naming the option string, its flag and
// the rule. The text height must be above 0 and the line width 0 or more.
void CheckOptionValue(std::string_view name, const std::string& value);

}  // namespace palvane::tools
