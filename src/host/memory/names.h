#pragma once

// Names as the in-memory host keeps them: compared with letter case ignored
// (in any script, as host/fold.h folds it), indexed by hash, checked when made, and texts many
// objects share.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "host/fold.h"
#include "host/memory/arena.h"
#include "host/symbol_name.h"

namespace palvane::host::memory {

// Hash and equality of names with letter case ignored (in any script, as
// host/fold.h folds it), for the table lookups that ignore case. Both take any string-like key, so
// that a lookup needs no folded copy of the name.
namespace fold {

// Names are hashed and compared eight bytes at a time, ASCII letters folded
// to upper case in every byte of a word at once.
inline constexpr uint64_t kOnes = 0x0101010101010101ull;
inline constexpr uint64_t kHighs = 0x8080808080808080ull;

inline uint64_t FoldWord(uint64_t w) {
  const uint64_t ascii = w & ~kHighs;
  const uint64_t from_a = (ascii + kOnes * (0x80 - 'a')) & kHighs;       // >= 'a'
  const uint64_t after_z = (ascii + kOnes * (0x80 - 'z' - 1)) & kHighs;  // > 'z'
  const uint64_t lower = from_a & ~after_z & ~(w & kHighs);              // bytes of 'a' to 'z'
  return w - (lower >> 2);                                               // less 0x20 each
}

// The word of `s` at byte `at`, the last one padded with zero bytes. Byte
// order does not matter: hash and comparison use the same words.
inline uint64_t Word(std::string_view s, size_t at) {
  uint64_t w = 0;
  if (s.size() - at >= 8) {
    std::memcpy(&w, s.data() + at, 8);
  } else {
    for (size_t i = at; i < s.size(); ++i) {
      w |= uint64_t{static_cast<unsigned char>(s[i])} << (8 * (i - at));
    }
  }
  return w;
}

}  // namespace fold

struct FoldedHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const {
    uint64_t h = name.size() * 0x9E3779B97F4A7C15ull, seen = 0;
    for (size_t at = 0; at < name.size(); at += 8) {
      const uint64_t w = fold::Word(name, at);
      seen |= w;
      h = (h ^ fold::FoldWord(w)) * 0xFF51AFD7ED558CCDull;
      h ^= h >> 32;
    }
    // A name beyond ASCII is hashed as its folded text, whose ASCII letters
    // fold as any ASCII name's do.
    if ((seen & fold::kHighs) != 0) {
      const std::string folded = FoldedText(name);
      if (folded != name) return (*this)(folded);
    }
    return static_cast<size_t>(h ^ (h >> 29));
  }
};
struct FoldedEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (size_t at = 0; at < a.size(); at += 8) {
      const uint64_t x = fold::Word(a, at), y = fold::Word(b, at);
      if (x == y) continue;
      // Letters beyond ASCII differ in bytes with the high bit set.
      if (((x | y) & fold::kHighs) != 0) return FoldedText(a) == FoldedText(b);
      if (fold::FoldWord(x) != fold::FoldWord(y)) return false;
    }
    return true;
  }
};
// Objects by name, letter case ignored: an open-addressed table of each
// name's hash and its object, so that a lookup reads one array and the
// object it finds rather than a chain of nodes. The name is the object's
// own (`name()`), stored once.
template <class T>
class NameIndex {
 public:
  T* Find(std::string_view name) const {
    if (slots_.empty()) return nullptr;
    const size_t hash = FoldedHash{}(name);
    for (size_t i = hash & mask(); slots_[i].object != nullptr; i = (i + 1) & mask()) {
      if (slots_[i].hash == hash && FoldedEqual{}(slots_[i].object->name(), name)) {
        return slots_[i].object;
      }
    }
    return nullptr;
  }
  // Adds an object whose name is not in the index yet.
  void Insert(T* object) {
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
    Place(Slot{FoldedHash{}(object->name()), object});
    ++count_;
  }
  void Erase(std::string_view name) {
    if (slots_.empty()) return;
    const size_t hash = FoldedHash{}(name);
    size_t i = hash & mask();
    while (slots_[i].object != nullptr &&
           !(slots_[i].hash == hash && FoldedEqual{}(slots_[i].object->name(), name))) {
      i = (i + 1) & mask();
    }
    if (slots_[i].object == nullptr) return;
    // Shift later members of the run back, so that no lookup stops early.
    for (size_t j = (i + 1) & mask(); slots_[j].object != nullptr; j = (j + 1) & mask()) {
      const size_t home = slots_[j].hash & mask();
      if (((j - home) & mask()) >= ((j - i) & mask())) {
        slots_[i] = slots_[j];
        i = j;
      }
    }
    slots_[i] = Slot{};
    --count_;
  }

 private:
  struct Slot {
    size_t hash = 0;
    T* object = nullptr;
  };
  size_t mask() const { return slots_.size() - 1; }
  void Place(const Slot& slot) {
    size_t i = slot.hash & mask();
    while (slots_[i].object != nullptr) i = (i + 1) & mask();
    slots_[i] = slot;
  }
  void Grow() {
    TableMemory<Slot> old = std::move(slots_);
    slots_ = TableMemory<Slot>(old.empty() ? 16 : old.size() * 2);
    for (const Slot& slot : old) {
      if (slot.object != nullptr) Place(slot);
    }
  }
  TableMemory<Slot> slots_;  // a power of two long, at most three quarters full
  size_t count_ = 0;
};

// Texts that many objects of one drawing hold alike (the tags and prompts of
// attributes: every block of a keyplan has the same six), each kept once.
// What it hands out stays where it is for as long as the pool lives.
class SharedTexts {
 public:
  const std::string* Share(std::string_view text);
  // The empty text, shared by every object that holds no text yet.
  static const std::string* Empty();

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_set<std::string, Hash, std::equal_to<>> texts_;
};

// A name's key for the lookups that ignore letter case: ASCII letters to
// upper case, other letters folded as FoldedEqual compares them.
std::string FoldName(const std::string& name);

}  // namespace palvane::host::memory
