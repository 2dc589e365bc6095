// The built threeway.so loaded as a frei0r host loads it: several instances on several threads
// give the same frames as one instance alone.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "tests/support/paths.h"
#include "frei0r/frei0r_api.h"

namespace {

struct Plugin {
  void* handle = nullptr;
  decltype(&f0r_init) init = nullptr;
  decltype(&f0r_construct) construct = nullptr;
  decltype(&f0r_destruct) destruct = nullptr;
  decltype(&f0r_set_param_value) set = nullptr;
  decltype(&f0r_update) update = nullptr;
  decltype(&f0r_get_plugin_info) info = nullptr;
  decltype(&f0r_get_param_info) paramInfo = nullptr;

  bool Open(std::string& error) {
    const std::string path = threeway::test::BuildDir() + "/frei0r/threeway.so";
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      error = dlerror();
      return false;
    }
    init = reinterpret_cast<decltype(init)>(dlsym(handle, "f0r_init"));
    construct = reinterpret_cast<decltype(construct)>(dlsym(handle, "f0r_construct"));
    destruct = reinterpret_cast<decltype(destruct)>(dlsym(handle, "f0r_destruct"));
    set = reinterpret_cast<decltype(set)>(dlsym(handle, "f0r_set_param_value"));
    update = reinterpret_cast<decltype(update)>(dlsym(handle, "f0r_update"));
    info = reinterpret_cast<decltype(info)>(dlsym(handle, "f0r_get_plugin_info"));
    paramInfo = reinterpret_cast<decltype(paramInfo)>(dlsym(handle, "f0r_get_param_info"));
    return init && construct && destruct && set && update && info && paramInfo;
  }
  ~Plugin() {
    if (handle) dlclose(handle);
  }
  int Index(const char* name) {
    f0r_plugin_info_t pi{};
    info(&pi);
    for (int i = 0; i < pi.num_params; ++i) {
      f0r_param_info_t p{};
      paramInfo(&p, i);
      if (std::string(p.name) == name) return i;
    }
    return -1;
  }
  // A grade that touches balance, hue, saturation and a softened secondary mask; no master
  // levels, whose dither is seeded from the clock.
  void SetPanel(f0r_instance_t instance) {
    const std::pair<const char*, double> panel[] = {
        {"MasterSaturation", 0.35},      {"ShadowBalanceMagnitude", 0.4}, {"ShadowBalanceAngle", 0.3},
        {"HighlightHueAngle", 0.6},      {"MidtoneSaturation", 0.8},      {"LumaStartThreshold", 0.3},
        {"LumaStartSoftness", 0.1},      {"Soften", 0.1}};
    for (auto [name, value] : panel) {
      const int i = Index(name);
      ASSERT_GE(i, 0) << name;
      set(instance, &value, i);
    }
  }
};

constexpr unsigned kWidth = 64, kHeight = 48;
constexpr int kFrames = 6, kThreads = 4;

TEST(Frei0rThreads, FourInstancesOnFourThreadsMatchOneInstance) {
  Plugin plugin;
  std::string error;
  ASSERT_TRUE(plugin.Open(error)) << error;
  ASSERT_EQ(plugin.init(), 1);

  std::mt19937 rng(42);
  std::vector<std::vector<std::uint32_t>> frames(kFrames, std::vector<std::uint32_t>(kWidth * kHeight));
  for (auto& f : frames) {
    for (auto& p : f) p = static_cast<std::uint32_t>(rng());
  }

  // One instance, frame after frame.
  std::vector<std::vector<std::uint32_t>> expected(kFrames, std::vector<std::uint32_t>(kWidth * kHeight));
  f0r_instance_t one = plugin.construct(kWidth, kHeight);
  ASSERT_NE(one, nullptr);
  plugin.SetPanel(one);
  for (int f = 0; f < kFrames; ++f) plugin.update(one, f, frames[f].data(), expected[f].data());
  plugin.destruct(one);
  ASSERT_NE(expected[0], frames[0]);  // the panel changes the picture

  // Four instances, constructed and driven on their own threads at the same time.
  std::vector<std::vector<std::vector<std::uint32_t>>> got(
      kThreads, std::vector<std::vector<std::uint32_t>>(kFrames, std::vector<std::uint32_t>(kWidth * kHeight)));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      f0r_instance_t instance = plugin.construct(kWidth, kHeight);
      if (instance == nullptr) return;
      plugin.SetPanel(instance);
      for (int round = 0; round < 5; ++round) {
        for (int f = 0; f < kFrames; ++f) plugin.update(instance, f, frames[f].data(), got[t][f].data());
      }
      plugin.destruct(instance);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    for (int f = 0; f < kFrames; ++f) EXPECT_EQ(got[t][f], expected[f]) << "thread " << t << " frame " << f;
  }
}

}  // namespace
