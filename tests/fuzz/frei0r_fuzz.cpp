// The frei0r plug-in through its entry points, as ffmpeg and MLT call them: an instance of a size
// from the input, then parameter values (any index, any bits where frei0r passes a double or a
// colour) and frames of pixels from the input, in the order the input gives. Every value read back
// is a frei0r value (finite; colours 0..1), and the instance is destroyed as a host does.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

#include "frei0r/frei0r_api.h"
#include "tests/fuzz/fuzz.h"
#include "tests/support/paths.h"

using threeway::fuzz::Require;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The plug-in loads the module named here. Held open for the whole run, so instances coming and
  // going never unload the module (its coverage counters stay mapped).
  const std::string module = threeway::test::ModulePath();
  ::setenv("THREEWAY_MODULE", module.c_str(), 1);
  Require(::dlopen(module.c_str(), RTLD_NOW) != nullptr, "the module loads", module);
  return f0r_init() == 1 ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const unsigned width = input.ConsumeIntegralInRange<unsigned>(0, 12);
  const unsigned height = input.ConsumeIntegralInRange<unsigned>(0, 12);
  f0r_instance_t instance = f0r_construct(width, height);
  Require((instance != nullptr) == (width > 0 && height > 0), "an instance of any positive size");
  if (instance == nullptr) return 0;
  f0r_plugin_info_t info;
  f0r_get_plugin_info(&info);
  std::vector<std::uint32_t> in(width * height), out(in.size());
  while (input.remaining_bytes() > 0) {
    if (input.ConsumeBool()) {
      // A parameter value: 16 bytes of any bits, read as the double or the colour frei0r passes.
      const int index = input.ConsumeIntegralInRange<int>(-2, info.num_params + 1);
      alignas(double) std::uint8_t value[16] = {};
      const std::vector<std::uint8_t> bits = input.ConsumeBytes<std::uint8_t>(sizeof value);
      std::copy(bits.begin(), bits.end(), value);
      f0r_set_param_value(instance, value, index);
    } else {
      const std::vector<std::uint8_t> pixels = input.ConsumeBytes<std::uint8_t>(in.size() * 4);
      std::copy(pixels.begin(), pixels.end(), reinterpret_cast<std::uint8_t*>(in.data()));
      f0r_update(instance, 0.0, in.data(), out.data());
      f0r_update(instance, 0.0, out.data(), out.data());  // in place, as frei0r allows
    }
  }
  for (int index = 0; index < info.num_params; ++index) {
    f0r_param_info_t param;
    f0r_get_param_info(&param, index);
    alignas(double) std::uint8_t value[16] = {};
    f0r_get_param_value(instance, value, index);
    if (param.type == F0R_PARAM_COLOR) {
      f0r_param_color_t color;
      std::memcpy(&color, value, sizeof color);
      for (float channel : {color.r, color.g, color.b}) {
        Require(channel >= 0.0f && channel <= 1.0f, "a colour reads back as 0..1", param.name);
      }
    } else {
      double unit;
      std::memcpy(&unit, value, sizeof unit);
      Require(std::isfinite(unit), "a value reads back finite", param.name);
    }
  }
  f0r_destruct(instance);
  return 0;
}
