// The numbers every row converter of the image library shares, the scalar rows and the vector
// rows alike: the BT.601 matrix in single precision, the integer codings and the channel positions.
// Internal to the library.
#pragma once

#include <cstdint>

#include "pixmill/bt601.h"

namespace pixmill {

// BT.601 in single precision.
//
// Forward: Y = 0.299 R + 0.587 G + 0.114 B, evaluated as G + 0.299 (R - G) + 0.114 (B - G) (the
// same matrix, since the weights sum to 1) so that every neutral grey gives Y equal to its channel
// value and U = V = 0 exactly. U = (B - Y) / 1.772, V = (R - Y) / 1.402.
// Inverse: R = Y + 1.402 V, G = Y - (0.114 * 1.772 / 0.587) U - (0.299 * 1.402 / 0.587) V,
// B = Y + 1.772 U, the two green weights worked out in double precision from the matrix.
inline constexpr float kWeightR = static_cast<float>(bt601::kLumaRed);
inline constexpr float kWeightB = static_cast<float>(bt601::kLumaBlue);
inline constexpr float kBMinusYPerU = static_cast<float>(bt601::kBlueDifferenceScale);
inline constexpr float kRMinusYPerV = static_cast<float>(bt601::kRedDifferenceScale);
inline constexpr float kRFromV = static_cast<float>(bt601::kRedDifferenceScale);
inline constexpr float kGFromU =
    static_cast<float>(bt601::kLumaBlue * bt601::kBlueDifferenceScale / bt601::kLumaGreen);
inline constexpr float kGFromV =
    static_cast<float>(bt601::kLumaRed * bt601::kRedDifferenceScale / bt601::kLumaGreen);
inline constexpr float kBFromU = static_cast<float>(bt601::kBlueDifferenceScale);

// Integer codings. Full range RGB and alpha: value = code / max. Studio range YUV:
// Y = (code - black) / (white - black), U and V = (code - centre) / span.
//
// The vector rows take code / max as code * kUnitHigh + code * kUnitLow: the first product is
// exact (a power of two), the second is rounded once, and the sum rounds to the quotient's own
// bits for every code of the coding (1/max repeats with the coding's period, so the exact quotient
// never lies near a rounding midpoint; the tests check every code). Two multiplications and an
// addition cost the vector rows less than a division.
template <typename T>
struct Coding;
template <>
struct Coding<std::uint8_t> {
  static constexpr float kMax = 255.0f;
  static constexpr float kUnitHigh = 0x1p-8f;
  static constexpr float kUnitLow = 0x1.010102p-16f;
  static constexpr float kBlack = 16.0f;
  static constexpr float kLumaSpan = 219.0f;    // 16..235
  static constexpr float kChromaCentre = 128.0f;
  static constexpr float kChromaSpan = 224.0f;  // 16..240
};
template <>
struct Coding<std::uint16_t> {
  static constexpr float kMax = 65535.0f;
  static constexpr float kUnitHigh = 0x1p-16f;
  static constexpr float kUnitLow = 0x1.0001p-32f;
  static constexpr float kBlack = 4096.0f;
  static constexpr float kLumaSpan = 56064.0f;   // 4096..60160
  static constexpr float kChromaCentre = 32768.0f;
  static constexpr float kChromaSpan = 57344.0f;  // 4096..61440
};

// Channel positions within a pixel for the RGB layouts, in memory order.
struct BgraOrder {
  static constexpr int kB = 0, kG = 1, kR = 2, kA = 3;
};
struct ArgbOrder {
  static constexpr int kA = 0, kR = 1, kG = 2, kB = 3;
};

// The working format's channel positions.
inline constexpr int kV = 0, kU = 1, kY = 2, kA = 3;

}  // namespace pixmill
