#include "host/memory/raw_tags.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace palvane::host::memory {

// ---------------------------------------------------------------------------
// Raw tags

namespace {

// The decoders slices refer to, by index from 1: a handful, one per file form.
// Registered once each; found without a lock, since drawings may be read on
// several threads.
constexpr size_t kMaxCodecs = 16;
const TagCodec* g_codecs[kMaxCodecs];
std::atomic<size_t> g_codec_count{0};
std::mutex g_codec_mutex;

}  // namespace

uint8_t RawTags::CodecIndex(const TagCodec* codec) {
  auto find = [&](size_t count) -> uint8_t {
    for (size_t i = 0; i < count; ++i) {
      if (g_codecs[i] == codec) return static_cast<uint8_t>(i + 1);
    }
    return 0;
  };
  if (const uint8_t index = find(g_codec_count.load(std::memory_order_acquire))) return index;
  const std::lock_guard<std::mutex> lock(g_codec_mutex);
  const size_t count = g_codec_count.load(std::memory_order_relaxed);
  if (const uint8_t index = find(count)) return index;
  if (count == kMaxCodecs) throw std::logic_error("too many tag decoders");
  g_codecs[count] = codec;
  g_codec_count.store(count + 1, std::memory_order_release);
  return static_cast<uint8_t>(count + 1);
}

RawTags::RawTags(const RawTags& other) : size_(other.size_), codec_(other.codec_) {
  if (codec_ != 0) {
    begin_ = other.begin_;
  } else {
    owned_ = other.owned_ != nullptr ? new std::string(*other.owned_) : nullptr;
  }
}

RawTags& RawTags::operator=(const RawTags& other) {
  if (this != &other) *this = RawTags(other);
  return *this;
}

const TagCodec* RawTags::codec() const { return codec_ != 0 ? g_codecs[codec_ - 1] : nullptr; }

void RawTags::push_back(int16_t code, std::string_view value) {
  if (codec_ != 0) {
    // A slice becomes tags of its own before it grows.
    RawTags owned;
    for (const auto [c, v] : *this) owned.push_back(c, v);
    *this = std::move(owned);
  }
  if (owned_ == nullptr) owned_ = new std::string();
  const auto length = static_cast<uint32_t>(value.size());
  char head[6];
  std::memcpy(head, &code, 2);
  std::memcpy(head + 2, &length, 4);
  owned_->append(head, 6);
  owned_->append(value);
}

RawTags::Iterator RawTags::begin() const {
  if (codec_ != 0) return Iterator(begin_, begin_ + size_, codec());
  if (owned_ == nullptr) return Iterator(nullptr, nullptr, nullptr);
  return Iterator(owned_->data(), owned_->data() + owned_->size(), nullptr);
}

RawTags::Iterator RawTags::end() const {
  if (codec_ != 0) return Iterator(begin_ + size_, begin_ + size_, codec());
  if (owned_ == nullptr) return Iterator(nullptr, nullptr, nullptr);
  const char* stop = owned_->data() + owned_->size();
  return Iterator(stop, stop, nullptr);
}

RawTags::Iterator::Iterator(const char* p, const char* end, const TagCodec* codec)
    : p_(p), end_(end), codec_(codec) {
  Decode();
}

void RawTags::Iterator::Decode() {
  if (p_ >= end_) {
    next_ = end_;
    return;
  }
  if (codec_ != nullptr) {
    next_ = codec_->Decode(p_, end_, tag_.code, tag_.value, scratch_);
    return;
  }
  uint32_t length;
  std::memcpy(&tag_.code, p_, 2);
  std::memcpy(&length, p_ + 2, 4);
  tag_.value = std::string_view(p_ + 6, length);
  next_ = p_ + 6 + length;
}

RawTags::Iterator& RawTags::Iterator::operator++() {
  p_ = next_;
  Decode();
  return *this;
}

}  // namespace palvane::host::memory
