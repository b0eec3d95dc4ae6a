#pragma once

// Where a drawing's entities live: blocks of memory handed out in order, so
// that an entity costs no allocation of its own, and released all at once
// with the drawing. A survey drawing holds hundreds of thousands of small
// entities; one heap allocation each, with its bookkeeping, would cost more
// time and memory than the entities themselves.

#include <cstddef>
#include <deque>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace palvane::host::memory {

class EntityCore;

// Zeroed memory for a table read at random (the name indexes of drawings
// with a hundred thousand layers): from 2 MiB on it is aligned and advised as
// huge pages, so that a lookup needs fewer address translations.
void* AllocateTableMemory(size_t bytes);
void FreeTableMemory(void* data, size_t bytes);

// An array of trivial T in such memory, all zero bytes at first.
template <class T>
class TableMemory {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  TableMemory() = default;
  explicit TableMemory(size_t size)
      : data_(static_cast<T*>(AllocateTableMemory(size * sizeof(T)))), size_(size) {}
  TableMemory(TableMemory&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  TableMemory& operator=(TableMemory&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  ~TableMemory() { FreeTableMemory(data_, size_ * sizeof(T)); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
};

class EntityArena {
 public:
  EntityArena() = default;
  EntityArena(const EntityArena&) = delete;
  EntityArena& operator=(const EntityArena&) = delete;
  // Destroys every object made here, then releases the blocks.
  ~EntityArena();

  // Room for an object the caller makes and destroys; the room itself is
  // released with the arena.
  void* AllocateBytes(size_t size, size_t alignment) { return Allocate(size, alignment); }

  // Makes a T here; it lives as long as the arena.
  template <class T, class... Args>
  T* Make(Args&&... args) {
    static_assert(alignof(T) <= kAlign, "entities are aligned to 16 bytes at most");
    // Each object takes the alignment it needs, not the largest: an entity
    // of 184 bytes would otherwise take 192.
    void* at = Allocate(sizeof(T), alignof(T));
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

  void* Allocate(size_t size, size_t alignment);

  std::vector<Block> blocks_;
  std::byte* next_ = nullptr;
  size_t left_ = 0;
  size_t reserved_ = 0;
  // For destruction: the objects in the order they were made. A deque grows
  // without moving what it holds, so growing never needs twice the room.
  std::deque<EntityCore*> objects_;
};

}  // namespace palvane::host::memory
