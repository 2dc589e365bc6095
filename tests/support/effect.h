// The effect as a user meets it: the built module loaded by the real host, set up, with one
// sequence, and frames in any of the nine host formats.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/support/paths.h"
#include "tests/support/recording_host.h"
#include "entry/host_interface.h"
#include "host/bring_up.h"
#include "host/host.h"
#include "params/catalogue.h"

namespace threeway::test {

// A frame that owns its pixels.
struct Frame {
  std::vector<std::uint8_t> bytes;
  zkfx::HostFrame frame{};

  Frame(int width, int height, std::uint32_t format) {
    const int bpp = threeway::host::BytesPerPixel(format);
    bytes.assign(static_cast<std::size_t>(width) * height * bpp, 0);
    frame = {bytes.data(), width * bpp, width, height, format};
  }
  template <typename T>
  T* Row(int y) {
    return reinterpret_cast<T*>(bytes.data() + static_cast<std::size_t>(y) * frame.rowBytes);
  }
  Frame Blank() const { return Frame(frame.width, frame.height, frame.hostPixelFormat); }
};

// The built module brought up in `host` as every tool brings it up (use with ASSERT_NO_FATAL_FAILURE).
inline void BringUp(threeway::host::Host& host, bool withSequence = true) {
  const threeway::host::BringUp result = threeway::host::BringUpEffect(host, threeway::test::ModulePath(), withSequence);
  ASSERT_TRUE(result.ok) << result.error;
}

class Effect : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(BringUp(host)); }
  void TearDown() override { host.GlobalSetdown(); }

  double FloatValue(int index) { return host.Param(index)->current.value.floatSlider.current; }
  std::int32_t AngleValue(int index) { return host.Param(index)->current.value.angle.current; }
  const zkfx::LumaHistogram& Histogram() {
    return *static_cast<const zkfx::LumaHistogram*>(*host.sequenceData());
  }

  threeway::test::RecordingHost host;
};

}  // namespace threeway::test
