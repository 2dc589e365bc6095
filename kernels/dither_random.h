// The dither's pseudo-random generator.
//
// A 15-bit linear-congruential generator with the classic srand/rand behaviour: seeding stores the
// seed as the state; each draw advances state = state * 214013 + 2531011 (mod 2^32) and returns
// bits 16..30 of the new state, 0..32767. A thread that never seeds starts from state 1.
//
// The state is per thread (thread_local). It is the one piece of mutable state the design keeps
// between calls: every renderer construction reseeds it from the clock, and the dither of the
// frame pass draws from it. The process's own rand()/srand() are never touched.
#pragma once

#include <cstdint>

namespace threeway {

// The generator's step: state = state * kDitherMultiplier + kDitherIncrement (mod 2^32).
constexpr std::uint32_t kDitherMultiplier = 214013u;
constexpr std::uint32_t kDitherIncrement = 2531011u;

// Largest value DitherRand returns.
constexpr std::int32_t kDitherRandMax = 0x7FFF;

// Sets the calling thread's generator state to `seed`.
void SeedDither(std::uint32_t seed);

// Seeds the calling thread's generator with the current calendar time in seconds, as every
// renderer construction and every auto level button does.
void ReseedDitherFromClock();

// Advances the calling thread's generator once and returns the next value, 0..kDitherRandMax.
std::int32_t DitherRand();

// The calling thread's generator state. Code that draws many values at once (the vector pass, eight
// pixels a step) reads it, advances a copy by DitherLeap and hands the state back through SeedDither,
// so the sequence and the state left behind are those of as many DitherRand calls.
std::uint32_t DitherState();

// The generator's step taken `draws` times at once: state' = multiply * state + add (mod 2^32).
struct DitherLeap {
  std::uint32_t multiply;
  std::uint32_t add;
};
constexpr DitherLeap DitherLeapOf(std::uint32_t draws) {
  DitherLeap leap{1u, 0u};
  for (std::uint32_t i = 0; i < draws; ++i) {
    leap = {leap.multiply * kDitherMultiplier, leap.add * kDitherMultiplier + kDitherIncrement};
  }
  return leap;
}

// A draw scaled for the dither is draw / 16383.5 - 1. The vector pass takes the quotient as
// draw * kDrawQuotientHigh + draw * kDrawQuotientLow: the first product is exact (a power of two),
// the second is rounded once, and the sum rounds to the quotient's own bits for every draw
// 0..kDitherRandMax (draw / 16383.5 = 2 draw / 32767 repeats with a 15-bit period, so it never
// lies near a rounding midpoint; a test checks every draw). The division is slower.
constexpr float kDrawQuotientHigh = 0x1p-14f;
constexpr float kDrawQuotientLow = 0x1.0002p-29f;

// The value a draw returns from the state it leaves behind: bits 16..30.
constexpr std::int32_t DitherValueOf(std::uint32_t state) {
  return static_cast<std::int32_t>((state >> 16) & 0x7FFFu);
}

}  // namespace threeway
