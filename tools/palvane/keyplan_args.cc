#include "keyplan_args.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "failure.h"
#include "host/error.h"

namespace palvane::tools {

std::string keyplan::KeyplanOptions::*OptionMember(std::string_view name) {
  for (const auto& f : keyplan::kOptionFields) {
    if (name == f.name) return f.member;
  }
  return nullptr;
}

keyplan::KeyplanOptions BuildOptions(const KeyplanArgs& a) {
  keyplan::KeyplanOptions o = a.values;
  std::set<std::string> on;
  for (std::string_view rest = a.fields; !rest.empty();) {
    const size_t comma = std::min(rest.find(','), rest.size());
    const std::string word(rest.substr(0, comma));
    rest.remove_prefix(std::min(comma + 1, rest.size()));
    if (word.empty()) continue;
    std::string known;
    bool found = false;
    for (const LabelField& field : kLabelFields) {
      known += std::string(known.empty() ? "" : ", ") + field.word;
      found = found || word == field.word;
    }
    if (!found) throw Failure{2, "unknown field \"" + word + "\" in --fields (" + known + ")"};
    on.insert(word);
  }
  for (const LabelField& field : kLabelFields) {
    o.*OptionMember(std::string(field.option) + "ChkBox") = on.count(field.word) ? "True" : "False";
  }
  // --option sets one string by its own name and wins over the flags above.
  for (const std::string& option : a.options) {
    const size_t eq = option.find('=');
    const std::string name = option.substr(0, eq);
    bool known = false;
    for (const auto& f : keyplan::kOptionFields) {
      if (name == f.name) {
        if (eq == std::string::npos) throw Failure{2, "--option " + name + " needs =VALUE"};
        o.*f.member = option.substr(eq + 1);
        known = true;
      }
    }
    if (!known) throw Failure{2, "unknown option string \"" + name + "\" in --option"};
  }
  // Values set through --option go to the export as given.
  for (const auto& f : keyplan::kOptionFields) {
    if (!SetByOption(a, f.name)) CheckOptionValue(f.name, o.*f.member);
  }
  return o;
}

bool SetByOption(const KeyplanArgs& a, std::string_view name) {
  return std::any_of(a.options.begin(), a.options.end(), [&](const std::string& option) {
    return std::string_view(option).substr(0, option.find('=')) == name;
  });
}

namespace {

// The flag that sets an option string, for messages: " (--text-height)".
std::string FlagOf(std::string_view name) {
  for (const MeasureFlag& measure : kMeasureFlags) {
    if (name == measure.option) return std::string(" (") + measure.flag + ")";
  }
  for (const LabelField& field : kLabelFields) {
    if (name == std::string(field.option) + "Precision") {
      return std::string(" (--") + field.word + "-precision)";
    }
  }
  return "";
}

}  // namespace

void CheckOptionValue(std::string_view name, const std::string& value) {
  std::string rule;
  bool usable = true;
  try {
    // The ...ChkBox flags come from --fields, always True or False.
    if (name.ends_with("Precision")) {
      rule = "a whole number of decimals, 0 or more";
      keyplan::ReadPrecision(value);
    } else if (name == "TextHeight") {
      rule = "a height above 0";
      const double height = keyplan::ReadMeasure(value);
      usable = height > 0 && std::isfinite(height);
    } else if (name == "SectionLineWidth") {
      rule = "a width of 0 or more";
      const double width = keyplan::ReadMeasure(value);
      usable = width >= 0 && std::isfinite(width);
    }
  } catch (const host::Error&) {
    usable = false;
  }
  if (!usable) {
    throw Failure{
        2, std::string(name) + FlagOf(name) + " must be " + rule + ", not \"" + value + "\""};
  }
}

}  // namespace palvane::tools
