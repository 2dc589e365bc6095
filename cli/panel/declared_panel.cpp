#include "cli/panel/declared_panel.h"

#include <algorithm>
#include <cstring>

#include "cli/panel/json.h"
#include "params/catalogue.h"

namespace threeway::cli {
namespace {

std::string Text(const char* text) { return text ? text : ""; }

}  // namespace

using zkfx::ParamRecord;

const char* ParamTypeName(std::int32_t type) {
  switch (type) {
    case zkfx::kParamTypePopup: return "popup";
    case zkfx::kParamTypeCheckBox: return "checkbox";
    case zkfx::kParamTypeButton: return "button";
    case zkfx::kParamTypeColor: return "color";
    case zkfx::kParamTypeAngle: return "angle";
    case zkfx::kParamTypeFloatSlider: return "float";
    case zkfx::kParamTypeGroupStart: return "groupStart";
    case zkfx::kParamTypeGroupEnd: return "groupEnd";
    default: return "unknown";
  }
}

std::string ParamDisplayName(const ParamRecord& record) {
  return std::string(record.name, strnlen(record.name, sizeof record.name));
}

std::string_view CatalogueIdentifier(int index, const ParamRecord& record) {
  if (index < 1 || index >= threeway::kParamCount) return {};
  const threeway::ParamSpec& param = threeway::ParamSpecAt(index);
  return param.id == record.id && param.type == record.type ? param.identifier : std::string_view();
}

std::string DeclaredParamJson(const threeway::host::Host& host, int index) {
  const threeway::host::StoredParam& param = *host.Param(index);
  const ParamRecord& r = param.declared;
  const zkfx::ParamValue& v = r.value;
  std::string o = "{\"index\": " + std::to_string(index) + ", \"id\": " + std::to_string(r.id) +
                  ", \"type\": " + JsonString(ParamTypeName(r.type)) + ", \"name\": " + JsonString(ParamDisplayName(r)) +
                  ", \"identifier\": " +
                  (CatalogueIdentifier(index, r).empty() ? std::string("null") : JsonString(CatalogueIdentifier(index, r))) +
                  ", \"flags\": " + std::to_string(r.flags) + ", \"uiFlags\": " + std::to_string(r.uiFlags);
  switch (r.type) {
    case zkfx::kParamTypeGroupStart:
      o += ", \"groupKind\": " + (param.groupKind ? std::to_string(*param.groupKind) : std::string("null"));
      break;
    case zkfx::kParamTypePopup: {
      o += ", \"choiceCount\": " + std::to_string(v.popup.choiceCount) +
           ", \"default\": " + std::to_string(v.popup.defaultChoice) + ", \"choices\": [";
      const std::string choices = Text(v.popup.choices);
      std::size_t start = v.popup.choices ? 0 : 1;  // no text: no choices
      for (bool first = true; start <= choices.size(); first = false) {
        const std::size_t bar = std::min(choices.find('|', start), choices.size());
        o += (first ? "" : ", ") + JsonString(std::string_view(choices).substr(start, bar - start));
        start = bar + 1;
      }
      o += "]";
      break;
    }
    case zkfx::kParamTypeCheckBox:
      o += ", \"default\": " + std::string(v.checkBox.defaultOn ? "true" : "false") +
           ", \"boxText\": " + JsonString(Text(v.checkBox.boxText));
      break;
    case zkfx::kParamTypeButton:
      o += ", \"buttonText\": " + JsonString(Text(v.button.buttonText));
      break;
    case zkfx::kParamTypeColor: {
      const zkfx::ColorARGB& c = v.color.defaultColor;
      o += ", \"default\": [" + std::to_string(c.alpha) + ", " + std::to_string(c.red) + ", " +
           std::to_string(c.green) + ", " + std::to_string(c.blue) + "]";
      break;
    }
    case zkfx::kParamTypeAngle:
      o += ", \"default\": " + std::to_string(v.angle.defaultAngle);
      break;
    case zkfx::kParamTypeFloatSlider: {
      const zkfx::FloatSliderValue& s = v.floatSlider;
      o += ", \"default\": " + JsonFloat(s.defaultValue) + ", \"current\": " + JsonDouble(s.current) +
           ", \"validMin\": " + JsonFloat(s.validMin) + ", \"validMax\": " + JsonFloat(s.validMax) +
           ", \"sliderMin\": " + JsonFloat(s.sliderMin) + ", \"sliderMax\": " + JsonFloat(s.sliderMax) +
           ", \"precision\": " + std::to_string(s.precision) +
           ", \"displayFlags\": " + std::to_string(s.displayFlags) +
           ", \"sliderFlags\": " + std::to_string(s.sliderFlags) +
           ", \"curveTolerance\": " + JsonFloat(s.curveTolerance) +
           ", \"useExponent\": " + std::to_string(s.useExponent) + ", \"exponent\": " + JsonFloat(s.exponent);
      break;
    }
    default:
      break;
  }
  return o + "}";
}

}  // namespace threeway::cli
