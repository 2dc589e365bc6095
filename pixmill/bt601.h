// The BT.601 luma weights and colour-difference scales that every conversion between RGB and the
// working format's Y, U, V uses: the host's image library, the effect's colour pick and the
// tool's vectorscope targets. Shared vocabulary: a leaf header with nothing but these numbers.
//   Y = 0.299 R + 0.587 G + 0.114 B,   U = (B - Y) / 1.772,   V = (R - Y) / 1.402
#pragma once

namespace bt601 {

inline constexpr double kLumaRed = 0.299;
inline constexpr double kLumaGreen = 0.587;
inline constexpr double kLumaBlue = 0.114;
inline constexpr double kBlueDifferenceScale = 1.772;  // (B - Y) / U
inline constexpr double kRedDifferenceScale = 1.402;   // (R - Y) / V

}  // namespace bt601
