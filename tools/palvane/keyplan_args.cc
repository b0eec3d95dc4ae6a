#include "keyplan_args.h"

#include <algorithm>
#include <set>

#include "failure.h"

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
  return o;
}

}  // namespace palvane::tools
