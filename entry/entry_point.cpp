// The module's one exported symbol.
//
// C++ does not allow a function named `main` with C linkage, so the entry point is an ordinary
// function given the assembler name "main"; the version script (exports.map) hides every other
// symbol. No exception ever crosses into the host.
#include <new>
#include <type_traits>

#include "entry/dispatch.h"

std::int32_t ThreeWayEntryPoint(std::int32_t command, zkfx::HostInputRecord* in,
                                zkfx::HostOutputRecord* out, zkfx::ParamRecord** params,
                                zkfx::HostFrame* output, void* extra) __asm__("main");

[[gnu::visibility("default")]] std::int32_t ThreeWayEntryPoint(
    std::int32_t command, zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
    zkfx::ParamRecord** params, zkfx::HostFrame* output, void* extra) {
  try {
    return threeway::Dispatch(command, in, out, params, output, extra);
  } catch (const std::bad_alloc&) {
    return zkfx::kErrOutOfMemory;
  } catch (...) {
    return zkfx::kErrInternal;
  }
}

// The host resolves the symbol through this signature.
static_assert(std::is_same_v<decltype(&ThreeWayEntryPoint), zkfx::EntryPoint>);
