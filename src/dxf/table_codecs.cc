#include "dxf/table_codecs.h"

#include <algorithm>

#include "dxf/entity_codec.h"
#include "dxf/text.h"
#include "dxf/values.h"
#include "host/fold.h"

namespace palvane::dxf {

using host::memory::BlockFields;
using host::memory::LayerFields;
using host::memory::NoFields;
using host::memory::UcsFields;
using host::memory::ViewState;

template <class F>
void EntryCodec<F>::WriteNew(const F& f, const std::string& name, uint64_t handle,
                             uint64_t table_handle, TagOut& out) const {
  if (out.has_handles()) out.Write(group::kHandle, Hex(handle));
  if (!out.r12()) out.Write(group::kOwner, Hex(table_handle));
  out.Subclass("AcDbSymbolTableRecord");
  out.Subclass(subclass_);
  out.Write(group::kName, out.Enc(name));
  rows_.WriteNew(f, nullptr, out, [&](int16_t code) { WriteOwn(f, code, out); });
}

namespace {

// A layer's colour: its number, negative while the layer is off; 0 reads
// as white. Its flags: frozen and locked among others, which are kept.
class LayerEntryCodec final : public EntryCodec<LayerFields> {
  static constexpr int16_t kFlags = 70, kColor = 62;
  static constexpr int64_t kFrozen = 1, kLocked = 4;

 public:
  LayerEntryCodec()
      : EntryCodec("LAYER", "AcDbLayerTableRecord",
                   FieldRows<LayerFields>({
                       OwnField<LayerFields>(kFlags), OwnField<LayerFields>(kColor),
                       TextConstant<LayerFields>(6, "Continuous"),
                       IntegerConstant<LayerFields>(370, -3, kNotInR12),  // weight by default
                   })) {}

 protected:
  void LoadOwn(LayerFields& f, int16_t code, std::string_view value) const override {
    if (code == kFlags) {
      const int64_t flags = ToInt(value);
      f.frozen = (flags & kFrozen) != 0;
      f.locked = (flags & kLocked) != 0;
      return;
    }
    // Colour numbers are 16-bit.
    const auto color = static_cast<int32_t>(std::clamp<int64_t>(ToInt(value), -32768, 32767));
    f.on = color >= 0;
    f.color = color == 0 ? 7 : std::abs(color);
  }

 public:
  void Patch(const LayerFields& f, const std::string* name, bool changed, const RawTags& own,
             TagOut& out) const override {
    if (!changed) return EntryCodec::Patch(f, name, changed, own, out);
    FieldsSeen written = 0;
    bool has_flags = false;
    for (const auto [code, value] : own) has_flags = has_flags || code == kFlags;
    bool flags_written = false;
    for (const auto [code, value] : own) {
      if (code == kFlags && !flags_written) {
        out.Write(kFlags, (ToInt(value) & ~(kFrozen | kLocked)) | Flags(f));
        flags_written = true;
      } else if (code == kColor) {
        WriteOwn(f, code, out);
      } else if (code == group::kName) {
        if (name != nullptr) {
          out.Write(group::kName, out.Enc(*name));
        } else {
          out.Write(group::kName, value);
        }
        // A record without flags gets them after its name.
        if (!has_flags && !flags_written) {
          out.Write(kFlags, Flags(f));
          flags_written = true;
        }
      } else if (!rows().Patch(f, nullptr, code, value, out, written)) {
        out.Write(code, value);
      }
    }
  }

 protected:
  void WriteOwn(const LayerFields& f, int16_t code, TagOut& out) const override {
    if (code == kFlags) {
      out.Write(kFlags, Flags(f));
    } else {
      out.Write(code, static_cast<int64_t>(f.on ? f.color : -f.color));
    }
  }

 private:
  static int64_t Flags(const LayerFields& f) {
    return (f.frozen ? kFrozen : 0) | (f.locked ? kLocked : 0);
  }
};

constexpr double kNoElevation = 0.0;

const LayerEntryCodec kLayer;
const EntryCodec<UcsFields> kUcs("UCS", "AcDbUCSTableRecord",
                                 FieldRows<UcsFields>({
                                     IntegerConstant<UcsFields>(70, 0),
                                     PointField(10, &UcsFields::origin, kPatched),
                                     PointField(11, &UcsFields::x_axis, kPatched),
                                     PointField(12, &UcsFields::y_axis, kPatched),
                                     IntegerConstant<UcsFields>(79, 0, kNotInR12),
                                     RealConstant<UcsFields>(146, kNoElevation, kNotInR12),
                                 }));
const EntryCodec<NoFields> kBlockRecord("BLOCK_RECORD", "AcDbBlockTableRecord",
                                        FieldRows<NoFields>({
                                            TextConstant<NoFields>(340, "0"),  // no layout
                                            IntegerConstant<NoFields>(70, 0),
                                            IntegerConstant<NoFields>(280, 1),  // explodable
                                            IntegerConstant<NoFields>(281, 0),  // scalable
                                        }));
const EntryCodec<NoFields> kAppId("APPID", "AcDbRegAppTableRecord",
                                  FieldRows<NoFields>({
                                      IntegerConstant<NoFields>(70, 0),
                                  }));

// A block's name is written twice, as its name and its description.
constexpr int16_t kBlockDescription = 3;
const FieldRows<BlockFields> kBlockBeginRows({
    After("AcDbBlockBegin", OwnField<BlockFields>(group::kName)),
    IntegerConstant<BlockFields>(70, 0), PointField(10, &BlockFields::origin),
    OwnField<BlockFields>(kBlockDescription),
    TextConstant<BlockFields>(1, ""),  // no external reference
});

// The view's fields in the active viewport's entry; the UCS icon's two
// flags share one code.
constexpr int16_t kUcsIcon = 74;
const FieldRows<ViewState> kViewRows({
    AxisField(12, &ViewState::center, 0, kPatched),
    AxisField(22, &ViewState::center, 1, kPatched),
    PointField(16, &ViewState::direction, kPatched),
    NumberField(40, &ViewState::height, kPatched),
    OwnField<ViewState>(kUcsIcon),
});

}  // namespace

const EntryCodec<LayerFields>& LayerCodec() { return kLayer; }
const EntryCodec<UcsFields>& UcsCodec() { return kUcs; }
const EntryCodec<NoFields>& BlockRecordCodec() { return kBlockRecord; }
const EntryCodec<NoFields>& AppIdCodec() { return kAppId; }

void LoadBlockBegin(const RawTags& tags, const TextCodec& text, std::string& name, BlockFields& f) {
  FieldsSeen seen = 0;
  for (const auto [code, value] : tags) {
    if (code == group::kName && name.empty()) name = DecodeText(text, Trim(value));
    kBlockBeginRows.Load(f, nullptr, code, value, text, seen);
  }
}

void WriteNewBlockBegin(const std::string& name, const BlockFields& f, TagOut& out) {
  kBlockBeginRows.WriteNew(f, nullptr, out, [&](int16_t code) { out.Write(code, out.Enc(name)); });
}

bool IsActiveViewport(const RawTags& tags) {
  for (const auto [code, value] : tags) {
    if (code == group::kName) return host::SameFolded(Trim(value), "*ACTIVE");
  }
  return false;
}

void LoadActiveViewport(const RawTags& tags, const TextCodec& text, ViewState& view) {
  FieldsSeen seen = 0;
  for (const auto [code, value] : tags) {
    if (kViewRows.Load(view, nullptr, code, value, text, seen) || code != kUcsIcon) continue;
    view.ucs_icon_on = (ToInt(value) & 1) != 0;
    view.ucs_icon_at_origin = (ToInt(value) & 2) != 0;
  }
}

void PatchActiveViewport(const ViewState& view, const RawTags& tags, TagOut& out) {
  FieldsSeen written = 0;
  bool icon_written = false;
  for (const auto [code, value] : tags) {
    if (kViewRows.Patch(view, nullptr, code, value, out, written)) continue;
    if (code == kUcsIcon && !icon_written) {
      out.Write(kUcsIcon, static_cast<int64_t>((view.ucs_icon_on ? 1 : 0) |
                                               (view.ucs_icon_at_origin ? 2 : 0)));
      icon_written = true;
      continue;
    }
    out.Write(code, value);
  }
}

template class EntryCodec<LayerFields>;
template class EntryCodec<UcsFields>;
template class EntryCodec<NoFields>;

}  // namespace palvane::dxf
