#include "host/memory/objects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "host/convert.h"
#include "host/fold.h"
#include "host/memory/entities.h"
#include "host/memory/views.h"

namespace palvane::host::memory {

// ---------------------------------------------------------------------------
// Names

std::string FoldName(const std::string& name) {
  // Letters beyond ASCII fold as the tables compare them (to lower case);
  // ASCII letters to upper case, as names such as "ACAD" are written.
  std::string folded = HasNonAscii(name) ? FoldedText(name) : name;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

int32_t CheckIndex(int32_t index, size_t count) {
  if (index < 0 || static_cast<size_t>(index) >= count) {
    throw Error::InvalidInput("index " + std::to_string(index) + " out of range");
  }
  return index;
}

namespace {

Variant ConvertXDataValue(int16_t code, const Variant& v) {
  auto text = [&]() -> std::string {
    // The drawing keeps a date as its invariant text, whatever the caller's
    // locale, so that any reader converts it back.
    std::string s = v.type() == Variant::Type::kDate
                        ? InvariantConversions().DateToText(v.AsDateUnchecked())
                        : ToText(v);
    if (s.size() > 255) {
      throw Error::InvalidInput("extended data text longer than 255 bytes (group code " +
                                std::to_string(code) + ")");
    }
    return s;
  };
  switch (code) {
    case 1000:
    case 1001:
    case 1003:
    case 1004:
    case 1005:
      return text();
    case 1002: {
      std::string s = ToText(v);
      if (s != "{" && s != "}") throw Error::InvalidInput("group code 1002 holds only { or }");
      return s;
    }
    case 1010:
    case 1011:
    case 1012:
    case 1013: {
      if (!v.IsArray() || v.AsArrayUnchecked().size() != 3) throw Error::TypeMismatch();
      const auto& a = v.AsArrayUnchecked();
      return Variant::Point(ToDouble(a[0]), ToDouble(a[1]), ToDouble(a[2]));
    }
    case 1040:
    case 1041:
    case 1042:
      return ToDouble(v);
    case 1070:
      return ToInteger(v);
    case 1071:
      if (v.type() == Variant::Type::kString) {
        const double d = InvariantConversions().TextToDouble(v.AsStringUnchecked());
        if (d != std::trunc(d)) throw Error::TypeMismatch();
        return DoubleToLong(d);
      }
      return ToLong(v);
    default:
      throw Error::InvalidInput("group code " + std::to_string(code) +
                                " is not an extended data code");
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Objects

std::string ObjectCore::HandleText() const { return HexText(handle_); }

ObjectCore::~ObjectCore() {
  if (xdata_ == nullptr) return;
  if (in_arena_) {
    using Items = std::vector<XDataItem>;
    xdata_->~Items();
  } else {
    delete xdata_;
  }
}

std::vector<XDataItem>& ObjectCore::Items() const {
  if (xdata_ == nullptr) {
    using Items = std::vector<XDataItem>;
    xdata_ =
        in_arena_ ? new (doc_->ArenaBytes(sizeof(Items), alignof(Items))) Items() : new Items();
  }
  return *xdata_;
}

void ObjectCore::ReadXData() const {
  if (!xdata_unread_) return;
  xdata_unread_ = false;
  std::vector<XDataItem>& items = Items();
  items.clear();
  if (doc_->field_source() == nullptr) return;
  XData read;
  doc_->field_source()->LoadXData(record_, {}, read);
  items.reserve(read.codes.size());
  for (size_t i = 0; i < read.codes.size(); ++i) {
    items.push_back({read.codes[i], std::move(read.values[i])});
  }
}

const std::vector<XDataItem>& ObjectCore::xdata() const {
  static const std::vector<XDataItem> kNone;
  ReadXData();
  return xdata_ != nullptr ? *xdata_ : kNone;
}

std::vector<XDataItem>& ObjectCore::mutable_xdata() {
  ReadXData();
  return Items();
}

std::vector<Variant> ObjectCore::XDataAppNames() {
  XData all = GetXDataOf({});
  std::vector<Variant> names;
  for (size_t i = 0; i < all.codes.size(); ++i) {
    if (all.codes[i] == 1001) names.push_back(std::move(all.values[i]));
  }
  return names;
}

XData ObjectCore::GetXDataOf(const std::string& app_name) {
  XData out;
  // Unread data is read for the answer but not kept with the object: a
  // drawing's worth of parsed values would cost more memory than the file.
  if (xdata_unread_ && doc_->field_source() != nullptr) {
    doc_->field_source()->LoadXData(record_, app_name, out);
    return out;
  }
  const std::vector<XDataItem>& items = xdata();
  if (items.empty()) return out;
  bool in_group = false;
  for (const XDataItem& item : items) {
    if (item.code == 1001) {
      in_group = app_name.empty() || (item.value.type() == Variant::Type::kString &&
                                      SameName(item.value.AsStringUnchecked(), app_name));
    }
    if (in_group) {
      out.codes.push_back(item.code);
      out.values.push_back(item.value);
    }
  }
  return out;
}

void ObjectCore::SetXDataOf(const std::vector<int16_t>& codes, const std::vector<Variant>& values) {
  if (codes.size() != values.size() || codes.empty()) {
    throw Error::InvalidInput("extended data needs equal, non-empty lists of codes and values");
  }
  if (codes[0] != 1001) throw Error::InvalidInput("extended data must start with group code 1001");
  std::vector<XDataItem> group;
  group.reserve(codes.size());
  for (size_t i = 0; i < codes.size(); ++i) {
    if (i > 0 && codes[i] == 1001) {
      throw Error::InvalidInput("extended data holds more than one application");
    }
    group.push_back({codes[i], ConvertXDataValue(codes[i], values[i])});
  }
  const std::string app = group[0].value.AsStringUnchecked();
  CheckSymbolName(app, "application");
  ++doc_->xdata_writes;
  // A drawing holding data of an unregistered application is invalid, so the
  // application is registered first.
  doc_->RegisterApp(app);
  // Replace the application's group where it stands, or append it.
  std::vector<XDataItem>& xdata = mutable_xdata();
  auto begin = xdata.end(), end = xdata.end();
  for (auto it = xdata.begin(); it != xdata.end(); ++it) {
    if (it->code != 1001) continue;
    if (begin != xdata.end()) {
      end = it;
      break;
    }
    if (SameName(it->value.AsStringUnchecked(), app)) begin = it;
  }
  if (begin == xdata.end()) {
    xdata.insert(xdata.end(), group.begin(), group.end());
  } else {
    const auto at = xdata.erase(begin, end);
    xdata.insert(at, group.begin(), group.end());
  }
}

EntityCore::~EntityCore() = default;

const std::string* SharedTexts::Share(std::string_view text) {
  auto it = texts_.find(text);
  if (it == texts_.end()) it = texts_.emplace(text).first;
  return &*it;
}

const std::string* SharedTexts::Empty() {
  static const std::string kEmpty;
  return &kEmpty;
}

void EntityCore::LoadFromFile() const {
  loaded_ = true;  // first, so that the loader may use the accessors
  if (doc_->field_source() != nullptr) {
    doc_->field_source()->LoadFields(const_cast<EntityCore&>(*this));
  }
}

void EntityCore::PlaceOnLayer(MemLayer* layer) {
  layer_ = layer;
  if (layer_ != nullptr) ++layer_->references;
}

void EntityCore::AssignLayer(MemLayer* layer) {
  if (layer == layer_) return;
  const bool indexed = owner_ != nullptr && owner_->is_model_space();
  if (layer_ != nullptr) {
    --layer_->references;
    if (indexed) {
      auto& list = layer_->entities();
      // Entities usually change layer right after they were added: search from the back.
      for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (*it == this) {
          list.erase(std::next(it).base());
          break;
        }
      }
    }
  }
  layer_ = layer;
  if (layer_ != nullptr) {
    ++layer_->references;
    if (indexed) layer_->entities().push_back(this);
  }
}

void EntityCore::Detach() { AssignLayer(nullptr); }

void EntityCore::CopyCoreInto(EntityCore& copy, MemDocument* target) const {
  if (!xdata().empty()) copy.mutable_xdata() = xdata();
  copy.color_ = color_;
  copy.dirty_ = true;  // a copy gets its own handle and owner when written
  // The copy is written from a record of its own that the source of the
  // target drawing makes from the original's.
  if (record() != 0 && target->field_source() != nullptr && doc_->field_source() != nullptr) {
    copy.set_record(target->field_source()->Adopt(*doc_->field_source(), record()));
  }
  for (const XDataItem& item : xdata()) {
    if (item.code == 1001) target->RegisterApp(item.value.AsStringUnchecked());
  }
}

}  // namespace palvane::host::memory
