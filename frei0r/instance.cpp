#include "frei0r/instance.h"

#include "frei0r/frei0r_api.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "frei0r/param_map.h"
#include "host/bring_up.h"
#include "frei0r/pixels.h"
#include "params/catalogue.h"

namespace threeway::frei0r {

namespace {

// Frames up to this size per side; rows are addressed with 32-bit byte strides.
constexpr int kMaxSide = 32768;

}  // namespace

std::unique_ptr<Instance> Instance::Create(int width, int height, const std::string& modulePath,
                                           std::string& error) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
    error = "frame size " + std::to_string(width) + "x" + std::to_string(height) +
            " is outside 1.." + std::to_string(kMaxSide) + " per side";
    return nullptr;
  }
  std::unique_ptr<Instance> instance(new Instance(width, height));
  if (!instance->Init(modulePath, error)) return nullptr;
  return instance;
}

bool Instance::Init(const std::string& modulePath, std::string& error) {
  const threeway::host::BringUp bringUp = threeway::host::BringUpEffect(host_, modulePath, /*withSequence=*/true);
  setUp_ = bringUp.globalSetUp;
  if (!bringUp.ok) {
    error = bringUp.error;
    return false;
  }
  input_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0);
  buttonDown_.assign(PluginParams().size(), 0);
  return true;
}

Instance::~Instance() {
  if (setUp_) host_.GlobalSetdown();
}

void Instance::Report(const std::string& text) const {
  std::fprintf(stderr, "threeway (frei0r): %s\n", text.c_str());
}

void Instance::SetParam(int index, const void* value) {
  const std::span<const PluginParam> params = PluginParams();
  if (value == nullptr || index < 0 || static_cast<std::size_t>(index) >= params.size()) return;
  const PluginParam& param = params[static_cast<std::size_t>(index)];
  const threeway::ParamSpec& row = threeway::ParamSpecAt(param.catalogueIndex);
  const zkfx::ParamValue& current = host_.Param(row.index)->current.value;

  double unit = 0.0;
  if (param.frei0rType != F0R_PARAM_COLOR) {
    unit = *static_cast<const double*>(value);
    if (std::isnan(unit)) {
      Report("ignored a value that is not a number for " + std::string(param.name));
      return;
    }
  }
  // Only a change goes to the module: hosts such as MLT set every parameter on every frame, and a
  // picker or a supervised slider reports each change to the effect.
  std::int32_t result = zkfx::kErrNone;
  switch (param.kind) {
    case Kind::CheckBox: {
      const bool on = UnitToBool(unit);
      if (on != (current.checkBox.current != 0)) result = host_.SetCheckBox(row.index, on);
      break;
    }
    case Kind::Button: {
      const bool down = UnitToBool(unit);
      const bool wasDown = buttonDown_[static_cast<std::size_t>(index)] != 0;
      buttonDown_[static_cast<std::size_t>(index)] = down ? 1 : 0;
      if (down && !wasDown) result = host_.PressButton(row.index);
      break;
    }
    case Kind::Popup: {
      const std::int32_t choice = UnitToPopup(unit, row.popup.choiceCount);
      if (choice != current.popup.current) result = host_.SetPopup(row.index, choice);
      break;
    }
    case Kind::Slider: {
      const double v = UnitToSlider(row.slider, unit);
      if (v != current.floatSlider.current) result = host_.SetFloat(row.index, v);
      break;
    }
    case Kind::Angle: {
      const std::int32_t a = UnitToAngle(unit);
      if (a != current.angle.current) result = host_.SetAngle(row.index, a);
      break;
    }
    case Kind::Color: {
      const auto* c = static_cast<const f0r_param_color_t*>(value);
      zkfx::ColorARGB color = current.color.current;  // alpha stays as declared
      color.red = UnitToChannel(c->r);
      color.green = UnitToChannel(c->g);
      color.blue = UnitToChannel(c->b);
      const zkfx::ColorARGB& old = current.color.current;
      if (color.red != old.red || color.green != old.green || color.blue != old.blue) {
        result = host_.SetColor(row.index, color);
      }
      break;
    }
  }
  if (result != zkfx::kErrNone) {
    Report("the effect refused the change of " + std::string(param.name) + " (code " + std::to_string(result) + ")");
  }
}

void Instance::GetParam(int index, void* value) const {
  const std::span<const PluginParam> params = PluginParams();
  if (value == nullptr || index < 0 || static_cast<std::size_t>(index) >= params.size()) return;
  const PluginParam& param = params[static_cast<std::size_t>(index)];
  const threeway::ParamSpec& row = threeway::ParamSpecAt(param.catalogueIndex);
  const zkfx::ParamValue& current = host_.Param(row.index)->current.value;
  double* unit = static_cast<double*>(value);
  switch (param.kind) {
    case Kind::CheckBox: *unit = current.checkBox.current != 0 ? 1.0 : 0.0; break;
    case Kind::Button: *unit = buttonDown_[static_cast<std::size_t>(index)] != 0 ? 1.0 : 0.0; break;
    case Kind::Popup: *unit = PopupToUnit(current.popup.current, row.popup.choiceCount); break;
    case Kind::Slider: *unit = SliderToUnit(row.slider, current.floatSlider.current); break;
    case Kind::Angle: *unit = AngleToUnit(current.angle.current); break;
    case Kind::Color: {
      auto* c = static_cast<f0r_param_color_t*>(value);
      c->r = ChannelToUnit(current.color.current.red);
      c->g = ChannelToUnit(current.color.current.green);
      c->b = ChannelToUnit(current.color.current.blue);
      break;
    }
  }
}

void Instance::Update(const std::uint32_t* in, std::uint32_t* out) {
  if (in == nullptr || out == nullptr) return;
  const std::size_t count = input_.size();
  // One pass in: RGBA -> 'bgra' into the instance's buffer (so `in` may be `out`).
  SwapRedBlue(in, input_.data(), count);
  const std::int32_t rowBytes = width_ * 4;
  const zkfx::HostFrame source{input_.data(), rowBytes, width_, height_, zkfx::kPixelFormatBGRA8};
  zkfx::HostFrame destination{out, rowBytes, width_, height_, zkfx::kPixelFormatBGRA8};
  const std::int32_t result = host_.Render(source, destination);
  if (result != zkfx::kErrNone) {
    if (!renderFailed_) {
      std::string text = "the effect could not render a frame (code " + std::to_string(result) + ")";
      const std::string shown = host_.displayedMessage();
      if (!shown.empty()) text += ": " + shown;
      Report(text + "; frames pass through unchanged");
      renderFailed_ = true;
    }
    SwapRedBlue(input_.data(), out, count);  // back to RGBA: the input unchanged
    return;
  }
  // One pass out: the module wrote 'bgra' straight into the host's frame; swap it in place.
  SwapRedBlue(out, out, count);
}

}  // namespace threeway::frei0r
