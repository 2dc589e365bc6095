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
    EXPECT_EQ(c.data(), p);
    EXPECT_EQ(b.handle(), 0u);

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

// Runs THREEWAY_SCRATCH in its own frame and reports what it obtained.
struct ScratchOutcome {
  bool gotMemory;
  bool heldBlock;
  bool pointsIntoBlock;
  bool aligned16;
  std::int64_t outstandingInside;
};

ScratchOutcome TakeScratch(std::size_t size) {
  TransientBlock block;
  float* p = nullptr;
  THREEWAY_SCRATCH(p, block, size);
  ScratchOutcome o;
  o.gotMemory = p != nullptr;
  o.heldBlock = block.handle() != 0;
  o.pointsIntoBlock = p != nullptr && static_cast<void*>(p) == block.data();
  o.aligned16 = reinterpret_cast<std::uintptr_t>(p) % 16 == 0;
  if (p != nullptr) std::memset(p, 0x5A, size);  // the whole size is writable
  o.outstandingInside = PM_DebugOutstandingTransientBlocks();
  return o;
}

TEST(ScratchMacro, TakesStackOrTransientAndGivesBlocksBack) {
  struct Case {
    std::size_t size;
    bool memory, block;
  };
  const Case cases[] = {
      {0, false, false},
      {1, true, false},
      {4096, true, false},
      {kScratchStackLimit, true, false},
      {kScratchStackLimit + 1, true, true},
      {3u << 20, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const auto before = PM_DebugOutstandingTransientBlocks();
    const ScratchOutcome o = TakeScratch(c.size);
    EXPECT_EQ(o.gotMemory, c.memory);
    EXPECT_EQ(o.heldBlock, c.block);
    EXPECT_EQ(o.pointsIntoBlock, c.block);
    if (c.memory) {
      EXPECT_TRUE(o.aligned16);
    }
    EXPECT_EQ(o.outstandingInside, before + (c.block ? 1 : 0));
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
  }
}

TEST(ScratchMacro, RefusedTransientGivesNullAndStackIsUnaffected) {
  const auto before = PM_DebugOutstandingTransientBlocks();
  PM_DebugFailNextTransientAllocations(1);
  const ScratchOutcome small = TakeScratch(kScratchStackLimit);  // stack: refusal not consumed
  EXPECT_TRUE(small.gotMemory);
  const ScratchOutcome large = TakeScratch(kScratchStackLimit + 1);
  EXPECT_FALSE(large.gotMemory);
  EXPECT_FALSE(large.heldBlock);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
}

}  // namespace
}  // namespace threeway
