// TransientBlock and the stack-or-transient scratch rule, checked against the host library's own
// count of outstanding blocks.
#include "render/transient_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "pixmill/pixmill_debug.h"

namespace threeway {
namespace {

static_assert(!std::is_copy_constructible_v<TransientBlock>);
static_assert(!std::is_copy_assignable_v<TransientBlock>);
static_assert(std::is_nothrow_move_constructible_v<TransientBlock>);
static_assert(std::is_nothrow_move_assignable_v<TransientBlock>);

TEST(TransientBlock, AllocateReleaseAndDestroyGiveTheBlockBack) {
  const auto before = PM_DebugOutstandingTransientBlocks();
  {
    TransientBlock block;
    EXPECT_TRUE(block.handle() == 0u && block.data() == nullptr);
    void* p = block.Allocate(1000);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(block.data(), p);
    EXPECT_NE(block.handle(), 0u);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);
    std::memset(p, 0xAB, 1000);  // the whole size is usable

    // A second Allocate gives the first block back before borrowing again.
    void* q = block.Allocate(300000);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);

    block.Release();
    EXPECT_TRUE(block.handle() == 0u && block.data() == nullptr && block.cookie() == 0u);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
    block.Release();  // releasing an empty holder gives nothing back
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);

    ASSERT_NE(block.Allocate(64), nullptr);
    // A refused request gives the held block back and leaves the holder empty.
    PM_DebugFailNextTransientAllocations(1);
    EXPECT_EQ(block.Allocate(1 << 20), nullptr);
    EXPECT_TRUE(block.handle() == 0u && block.data() == nullptr && block.cookie() == 0u);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
    ASSERT_NE(block.Allocate(64), nullptr);  // the destructor gives this one back
  }
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
}

TEST(TransientBlock, MovesTransferOwnershipExactlyOnce) {
  const auto before = PM_DebugOutstandingTransientBlocks();
  {
    TransientBlock a;
    void* p = a.Allocate(4096);
    ASSERT_NE(p, nullptr);
    TransientBlock b(std::move(a));
    EXPECT_TRUE(a.handle() == 0u && a.data() == nullptr && b.data() == p);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);

    TransientBlock c;
    ASSERT_NE(c.Allocate(128), nullptr);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 2);
    c = std::move(b);  // c's own block goes back, b's is taken over
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);
    EXPECT_TRUE(c.data() == p && b.handle() == 0u);

    TransientBlock& self = c;
    c = std::move(self);  // self-move keeps the block
    EXPECT_EQ(c.data(), p);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);
  }
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
}

TEST(TransientBlock, ExceptionsGiveTheBlockBack) {
  const auto before = PM_DebugOutstandingTransientBlocks();
  EXPECT_THROW(
      {
        TransientBlock block;
        ASSERT_NE(block.Allocate(500000), nullptr);
        ASSERT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);
        throw std::runtime_error("interrupted");
      },
      std::runtime_error);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
}

// THREEWAY_SCRATCH in its own frame: the address it gave (0 for none), and whether that is the
// block the holder took (given back when the holder goes). The whole size is written.
std::uintptr_t TakeScratch(std::size_t size, bool& held) {
  TransientBlock block;
  float* p = nullptr;
  THREEWAY_SCRATCH(p, block, size);
  held = block.handle() != 0 && static_cast<void*>(p) == block.data();
  if (p != nullptr) std::memset(p, 0x5A, size);
  return reinterpret_cast<std::uintptr_t>(p);
}

// Nothing for 0 bytes; 16-byte aligned stack up to the limit, where a pending refusal is not
// consumed; a transient block above it, or null when the host refuses.
TEST(ScratchMacro, NoneStackOrTransient) {
  const auto before = PM_DebugOutstandingTransientBlocks();
  bool held = true;
  EXPECT_EQ(TakeScratch(0, held), 0u);
  EXPECT_FALSE(held);
  PM_DebugFailNextTransientAllocations(1);
  for (std::size_t size : {std::size_t{1}, std::size_t{4096}, kScratchStackLimit}) {
    const std::uintptr_t stack = TakeScratch(size, held);
    EXPECT_TRUE(stack != 0 && stack % 16 == 0 && !held) << size;
  }
  EXPECT_EQ(TakeScratch(kScratchStackLimit + 1, held), 0u);  // takes the refusal
  EXPECT_FALSE(held);
  for (std::size_t size : {kScratchStackLimit + 1, std::size_t{3} << 20}) {
    EXPECT_NE(TakeScratch(size, held), 0u) << size;
    EXPECT_TRUE(held) << size;
  }
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
}

}  // namespace
}  // namespace threeway
