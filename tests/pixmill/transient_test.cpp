// Transient blocks: alignment and usable size, giving back (and refusing bogus give-backs), fault
// injection, impossible sizes, and concurrent use from several threads.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "pixmill/pixmill.h"
#include "pixmill/pixmill_debug.h"

namespace {

struct Lent {
  void* data;
  std::uint64_t handle, cookie;
};
Lent Borrow(std::uint64_t size) {
  Lent b{nullptr, 0xDEAD, 0xBEEF};
  b.data = PM_AllocateTransientMemoryBlock(size, &b.handle, &b.cookie);
  return b;
}

// Every size gives a 64-byte-aligned block whose whole extent can be written (run under the
// address sanitizer this also proves the size), with a distinct nonzero handle.
TEST(PixmillTransient, BlocksAreAlignedSizedAndGivenBack) {
  const std::int64_t base = PM_DebugOutstandingTransientBlocks();
  const std::uint64_t sizes[] = {0, 1, 63, 64, 65, 4096, 262145, 1u << 24};
  std::vector<Lent> blocks;
  std::set<std::uint64_t> handles;
  for (std::uint64_t size : sizes) {
    Lent b = Borrow(size);
    ASSERT_NE(b.data, nullptr) << size;
    EXPECT_NE(b.handle, 0u) << size;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.data) % 64, 0u) << size;
    std::memset(b.data, 0x6B, size);
    handles.insert(b.handle);
    blocks.push_back(b);
  }
  EXPECT_EQ(handles.size(), std::size(sizes));
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks() - base, static_cast<std::int64_t>(std::size(sizes)));
  for (const Lent& b : blocks) PM_FreeTransientMemoryBlock(b.handle, b.cookie);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base);
}

// Give-backs that do not name a lent block (wrong cookie, handle 0, never lent, given back already)
// are ignored. Injected failures and impossible requests give null, handle 0 and cookie 0; a
// cancelled injection refuses nothing.
TEST(PixmillTransient, BogusGiveBacksAndFailures) {
  const std::int64_t base = PM_DebugOutstandingTransientBlocks();
  Lent b = Borrow(1000);
  ASSERT_NE(b.data, nullptr);
  PM_FreeTransientMemoryBlock(b.handle, b.cookie ^ 1);
  PM_FreeTransientMemoryBlock(0, b.cookie);
  PM_FreeTransientMemoryBlock(b.handle + 1000, b.cookie);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base + 1);
  std::memset(b.data, 1, 1000);  // still ours
  PM_FreeTransientMemoryBlock(b.handle, b.cookie);
  PM_FreeTransientMemoryBlock(b.handle, b.cookie);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base);

  auto refused = [](const Lent& l) { return l.data == nullptr && l.handle == 0u && l.cookie == 0u; };
  PM_DebugFailNextTransientAllocations(2);
  EXPECT_TRUE(refused(Borrow(64)));
  EXPECT_TRUE(refused(Borrow(64)));
  for (bool cancel : {false, true}) {  // the third request is served, as is one after a cancel
    if (cancel) PM_DebugFailNextTransientAllocations(5);
    if (cancel) PM_DebugFailNextTransientAllocations(0);
    const Lent served = Borrow(64);
    ASSERT_FALSE(refused(served));
    PM_FreeTransientMemoryBlock(served.handle, served.cookie);
  }
  for (std::uint64_t size : {UINT64_MAX, UINT64_MAX - 10, (std::uint64_t{1} << 39) + 1}) {
    EXPECT_TRUE(refused(Borrow(size))) << size;
  }
  std::uint64_t handle = 7;
  EXPECT_EQ(PM_AllocateTransientMemoryBlock(16, &handle, nullptr), nullptr);
  EXPECT_EQ(PM_AllocateTransientMemoryBlock(16, nullptr, &handle), nullptr);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base);
}

// Two threads borrowing and giving back at once leave the count where it was, and never get the
// same handle twice.
TEST(PixmillTransient, ConcurrentBorrowers) {
  const std::int64_t base = PM_DebugOutstandingTransientBlocks();
  constexpr int kRounds = 2000;
  std::vector<std::uint64_t> seen[2];
  auto work = [&](int t) {
    for (int i = 0; i < kRounds; ++i) {
      Lent b = Borrow(static_cast<std::uint64_t>(64 * (i % 17)));
      if (b.data == nullptr) continue;
      static_cast<unsigned char*>(b.data)[0] = static_cast<unsigned char>(i);
      seen[t].push_back(b.handle);
      PM_FreeTransientMemoryBlock(b.handle, b.cookie);
    }
  };
  std::thread a(work, 0), b(work, 1);
  a.join();
  b.join();
  EXPECT_EQ(seen[0].size() + seen[1].size(), 2u * kRounds);
  std::set<std::uint64_t> all(seen[0].begin(), seen[0].end());
  all.insert(seen[1].begin(), seen[1].end());
  EXPECT_EQ(all.size(), 2u * kRounds);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base);
}

}  // namespace
