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
                                           FrameLayout layout, std::string& error) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
    error = "frame size " + std::to_string(width) + "x" + std::to_string(height) +
            " is outside 1.." + std::to_string(kMaxSide) + " per side";
    return nullptr;
  }
  std::unique_ptr<Instance> instance(new Instance(width, height, layout));
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
  buttonDown_.assign(PluginParams().size(), 0);
  for (const PluginParam& param : PluginParams()) sent_.push_back(DefaultUnit(param));
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
  const std::size_t i = static_cast<std::size_t>(index);
  const PluginParam& param = params[i];
  const threeway::ParamSpec& row = threeway::ParamSpecAt(param.catalogueIndex);

  std::int32_t result = zkfx::kErrNone;
  if (param.kind == Kind::Color) {
    const auto* c = static_cast<const f0r_param_color_t*>(value);
    const zkfx::ColorARGB& old = host_.Param(row.index)->current.value.color.current;
    zkfx::ColorARGB color = old;  // alpha stays as declared
    color.red = UnitToChannel(c->r);
    color.green = UnitToChannel(c->g);
    color.blue = UnitToChannel(c->b);
    if (color.red != old.red || color.green != old.green || color.blue != old.blue) {
      result = host_.SetColor(row.index, color);
      Reassert(index);
    }
  } else {
    const double unit = *static_cast<const double*>(value);
    if (std::isnan(unit)) {
      Report("ignored a value that is not a number for " + std::string(param.name));
      return;
    }
    const double previous = sent_[i];
    sent_[i] = unit;
    if (param.kind == Kind::Button) {
      const bool down = UnitToBool(unit);
      const bool wasDown = buttonDown_[i] != 0;
      buttonDown_[i] = down ? 1 : 0;
      if (down && !wasDown) {
        result = host_.PressButton(row.index);
        Reassert(index);
      }
    } else if (!param.writtenBy.empty() && IsDefaultUnit(param, unit)) {
      // Held at the default: what a picker or button wrote stays. Brought back to it: the
      // default, then whatever the pickers' colours give.
      if (!IsDefaultUnit(param, previous)) {
        result = Apply(index, unit);
        PickAgain(index);
      }
    } else {
      result = Apply(index, unit);
    }
  }
  if (result != zkfx::kErrNone) {
    Report("the effect refused the change of " + std::string(param.name) + " (code " + std::to_string(result) + ")");
  }
}

std::int32_t Instance::Apply(int index, double unit) {
  const PluginParam& param = PluginParams()[static_cast<std::size_t>(index)];
  const threeway::ParamSpec& row = threeway::ParamSpecAt(param.catalogueIndex);
  const zkfx::ParamValue& current = host_.Param(row.index)->current.value;
  switch (param.kind) {
    case Kind::CheckBox: {
      const bool on = UnitToBool(unit);
      return on != (current.checkBox.current != 0) ? host_.SetCheckBox(row.index, on) : zkfx::kErrNone;
    }
    case Kind::Popup: {
      const std::int32_t choice = UnitToPopup(unit, row.popup.choiceCount);
      return choice != current.popup.current ? host_.SetPopup(row.index, choice) : zkfx::kErrNone;
    }
    case Kind::Slider: {
      const double v = UnitToSlider(row.slider, unit);
      return v != current.floatSlider.current ? host_.SetFloat(row.index, v) : zkfx::kErrNone;
    }
    case Kind::Angle: {
      const std::int32_t a = UnitToAngle(unit);
      return a != current.angle.current ? host_.SetAngle(row.index, a) : zkfx::kErrNone;
    }
    default: return zkfx::kErrNone;  // colours and buttons have their own paths
  }
}

void Instance::Reassert(int picker) {
  const std::span<const PluginParam> params = PluginParams();
  for (const int w : params[static_cast<std::size_t>(picker)].writes) {
    const double held = sent_[static_cast<std::size_t>(w)];
    if (!IsDefaultUnit(params[static_cast<std::size_t>(w)], held)) Apply(w, held);
  }
}

void Instance::PickAgain(int written) {
  const std::span<const PluginParam> params = PluginParams();
  for (const int p : params[static_cast<std::size_t>(written)].writtenBy) {
    const PluginParam& picker = params[static_cast<std::size_t>(p)];
    if (picker.kind != Kind::Color) continue;  // a press is an event of its time, not repeated
    const threeway::ParamSpec& row = threeway::ParamSpecAt(picker.catalogueIndex);
    const zkfx::ColorARGB color = host_.Param(row.index)->current.value.color.current;
    if (color.red == row.color.red && color.green == row.color.green && color.blue == row.color.blue) continue;
    host_.SetColor(row.index, color);
    Reassert(p);
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
  const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  const std::int32_t rowBytes = width_ * 4;
  // The module reads the 'bgra' frame `source` and writes `out`. BGRA frames in two buffers go to
  // it as they are. RGBA is swapped once each way: with two frames the input is swapped straight
  // into the output frame and rendered there in place, two frames in memory instead of three (the
  // module reads each row into its scratch row before writing it); that swap streams past the
  // cache, since the destination's old pixels are of no use and fetching them cost a frame's worth
  // of reads. When the host hands one frame for both, the input is first copied (or swapped) into
  // the instance's own buffer, so that a failed render can give the frame back unchanged.
  const bool swap = layout_ == FrameLayout::kRgba;
  const bool sameFrame = in == out;
  const std::uint32_t* source = in;
  if (swap || sameFrame) {
    std::uint32_t* bgra = out;
    if (sameFrame) {
      if (input_.size() != count) input_.assign(count, 0);
      bgra = input_.data();
    }
    if (swap) {
      SwapRedBlueStreaming(in, bgra, count);
    } else {
      std::memcpy(bgra, in, count * sizeof *bgra);
    }
    source = bgra;
  }
  const zkfx::HostFrame sourceFrame{const_cast<std::uint32_t*>(source), rowBytes, width_, height_,
                                    zkfx::kPixelFormatBGRA8};
  zkfx::HostFrame destination{out, rowBytes, width_, height_, zkfx::kPixelFormatBGRA8};
  const std::int32_t result = host_.Render(sourceFrame, destination);
  if (result != zkfx::kErrNone) {
    if (!renderFailed_) {
      std::string text = "the effect could not render a frame (code " + std::to_string(result) + ")";
      const std::string shown = host_.displayedMessage();
      if (!shown.empty()) text += ": " + shown;
      Report(text + "; frames pass through unchanged");
      renderFailed_ = true;
    }
    // The input unchanged: from the instance's buffer, or from the host's input, which a failed
    // render may have left half written over in the output.
    if (sameFrame) {
      if (swap) {
        SwapRedBlue(input_.data(), out, count);
      } else {
        std::memcpy(out, input_.data(), count * sizeof *out);
      }
    } else {
      std::memcpy(out, in, count * sizeof *out);
    }
    return;
  }
  // The module wrote 'bgra' into the host's frame; swap it back to RGBA in place.
  if (swap) SwapRedBlue(out, out, count);
}

}  // namespace threeway::frei0r
