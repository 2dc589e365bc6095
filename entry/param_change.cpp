#include "entry/param_change.h"

#include <cmath>

#include "entry/suites.h"
#include "pixmill/bt601.h"
#include "params/catalogue.h"
#include "kernels/dither_random.h"

namespace threeway {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;  // 180 / pi

// Truncates toward zero and keeps the low 8 bits, as the level pickers read the current levels.
// Values outside the 32-bit range (and NaN) read as 0 instead of invoking undefined behaviour.
std::int32_t TruncateLow8(double value) {
  if (!(value > -2147483648.0 && value < 2147483648.0)) return 0;
  return static_cast<std::int32_t>(value) & 0xFF;
}

zkfx::ParamRecord* Param(zkfx::ParamRecord** params, int index) {
  return params != nullptr ? params[index] : nullptr;
}

void WriteAngle(zkfx::ParamRecord* record, std::int32_t value) {
  if (record == nullptr) return;
  record->value.angle.current = value;
  record->changeFlags |= zkfx::kChangeFlagChangedValue;
}

void WriteFloat(zkfx::ParamRecord* record, double value) {
  if (record == nullptr) return;
  record->value.floatSlider.current = value;
  record->changeFlags |= zkfx::kChangeFlagChangedValue;
}

struct BalanceTargets {
  int colorIndex;
  int angleIndex;
  int magnitudeIndex;
};

void ApplyBalancePick(zkfx::ParamRecord** params, const BalanceTargets& t) {
  const zkfx::ParamRecord* color = Param(params, t.colorIndex);
  zkfx::ParamRecord* angle = Param(params, t.angleIndex);
  zkfx::ParamRecord* magnitude = Param(params, t.magnitudeIndex);
  if (color == nullptr || angle == nullptr || magnitude == nullptr) return;
  const zkfx::ColorARGB c = color->value.color.current;
  const BalancePick pick = BalanceFromPickedColor(c.red, c.green, c.blue, angle->value.angle.current,
                                                  magnitude->value.floatSlider.current);
  if (!pick.changes) return;
  WriteAngle(angle, pick.angle);
  WriteFloat(magnitude, pick.magnitude);
}

const zkfx::LumaHistogram* SequenceHistogram(const zkfx::HostInputRecord* in) {
  if (in->sequenceData == nullptr) return nullptr;
  return static_cast<const zkfx::LumaHistogram*>(*in->sequenceData);
}

void ApplyAutoLevels(zkfx::HostInputRecord* in, zkfx::ParamRecord** params, bool black, bool white) {
  // The buttons reseed the dither generator before reading the histogram, as the construction
  // of a renderer for a render would.
  ReseedDitherFromClock();
  const zkfx::LumaHistogram* histogram = SequenceHistogram(in);
  if (black) WriteFloat(Param(params, kParamMasterInputBlackLevel), AutoBlackLevel(histogram));
  if (white) WriteFloat(Param(params, kParamMasterInputWhiteLevel), AutoWhiteLevel(histogram));
}

// The 24 controls handed back for redisplay, in this order.
constexpr int kRefreshedParams[] = {
    kParamMasterSaturation,        kParamAutoButtonsGroupStart,   kParamLevelsPickGroupStart,
    kParamThreeWayGroupStart,      kParamShadowHueAngle,          kParamShadowBalanceMagnitude,
    kParamShadowBalanceGain,       kParamShadowBalanceAngle,      kParamMidtoneHueAngle,
    kParamMidtoneBalanceMagnitude, kParamMidtoneBalanceGain,      kParamMidtoneBalanceAngle,
    kParamHighlightHueAngle,       kParamHighlightBalanceMagnitude, kParamHighlightBalanceGain,
    kParamHighlightBalanceAngle,   kParamShadowSaturation,        kParamMidtoneSaturation,
    kParamHighlightSaturation,     kParamMasterInputBlackLevel,   kParamMasterInputGrayLevel,
    kParamMasterInputWhiteLevel,   kParamMasterOutputBlackLevel,  kParamMasterOutputWhiteLevel,
};
static_assert(std::size(kRefreshedParams) == 24);

}  // namespace

BalancePick BalanceFromPickedColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                   std::int32_t currentAngle, double currentMagnitude) {
  const double r = red, g = green, b = blue;
  const double cbFull = -0.148 * r - 0.291 * g + 0.439 * b + 128.0;
  const double crFull = 0.439 * r - 0.368 * g - 0.071 * b + 128.0;
  auto centred = [](double v) {
    int i = static_cast<int>(v);  // |v| < 256 for any 8-bit colour
    i = i < 0 ? 0 : (i > 255 ? 255 : i);
    return i - 128;
  };
  const int cb = centred(cbFull);
  const int cr = centred(crFull);
  const float theta = static_cast<float>(
      static_cast<double>(std::atan2(static_cast<float>(cr), static_cast<float>(cb))) * kDegreesPerRadian);
  const float m = std::sqrt(static_cast<float>(cb * cb + cr * cr));
  if (theta == 0.0f && m == 0.0f && currentAngle == 0 && currentMagnitude == 0.0) {
    return {false, currentAngle, currentMagnitude};
  }
  float a = (360.0f - theta) + 180.0f;
  a = a - std::trunc(a / 360.0f) * 360.0f;
  // To 16.16 degrees in single precision, as the pick is defined, then rounded half up.
  const double fixed = static_cast<double>(a * static_cast<float>(kFixedPointDegree)) + 0.5;
  return {true, static_cast<std::int32_t>(std::trunc(fixed)), static_cast<double>(m)};
}

std::int32_t LumaOfPickedColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  // Single precision, as the pick is defined.
  constexpr float kR = static_cast<float>(bt601::kLumaRed);
  constexpr float kG = static_cast<float>(bt601::kLumaGreen);
  constexpr float kB = static_cast<float>(bt601::kLumaBlue);
  const float l = kR * static_cast<float>(red) + kG * static_cast<float>(green) + kB * static_cast<float>(blue);
  return static_cast<std::int32_t>(l) & 0xFF;
}

double GammaFromPickedColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                            double blackLevel, double whiteLevel) {
  const std::int32_t l = LumaOfPickedColor(red, green, blue);
  const std::int32_t b = TruncateLow8(blackLevel);
  const std::int32_t w = TruncateLow8(whiteLevel);
  if (l == b && w == b) return 1.0;  // 0 / 0: nothing to act on, neutral gamma
  float x = static_cast<float>(l - b) / static_cast<float>(w - b);
  if (x < 0.0f) x = 0.0f;
  if (x > 1.0f) x = 1.0f;
  double g = std::log(0.5) / static_cast<double>(std::log(x));
  if (g < 0.10000000149011612) g = 0.10000000149011612;
  if (g > 10.0) g = 10.0;
  return g;
}

std::int32_t UserChangedParam(zkfx::HostInputRecord* in, zkfx::HostOutputRecord*,
                              zkfx::ParamRecord** params, const zkfx::UserChangedParamExtra* extra) {
  if (extra == nullptr || params == nullptr) return zkfx::kErrNone;
  switch (extra->paramIndex) {
    case kParamBlackBalance:
      ApplyBalancePick(params, {kParamBlackBalance, kParamShadowBalanceAngle, kParamShadowBalanceMagnitude});
      break;
    case kParamGrayBalance:
      ApplyBalancePick(params, {kParamGrayBalance, kParamMidtoneBalanceAngle, kParamMidtoneBalanceMagnitude});
      break;
    case kParamWhiteBalance:
      ApplyBalancePick(params,
                       {kParamWhiteBalance, kParamHighlightBalanceAngle, kParamHighlightBalanceMagnitude});
      break;
    case kParamAutoBlackLevel: ApplyAutoLevels(in, params, true, false); break;
    case kParamAutoContrast: ApplyAutoLevels(in, params, true, true); break;
    case kParamAutoWhiteLevel: ApplyAutoLevels(in, params, false, true); break;
    case kParamBlackLevel:
    case kParamWhiteLevel: {
      const zkfx::ParamRecord* color = Param(params, extra->paramIndex);
      if (color == nullptr) break;
      const zkfx::ColorARGB c = color->value.color.current;
      const int target = extra->paramIndex == kParamBlackLevel ? kParamMasterInputBlackLevel
                                                               : kParamMasterInputWhiteLevel;
      WriteFloat(Param(params, target), LumaOfPickedColor(c.red, c.green, c.blue));
      break;
    }
    case kParamGrayLevel: {
      const zkfx::ParamRecord* color = Param(params, kParamGrayLevel);
      const zkfx::ParamRecord* black = Param(params, kParamMasterInputBlackLevel);
      const zkfx::ParamRecord* white = Param(params, kParamMasterInputWhiteLevel);
      if (color == nullptr || black == nullptr || white == nullptr) break;
      const zkfx::ColorARGB c = color->value.color.current;
      WriteFloat(Param(params, kParamMasterInputGrayLevel),
                 GammaFromPickedColor(c.red, c.green, c.blue, black->value.floatSlider.current,
                                      white->value.floatSlider.current));
      break;
    }
    default: break;  // any other parameter: nothing to do
  }
  return zkfx::kErrNone;
}

std::int32_t UpdateParamsUI(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                            zkfx::ParamRecord** params) {
  const zkfx::ParamUtilsSuite2* utils = nullptr;
  if (AcquireSuiteAs(in, out, zkfx::kParamUtilsSuiteName, zkfx::kParamUtilsSuiteVersion, &utils) !=
      zkfx::kErrNone) {
    return zkfx::kErrNone;  // the message stays in the output record
  }
  for (int index : kRefreshedParams) {
    const zkfx::ParamRecord* record = Param(params, index);
    if (record == nullptr) continue;
    zkfx::ParamRecord copy = *record;
    utils->refreshParamUI(in->effectRef, index, &copy);
  }
  ReleaseSuite(in, out, zkfx::kParamUtilsSuiteName, zkfx::kParamUtilsSuiteVersion, nullptr);
  return zkfx::kErrNone;
}

}  // namespace threeway
