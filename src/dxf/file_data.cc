#include "dxf/file_data.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "dxf/entity_codec.h"
#include "dxf/text.h"
#include "host/memory/entities.h"

namespace palvane::dxf {

using host::Variant;
using host::memory::EntityCore;

DxfFile::DxfFile() = default;
DxfFile::~DxfFile() = default;

const TextCodec& DxfFile::Text() const {
  if (!text_) text_ = std::make_unique<TextCodec>(utf8(), code_page);
  return *text_;
}

std::string_view DxfFile::KeepPacked(const char* begin, const char* end) {
  constexpr size_t kChunk = size_t{256} << 10;
  const auto size = static_cast<size_t>(end - begin);
  if (size > packed_left_) {
    const size_t chunk = std::max(kChunk, size);
    packed_.push_back(std::make_unique_for_overwrite<char[]>(chunk));
    packed_next_ = packed_.back().get();
    packed_left_ = chunk;
  }
  char* at = packed_next_;
  std::memcpy(at, begin, size);
  packed_next_ += size;
  packed_left_ -= size;
  return {at, size};
}

void DxfFile::LoadXData(RawTags& tags, std::string_view app_name, host::XData& xdata) {
  // Application names are plain ASCII in practice; a name with other bytes
  // is decoded before it is compared.
  auto is_app = [&](std::string_view raw) {
    if (IsPlainText(raw)) return host::memory::FoldedEqual{}(raw, app_name);
    return host::memory::FoldedEqual{}(DecodeText(Text(), raw), app_name);
  };
  bool in_group = false;
  for (const auto [code, value] : tags) {
    if (code == 1001) {
      in_group = app_name.empty() || is_app(value);
      // A tag holds about ten items: room for them at once.
      if (in_group && xdata.codes.empty()) {
        xdata.codes.reserve(16);
        xdata.values.reserve(16);
      }
    }
    if (!in_group) continue;
    if (code >= 1010 && code <= 1013) {
      xdata.codes.push_back(code);
      xdata.values.push_back(Variant::Point(ToDouble(value), 0, 0));
      continue;
    }
    if (code >= 1020 && code <= 1033 && !xdata.values.empty() && xdata.values.back().IsArray() &&
        xdata.codes.back() == (code < 1030 ? code - 10 : code - 20)) {
      auto a = xdata.values.back().AsArrayUnchecked();
      a[code < 1030 ? 1 : 2] = ToDouble(value);
      xdata.values.back() = Variant(std::move(a));
      continue;
    }
    xdata.codes.push_back(code);
    switch (ValueTypeOf(code)) {
      case ValueType::kDouble:
        xdata.values.emplace_back(ToDouble(value));
        break;
      case ValueType::kInt16:
        xdata.values.emplace_back(static_cast<int16_t>(ToInt(value)));
        break;
      case ValueType::kInt32:
        xdata.values.emplace_back(static_cast<int32_t>(ToInt(value)));
        break;
      case ValueType::kString:
        if (IsPlainText(value)) {
          xdata.values.emplace_back(value);
        } else {
          xdata.values.emplace_back(DecodeText(Text(), value));
        }
        break;
      default:
        xdata.values.emplace_back(value);
        break;
    }
  }
}

void DxfFile::LoadEntity(EntityCore& entity) const { CodecOf(entity).Load(entity, Text()); }

}  // namespace palvane::dxf
