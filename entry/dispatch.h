// The effect's command dispatcher and its life-cycle handlers.
//
// `main` (exported by the module) forwards every call here. Each handler returns a result code;
// the first failure stops it and its code goes back to the host unchanged.
#pragma once

#include <cstdint>

#include "entry/host_interface.h"

namespace threeway {

std::int32_t Dispatch(std::int32_t command, zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                      zkfx::ParamRecord** params, zkfx::HostFrame* output, void* extra);

// Life-cycle handlers.
std::int32_t GlobalSetup(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out);
std::int32_t GlobalSetdown(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out);
std::int32_t ParamsSetup(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out);
// A fresh sequence record is zero-filled (peak 0, all counts and normalised bins 0), so the auto
// level buttons give black 0 and white 255 before the first render. When the host cannot supply
// the 2052 bytes the command fails with kErrOutOfMemory and no record is stored.
std::int32_t SequenceSetup(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out);
std::int32_t SequenceResetup(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out);

}  // namespace threeway
