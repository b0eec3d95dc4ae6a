#pragma once

// Codecs of the table entries the host models: layers, coordinate systems,
// block records, registered applications, and the active viewport. Each
// declares its fields as rows (field_rows.h); an entry's name and handle
// are common to all.

#include <cstdint>
#include <string>
#include <string_view>

#include "dxf/field_rows.h"
#include "dxf/group_codes.h"
#include "dxf/raw_tags.h"
#include "host/memory/fields.h"

namespace palvane::dxf {

template <class F>
class EntryCodec {
 public:
  EntryCodec(std::string_view type, const char* subclass, FieldRows<F> rows)
      : type_(type), subclass_(subclass), rows_(std::move(rows)) {}
  virtual ~EntryCodec() = default;

  std::string_view type() const { return type_; }

  // Reads one of the entry's tags into `f` (the reader takes the name and
  // handle itself); the first tag of each code counts. Tables hold many
  // entries: the tags of codes no field has are passed over here.
  void Load(F& f, int16_t code, std::string_view value, const TextCodec& text,
            FieldsSeen& seen) const {
    if (rows_.Reads(code)) {
      rows_.Load(f, nullptr, code, value, text, seen);
    } else if (rows_.TakeOwn(code, seen)) {
      LoadOwn(f, code, value);
    }
  }

  // Writes an entry read from the file over its tags: its fields once it
  // changed, and its name from the model when `name` is given.
  virtual void Patch(const F& f, const std::string* name, bool changed, const RawTags& own,
                     TagOut& out) const {
    FieldsSeen written = 0;
    for (const auto [code, value] : own) {
      if (code == group::kName && name != nullptr) {
        out.Write(group::kName, out.Enc(*name));
      } else if (!changed || !rows_.Patch(f, nullptr, code, value, out, written)) {
        out.Write(code, value);
      }
    }
  }

  // Writes an entry made in the program: handle, owner, markers, name and
  // fields.
  void WriteNew(const F& f, const std::string& name, uint64_t handle, uint64_t table_handle,
                TagOut& out) const;

 protected:
  // Reads a tag of a field the codec keeps code of its own for.
  virtual void LoadOwn(F&, int16_t, std::string_view) const {}
  virtual void WriteOwn(const F&, int16_t, TagOut&) const {}
  const FieldRows<F>& rows() const { return rows_; }

 private:
  std::string_view type_;
  const char* subclass_;
  FieldRows<F> rows_;
};

const EntryCodec<host::memory::LayerFields>& LayerCodec();
const EntryCodec<host::memory::UcsFields>& UcsCodec();
const EntryCodec<host::memory::NoFields>& BlockRecordCodec();
const EntryCodec<host::memory::NoFields>& AppIdCodec();

// The BLOCK entity that begins a block definition: its name and fields
// read from its tags, or written anew after what every entity has.
void LoadBlockBegin(const RawTags& tags, const TextCodec& text, std::string& name,
                    host::memory::BlockFields& f);
void WriteNewBlockBegin(const std::string& name, const host::memory::BlockFields& f, TagOut& out);

// The active viewport's entry ("*ACTIVE"), read into and written from the
// view; the other viewport entries are kept as read.
bool IsActiveViewport(const RawTags& tags);
void LoadActiveViewport(const RawTags& tags, const TextCodec& text, host::memory::ViewState& view);
void PatchActiveViewport(const host::memory::ViewState& view, const RawTags& tags, TagOut& out);

}  // namespace palvane::dxf
