#include "entry/suites.h"

namespace threeway {

namespace {

void LeaveFormattedMessage(const zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                           const char* text) {
  out->outFlags |= zkfx::kOutFlagDisplayErrorMessage;
  if (in->utils != nullptr && in->utils->formatMessage != nullptr) {
    in->utils->formatMessage(out->message, text);
  }
}

}  // namespace

std::int32_t AcquireSuite(const zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                          const char* name, std::int32_t version, const char* message,
                          const void** suite) {
  *suite = nullptr;
  const zkfx::BasicSuite* basic = in->basicSuite;
  if (basic != nullptr && basic->acquireSuite != nullptr) {
    basic->acquireSuite(name, version, suite);
    if (*suite != nullptr) return zkfx::kErrNone;
  }
  *suite = nullptr;
  LeaveFormattedMessage(in, out, message != nullptr ? message : kMsgCannotAcquireSuite);
  return zkfx::kErrSuiteUnavailable;
}

std::int32_t ReleaseSuite(const zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                          const char* name, std::int32_t version, const char* message) {
  const zkfx::BasicSuite* basic = in->basicSuite;
  if (basic != nullptr && basic->releaseSuite != nullptr) {
    basic->releaseSuite(name, version);
    return zkfx::kErrNone;
  }
  LeaveFormattedMessage(in, out, message != nullptr ? message : kMsgCannotReleaseSuite);
  return zkfx::kErrSuiteUnavailable;
}

void ReportError(const zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out, const char* text) {
  out->outFlags |= zkfx::kOutFlagDisplayErrorMessage;
  if (in->utils != nullptr && in->utils->copyMessage != nullptr) {
    in->utils->copyMessage(out->message, text);
  }
}

}  // namespace threeway
