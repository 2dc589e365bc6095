// Pixmill's test hooks: read the library's own counters, inject allocation failures and choose
// the row path.
//
// These are part of the stand-in library only, for tests and tools that check that transient
// blocks are given back and that conversions are called as often as expected.
#pragma once

#include <cstdint>

#include "pixmill/pixmill.h"

extern "C" {

// Transient blocks lent and not yet given back, over the whole process.
std::int64_t PM_DebugOutstandingTransientBlocks();

// The next `n` calls of PM_AllocateTransientMemoryBlock fail (null, handle 0, cookie 0), whatever
// their size. A later call replaces the remaining count; n <= 0 cancels it.
void PM_DebugFailNextTransientAllocations(std::int32_t n);

// PM_Convert calls so far in this process, failed calls included.
std::uint64_t PM_DebugConvertCallCount();

// The widest vector row path the processor has: 2 AVX-512 (F, BW, DQ and VL), 1 AVX2, 0 none.
std::int32_t PM_DebugVectorRowsAvailable();

// PM_Convert on the row path the caller names, whatever the vector switch says: 0 the scalar
// reference, 1 AVX2, 2 AVX-512 (kPixmillBadArgument for a path the processor lacks or any other
// number), so tests can set the paths side by side.
std::int32_t PM_DebugConvertOnPath(std::int32_t path, const void* src, std::int32_t srcRowBytes,
                                   PixmillPixelFormat srcFormat, void* dst, std::int32_t dstRowBytes,
                                   PixmillPixelFormat dstFormat, std::int32_t width, std::int32_t height);
}
