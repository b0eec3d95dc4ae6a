#pragma once

// The one way the in-memory host calls into the file layer at run time. A
// drawing read from a file keeps, for each object, the number of the file's
// record of it; what the host left unread (the fields of an entity's kind,
// extended data) is filled from that record when first used.

#include <cstdint>
#include <string_view>

#include "host/host.h"

namespace palvane::host::memory {

class EntityCore;

class FieldSource {
 public:
  virtual ~FieldSource() = default;
  // Fills the fields of an entity's kind from its record.
  virtual void LoadFields(EntityCore& entity) const = 0;
  // The extended data of the object whose record is `record`, asked only
  // while the object holds it unread: the group of one application (all
  // groups for an empty name).
  virtual void LoadXData(uint32_t record, std::string_view app_name, XData& out) const = 0;
  // A record for a copy of the object of `from`'s record `record` (`from`
  // is this source for a copy within the drawing, another drawing's for a
  // copy from it); returns its number here, 0 when there is none.
  virtual uint32_t Adopt(const FieldSource& from, uint32_t record) = 0;
};

}  // namespace palvane::host::memory
