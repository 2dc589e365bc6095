// One frei0r instance: one host of the effect module with one sequence, the byte order of its
// frames, and the frame buffer a frame handed as both input and output needs. Instances share
// nothing, so a frei0r host may drive one per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frei0r/pixels.h"
#include "host/host.h"

namespace threeway::frei0r {

class Instance {
 public:
  // Loads the module file, runs global, parameter and sequence set-up and sizes the frame buffer
  // for width x height frames in `layout`. Null with a message in `error` when any step fails or
  // the module is not the three-way corrector (its parameter list differs from the catalogue).
  static std::unique_ptr<Instance> Create(int width, int height, const std::string& modulePath,
                                          FrameLayout layout, std::string& error);
  ~Instance();  // global set-down; the host then unloads the module
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  // frei0r's set/get of parameter `index` (0 .. PluginParams().size()-1). `value` points at an
  // f0r_param_bool/double (a double) or an f0r_param_color_t as the parameter's type says. An
  // index out of range or a null value is ignored; a NaN double is refused with a message and the
  // parameter keeps its value.
  //
  // Hosts such as MLT set every parameter on every frame, editors keep every value of their panel
  // (defaults included), and the renders of an editor run in fresh instances. So that what a
  // picker or an auto button writes does not depend on that history, a value it writes (a balance
  // angle or magnitude, an input level) follows one rule: a value the host holds at its default
  // leaves what the effect computed in place, and a value the host moves off its default wins over
  // any picker or button, also one pressed later. A written value the host brings back to its
  // default takes what its picker's colour gives again (the default when the colour is the
  // picker's default). Everything else goes to the module only when it differs from the value the
  // module holds.
  void SetParam(int index, const void* value);
  void GetParam(int index, void* value) const;

  // Grades one frame of the constructed size and layout; `in` may equal `out`. If the module
  // refuses the frame the input is passed through unchanged and a message goes to stderr (once).
  void Update(const std::uint32_t* in, std::uint32_t* out);

  int width() const { return width_; }
  int height() const { return height_; }
  const threeway::host::Host& host() const { return host_; }

 private:
  Instance(int width, int height, FrameLayout layout) : width_(width), height_(height), layout_(layout) {}
  bool Init(const std::string& modulePath, std::string& error);
  void Report(const std::string& text) const;
  // Hands a non-colour value to the module when it differs from the module's own.
  std::int32_t Apply(int index, double unit);
  // After a pick or press: the values it wrote that the host holds off their defaults, again.
  void Reassert(int picker);
  // A written value back at its default: its pickers' colours picked again.
  void PickAgain(int written);

  int width_;
  int height_;
  FrameLayout layout_;
  bool setUp_ = false;          // global set-up succeeded: set-down is owed
  bool renderFailed_ = false;   // a render failure was reported already
  threeway::host::Host host_;
  std::vector<std::uint32_t> input_;  // a copy in 'bgra' of an input frame that is also the output
  std::vector<char> buttonDown_;      // per frei0r parameter: the last bool a button was given
  std::vector<double> sent_;          // per frei0r parameter: the last 0..1 the host sent, the
                                      // default until then (unused for colours)
};

}  // namespace threeway::frei0r
