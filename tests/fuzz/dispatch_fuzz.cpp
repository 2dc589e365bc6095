// The module's command dispatch, driven through the host library as a host drives it, with every
// record the host interface lets a host fill built from the input within its documented layout:
// parameter values of any bits for their type, user edits of any parameter, command codes and the
// edited parameter's index, render scale and pixel aspect, frames in any of the nine formats with any
// pixels, padded or bottom-up rows and sizes that differ between input and output, and the sequence
// record (plain data a host may restore byte for byte). Every command succeeds, leaves no suite
// acquired and no memory handle behind; a render leaves its input as it was and writes nothing
// outside the output frame's pixels (row padding included).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <vector>

#include "entry/host_interface.h"
#include "host/host.h"
#include "tests/fuzz/fuzz.h"
#include "tests/support/paths.h"

namespace {

using threeway::fuzz::Require;
using threeway::host::Host;

constexpr std::uint32_t kFormats[] = {
    zkfx::kPixelFormatVUYA8, zkfx::kPixelFormatVUYA16, zkfx::kPixelFormatVUYA32f,
    zkfx::kPixelFormatBGRA8, zkfx::kPixelFormatBGRA16, zkfx::kPixelFormatBGRA32f,
    zkfx::kPixelFormatARGB8, zkfx::kPixelFormatARGB16, zkfx::kPixelFormatARGB32f};

// The module stays loaded for the whole run: each input gets a fresh host attached to it.
threeway::host::ModuleLibrary* Module() {
  static const std::unique_ptr<threeway::host::ModuleLibrary> module = [] {
    std::string error;
    auto library = threeway::host::ModuleLibrary::Open(threeway::test::ModulePath(), error);
    Require(library != nullptr, "the module loads", error);
    return library;
  }();
  return module.get();
}

// A frame the host lends, inside a buffer with guard bytes around it; rows padded or bottom-up.
struct LentFrame {
  std::vector<std::uint8_t> buffer;
  zkfx::HostFrame frame{};
  static constexpr std::size_t kGuard = 64;

  LentFrame(FuzzedDataProvider& input, bool fillFromInput) {
    const std::uint32_t format = input.PickValueInArray(kFormats);
    const int bpp = threeway::host::BytesPerPixel(format);
    const int width = input.ConsumeIntegralInRange<int>(0, 24);
    const int height = input.ConsumeIntegralInRange<int>(0, 24);
    const int stride = (width + input.ConsumeIntegralInRange<int>(0, 3)) * bpp;
    const bool bottomUp = input.ConsumeBool();
    const std::size_t bytes = static_cast<std::size_t>(stride) * height;
    buffer.assign(bytes + 2 * kGuard, 0xA5);
    if (fillFromInput) {
      const std::vector<std::uint8_t> pixels = input.ConsumeBytes<std::uint8_t>(bytes);
      std::copy(pixels.begin(), pixels.end(), buffer.begin() + kGuard);
    }
    std::uint8_t* first = buffer.data() + kGuard + (bottomUp && height > 0 ? bytes - stride : 0);
    frame = {first, bottomUp ? -stride : stride, width, height, format};
  }
  // The bytes around the frame and the padding at the end of each row still hold their fill (a
  // lent output starts filled, so this holds for it whatever the module wrote inside).
  bool GuardsIntact() const {
    const auto intact = [](const std::uint8_t* begin, const std::uint8_t* end) {
      return std::all_of(begin, end, [](std::uint8_t b) { return b == 0xA5; });
    };
    const std::size_t used = static_cast<std::size_t>(frame.width) * threeway::host::BytesPerPixel(frame.hostPixelFormat);
    const std::size_t stride = static_cast<std::size_t>(std::abs(frame.rowBytes));
    for (int y = 0; y < frame.height; ++y) {
      const auto* row = static_cast<const std::uint8_t*>(frame.data) + std::ptrdiff_t{y} * frame.rowBytes;
      if (!intact(row + used, row + stride)) return false;
    }
    return intact(buffer.data(), buffer.data() + kGuard) && intact(buffer.data() + buffer.size() - kGuard,
                                                                   buffer.data() + buffer.size());
  }
};

// A user edit of the parameter `index`, with a value of any bits for its type.
std::int32_t Edit(Host& host, int index, FuzzedDataProvider& input) {
  switch (host.Param(index)->declared.type) {
    case zkfx::kParamTypeFloatSlider: {
      double value;
      const std::uint64_t bits = input.ConsumeIntegral<std::uint64_t>();
      std::memcpy(&value, &bits, sizeof value);
      return host.SetFloat(index, value);
    }
    case zkfx::kParamTypePopup: return host.SetPopup(index, input.ConsumeIntegral<std::int32_t>());
    case zkfx::kParamTypeCheckBox: return host.SetCheckBox(index, input.ConsumeBool());
    case zkfx::kParamTypeAngle: return host.SetAngle(index, input.ConsumeIntegral<std::int32_t>());
    case zkfx::kParamTypeColor: {
      const std::uint32_t bits = input.ConsumeIntegral<std::uint32_t>();
      zkfx::ColorARGB color;
      std::memcpy(&color, &bits, sizeof color);
      return host.SetColor(index, color);
    }
    case zkfx::kParamTypeButton: return host.PressButton(index);
    default: return zkfx::kErrNone;  // groups hold no value
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Host host;
  host.Attach(Module()->entry());
  Require(host.GlobalSetup() == zkfx::kErrNone && host.ParamsSetup() == zkfx::kErrNone &&
              host.SequenceSetup() == zkfx::kErrNone,
          "the module sets up");
  const std::size_t handles = host.LiveHandleCount();
  while (input.remaining_bytes() > 0) {
    std::int32_t result = zkfx::kErrNone;
    switch (input.ConsumeIntegralInRange<int>(0, 5)) {
      case 0:
      case 1: result = Edit(host, input.ConsumeIntegralInRange<int>(1, host.DeclaredCount()), input); break;
      case 2: {
        LentFrame source(input, true), destination(input, false);
        const std::vector<std::uint8_t> before = source.buffer;
        result = host.Render(source.frame, destination.frame);
        Require(source.buffer == before, "a render leaves the input frame as it was");
        Require(destination.GuardsIntact(), "a render writes inside the output frame");
        break;
      }
      case 3:
        host.SetRenderScale(input.ConsumeIntegral<std::int32_t>(), input.ConsumeIntegral<std::uint32_t>());
        host.SetPixelAspect(input.ConsumeIntegral<std::int32_t>(), input.ConsumeIntegral<std::uint32_t>());
        break;
      case 4: {
        // The sequence record as a host restores it: any bytes.
        const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(zkfx::kLumaHistogramSize);
        std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(*host.sequenceData()));
        break;
      }
      case 5: {
        // Any command code; the edited parameter's index may name any parameter or none.
        zkfx::UserChangedParamExtra extra{input.ConsumeIntegral<std::int32_t>()};
        const std::int32_t command = input.ConsumeBool() ? input.ConsumeIntegralInRange<std::int32_t>(0, 16)
                                                         : input.ConsumeIntegral<std::int32_t>();
        if (command == zkfx::kCmdGlobalSetup || command == zkfx::kCmdGlobalSetdown ||
            command == zkfx::kCmdParamsSetup || command == zkfx::kCmdSequenceSetup) {
          continue;  // the lifecycle: a host sends these once, in order
        }
        result = host.Call(command, nullptr, &extra);
        // A render without frames is refused, not attempted.
        if (command == zkfx::kCmdRender) result = result == zkfx::kErrInvalidHostRecord ? zkfx::kErrNone : result;
        break;
      }
    }
    Require(result == zkfx::kErrNone, "a command succeeds", std::to_string(result));
    Require(host.OutstandingSuites().empty(), "every suite acquired is released");
    Require(host.LiveHandleCount() == handles && host.sequenceData() != nullptr, "the data handles stay as they were");
  }
  Require(host.GlobalSetdown() == zkfx::kErrNone, "the module sets down");
  return 0;
}
