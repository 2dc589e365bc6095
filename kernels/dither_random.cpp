#include "kernels/dither_random.h"

#include <ctime>

namespace threeway {

namespace {
thread_local std::uint32_t ditherState = 1;
}  // namespace

void SeedDither(std::uint32_t seed) { ditherState = seed; }

void ReseedDitherFromClock() { SeedDither(static_cast<std::uint32_t>(std::time(nullptr))); }

std::int32_t DitherRand() {
  ditherState = ditherState * 214013u + 2531011u;  // unsigned: wraps modulo 2^32
  return static_cast<std::int32_t>((ditherState >> 16) & 0x7FFFu);
}

}  // namespace threeway
