// Pixmill's test hooks: read the library's own counters and inject allocation failures.
//
// These are part of the stand-in library only, for tests and tools that check that transient
// blocks are given back and that conversions are called as often as expected.
#pragma once

#include <cstdint>

extern "C" {

// Transient blocks lent and not yet given back, over the whole process.
std::int64_t PM_DebugOutstandingTransientBlocks();

// The next `n` calls of PM_AllocateTransientMemoryBlock fail (null, handle 0, cookie 0), whatever
// their size. A later call replaces the remaining count; n <= 0 cancels it.
void PM_DebugFailNextTransientAllocations(std::int32_t n);

// PM_Convert calls so far in this process, failed calls included.
std::uint64_t PM_DebugConvertCallCount();
}
