// Acquiring and releasing the host's named suites, with the message a user sees on failure.
#pragma once

#include <cstdint>

#include "entry/host_interface.h"

namespace threeway {

inline constexpr const char* kMsgCannotAcquireSuite = "Not able to acquire ZKFX Suite.";
inline constexpr const char* kMsgCannotReleaseSuite = "Not able to release ZKFX Suite.";
inline constexpr const char* kMsgCouldNotInitialize = "ThreeWayColorCorrector could not be initialized.";

// Asks the host's basic suite for the named suite. kErrNone and *suite set when the host yields a
// non-null suite; otherwise the message (default kMsgCannotAcquireSuite) goes into the output
// record's message field with kOutFlagDisplayErrorMessage, *suite is null and the result is
// kErrSuiteUnavailable.
std::int32_t AcquireSuite(const zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                          const char* name, std::int32_t version, const char* message,
                          const void** suite);

// Gives a suite back. Without a basic suite: the message (default kMsgCannotReleaseSuite), the
// flag, and kErrSuiteUnavailable.
std::int32_t ReleaseSuite(const zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                          const char* name, std::int32_t version, const char* message);

// Typed convenience over AcquireSuite.
template <typename Suite>
std::int32_t AcquireSuiteAs(const zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                            const char* name, std::int32_t version, const Suite** suite) {
  const void* raw = nullptr;
  const std::int32_t result = AcquireSuite(in, out, name, version, nullptr, &raw);
  *suite = static_cast<const Suite*>(raw);
  return result;
}

// Leaves a message for the user: ORs kOutFlagDisplayErrorMessage and copies the text.
void ReportError(const zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out, const char* text);

}  // namespace threeway
