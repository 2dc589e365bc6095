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

// 1 when the processor has the vector (AVX2) row converters, else 0.
std::int32_t PM_DebugVectorRowsAvailable();

// PM_Convert on the row path the caller names, whatever the vector switch says: vectorRows 0 the
// scalar reference, otherwise the vector converters (kPixmillBadArgument when the processor has
// none), so tests can set the two side by side.
std::int32_t PM_DebugConvertOnPath(std::int32_t vectorRows, const void* src, std::int32_t srcRowBytes,
                                   PixmillPixelFormat srcFormat, void* dst, std::int32_t dstRowBytes,
                                   PixmillPixelFormat dstFormat, std::int32_t width, std::int32_t height);
}
