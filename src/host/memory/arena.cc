#include "host/memory/arena.h"

#include <algorithm>
#include <cstring>

#include "host/memory/objects.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace palvane::host::memory {

namespace {

// Blocks grow from small (a drawing of a few entities stays small) to the
// size of a huge page, which the system may back with one page instead of
// five hundred.
constexpr size_t kFirstBlock = size_t{64} << 10;
constexpr size_t kLargestBlock = size_t{2} << 20;

// Blocks of the largest size are aligned to it, so that each can be one
// huge page; smaller ones need only the entities' alignment.
std::align_val_t BlockAlignment(size_t size) {
  return std::align_val_t{size >= kLargestBlock ? kLargestBlock : size_t{16}};
}

}  // namespace

void* AllocateTableMemory(size_t bytes) {
  if (bytes == 0) return nullptr;
  const std::align_val_t alignment = BlockAlignment(bytes);
  void* data = ::operator new[](bytes, alignment);
#ifdef __linux__
  if (bytes >= kLargestBlock) ::madvise(data, bytes, MADV_HUGEPAGE);
#endif
  std::memset(data, 0, bytes);
  return data;
}

void FreeTableMemory(void* data, size_t bytes) {
  if (data != nullptr) ::operator delete[](data, BlockAlignment(bytes));
}

EntityArena::~EntityArena() {
  // Entities refer to one another only through the drawing, which is going:
  // the order of destruction does not matter.
  for (EntityCore* object : objects_) {
    if (object != nullptr) object->~EntityCore();
  }
  for (const Block& b : blocks_) ::operator delete[](b.data, BlockAlignment(b.size));
}

void* EntityArena::Allocate(size_t size, size_t alignment) {
  // Blocks start aligned to kAlign; the padding to this object's alignment
  // is taken from the block's room.
  const size_t padding = (alignment - reinterpret_cast<uintptr_t>(next_) % alignment) % alignment;
  if (size + padding <= left_) {
    next_ += padding;
    left_ -= padding;
  } else {
    const size_t grown = blocks_.empty() ? kFirstBlock : std::min(reserved_, kLargestBlock);
    const size_t block_size = std::max(grown, size);
    blocks_.reserve(blocks_.size() + 1);
    auto* data = static_cast<std::byte*>(::operator new[](block_size, BlockAlignment(block_size)));
#ifdef __linux__
    // Advice only: without huge pages the block works the same.
    if (block_size >= kLargestBlock) ::madvise(data, block_size, MADV_HUGEPAGE);
#endif
    blocks_.push_back({data, block_size});
    reserved_ += block_size;
    next_ = data;
    left_ = block_size;
  }
  void* at = next_;
  next_ += size;
  left_ -= size;
  return at;
}

}  // namespace palvane::host::memory
