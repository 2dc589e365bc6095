// Scratch memory for the renderer: host transient blocks, and the stack-or-transient rule.
//
// Scratch buffers (the frame pass's two rows, Render's qualifier row, the softening's work
// buffer) live on the caller's stack up to kScratchStackLimit bytes. Larger ones are borrowed from
// the host's image library as transient blocks and given back on every exit path, exceptions
// included, by the TransientBlock that holds them. Scratch never comes from the general heap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pixmill/pixmill.h"
#include "render/frame_desc.h"

namespace threeway {

// One transient block lent by the host. Holds the block until Release or destruction; an empty
// holder (handle 0) gives nothing back. Buffers taken from the stack leave the holder empty.
class TransientBlock {
 public:
  TransientBlock() = default;
  ~TransientBlock() { Release(); }

  TransientBlock(const TransientBlock&) = delete;
  TransientBlock& operator=(const TransientBlock&) = delete;

  TransientBlock(TransientBlock&& other) noexcept
      : handle_(other.handle_), data_(other.data_), cookie_(other.cookie_) {
    other.handle_ = 0;
    other.data_ = nullptr;
    other.cookie_ = 0;
  }
  TransientBlock& operator=(TransientBlock&& other) noexcept {
    if (this != &other) {
      Release();
      handle_ = other.handle_;
      data_ = other.data_;
      cookie_ = other.cookie_;
      other.handle_ = 0;
      other.data_ = nullptr;
      other.cookie_ = 0;
    }
    return *this;
  }

  // Borrows a block of at least `size` bytes (16-byte aligned) and returns its address, or null
  // when the host cannot lend one. A block already held is given back first.
  void* Allocate(std::size_t size) {
    Release();
    std::uint64_t handle = 0;
    std::uint64_t cookie = 0;
    void* data = PM_AllocateTransientMemoryBlock(static_cast<std::uint64_t>(size), &handle, &cookie);
    handle_ = handle;
    data_ = data;
    cookie_ = cookie;
    return data;
  }

  // Gives the block back if one is held, then clears the holder. Safe to call repeatedly.
  void Release() noexcept {
    if (handle_ != 0) PM_FreeTransientMemoryBlock(handle_, cookie_);
    handle_ = 0;
    data_ = nullptr;
    cookie_ = 0;
  }

  std::uint64_t handle() const { return handle_; }
  void* data() const { return data_; }
  std::uint64_t cookie() const { return cookie_; }

 private:
  std::uint64_t handle_ = 0;
  void* data_ = nullptr;
  std::uint64_t cookie_ = 0;
};

// Where a scratch buffer of a given byte size comes from.
enum class ScratchSource { kNone, kStack, kTransient };

// 0 bytes: no buffer; 1..kScratchStackLimit: the caller's stack; more: a transient block.
constexpr ScratchSource ClassifyScratch(std::size_t size) {
  return size == 0                    ? ScratchSource::kNone
         : size <= kScratchStackLimit ? ScratchSource::kStack
                                      : ScratchSource::kTransient;
}

}  // namespace threeway

// THREEWAY_SCRATCH(ptr, block, size): points `ptr` (any object pointer type) at `size` bytes of
// scratch. Up to kScratchStackLimit bytes the memory is carved from the calling function's own
// stack frame with alloca; above that it is a transient block held by `block` (a TransientBlock
// declared by the caller before the macro, so that it outlives every use of `ptr` and gives the
// block back on every exit path). A size of 0 sets `ptr` to null. A transient request the host
// cannot meet also leaves `ptr` null: callers must test for it.
//
// This has to be a macro: alloca memory belongs to the function that calls alloca and vanishes
// when that function returns, so a helper function could not hand stack memory back to its
// caller. Stack memory is 16-byte aligned and uninitialised; it lives until the calling function
// returns (not to the end of the enclosing block), so never expand this inside a loop.
#define THREEWAY_SCRATCH(ptr, block, size)                                                   \
  do {                                                                                       \
    const std::size_t threewayScratchSize_ = static_cast<std::size_t>(size);                 \
    switch (::threeway::ClassifyScratch(threewayScratchSize_)) {                             \
      case ::threeway::ScratchSource::kNone:                                                 \
        (ptr) = nullptr;                                                                     \
        break;                                                                               \
      case ::threeway::ScratchSource::kStack:                                                \
        (ptr) = static_cast<decltype(ptr)>(__builtin_alloca(threewayScratchSize_));          \
        break;                                                                               \
      case ::threeway::ScratchSource::kTransient:                                            \
        (ptr) = static_cast<decltype(ptr)>((block).Allocate(threewayScratchSize_));          \
        break;                                                                               \
    }                                                                                        \
  } while (0)
