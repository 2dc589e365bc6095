// A small fake host for declaring parameters: it answers lookupString from the registered string
// table (the English text after the first "="), copies every record and text that addParam hands
// it, logs every call in order, and can fail the Nth addParam or setGroupKind.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "entry/host_interface.h"

namespace threeway::testing {

struct HostCall {
  enum Kind { kLookup, kCopyName, kAddParam, kSetGroupKind } kind;
  std::int32_t value;  // lookup: entry; add: the record's id; set kind: the kind
};

struct AddedParam {
  std::uint8_t bytes[sizeof(zkfx::ParamRecord)];
  std::string text;            // choices, box text or button text, copied during addParam
  bool textIsHostBuffer;       // the pointer was the host's own lookup buffer
  std::int32_t index;          // the index argument of addParam
  zkfx::ParamRecord Record() const {
    zkfx::ParamRecord record;
    std::memcpy(static_cast<void*>(&record), bytes, sizeof record);
    return record;
  }
};

class FakeHost {
 public:
  FakeHost() {
    current_ = this;
    globalBlock_ = &global_;
    global_.stringTableToken = nullptr;
    utils_.copyMessage = &CopyMessage;
    suite_.setGroupKind = &SetGroupKind;
    in_.effectRef = &effectMarker_;
    in_.globalData = &globalBlock_;
    in_.utils = &utils_;
    in_.callbacks.addParam = &AddParam;
    in_.callbacks.lookupString = &LookupString;
  }
  ~FakeHost() { current_ = nullptr; }
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // The token global set-up would keep: the address of the table's descriptor.
  void SetToken(zkfx::StringTableToken token) { global_.stringTableToken = token; }

  const zkfx::HostInputRecord* In() const { return &in_; }
  zkfx::ParamRecord* Scratch() { return &scratch_; }
  const zkfx::GroupParamSuite1* Suite() const { return &suite_; }

  std::vector<HostCall> calls;
  std::vector<AddedParam> added;
  std::vector<std::int32_t> kinds;
  std::map<std::int32_t, const char*> overrides;  // entry -> text to answer instead (may be null)
  int failAddAt = 0;   // 1-based; 0 never
  int failKindAt = 0;  // 1-based; 0 never
  std::int32_t failCode = 0;
  bool copyNameOutsideScratch = false;
  std::size_t longestCopiedName = 0;

  std::vector<std::int32_t> Lookups() const {
    std::vector<std::int32_t> entries;
    for (const HostCall& call : calls) {
      if (call.kind == HostCall::kLookup) entries.push_back(call.value);
    }
    return entries;
  }
  int Count(HostCall::Kind kind) const {
    int n = 0;
    for (const HostCall& call : calls) n += call.kind == kind;
    return n;
  }

 private:
  static const char* LookupString(zkfx::StringTableToken token, std::int32_t entry, std::int32_t r1,
                                  std::int32_t r2) {
    FakeHost& host = *current_;
    host.calls.push_back({HostCall::kLookup, entry});
    if (r1 != 0 || r2 != 0) return nullptr;
    const char* text = nullptr;
    if (auto it = host.overrides.find(entry); it != host.overrides.end()) {
      text = it->second;
    } else {
      const auto* table = static_cast<const zkfx::DisplayStringTable*>(token);
      if (table == nullptr || entry < 0 || static_cast<std::uint64_t>(entry) >= table->count) return nullptr;
      const char* full = table->entries[entry].text;
      if (full == nullptr) return nullptr;
      text = std::strchr(full, '=') + 1;
    }
    if (text == nullptr) return nullptr;
    // The answer lives only until the next lookup: a module that keeps the pointer instead of
    // copying reads freed memory (caught by the sanitizer build).
    host.lookupBuffer_ = std::make_unique<char[]>(std::strlen(text) + 1);
    std::strcpy(host.lookupBuffer_.get(), text);
    return host.lookupBuffer_.get();
  }

  static void CopyMessage(char* destination, const char* text) {
    FakeHost& host = *current_;
    host.calls.push_back({HostCall::kCopyName, 0});
    if (destination != host.scratch_.name) host.copyNameOutsideScratch = true;
    host.longestCopiedName = std::max(host.longestCopiedName, std::strlen(text));
    std::strncpy(destination, text, sizeof(zkfx::ParamRecord::name));
  }

  static std::int32_t AddParam(zkfx::EffectRef effect, std::int32_t index, const zkfx::ParamRecord* record) {
    FakeHost& host = *current_;
    if (effect != &host.effectMarker_) return -1000;
    host.calls.push_back({HostCall::kAddParam, record->id});
    AddedParam copy{};
    std::memcpy(copy.bytes, record, sizeof *record);
    copy.index = index;
    const char* text = nullptr;
    switch (record->type) {
      case zkfx::kParamTypePopup: text = record->value.popup.choices; break;
      case zkfx::kParamTypeCheckBox: text = record->value.checkBox.boxText; break;
      case zkfx::kParamTypeButton: text = record->value.button.buttonText; break;
      default: break;
    }
    if (text != nullptr) {
      copy.text = text;
      copy.textIsHostBuffer = text == host.lookupBuffer_.get();
    }
    host.added.push_back(std::move(copy));
    if (host.failAddAt == static_cast<int>(host.added.size())) return host.failCode;
    return zkfx::kErrNone;
  }

  static std::int32_t SetGroupKind(zkfx::EffectRef effect, std::int32_t index, std::int32_t kind) {
    FakeHost& host = *current_;
    if (effect != &host.effectMarker_ || index != -1) return -2000;
    host.calls.push_back({HostCall::kSetGroupKind, kind});
    host.kinds.push_back(kind);
    if (host.failKindAt == static_cast<int>(host.kinds.size())) return host.failCode;
    return zkfx::kErrNone;
  }

  static inline FakeHost* current_ = nullptr;
  int effectMarker_ = 0;
  zkfx::GlobalRecord global_{};
  void* globalBlock_ = nullptr;
  zkfx::HostUtilityTable utils_{};
  zkfx::GroupParamSuite1 suite_{};
  zkfx::HostInputRecord in_{};
  zkfx::ParamRecord scratch_{};
  std::unique_ptr<char[]> lookupBuffer_;
};

}  // namespace threeway::testing
