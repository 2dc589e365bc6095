// A minimal in-process host for white-box tests of the dispatcher's handlers: memory handles,
// messages, a basic suite that can lack named suites, and one parameter array with the panel's
// defaults left at zero (tests fill what they use).
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "entry/host_interface.h"
#include "params/catalogue.h"

namespace fakehost {

struct Refresh {
  int index;
  zkfx::ParamRecord record;
};

struct State {
  std::set<std::string> missingSuites;
  std::vector<Refresh> refreshes;
  int acquired = 0;
  int released = 0;
};

inline State* g_state = nullptr;  // the test's host; one test at a time

inline zkfx::MemHandle NewHandle(std::uint64_t size) {
  auto* h = new void*;
  *h = std::calloc(1, size ? size : 1);
  return reinterpret_cast<zkfx::MemHandle>(h);
}
inline void DisposeHandle(zkfx::MemHandle h) {
  std::free(*h);
  delete h;
}
inline void CopyMessage(char* d, const char* t) { std::snprintf(d, zkfx::kMessageSize, "%s", t); }
inline std::int32_t FormatMessage(char* d, const char* f, ...) {
  va_list a;
  va_start(a, f);
  const int n = std::vsnprintf(d, zkfx::kMessageSize, f, a);
  va_end(a);
  return n;
}
inline std::int32_t Refreshed(zkfx::EffectRef, std::int32_t index, const zkfx::ParamRecord* r) {
  g_state->refreshes.push_back({index, *r});
  return 0;
}
inline const zkfx::ParamUtilsSuite2 kParamUtils{&Refreshed};
inline std::int32_t Acquire(const char* name, std::int32_t, const void** suite) {
  *suite = nullptr;
  if (g_state->missingSuites.count(name)) return 1;
  ++g_state->acquired;
  if (std::string(name) == zkfx::kParamUtilsSuiteName) *suite = &kParamUtils;
  return 0;
}
inline std::int32_t Release(const char*, std::int32_t) {
  ++g_state->released;
  return 0;
}
inline const zkfx::HostUtilityTable kUtils{&NewHandle, &DisposeHandle, nullptr, &CopyMessage,
                                           &FormatMessage, nullptr};
inline const zkfx::BasicSuite kBasic{&Acquire, &Release};

struct Host {
  State state;
  zkfx::HostInputRecord in{};
  zkfx::HostOutputRecord out{};
  std::vector<zkfx::ParamRecord> records = std::vector<zkfx::ParamRecord>(threeway::kParamCount);
  std::vector<zkfx::ParamRecord*> params;

  Host() {
    g_state = &state;
    in.utils = &kUtils;
    in.basicSuite = &kBasic;
    for (auto& r : records) std::memset(&r, 0, sizeof r);
    for (auto& r : records) params.push_back(&r);
  }
  ~Host() {
    if (in.sequenceData != nullptr) DisposeHandle(in.sequenceData);
    g_state = nullptr;
  }
  zkfx::ParamRecord& operator[](int i) { return records[i]; }
  zkfx::LumaHistogram* NewSequence() {
    in.sequenceData = NewHandle(zkfx::kLumaHistogramSize);
    return static_cast<zkfx::LumaHistogram*>(*in.sequenceData);
  }
};

}  // namespace fakehost
