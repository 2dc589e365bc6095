#include "kernels/dither_random.h"

#include <ctime>

namespace threeway {

namespace {
thread_local std::uint32_t ditherState = 1;
}  // namespace

void SeedDither(std::uint32_t seed) { ditherState = seed; }

void ReseedDitherFromClock() { SeedDither(static_cast<std::uint32_t>(std::time(nullptr))); }

std::uint32_t DitherState() { return ditherState; }

std::int32_t DitherRand() {
  ditherState = ditherState * kDitherMultiplier + kDitherIncrement;  // unsigned: wraps modulo 2^32
  return DitherValueOf(ditherState);
}

}  // namespace threeway
