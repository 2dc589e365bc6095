#include "tests/support/recording_host.h"

namespace threeway::test {

using threeway::host::Host;

std::size_t CallLogs::Total() const {
  return static_cast<std::size_t>(addParamCalls + setGroupKindCalls + newHandleCalls +
                                  registerStringsCalls + pixelFormatResets + unknownHandleDisposals +
                                  refusedCopyRects) +
         declaredFormats.size() + unregisterStringsSlotValues.size() + suites.size() +
         refreshes.size();
}

std::int32_t RecordingHost::OnAddParam(std::int32_t index, const zkfx::ParamRecord* record) {
  if (++logs_.addParamCalls == faults_.failAddParamAt) return faults_.addParamCode;
  return Host::OnAddParam(index, record);
}

std::int32_t RecordingHost::OnSetGroupKind(std::int32_t index, std::int32_t kind) {
  if (++logs_.setGroupKindCalls == faults_.failSetGroupKindAt) return faults_.setGroupKindCode;
  return Host::OnSetGroupKind(index, kind);
}

zkfx::MemHandle RecordingHost::OnNewHandle(std::uint64_t size) {
  if (++logs_.newHandleCalls == faults_.failNewHandleAt) return nullptr;
  return Host::OnNewHandle(size);
}

void RecordingHost::OnDisposeHandle(zkfx::MemHandle handle) {
  if (!DisposeHandle(handle)) ++logs_.unknownHandleDisposals;
}

std::int32_t RecordingHost::OnRegisterStrings(zkfx::StringTableToken* slot, std::int32_t protocol) {
  ++logs_.registerStringsCalls;
  if (faults_.registerStringsCode != 0) return faults_.registerStringsCode;
  return Host::OnRegisterStrings(slot, protocol);
}

void RecordingHost::OnUnregisterStrings(zkfx::StringTableToken* slot) {
  logs_.unregisterStringsSlotValues.push_back(slot ? *slot : nullptr);
  Host::OnUnregisterStrings(slot);
}

std::int32_t RecordingHost::OnAcquireSuite(const char* name, std::int32_t version, const void** suite) {
  if (name != nullptr && suite != nullptr && faults_.missingSuites.count(name) != 0) {
    *suite = nullptr;
    logs_.suites.push_back({true, name, false});
    return zkfx::kErrSuiteUnavailable;
  }
  const std::int32_t result = Host::OnAcquireSuite(name, version, suite);
  if (name != nullptr) logs_.suites.push_back({true, name, result == zkfx::kErrNone});
  return result;
}

std::int32_t RecordingHost::OnReleaseSuite(const char* name, std::int32_t version) {
  const std::int32_t result = Host::OnReleaseSuite(name, version);
  if (name != nullptr) logs_.suites.push_back({false, name, result == zkfx::kErrNone});
  return result;
}

std::int32_t RecordingHost::OnResetPixelFormats() {
  ++logs_.pixelFormatResets;
  return Host::OnResetPixelFormats();
}

std::int32_t RecordingHost::OnDeclarePixelFormat(std::uint32_t code) {
  logs_.declaredFormats.push_back(code);
  return Host::OnDeclarePixelFormat(code);
}

std::int32_t RecordingHost::OnRefreshParamUI(std::int32_t index, const zkfx::ParamRecord* record) {
  const std::int32_t result = Host::OnRefreshParamUI(index, record);
  if (record != nullptr) logs_.refreshes.push_back({index, *record});
  return result;
}

std::int32_t RecordingHost::OnCopyRect(const zkfx::HostFrame* source, zkfx::HostFrame* destination,
                                       const zkfx::HostRect* sourceRect,
                                       const zkfx::HostRect* destinationRect) {
  const std::int32_t result = Host::OnCopyRect(source, destination, sourceRect, destinationRect);
  if (result != zkfx::kErrNone) ++logs_.refusedCopyRects;
  return result;
}

}  // namespace threeway::test
