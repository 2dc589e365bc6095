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

// Largest value DitherRand returns.
constexpr std::int32_t kDitherRandMax = 0x7FFF;

// Sets the calling thread's generator state to `seed`.
void SeedDither(std::uint32_t seed);

// Seeds the calling thread's generator with the current calendar time in seconds, as every
// renderer construction and every auto level button does.
void ReseedDitherFromClock();

// Advances the calling thread's generator once and returns the next value, 0..kDitherRandMax.
std::int32_t DitherRand();

}  // namespace threeway
