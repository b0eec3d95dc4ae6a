#pragma once

// Where a drawing's entities live: blocks of memory handed out in order, so
// that an entity costs no allocation of its own, and released all at once
// with the drawing. A survey drawing holds hundreds of thousands of small
// entities; one heap allocation each, with its bookkeeping, would cost more
// time and memory than the entities themselves.

#include <cstddef>
#include <deque>
#include <new>
#include <utility>
#include <vector>

namespace palvane::host::memory {

class EntityCore;

class EntityArena {
 public:
  EntityArena() = default;
  EntityArena(const EntityArena&) = delete;
  EntityArena& operator=(const EntityArena&) = delete;
  // Destroys every object made here, then releases the blocks.
  ~EntityArena();

  // Makes a T here; it lives as long as the arena.
  template <class T, class... Args>
  T* Make(Args&&... args) {
    static_assert(alignof(T) <= kAlign, "entities are aligned to 16 bytes at most");
    void* at = Allocate(sizeof(T));
    objects_.push_back(nullptr);  // first, so that a failure here leaks nothing
    try {
      T* object = new (at) T(std::forward<Args>(args)...);
      objects_.back() = object;
      return object;
    } catch (...) {
      objects_.pop_back();
      throw;
    }
  }

 private:
  static constexpr size_t kAlign = 16;
  struct Block {
    std::byte* data;
    size_t size;
  };

  void* Allocate(size_t size);

  std::vector<Block> blocks_;
  std::byte* next_ = nullptr;
  size_t left_ = 0;
  size_t reserved_ = 0;
  // For destruction: the objects in the order they were made. A deque grows
  // without moving what it holds, so growing never needs twice the room.
  std::deque<EntityCore*> objects_;
};

}  // namespace palvane::host::memory
