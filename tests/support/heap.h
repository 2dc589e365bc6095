// Bytes of heap memory the process has in use now: what the allocator handed out and was not
// given back. Under AddressSanitizer its own allocator keeps the count; otherwise glibc's.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// From the AddressSanitizer runtime (its header is not installed with every compiler).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace threeway::test {

inline std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

}  // namespace threeway::test
