// The host's side of the interface, driven by an entry point inside the test process: each test
// installs the body of `main` it needs and calls it through Host, so every callback is reached
// exactly as a module reaches it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/recording_host.h"

namespace {

using threeway::host::Host;
using threeway::test::RecordingHost;
using zkfx::HostInputRecord;
using zkfx::HostOutputRecord;
using zkfx::ParamRecord;

using Body = std::function<std::int32_t(std::int32_t, HostInputRecord*, HostOutputRecord*,
                                        ParamRecord**, zkfx::HostFrame*, void*)>;
Body gBody;  // the body of `main` for the running test

std::int32_t TestMain(std::int32_t command, HostInputRecord* in, HostOutputRecord* out,
                      ParamRecord** params, zkfx::HostFrame* output, void* extra) {
  return gBody(command, in, out, params, output, extra);
}

// Runs `body` as the module's `main` once and returns its result.
std::int32_t RunInMain(Host& host, const std::function<std::int32_t(HostInputRecord*, HostOutputRecord*)>& body,
                       std::int32_t command = 1000) {
  gBody = [&](std::int32_t, HostInputRecord* in, HostOutputRecord* out, ParamRecord**, zkfx::HostFrame*,
              void*) { return body(in, out); };
  host.Attach(TestMain);
  return host.Call(command);
}

ParamRecord FloatRecord(std::int32_t id, const char* name, double value, std::uint32_t flags = 0) {
  ParamRecord r{};
  r.id = id;
  r.type = zkfx::kParamTypeFloatSlider;
  std::snprintf(r.name, sizeof r.name, "%s", name);
  r.flags = flags;
  r.value.floatSlider.current = value;
  return r;
}

TEST(HostCallbacks, AddParamCopiesTextsTheModuleFreesAfterwards) {
  RecordingHost host;
  RunInMain(host, [](HostInputRecord* in, HostOutputRecord*) {
    struct Case { std::int32_t type; const char* text; };
    for (Case c : {Case{zkfx::kParamTypePopup, "Video|Luma"}, Case{zkfx::kParamTypeCheckBox, "Show Mask"},
                   Case{zkfx::kParamTypeButton, "Auto Contrast"}}) {
      auto owned = std::make_unique<std::string>(c.text);
      ParamRecord r{};
      r.type = c.type;
      r.id = c.type;
      std::strcpy(r.name, " ");
      r.value.popup.choices = owned->c_str();  // the same slot for all three types
      EXPECT_EQ(in->callbacks.addParam(in->effectRef, -1, &r), zkfx::kErrNone);
      std::memset(owned->data(), 'X', owned->size());  // the module's copy dies after the call
    }
    return 0;
  });
  ASSERT_EQ(host.DeclaredCount(), 3);
  EXPECT_STREQ(host.Param(1)->declared.value.popup.choices, "Video|Luma");
  EXPECT_STREQ(host.Param(2)->declared.value.checkBox.boxText, "Show Mask");
  EXPECT_STREQ(host.Param(3)->declared.value.button.buttonText, "Auto Contrast");
  EXPECT_EQ(host.Param(1)->declared.value.popup.choices, host.Param(1)->choices.c_str());
  EXPECT_STREQ(host.Param(3)->current.value.button.buttonText, "Auto Contrast");
  EXPECT_EQ(host.Param(0), nullptr);
  EXPECT_EQ(host.Param(4), nullptr);
}

TEST(HostCallbacks, AddParamRefusesRecordsItCannotStore) {
  struct Case {
    const char* what;
    std::function<void(ParamRecord&, zkfx::EffectRef&, std::int32_t&)> spoil;
  };
  const std::vector<Case> cases = {
      {"name without terminator", [](ParamRecord& r, zkfx::EffectRef&, std::int32_t&) { std::memset(r.name, 'a', 32); }},
      {"layer type", [](ParamRecord& r, zkfx::EffectRef&, std::int32_t&) { r.type = zkfx::kParamTypeLayer; }},
      {"unknown type", [](ParamRecord& r, zkfx::EffectRef&, std::int32_t&) { r.type = 42; }},
      {"foreign effect reference", [](ParamRecord&, zkfx::EffectRef& e, std::int32_t&) { e = &e; }},
      {"index not appending", [](ParamRecord&, zkfx::EffectRef&, std::int32_t& i) { i = 5; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingHost host;
    std::int32_t result = 0;
    RunInMain(host, [&](HostInputRecord* in, HostOutputRecord*) {
      ParamRecord r = FloatRecord(1, "Soften", 0.0);
      zkfx::EffectRef effect = in->effectRef;
      std::int32_t index = -1;
      c.spoil(r, effect, index);
      result = in->callbacks.addParam(effect, index, &r);
      return 0;
    });
    EXPECT_EQ(result, threeway::host::kHostErrBadArgument);
    EXPECT_EQ(host.DeclaredCount(), 0);
  }
}

// Group kinds land on group starts only; a refused call stores nothing.
TEST(HostCallbacks, GroupKindsLandOnGroupStartsOnly) {
  RecordingHost host;
  host.faults().failSetGroupKindAt = 2;
  host.faults().setGroupKindCode = 9;
  std::vector<std::int32_t> results;
  RunInMain(host, [&](HostInputRecord* in, HostOutputRecord*) {
    const void* suite = nullptr;
    in->basicSuite->acquireSuite(zkfx::kGroupParamSuiteName, 1, &suite);
    auto* groups = static_cast<const zkfx::GroupParamSuite1*>(suite);
    for (int i = 0; i < 3; ++i) {
      ParamRecord r{};
      r.type = zkfx::kParamTypeGroupStart;
      in->callbacks.addParam(in->effectRef, -1, &r);
      results.push_back(groups->setGroupKind(in->effectRef, -1, 10 + i));
    }
    ParamRecord end{};
    end.type = zkfx::kParamTypeGroupEnd;
    in->callbacks.addParam(in->effectRef, -1, &end);
    results.push_back(groups->setGroupKind(in->effectRef, -1, 1));  // not a group start
    in->basicSuite->releaseSuite(zkfx::kGroupParamSuiteName, 1);
    return 0;
  });
  EXPECT_EQ(results, (std::vector<std::int32_t>{0, 9, 0, threeway::host::kHostErrBadArgument}));
  EXPECT_EQ(host.Param(1)->groupKind, 10);
  EXPECT_FALSE(host.Param(2)->groupKind.has_value());
  EXPECT_EQ(host.Param(3)->groupKind, 12);
  EXPECT_TRUE(host.OutstandingSuites().empty());
}

TEST(HostCallbacks, StringTableRegistrationLookupAndRelease) {
  static zkfx::DisplayString entries[] = {
      {"$$$/Lumvane/ZKFilters/ColorThreeWay/kStrA=Alpha", {}},
      {"$$$/Lumvane/ZKFilters/ColorThreeWay/kStrB=x=y", {}},  // the text after the FIRST '='
      {"$$$/Lumvane/ZKFilters/ColorThreeWay/kStrSpace= ", {}},
      {nullptr, {~0ull, ~0ull, 0}},
  };
  static zkfx::DisplayStringTable table = {"FX", 4, entries};
  RecordingHost host;
  zkfx::StringTableToken token = nullptr;
  std::vector<std::string> looked;
  std::int32_t badProtocol = 0;
  RunInMain(host, [&](HostInputRecord* in, HostOutputRecord*) {
    zkfx::StringTableToken slot = &table;
    badProtocol = in->callbacks.registerStrings(&slot, 1234);
    EXPECT_EQ(slot, static_cast<void*>(&table));
    EXPECT_EQ(in->callbacks.registerStrings(&slot, zkfx::kStringTableProtocol), 0);
    token = slot;
    for (int entry : {0, 1, 2, 3, -1, 1000}) {
      const char* text = in->callbacks.lookupString(token, entry, 0, 0);
      EXPECT_NE(text, nullptr);
      looked.push_back(text);
    }
    const char* unknown = in->callbacks.lookupString(&slot, 0, 0, 0);
    EXPECT_STREQ(unknown, "");
    return 0;
  });
  EXPECT_EQ(badProtocol, threeway::host::kHostErrBadArgument);
  EXPECT_NE(token, static_cast<void*>(&table));
  EXPECT_EQ(looked, (std::vector<std::string>{"Alpha", "x=y", " ", "", "", ""}));
  EXPECT_EQ(host.RegisteredTableCount(), 1u);
  RunInMain(host, [&](HostInputRecord* in, HostOutputRecord*) {
    zkfx::StringTableToken slot = token;
    in->callbacks.unregisterStrings(&slot);
    return 0;
  });
  EXPECT_EQ(host.RegisteredTableCount(), 0u);
  EXPECT_EQ(host.logs().unregisterStringsSlotValues, std::vector<void*>{token});
  EXPECT_EQ(host.LookupString(token, 0), "");

  host.faults().registerStringsCode = 1234567;
  std::int32_t failed = 0;
  RunInMain(host, [&](HostInputRecord* in, HostOutputRecord*) {
    zkfx::StringTableToken slot = &table;
    failed = in->callbacks.registerStrings(&slot, zkfx::kStringTableProtocol);
    EXPECT_EQ(slot, static_cast<void*>(&table));
    return 0;
  });
  EXPECT_EQ(failed, 1234567);
  EXPECT_EQ(host.RegisteredTableCount(), 0u);
}

TEST(HostCallbacks, MemoryHandlesHaveRealSizesAndAreTracked) {
  RecordingHost host;
  host.faults().failNewHandleAt = 3;
  std::vector<zkfx::MemHandle> handles;
  RunInMain(host, [&](HostInputRecord* in, HostOutputRecord*) {
    for (std::uint64_t size : {8ull, 2052ull, 16ull, 0ull, (1ull << 30) + 1}) handles.push_back(in->utils->newHandle(size));
    EXPECT_EQ(in->utils->getHandleSize(handles[0]), 8u);
    EXPECT_EQ(in->utils->getHandleSize(handles[1]), 2052u);
    EXPECT_EQ(in->utils->getHandleSize(handles[3]), 0u);
    const auto* bytes = static_cast<const std::uint8_t*>(*handles[1]);
    for (int i = 0; i < 2052; ++i) EXPECT_EQ(bytes[i], 0) << i;
    std::memset(*handles[1], 0xAB, 2052);  // the whole block is writable
    in->utils->disposeHandle(handles[0]);
    in->utils->disposeHandle(handles[0]);  // twice: the second is unknown
    return 0;
  });
  EXPECT_NE(handles[0], nullptr);
  EXPECT_EQ(handles[2], nullptr);  // the injected failure
  EXPECT_NE(handles[3], nullptr);
  EXPECT_EQ(handles[4], nullptr);  // above the 1 GiB limit
  EXPECT_EQ(host.logs().newHandleCalls, 5);
  EXPECT_EQ(host.logs().unknownHandleDisposals, 1);
  EXPECT_EQ(host.LiveHandleCount(), 2u);
  EXPECT_FALSE(host.IsLiveHandle(handles[0]));
  EXPECT_TRUE(host.IsLiveHandle(handles[1]));
}

TEST(HostCallbacks, CallbacksWithoutContextFailOutsideMain) {
  RecordingHost host;
  const zkfx::HostInputRecord& in = host.in();
  EXPECT_EQ(Host::Current(), nullptr);
  EXPECT_EQ(in.utils->newHandle(8), nullptr);
  EXPECT_STREQ(in.callbacks.lookupString(nullptr, 0, 0, 0), "");
  const void* suite = &in;
  EXPECT_EQ(in.basicSuite->acquireSuite(zkfx::kPixelFormatSuiteName, 1, &suite), zkfx::kErrSuiteUnavailable);
  EXPECT_EQ(suite, nullptr);
  ParamRecord r = FloatRecord(1, "x", 0);
  EXPECT_EQ(in.callbacks.addParam(in.effectRef, -1, &r), threeway::host::kHostErrBadArgument);
  EXPECT_EQ(host.DeclaredCount(), 0);
}

TEST(HostCallbacks, CurrentHostIsSetInsideMainAndRestoredAfterAnException) {
  RecordingHost outer;
  RecordingHost inner;
  Host* seenInner = nullptr;
  Host* seenOuterAfterNested = nullptr;
  RunInMain(outer, [&](HostInputRecord*, HostOutputRecord*) {
    EXPECT_EQ(Host::Current(), &outer);
    gBody = [&](std::int32_t, HostInputRecord*, HostOutputRecord*, ParamRecord**, zkfx::HostFrame*, void*) {
      seenInner = Host::Current();
      return 0;
    };
    inner.Attach(TestMain);
    inner.Call(1000);
    seenOuterAfterNested = Host::Current();
    return 0;
  });
  EXPECT_EQ(seenInner, &inner);
  EXPECT_EQ(seenOuterAfterNested, &outer);
  EXPECT_EQ(Host::Current(), nullptr);
  EXPECT_THROW(RunInMain(outer, [](HostInputRecord*, HostOutputRecord*) -> std::int32_t {
                 throw std::runtime_error("module failure");
               }),
               std::runtime_error);
  EXPECT_EQ(Host::Current(), nullptr);
}

TEST(HostCallbacks, MessagesAreBoundedToTheirDestinations) {
  RecordingHost host;
  const std::string longText(400, 'm');
  char name[40];
  std::memset(name, '#', sizeof name);
  RunInMain(host, [&](HostInputRecord* in, HostOutputRecord* out) {
    in->utils->formatMessage(out->message, "%s", longText.c_str());
    in->utils->copyMessage(name, "Three-Way Hue Balance and Angle plus more");
    return 0;
  });
  EXPECT_EQ(host.message(), std::string(255, 'm'));
  EXPECT_EQ(std::string(name), "Three-Way Hue Balance and Angle");  // 31 characters and the zero
  EXPECT_EQ(name[32], '#');
  RunInMain(host, [&](HostInputRecord* in, HostOutputRecord* out) {
    in->utils->copyMessage(out->message, longText.c_str());
    out->outFlags |= zkfx::kOutFlagDisplayErrorMessage;
    return 0;
  });
  EXPECT_EQ(host.displayedMessage(), std::string(255, 'm'));
  RunInMain(host, [&](HostInputRecord* in, HostOutputRecord* out) {
    in->utils->formatMessage(out->message, "code %d: %s", 516, "Not able to acquire ZKFX Suite.");
    return 0;
  });
  EXPECT_EQ(host.message(), "code 516: Not able to acquire ZKFX Suite.");
  EXPECT_EQ(host.displayedMessage(), "");  // the flag was not set this time
}

TEST(HostCallbacks, SuitesAreServedByNameAndVersionAndLogged) {
  RecordingHost host;
  host.faults().missingSuites.insert(zkfx::kParamUtilsSuiteName);
  struct Case { const char* name; std::int32_t version; bool served; };
  const std::vector<Case> cases = {
      {zkfx::kPixelFormatSuiteName, 1, true}, {zkfx::kGroupParamSuiteName, 1, true},
      {zkfx::kParamUtilsSuiteName, 2, false},  // injected as missing
      {zkfx::kPixelFormatSuiteName, 2, false}, {"PF No Such Suite", 1, false},
  };
  std::uint32_t queried = 0;
  RunInMain(host, [&](HostInputRecord* in, HostOutputRecord*) {
    for (const Case& c : cases) {
      const void* suite = &c;
      const std::int32_t result = in->basicSuite->acquireSuite(c.name, c.version, &suite);
      EXPECT_EQ(suite != nullptr, c.served) << c.name << " " << c.version;
      EXPECT_EQ(result, c.served ? 0 : zkfx::kErrSuiteUnavailable);
    }
    const void* suite = nullptr;
    in->basicSuite->acquireSuite(zkfx::kPixelFormatSuiteName, 1, &suite);
    auto* formats = static_cast<const zkfx::PixelFormatSuite1*>(suite);
    formats->resetPixelFormats(in->effectRef);
    formats->declarePixelFormat(in->effectRef, zkfx::kPixelFormatBGRA8);
    formats->declarePixelFormat(in->effectRef, zkfx::kPixelFormatARGB32f);
    EXPECT_EQ(formats->declarePixelFormat(nullptr, 1), threeway::host::kHostErrBadArgument);
    zkfx::HostFrame frame{};
    frame.hostPixelFormat = zkfx::kPixelFormatVUYA16;
    formats->queryPixelFormat(&frame, &queried);
    in->basicSuite->releaseSuite(zkfx::kPixelFormatSuiteName, 1);
    EXPECT_EQ(in->basicSuite->releaseSuite("PF No Such Suite", 1), threeway::host::kHostErrBadArgument);
    return 0;
  });
  EXPECT_EQ(queried, zkfx::kPixelFormatVUYA16);
  EXPECT_EQ(host.OutstandingSuites(),
            (std::map<std::string, int>{{zkfx::kPixelFormatSuiteName, 1}, {zkfx::kGroupParamSuiteName, 1}}));
  EXPECT_EQ(host.logs().pixelFormatResets, 1);
  const std::vector<std::uint32_t> declared = {zkfx::kPixelFormatBGRA8, zkfx::kPixelFormatARGB32f};
  EXPECT_EQ(host.DeclaredPixelFormats(), declared);
  EXPECT_EQ(host.logs().suites.size(), cases.size() + 3);
  EXPECT_FALSE(host.logs().suites.back().served);
}

TEST(HostCallbacks, CopyRectCopiesTheClippedRectangleOnly) {
  struct Case {
    std::uint32_t format;
    zkfx::HostRect from, to;
  };
  const std::vector<Case> cases = {
      {zkfx::kPixelFormatBGRA8, {0, 0, 7, 5}, {0, 0, 7, 5}},        // whole frame
      {zkfx::kPixelFormatBGRA16, {2, 1, 5, 4}, {0, 0, 3, 3}},       // a block moved to the corner
      {zkfx::kPixelFormatVUYA32f, {-3, -2, 4, 3}, {1, 1, 8, 6}},    // source partly outside
      {zkfx::kPixelFormatARGB8, {0, 0, 7, 5}, {4, 3, 11, 8}},       // destination partly outside
      {zkfx::kPixelFormatARGB32f, {3, 0, 7, 5}, {0, 0, 2, 9}},      // unequal sizes: the smaller
      {zkfx::kPixelFormatBGRA8, {5, 5, 2, 2}, {0, 0, 7, 5}},        // empty source rectangle
      {zkfx::kPixelFormatBGRA8, {0, 0, 7, 5}, {100, 100, 107, 105}},  // destination fully outside
      {zkfx::kPixelFormatBGRA8, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 7, 5}},  // no overflow
  };
  constexpr int kSW = 7, kSH = 5, kDW = 6, kDH = 4;
  for (std::size_t n = 0; n < cases.size(); ++n) {
    SCOPED_TRACE(n);
    const Case& c = cases[n];
    const int bpp = threeway::host::BytesPerPixel(c.format);
    std::vector<std::uint8_t> src(static_cast<std::size_t>(kSW * bpp * kSH)), dst(static_cast<std::size_t>(kDW * bpp * kDH) + 16, 0xEE);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::vector<std::uint8_t> expected = dst;
    const std::int64_t w = std::min<std::int64_t>(std::int64_t{c.from.right} - c.from.left, std::int64_t{c.to.right} - c.to.left);
    const std::int64_t h = std::min<std::int64_t>(std::int64_t{c.from.bottom} - c.from.top, std::int64_t{c.to.bottom} - c.to.top);
    for (std::int64_t y = 0; y < h && y < 20; ++y) {
      for (std::int64_t x = 0; x < w && x < 20; ++x) {
        const std::int64_t sx = c.from.left + x, sy = c.from.top + y, dx = c.to.left + x, dy = c.to.top + y;
        if (sx < 0 || sy < 0 || sx >= kSW || sy >= kSH || dx < 0 || dy < 0 || dx >= kDW || dy >= kDH) continue;
        std::memcpy(&expected[static_cast<std::size_t>((dy * kDW + dx) * bpp)], &src[static_cast<std::size_t>((sy * kSW + sx) * bpp)],
                    static_cast<std::size_t>(bpp));
      }
    }
    zkfx::HostFrame from{src.data(), kSW * bpp, kSW, kSH, c.format};
    zkfx::HostFrame to{dst.data(), kDW * bpp, kDW, kDH, c.format};
    RecordingHost host;
    std::int32_t result = -1;
    RunInMain(host, [&](HostInputRecord* in, HostOutputRecord*) {
      result = in->utils->copyRect(in->effectRef, &from, &to, &c.from, &c.to);
      return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dst, expected);
  }
}

TEST(HostCallbacks, CopyRectRefusesMismatchedOrUnknownFormats) {
  std::vector<std::uint8_t> a(64, 1), b(64, 2);
  zkfx::HostRect r{0, 0, 2, 2};
  struct Case { std::uint32_t from, to; void* data; };
  for (Case c : {Case{zkfx::kPixelFormatBGRA8, zkfx::kPixelFormatARGB8, a.data()}, Case{0, 0, a.data()},
                 Case{zkfx::kPixelFormatBGRA8, zkfx::kPixelFormatBGRA8, nullptr}}) {
    zkfx::HostFrame from{c.data, 8, 2, 2, c.from};
    zkfx::HostFrame to{b.data(), 8, 2, 2, c.to};
    RecordingHost host;
    std::int32_t result = 0;
    RunInMain(host, [&](HostInputRecord* in, HostOutputRecord*) {
      result = in->utils->copyRect(in->effectRef, &from, &to, &r, &r);
      return 0;
    });
    EXPECT_EQ(result, threeway::host::kHostErrBadArgument);
    EXPECT_EQ(b, std::vector<std::uint8_t>(64, 2));
    EXPECT_EQ(host.logs().refusedCopyRects, 1);
  }
}

// A small effect: declares a supervised slider, an unsupervised slider and a button; on a change
// of the supervised slider it writes twice its value into the other slider and marks it.
std::int32_t SmallEffect(std::int32_t command, HostInputRecord* in, HostOutputRecord* out, ParamRecord** params,
                         zkfx::HostFrame*, void* extra) {
  static std::vector<std::int32_t> changed;
  if (command == zkfx::kCmdParamsSetup) {
    ParamRecord a = FloatRecord(1, "Supervised", 1.0, zkfx::kParamFlagSupervised);
    ParamRecord b = FloatRecord(2, "Plain", 2.0);
    ParamRecord button{};
    button.type = zkfx::kParamTypeButton;
    button.id = 3;
    for (ParamRecord* r : {&a, &b, &button}) in->callbacks.addParam(in->effectRef, -1, r);
    out->paramCount = 4;
  } else if (command == zkfx::kCmdUserChangedParam) {
    const std::int32_t index = static_cast<zkfx::UserChangedParamExtra*>(extra)->paramIndex;
    std::snprintf(out->message, sizeof out->message, "changed %d", index);
    if (index == 1) {
      params[2]->value.floatSlider.current = 2 * params[1]->value.floatSlider.current;
      params[2]->changeFlags |= zkfx::kChangeFlagChangedValue;
      params[1]->value.floatSlider.current = -1;  // written but not marked: not taken back
    }
  }
  return 0;
}

TEST(HostCallbacks, UserEditsReportSupervisedParametersAndTakeBackMarkedValues) {
  RecordingHost host;
  host.Attach(SmallEffect);
  zkfx::HostFrame frame{};
  EXPECT_EQ(host.Render(frame, frame), threeway::host::kHostErrNotReady);  // nothing declared yet
  ASSERT_EQ(host.ParamsSetup(), 0);
  EXPECT_EQ(host.paramCount(), 4);
  EXPECT_EQ(host.SetFloat(1, 5.0), 0);
  EXPECT_EQ(host.message(), "changed 1");
  EXPECT_EQ(host.Param(1)->current.value.floatSlider.current, 5.0);
  EXPECT_EQ(host.Param(2)->current.value.floatSlider.current, 10.0);
  EXPECT_EQ(host.Param(2)->declared.value.floatSlider.current, 2.0);  // the declaration stays
  host.Call(1000);  // clears the message
  EXPECT_EQ(host.SetFloat(2, 3.0), 0);
  EXPECT_EQ(host.message(), "");  // not supervised: not reported
  EXPECT_EQ(host.Param(2)->current.value.floatSlider.current, 3.0);
  EXPECT_EQ(host.PressButton(3), 0);
  EXPECT_EQ(host.message(), "changed 3");  // buttons are always reported
  EXPECT_EQ(host.SetAngle(1, 0), threeway::host::kHostErrBadIndex);  // wrong type
  EXPECT_EQ(host.SetFloat(4, 0), threeway::host::kHostErrBadIndex);
  EXPECT_EQ(host.Call(zkfx::kCmdUserChangedParam), threeway::host::kHostErrBadArgument);  // no extra record
}

}  // namespace
