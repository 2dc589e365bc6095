// The dither's generator: the classic 15-bit sequences, per-thread state, the process's rand().
#include "kernels/dither_random.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace threeway {
namespace {

TEST(DitherRandom, ClassicSequencesWithinFifteenBits) {
  // The classic generator's first values for seed 1, and for a seed that wraps at once (worked in
  // arbitrary-precision arithmetic modulo 2^32). Reseeding restarts the sequence.
  const struct {
    std::uint32_t seed;
    std::vector<std::int32_t> values;
  } cases[] = {{1u, {41, 18467, 6334, 26500, 19169}}, {0xFFFFFFFFu, {35, 29739, 3374}},
               {1u, {41}}};
  for (const auto& c : cases) {
    SeedDither(c.seed);
    for (std::int32_t v : c.values) EXPECT_EQ(DitherRand(), v) << c.seed;
  }
  for (int i = 0; i < 100000; ++i) {
    const std::int32_t v = DitherRand();
    ASSERT_TRUE(v >= 0 && v <= kDitherRandMax) << v;
  }
}

TEST(DitherRandom, EachThreadHasItsOwnState) {
  SeedDither(1);
  EXPECT_EQ(DitherRand(), 41);
  std::vector<std::int32_t> drawn;
  std::thread other([&] {
    drawn.push_back(DitherRand());  // a thread that never seeded starts from state 1
    drawn.push_back(DitherRand());
    SeedDither(0xFFFFFFFFu);
    drawn.push_back(DitherRand());
  });
  other.join();
  EXPECT_EQ(drawn, (std::vector<std::int32_t>{41, 18467, 35}));
  EXPECT_EQ(DitherRand(), 18467);  // this thread's sequence went on undisturbed
}

TEST(DitherRandom, LeavesTheProcessGeneratorAlone) {
  std::srand(4242);
  const int first = std::rand();
  const int second = std::rand();
  std::srand(4242);
  EXPECT_EQ(std::rand(), first);
  SeedDither(99);
  for (int i = 0; i < 1000; ++i) DitherRand();
  EXPECT_EQ(std::rand(), second);
}

}  // namespace
}  // namespace threeway
