// The one host test double: the real host (threeway::host::Host) with fault injection and call logs
// layered on its virtual callbacks, so tests drive the module exactly as the tools do and can
// still make any host service fail on a chosen call and see every call the module made.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"

namespace threeway::test {

// Faults to inject. Call numbers count from 1 since the last ResetLogs(); 0 means "never".
struct HostFaults {
  int failAddParamAt = 0;  // the N-th addParam returns addParamCode and stores nothing
  std::int32_t addParamCode = zkfx::kErrOutOfMemory;
  int failSetGroupKindAt = 0;  // the N-th setGroupKind returns setGroupKindCode
  std::int32_t setGroupKindCode = zkfx::kErrOutOfMemory;
  int failNewHandleAt = 0;               // the N-th newHandle from the module returns null
  std::int32_t registerStringsCode = 0;  // nonzero: registerStrings returns it, slot untouched
  std::set<std::string> missingSuites;   // acquiring these names yields no suite
};

struct SuiteEvent {
  bool acquire;  // false: release
  std::string name;
  bool served;  // acquire: a suite was handed out; release: it matched an outstanding acquire
};

struct RefreshEvent {
  std::int32_t index;
  zkfx::ParamRecord record;  // a copy of the record the module handed over
};

struct CallLogs {
  int addParamCalls = 0;  // every call, failed ones included
  int setGroupKindCalls = 0;
  int newHandleCalls = 0;
  int registerStringsCalls = 0;
  int pixelFormatResets = 0;
  std::vector<std::uint32_t> declaredFormats;      // every declarePixelFormat, in order
  std::vector<void*> unregisterStringsSlotValues;  // *slot of each unregisterStrings call
  int unknownHandleDisposals = 0;                  // disposeHandle of a handle never given out
  std::vector<SuiteEvent> suites;
  std::vector<RefreshEvent> refreshes;
  int refusedCopyRects = 0;

  // How many callbacks the module made in all (for "the command did nothing" checks).
  std::size_t Total() const;
};

class RecordingHost : public threeway::host::Host {
 public:
  HostFaults& faults() { return faults_; }
  const CallLogs& logs() const { return logs_; }
  void ResetLogs() { logs_ = CallLogs{}; }

  std::int32_t OnAddParam(std::int32_t index, const zkfx::ParamRecord* record) override;
  std::int32_t OnSetGroupKind(std::int32_t index, std::int32_t kind) override;
  zkfx::MemHandle OnNewHandle(std::uint64_t size) override;
  void OnDisposeHandle(zkfx::MemHandle handle) override;
  std::int32_t OnRegisterStrings(zkfx::StringTableToken* slot, std::int32_t protocol) override;
  void OnUnregisterStrings(zkfx::StringTableToken* slot) override;
  std::int32_t OnAcquireSuite(const char* name, std::int32_t version, const void** suite) override;
  std::int32_t OnReleaseSuite(const char* name, std::int32_t version) override;
  std::int32_t OnResetPixelFormats() override;
  std::int32_t OnDeclarePixelFormat(std::uint32_t code) override;
  std::int32_t OnRefreshParamUI(std::int32_t index, const zkfx::ParamRecord* record) override;
  std::int32_t OnCopyRect(const zkfx::HostFrame* source, zkfx::HostFrame* destination,
                          const zkfx::HostRect* sourceRect,
                          const zkfx::HostRect* destinationRect) override;

 private:
  HostFaults faults_;
  CallLogs logs_;
};

}  // namespace threeway::test
