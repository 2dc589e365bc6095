// Global, parameter and sequence set-up and tear-down.
#include <cstring>

#include "entry/dispatch.h"
#include "entry/suites.h"
#include "params/declare.h"
#include "params/catalogue.h"
#include "params/string_table.h"

namespace threeway {

namespace {

// The nine pixel formats the effect accepts, in the order it declares them.
constexpr std::uint32_t kDeclaredPixelFormats[] = {
    zkfx::kPixelFormatVUYA8,  zkfx::kPixelFormatVUYA16,  zkfx::kPixelFormatVUYA32f,
    zkfx::kPixelFormatBGRA8,  zkfx::kPixelFormatBGRA16,  zkfx::kPixelFormatBGRA32f,
    zkfx::kPixelFormatARGB8,  zkfx::kPixelFormatARGB16,  zkfx::kPixelFormatARGB32f,
};

void* HandleBlock(zkfx::MemHandle handle) { return handle != nullptr ? *handle : nullptr; }

std::int32_t NewSequenceRecord(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out) {
  zkfx::MemHandle handle = in->utils->newHandle(zkfx::kLumaHistogramSize);
  out->sequenceData = handle;
  if (HandleBlock(handle) == nullptr) {
    out->sequenceData = nullptr;
    if (handle != nullptr) in->utils->disposeHandle(handle);
    return zkfx::kErrOutOfMemory;
  }
  std::memset(*handle, 0, zkfx::kLumaHistogramSize);
  return zkfx::kErrNone;
}

void DeclarePixelFormats(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out) {
  const zkfx::PixelFormatSuite1* suite = nullptr;
  if (AcquireSuiteAs(in, out, zkfx::kPixelFormatSuiteName, zkfx::kPixelFormatSuiteVersion, &suite) !=
      zkfx::kErrNone) {
    return;  // the message stays; global set-up still succeeds
  }
  suite->resetPixelFormats(in->effectRef);
  for (std::uint32_t code : kDeclaredPixelFormats) suite->declarePixelFormat(in->effectRef, code);
  ReleaseSuite(in, out, zkfx::kPixelFormatSuiteName, zkfx::kPixelFormatSuiteVersion, nullptr);
}

}  // namespace

std::int32_t GlobalSetup(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out) {
  zkfx::StringTableToken slot = *DisplayStringTableWord();
  std::int32_t result = in->callbacks.registerStrings != nullptr
                            ? in->callbacks.registerStrings(&slot, zkfx::kStringTableProtocol)
                            : zkfx::kErrSuiteUnavailable;
  if (result == zkfx::kErrNone) {
    zkfx::MemHandle handle = in->utils->newHandle(sizeof(zkfx::GlobalRecord));
    if (HandleBlock(handle) == nullptr) {
      if (handle != nullptr) in->utils->disposeHandle(handle);
      result = zkfx::kErrOutOfMemory;
    } else {
      auto* record = static_cast<zkfx::GlobalRecord*>(*handle);
      std::memset(record, 0, sizeof *record);
      record->stringTableToken = slot;
      out->globalData = handle;
      in->globalData = handle;
      out->version = zkfx::kEffectVersion;
      out->outFlags |= zkfx::kOutFlagGlobalSetupBits;
      DeclarePixelFormats(in, out);
      return zkfx::kErrNone;
    }
  }
  if (slot != nullptr && in->callbacks.unregisterStrings != nullptr) {
    in->callbacks.unregisterStrings(&slot);
  }
  ReportError(in, out, kMsgCouldNotInitialize);
  return result;
}

std::int32_t GlobalSetdown(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out) {
  zkfx::MemHandle handle = in->globalData;
  if (auto* record = static_cast<zkfx::GlobalRecord*>(HandleBlock(handle))) {
    zkfx::StringTableToken slot = record->stringTableToken;
    if (in->callbacks.unregisterStrings != nullptr) in->callbacks.unregisterStrings(&slot);
    record->stringTableToken = nullptr;
  }
  if (handle != nullptr) in->utils->disposeHandle(handle);
  out->globalData = nullptr;
  in->globalData = nullptr;
  return zkfx::kErrNone;
}

std::int32_t ParamsSetup(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out) {
  const zkfx::GroupParamSuite1* groups = nullptr;
  const std::int32_t acquired =
      AcquireSuiteAs(in, out, zkfx::kGroupParamSuiteName, zkfx::kGroupParamSuiteVersion, &groups);
  if (acquired != zkfx::kErrNone) return acquired;

  zkfx::ParamRecord scratch;
  const std::int32_t declared = DeclareAllParams(in, &scratch, groups);
  ReleaseSuite(in, out, zkfx::kGroupParamSuiteName, zkfx::kGroupParamSuiteVersion, nullptr);
  if (declared != zkfx::kErrNone) return declared;
  out->paramCount = kParamCount;
  return zkfx::kErrNone;
}

std::int32_t SequenceSetup(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out) {
  return NewSequenceRecord(in, out);
}

std::int32_t SequenceResetup(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out) {
  zkfx::MemHandle handed = in->sequenceData;
  if (handed != nullptr && in->utils->getHandleSize(handed) == zkfx::kLumaHistogramSize) {
    out->sequenceData = handed;
    return zkfx::kErrNone;
  }
  if (handed != nullptr) {
    in->utils->disposeHandle(handed);
    in->sequenceData = nullptr;
  }
  return NewSequenceRecord(in, out);
}

}  // namespace threeway
