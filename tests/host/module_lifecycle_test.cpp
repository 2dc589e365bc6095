// The real module, loaded by the host and driven through its lifecycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/effect.h"
#include "tests/support/heap.h"
#include "tests/support/recording_host.h"
#include "tests/support/paths.h"

namespace {

using threeway::test::RecordingHost;

constexpr const char* kInitFailed = "ThreeWayColorCorrector could not be initialized.";
constexpr const char* kNoSuite = "Not able to acquire ZKFX Suite.";

class ModuleHost : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host_.Load(threeway::test::ModulePath(), error)) << error;
  }
  void SetUpEffect() {
    ASSERT_EQ(host_.GlobalSetup(), zkfx::kErrNone) << host_.message();
    ASSERT_EQ(host_.ParamsSetup(), zkfx::kErrNone) << host_.message();
    ASSERT_EQ(host_.SequenceSetup(), zkfx::kErrNone);
  }
  // The token the effect keeps in its global record.
  zkfx::StringTableToken Token() const {
    return static_cast<const zkfx::GlobalRecord*>(*host_.globalData())->stringTableToken;
  }
  RecordingHost host_;
};

std::vector<std::uint8_t> BytesOf(const void* p, std::size_t n) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return {b, b + n};
}

TEST_F(ModuleHost, CommandsOutsideTheTableSucceedAndChangeNothing) {
  for (bool setUp : {false, true}) {
    if (setUp) SetUpEffect();
    for (std::int32_t command : {2, 7, 8, 9, 10, 12, 15, 1000, -1, INT32_MIN}) {
      SCOPED_TRACE(command);
      const auto inBefore = BytesOf(&host_.in(), sizeof(zkfx::HostInputRecord));
      const std::size_t handles = host_.LiveHandleCount();
      host_.ResetLogs();
      EXPECT_EQ(host_.Call(command), zkfx::kErrNone);
      EXPECT_EQ(BytesOf(&host_.out(), sizeof(zkfx::HostOutputRecord)),
                BytesOf(&host_.outBefore(), sizeof(zkfx::HostOutputRecord)));
      EXPECT_EQ(BytesOf(&host_.inAfterCall(), sizeof(zkfx::HostInputRecord)), inBefore);
      EXPECT_EQ(BytesOf(&host_.in(), sizeof(zkfx::HostInputRecord)), inBefore);
      EXPECT_EQ(host_.LiveHandleCount(), handles);
      EXPECT_EQ(host_.logs().Total(), 0u);
    }
  }
  EXPECT_EQ(host_.About(), zkfx::kErrNone);
}

TEST_F(ModuleHost, GlobalSetupRegistersStringsKeepsTheTokenAndDeclaresNineFormats) {
  ASSERT_EQ(host_.GlobalSetup(), zkfx::kErrNone);
  EXPECT_EQ(host_.logs().registerStringsCalls, 1);
  EXPECT_EQ(host_.RegisteredTableCount(), 1u);
  ASSERT_NE(host_.globalData(), nullptr);
  EXPECT_EQ(host_.out().globalData, host_.globalData());
  EXPECT_EQ(host_.inAfterCall().globalData, host_.globalData());  // written into both records
  EXPECT_EQ(host_.HandleSize(host_.globalData()), 8u);
  EXPECT_EQ(host_.LookupString(Token(), 7), "Three-Way Hue Balance and Angle");
  EXPECT_EQ(host_.LookupString(Token(), 95), " ");
  EXPECT_EQ(host_.version(), 0x00088002u);
  EXPECT_EQ(host_.outFlags() & 0x50u, 0x50u);
  EXPECT_EQ(host_.outFlags() & zkfx::kOutFlagDisplayErrorMessage, 0u);
  const std::vector<std::uint32_t> expected = {0x61797576, 0x61797556, 0x61795556, 0x61726762, 0x61726742,
                                               0x61724742, 0x62677261, 0x62677241, 0x62675241};
  EXPECT_EQ(host_.logs().pixelFormatResets, 1);
  EXPECT_EQ(host_.logs().declaredFormats, expected);
  EXPECT_TRUE(host_.OutstandingSuites().empty());

  host_.ResetLogs();
  ASSERT_EQ(host_.GlobalSetdown(), zkfx::kErrNone);
  ASSERT_EQ(host_.logs().unregisterStringsSlotValues.size(), 1u);
  EXPECT_NE(host_.logs().unregisterStringsSlotValues[0], nullptr);
  EXPECT_EQ(host_.RegisteredTableCount(), 0u);
  EXPECT_EQ(host_.globalData(), nullptr);
  EXPECT_EQ(host_.out().globalData, nullptr);
  EXPECT_EQ(host_.inAfterCall().globalData, nullptr);
  EXPECT_EQ(host_.LiveHandleCount(), 0u);
}

TEST_F(ModuleHost, GlobalSetupFailuresLeaveTheMessageAndNoGlobalData) {
  struct Case { const char* what; std::int32_t registerCode; int failNewHandleAt; std::int32_t expected; };
  for (Case c : {Case{"strings refused", 123456, 0, 123456}, Case{"strings refused, negative", -7, 0, -7},
                 Case{"no memory", 0, 1, zkfx::kErrOutOfMemory}}) {
    SCOPED_TRACE(c.what);
    RecordingHost host;
    std::string error;
    ASSERT_TRUE(host.Load(threeway::test::ModulePath(), error)) << error;
    host.faults().registerStringsCode = c.registerCode;
    host.faults().failNewHandleAt = c.failNewHandleAt;
    EXPECT_EQ(host.GlobalSetup(), c.expected);
    EXPECT_EQ(host.displayedMessage(), kInitFailed);
    EXPECT_NE(host.outFlags() & zkfx::kOutFlagDisplayErrorMessage, 0u);
    EXPECT_EQ(host.globalData(), nullptr);
    EXPECT_EQ(host.out().globalData, nullptr);
    EXPECT_EQ(host.inAfterCall().globalData, nullptr);
    EXPECT_EQ(host.LiveHandleCount(), 0u);
    // The slot is non-null in both cases (the table's descriptor, or the host's token): released.
    EXPECT_EQ(host.logs().unregisterStringsSlotValues.size(), 1u);
    EXPECT_NE(host.logs().unregisterStringsSlotValues.at(0), nullptr);
    EXPECT_EQ(host.RegisteredTableCount(), 0u);
    EXPECT_TRUE(host.logs().declaredFormats.empty());
  }
}

TEST_F(ModuleHost, GlobalSetupWithoutThePixelFormatSuiteStillSucceeds) {
  host_.faults().missingSuites.insert(zkfx::kPixelFormatSuiteName);
  EXPECT_EQ(host_.GlobalSetup(), zkfx::kErrNone);
  EXPECT_EQ(host_.displayedMessage(), kNoSuite);
  EXPECT_NE(host_.globalData(), nullptr);
  EXPECT_TRUE(host_.logs().declaredFormats.empty());
  EXPECT_TRUE(host_.OutstandingSuites().empty());
}

TEST_F(ModuleHost, ParamsSetupDeclaresTheWholePanel) {
  ASSERT_EQ(host_.GlobalSetup(), zkfx::kErrNone);
  host_.ResetLogs();
  ASSERT_EQ(host_.ParamsSetup(), zkfx::kErrNone) << host_.message();
  EXPECT_EQ(host_.logs().addParamCalls, 106);
  EXPECT_EQ(host_.logs().setGroupKindCalls, 15);
  EXPECT_EQ(host_.DeclaredCount(), 106);
  EXPECT_EQ(host_.paramCount(), 107);
  EXPECT_TRUE(host_.OutstandingSuites().empty());
  EXPECT_EQ(host_.outFlags() & zkfx::kOutFlagDisplayErrorMessage, 0u);
  // The records themselves: the panel golden (tests/params).
}

TEST_F(ModuleHost, ParamsSetupWithoutTheGroupSuiteDeclaresNothing) {
  ASSERT_EQ(host_.GlobalSetup(), zkfx::kErrNone);
  host_.faults().missingSuites.insert(zkfx::kGroupParamSuiteName);
  EXPECT_EQ(host_.ParamsSetup(), zkfx::kErrSuiteUnavailable);
  EXPECT_EQ(host_.displayedMessage(), kNoSuite);
  EXPECT_EQ(host_.logs().addParamCalls, 0);
  EXPECT_EQ(host_.DeclaredCount(), 0);
}

TEST_F(ModuleHost, AFailedAddParamStopsTheDeclarationThere) {
  ASSERT_EQ(host_.GlobalSetup(), zkfx::kErrNone);
  for (int n = 1; n <= 106; ++n) {
    SCOPED_TRACE(n);
    host_.ResetLogs();
    host_.faults().failAddParamAt = n;
    host_.faults().addParamCode = 7000 + n;
    EXPECT_EQ(host_.ParamsSetup(), 7000 + n);
    EXPECT_EQ(host_.logs().addParamCalls, n);
    EXPECT_EQ(host_.DeclaredCount(), n - 1);
    EXPECT_TRUE(host_.OutstandingSuites().empty());
  }
}

TEST_F(ModuleHost, AFailedGroupKindStopsTheDeclarationThere) {
  // The group starts that get a kind, in declaration order.
  const int kinded[] = {2, 7, 13, 18, 32, 34, 37, 46, 54, 67, 76, 82, 88, 94, 100};
  ASSERT_EQ(host_.GlobalSetup(), zkfx::kErrNone);
  for (int n = 1; n <= 15; ++n) {
    SCOPED_TRACE(n);
    host_.ResetLogs();
    host_.faults().failSetGroupKindAt = n;
    host_.faults().setGroupKindCode = -n;
    EXPECT_EQ(host_.ParamsSetup(), -n);
    EXPECT_EQ(host_.logs().setGroupKindCalls, n);
    EXPECT_EQ(host_.DeclaredCount(), kinded[n - 1]);
    EXPECT_EQ(host_.logs().addParamCalls, kinded[n - 1]);
    EXPECT_TRUE(host_.OutstandingSuites().empty());
  }
}

TEST_F(ModuleHost, SequenceRecordsAreKeptOnlyWhenTheyHaveTheRightSize) {
  ASSERT_EQ(host_.GlobalSetup(), zkfx::kErrNone);
  ASSERT_EQ(host_.SequenceSetup(), zkfx::kErrNone);
  zkfx::MemHandle first = host_.sequenceData();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(host_.HandleSize(first), 2052u);
  host_.ResetLogs();
  EXPECT_EQ(host_.SequenceResetup(), zkfx::kErrNone);
  EXPECT_EQ(host_.sequenceData(), first);  // the very same handle
  EXPECT_EQ(host_.logs().newHandleCalls, 0);
  EXPECT_TRUE(host_.IsLiveHandle(first));
  host_.DisposeHandle(first);
  for (std::uint64_t size : {2051ull, 2053ull, 0ull, ~0ull}) {
    SCOPED_TRACE(size);
    zkfx::MemHandle old = size == ~0ull ? nullptr : host_.NewHandle(size);
    const std::uint64_t oldSerial = host_.HandleSerial(old);
    host_.SetSequenceData(old);
    const std::size_t live = host_.LiveHandleCount();
    host_.ResetLogs();
    EXPECT_EQ(host_.SequenceResetup(), zkfx::kErrNone);
    ASSERT_NE(host_.sequenceData(), nullptr);
    EXPECT_EQ(host_.logs().newHandleCalls, 1);
    EXPECT_GT(host_.HandleSerial(host_.sequenceData()), oldSerial);  // a fresh handle
    EXPECT_EQ(host_.HandleSize(host_.sequenceData()), 2052u);
    // The old record was disposed by the effect: one handle out, one in.
    EXPECT_EQ(host_.LiveHandleCount(), old ? live : live + 1);
    host_.DisposeHandle(host_.sequenceData());
  }
  EXPECT_EQ(host_.logs().unknownHandleDisposals, 0);
}

TEST_F(ModuleHost, ControlPanelRefreshHandsBackTwentyFourRecords) {
  SetUpEffect();
  host_.ResetLogs();
  EXPECT_EQ(host_.UpdateParamsUI(), zkfx::kErrNone);
  const std::vector<int> order = {26, 67, 13, 7, 77, 78, 79, 80, 83, 84, 85, 86, 89, 90, 91, 92, 27, 28, 29,
                                  101, 102, 103, 104, 105};
  const auto& refreshes = host_.logs().refreshes;
  ASSERT_EQ(refreshes.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(refreshes[i].index, order[i]);
    const zkfx::ParamRecord& stored = host_.Param(order[i])->current;
    // The copy carries the record's value part and name unchanged.
    EXPECT_EQ(std::memcmp(&refreshes[i].record.value, &stored.value, sizeof stored.value), 0) << order[i];
    EXPECT_STREQ(refreshes[i].record.name, stored.name);
  }
  EXPECT_TRUE(host_.OutstandingSuites().empty());

  host_.ResetLogs();
  host_.faults().missingSuites.insert(zkfx::kParamUtilsSuiteName);
  EXPECT_EQ(host_.UpdateParamsUI(), zkfx::kErrNone);
  EXPECT_TRUE(host_.logs().refreshes.empty());
  EXPECT_EQ(host_.displayedMessage(), kNoSuite);
}

// The render path through the host, every source pixel counted once in the sequence's histogram
// and the suites given back: Effect.HistogramAndAutoButtons. A render before parameter set-up is
// refused by the host: HostCallbacks.UserEditsReportSupervisedParametersAndTakeBackMarkedValues.

// One host renders a whole clip: nothing it keeps may grow with the frames (the production host
// keeps no call logs). The frei0r plug-in's instance does the same: Frei0rInstance.LongRunKeepsItsMemory.
TEST(ProductionHost, LongRunKeepsItsMemory) {
  threeway::host::Host host;
  ASSERT_NO_FATAL_FAILURE(threeway::test::BringUp(host));
  std::vector<std::uint8_t> source(64 * 64 * 4, 0x5A), destination(source.size());
  zkfx::HostFrame input{source.data(), 64 * 4, 64, 64, zkfx::kPixelFormatBGRA8};
  zkfx::HostFrame output{destination.data(), 64 * 4, 64, 64, zkfx::kPixelFormatBGRA8};
  std::size_t after2000 = 0;
  for (int frame = 1; frame <= 20000; ++frame) {
    ASSERT_EQ(host.Render(input, output), zkfx::kErrNone);
    if (frame == 2000) after2000 = threeway::test::HeapInUse();
  }
  const std::size_t after20000 = threeway::test::HeapInUse();
  RecordProperty("heap_after_2000_frames", std::to_string(after2000));
  RecordProperty("heap_after_20000_frames", std::to_string(after20000));
  EXPECT_LE(after20000, after2000 + (1u << 20)) << after2000 << " bytes after 2,000 frames";
  host.GlobalSetdown();
}

// The values the module writes back after picks and presses
// (the picked balance, the auto levels on an empty histogram): Effect.PicksWriteBackThroughTheHost
// and Effect.AutoButtonsBeforeTheFirstRenderGiveTheFullRange, through the same host.
TEST_F(ModuleHost, PressingAGroupStartIsRefused) {
  SetUpEffect();
  EXPECT_EQ(host_.PressButton(67), threeway::host::kHostErrBadIndex);  // a group start, not a button
}

}  // namespace
