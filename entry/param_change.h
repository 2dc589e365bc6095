// Reacting to the user in the host's control panel: colour picks, the auto level buttons and the
// refresh of the controls.
//
// Values are written back as computed, without clamping them to the sliders' ranges (a picked
// saturated red gives a balance magnitude above 100, an auto black level of 254 lies above the
// slider's 253): the numbers are the documented results of the pick, and the host decides how to
// show a value outside a slider. When the picked luma, the black level and the white level are
// all equal, the gamma pick has no information to act on (0 / 0) and writes the neutral gamma 1.0.
#pragma once

#include <cstdint>

#include "entry/auto_levels.h"
#include "entry/host_interface.h"

namespace threeway {

// kCmdUserChangedParam: acts on the parameter named by extra->paramIndex. Always kErrNone.
std::int32_t UserChangedParam(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                              zkfx::ParamRecord** params, const zkfx::UserChangedParamExtra* extra);

// kCmdUpdateParamsUI: hands 24 parameter records back to the host for redisplay. Always kErrNone.
std::int32_t UpdateParamsUI(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                            zkfx::ParamRecord** params);

// The pieces of the pick arithmetic, exposed for tests.
struct BalancePick {
  bool changes;           // false for a neutral pick onto a neutral balance
  std::int32_t angle;     // 16.16 fixed-point degrees
  double magnitude;
};
BalancePick BalanceFromPickedColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                   std::int32_t currentAngle, double currentMagnitude);
std::int32_t LumaOfPickedColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
double GammaFromPickedColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                            double blackLevel, double whiteLevel);

}  // namespace threeway
