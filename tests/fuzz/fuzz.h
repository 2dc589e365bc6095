// What the fuzzing targets share. Besides the sanitizers, each target checks properties of the code
// it drives; a property that fails stops the run as a crash, so libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace threeway::fuzz {

inline void Require(bool holds, const char* property, const std::string& detail = {}) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s%s%s\n", property, detail.empty() ? "" : ": ", detail.c_str());
  std::abort();
}

// The tool quotes at most 40 bytes of a value of the user's in a message ("first 40 bytes..." (N
// bytes)), so a message stays within `limit` however long the value. (A check on the length: one
// that searched the message for the value would teach the fuzzer the message's own words.)
inline void RequireShortMessage(std::string_view message, std::size_t limit) {
  Require(message.size() <= limit, "a message stays short whatever the value", std::string(message.substr(0, 300)));
}

}  // namespace threeway::fuzz
