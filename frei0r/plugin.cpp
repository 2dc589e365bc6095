// The frei0r entry points of threeway.so: a frei0r filter that hosts the three-way colour
// corrector module through the host library.
//
// Where the module is looked for, first match wins:
//   1. the file named by the environment variable THREEWAY_MODULE (used as given);
//   2. ThreeWayColorCorrector.so next to threeway.so (an installed pair);
//   3. ../plugins/ThreeWayColorCorrector.so relative to threeway.so (the build tree).
//
// The frames' byte order is chosen once per process (ProcessLayout): BGRA8888, the effect's own
// 'bgra', so that ffmpeg and GStreamer hand frames the module takes as they are; RGBA8888 inside
// MLT, whose own conversion for a BGRA filter is slower than the filter's swap;
// THREEWAY_FREI0R_LAYOUT=rgba|bgra overrides.
#include <dlfcn.h>
// The frei0r functions are this library's only exports (exports.map); everything else is hidden.
#pragma GCC visibility push(default)
#include "frei0r/frei0r_api.h"
#pragma GCC visibility pop

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "frei0r/instance.h"
#include "frei0r/param_map.h"

namespace {

constexpr const char* kModuleFile = "ThreeWayColorCorrector.so";

void Report(const std::string& text) { std::fprintf(stderr, "threeway (frei0r): %s\n", text.c_str()); }

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The directory of this shared object, from the loader's record of where it mapped it.
std::string OwnDirectory() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&OwnDirectory), &info) == 0 || info.dli_fname == nullptr) {
    return ".";
  }
  const std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The module's path, or empty with the places looked at in `tried`.
std::string LocateModule(std::string& tried) {
  if (const char* env = std::getenv("THREEWAY_MODULE"); env != nullptr && *env != '\0') return env;
  const std::string dir = OwnDirectory();
  const std::string candidates[] = {dir + "/" + kModuleFile, dir + "/../plugins/" + kModuleFile};
  for (const std::string& candidate : candidates) {
    if (IsFile(candidate)) return candidate;
    tried += tried.empty() ? candidate : ", " + candidate;
  }
  return {};
}

// The layout of this process's frames, chosen at the first call and then kept: a host reads the
// declared colour model once, and every instance must take what was declared.
threeway::frei0r::FrameLayout ProcessLayout() {
  static const threeway::frei0r::FrameLayout layout = [] {
    std::string complaint;
    const threeway::frei0r::FrameLayout chosen = threeway::frei0r::ChooseFrameLayout(
        std::getenv("THREEWAY_FREI0R_LAYOUT"), threeway::frei0r::MltInProcess(), complaint);
    if (!complaint.empty()) Report(complaint);
    return chosen;
  }();
  return layout;
}

threeway::frei0r::Instance* AsInstance(f0r_instance_t instance) { return static_cast<threeway::frei0r::Instance*>(instance); }

}  // namespace

extern "C" {

int f0r_init() {
  // Nothing can fail here: the module is loaded per instance, where a failure can be reported.
  return 1;
}

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (info == nullptr) return;
  int count = 0;
  try {
    count = static_cast<int>(threeway::frei0r::PluginParams().size());
  } catch (const std::exception& e) {
    Report(std::string("cannot list the parameters: ") + e.what());
  }
  info->name = threeway::frei0r::kFilterName;
  info->author = threeway::frei0r::kFilterAuthor;
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = ProcessLayout() == threeway::frei0r::FrameLayout::kBgra ? F0R_COLOR_MODEL_BGRA8888
                                                                           : F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = 1;
  info->minor_version = 0;
  info->num_params = count;
  info->explanation = threeway::frei0r::kFilterExplanation;
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
  if (info == nullptr) return;
  try {
    const auto params = threeway::frei0r::PluginParams();
    if (param_index < 0 || static_cast<std::size_t>(param_index) >= params.size()) return;
    const threeway::frei0r::PluginParam& param = params[static_cast<std::size_t>(param_index)];
    info->name = param.name.data();  // identifiers are string literals: zero-terminated
    info->type = param.frei0rType;
    info->explanation = param.explanation.c_str();
  } catch (const std::exception& e) {
    Report(std::string("cannot describe parameter ") + std::to_string(param_index) + ": " + e.what());
  }
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  try {
    std::string tried;
    const std::string path = LocateModule(tried);
    if (path.empty()) {
      Report(std::string("cannot find the effect module ") + kModuleFile + " (looked at " + tried +
             "); set THREEWAY_MODULE to its path");
      return nullptr;
    }
    std::string error;
    auto instance = threeway::frei0r::Instance::Create(static_cast<int>(std::min(width, 1u << 30)),
                                                       static_cast<int>(std::min(height, 1u << 30)), path,
                                                       ProcessLayout(), error);
    if (!instance) {
      Report("cannot use the effect module: " + error);
      return nullptr;
    }
    return instance.release();
  } catch (const std::exception& e) {
    Report(std::string("cannot create an instance: ") + e.what());
    return nullptr;
  }
}

void f0r_destruct(f0r_instance_t instance) { delete AsInstance(instance); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  if (instance == nullptr) return;
  try {
    AsInstance(instance)->SetParam(param_index, param);
  } catch (const std::exception& e) {
    Report(std::string("cannot set parameter ") + std::to_string(param_index) + ": " + e.what());
  }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  if (instance == nullptr) return;
  AsInstance(instance)->GetParam(param_index, param);
}

void f0r_update(f0r_instance_t instance, double /*time*/, const uint32_t* inframe, uint32_t* outframe) {
  if (instance == nullptr) return;
  try {
    AsInstance(instance)->Update(inframe, outframe);
  } catch (const std::exception& e) {
    Report(std::string("cannot render a frame: ") + e.what());
  }
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                 const uint32_t* /*inframe2*/, const uint32_t* /*inframe3*/, uint32_t* outframe) {
  f0r_update(instance, time, inframe1, outframe);
}

}  // extern "C"
