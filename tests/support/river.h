#pragma once

// Helpers for tests: small surveyed rivers built in the in-memory host, and
// assertions on automation errors.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/memory/entities.h"
#include "host/memory/memory_host.h"
#include "support/hosts.h"

// Expects `statement` to raise host::Error with `number`.
#define EXPECT_ERROR(statement, expected_number)                                      \
  do {                                                                                \
    try {                                                                             \
      statement;                                                                      \
      ADD_FAILURE() << "no error from " #statement;                                   \
    } catch (const ::palvane::host::Error& palvane_error_) {                          \
      EXPECT_EQ(palvane_error_.number(), (expected_number)) << palvane_error_.what(); \
    }                                                                                 \
  } while (false)

namespace palvane::testing {

using host::Point3;
using host::Ref;

// An application with one open drawing named "River.dwg"; `doc` is that
// drawing as the operations see it on the test host (support/hosts.h).
struct Drawing {
  Drawing();
  std::shared_ptr<host::memory::MemApplication> app;
  std::shared_ptr<host::memory::MemDocument> mem;
  Ref<host::Document> doc;
};

// A polyline on `layer` (created when missing) through flat X,Y `coords`.
Ref<host::LWPolyline> AddPolyline(const Ref<host::Document>& doc, const std::string& layer,
                                  const std::vector<double>& coords,
                                  const std::vector<double>& bulges = {}, bool closed = false);
Ref<host::PointEntity> AddPoint(const Ref<host::Document>& doc, const std::string& layer,
                                const Point3& at);

void TagReach(host::Object& object, const std::string& reach_no, bool current,
              const std::string& photos = "");

// A section tag of the first `items` of the 10 items.
void TagSection(host::Object& object, const std::string& section_no, double chainage,
                double bearing, const std::string& title, const std::string& name,
                size_t items = 10);

// Replaces item `item` of the "TEV" tag `object` carries with `value`, under
// group code `code`: a tag one of whose items cannot be read.
void SetTagItem(host::Object& object, size_t item, const host::Variant& value, int16_t code);

// A section: the layers N_Profile (with the tagged profile through `coords`),
// N_SectionCenter (with a tagged centre point) and N_SectionLine.
struct Section {
  Ref<host::LWPolyline> profile;
  Ref<host::PointEntity> center;
};
Section AddSection(const Ref<host::Document>& doc, const std::string& section_no,
                   const std::vector<double>& coords, double chainage, double bearing = 0,
                   const std::string& title = "", const std::string& name = "");

// The entities of a block of the in-memory host, of one kind.
template <class T>
std::vector<T*> EntitiesOf(const host::memory::MemBlock& block) {
  std::vector<T*> out;
  for (const auto& e : block.entities()) {
    if (auto* t = dynamic_cast<T*>(e)) out.push_back(t);
  }
  return out;
}

}  // namespace palvane::testing
