#pragma once

// What fixing a finding writes into a section: plain data that the check
// finds and tagging writes.

#include <string>

namespace palvane::model {

// A value measured differently from the tag, or a lost tag its centre point
// keeps: what fixing the finding `code` writes into section `section`
// (whose profile is `handle`). `from` and `to` are the tagged and the
// measured chainage or bearing; unused for a lost tag.
struct Fix {
  std::string code;  // chainage-mismatch, bearing-mismatch or tag-restorable
  std::string section, handle;
  double from = 0, to = 0;
};

}  // namespace palvane::model
