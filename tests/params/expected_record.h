// The record the host must receive for each catalogue row, built from the reference
// transcription, and a byte-level comparison for readable failures.
#pragma once

#include <cstring>
#include <string>

#include "entry/host_interface.h"
#include "tests/params/reference_catalogue.h"

namespace threeway::testing {

// The record the host must receive for a row, built from the reference transcription. Text
// pointers are left null; the test compares the texts they pointed to separately.
inline zkfx::ParamRecord ExpectedRecord(const RefRow& ref) {
  zkfx::ParamRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof r);
  r.id = ref.id;
  r.uiFlags = ref.hidden ? 0x200u : 0u;
  r.type = ref.type;
  r.flags = ref.flags;
  if (ref.name != nullptr) std::strcpy(r.name, ref.name);
  switch (ref.type) {
    case zkfx::kParamTypePopup:
      r.value.popup.current = ref.defaultChoice;
      r.value.popup.choiceCount = static_cast<std::int16_t>(ref.choiceCount);
      r.value.popup.defaultChoice = static_cast<std::int16_t>(ref.defaultChoice);
      break;
    case zkfx::kParamTypeColor: {
      const zkfx::ColorARGB color{255, static_cast<std::uint8_t>(ref.red), static_cast<std::uint8_t>(ref.green),
                                  static_cast<std::uint8_t>(ref.blue)};
      r.value.color.current = color;
      r.value.color.defaultColor = color;
      break;
    }
    case zkfx::kParamTypeFloatSlider: {
      zkfx::FloatSliderValue& s = r.value.floatSlider;
      s.current = static_cast<double>(ref.def);
      s.validMin = s.sliderMin = ref.lo;
      s.validMax = s.sliderMax = ref.hi;
      s.defaultValue = ref.def;
      s.precision = static_cast<std::int16_t>(ref.precision);
      s.displayFlags = ref.index == 5 ? 1 : 0;
      s.sliderFlags = ref.index == 5 ? 1u : 0u;
      s.curveTolerance = 0.05f;
      s.useExponent = ref.index == 102 ? 1 : 0;
      s.exponent = ref.index == 102 ? 3.5f : 1.0f;
      break;
    }
    default:  // check box and button: current 0; angle: 0 and 0; groups: no value part
      break;
  }
  return r;
}

inline bool CarriesText(int type) {
  return type == zkfx::kParamTypePopup || type == zkfx::kParamTypeCheckBox || type == zkfx::kParamTypeButton;
}

// Offsets at which two records differ, for a readable failure.
inline std::string Differences(const zkfx::ParamRecord& actual, const zkfx::ParamRecord& expected) {
  const auto* a = reinterpret_cast<const std::uint8_t*>(&actual);
  const auto* e = reinterpret_cast<const std::uint8_t*>(&expected);
  std::string out;
  for (std::size_t i = 0; i < sizeof actual; ++i) {
    if (a[i] != e[i]) out += " @" + std::to_string(i) + ":" + std::to_string(a[i]) + "!=" + std::to_string(e[i]);
  }
  return out;
}

}  // namespace threeway::testing
