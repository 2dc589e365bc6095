// The settings one render needs: the secondary qualifier's block and the primary correction's
// record. Both are read by position by the frame pass and the kernels, so their layouts are fixed
// and asserted here.
//
// Shared vocabulary: the renderer fills these records and the kernels read them, so this header is
// a leaf that includes nothing of the project and both layers may include it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace threeway {

// View modes (what the frame pass draws).
constexpr std::int32_t kViewVideo = 1;
constexpr std::int32_t kViewLuma = 2;
constexpr std::int32_t kViewMask = 3;
constexpr std::int32_t kViewTonalRange = 4;

// Invert modes of the secondary qualifier.
constexpr std::int32_t kInvertNone = 1;
constexpr std::int32_t kInvertLimitColor = 2;
constexpr std::int32_t kInvertMask = 3;

// Secondary colour correction settings. Hue values are fractions of the full hue circle (turns);
// saturation and luma values fractions of their full range.
struct QualifierBlock {
  float hueStartSoftness;   // 0
  float hueStartThreshold;  // 1: measured from the hue offset, in [0, 1)
  float hueEndSoftness;     // 2
  float hueEndThreshold;    // 3
  float satStartSoftness;   // 4
  float satStartThreshold;  // 5
  float satEndSoftness;     // 6
  float satEndThreshold;    // 7
  float lumaStartSoftness;  // 8
  float lumaStartThreshold; // 9
  float lumaEndSoftness;    // 10
  float lumaEndThreshold;   // 11
  float soften;             // 12: Soften, 0..50; above 0 the mask is computed ahead and blurred
  float blurX;              // 13: horizontal blur size, pixels of the rendered frame
  float blurY;              // 14: vertical blur size
  float edgeThinning;       // 15: Edge Thinning, -100..100
  std::int32_t invertMode;  // 16: kInvertNone, kInvertLimitColor, kInvertMask
  std::uint8_t hueUnrestricted;  // 17: 1 when the hue limits span the whole circle
};
static_assert(offsetof(QualifierBlock, hueStartSoftness) == 0 * 4);
static_assert(offsetof(QualifierBlock, hueEndThreshold) == 3 * 4);
static_assert(offsetof(QualifierBlock, satEndThreshold) == 7 * 4);
static_assert(offsetof(QualifierBlock, lumaEndThreshold) == 11 * 4);
static_assert(offsetof(QualifierBlock, soften) == 12 * 4);
static_assert(offsetof(QualifierBlock, edgeThinning) == 15 * 4);
static_assert(offsetof(QualifierBlock, invertMode) == 16 * 4);
static_assert(offsetof(QualifierBlock, hueUnrestricted) == 17 * 4);

// Colour balance, hue rotation and saturation of one tonal range (or the master).
struct RangeBalance {
  float balanceAngle;      // radians
  float balanceMagnitude;  // parameter / 100
  float balanceGain;       // parameter / 100
  float balanceX;          // balanceMagnitude * cos(balanceAngle)
  float balanceY;          // balanceMagnitude * sin(balanceAngle)
  float hueAngle;          // radians
  float saturation;        // 1.0 leaves it unchanged
};
static_assert(sizeof(RangeBalance) == 7 * 4);

// Input/output levels with gamma of one tonal range (or the master). Black and white are
// fractions of full scale; inputGray is a gamma (the exponent is 1 / inputGray).
struct RangeLevels {
  float inputBlack;
  float inputWhite;
  float inputGray;
  float outputBlack;
  float outputWhite;
};
static_assert(sizeof(RangeLevels) == 5 * 4);

struct HueRotation {  // cosine and sine of the range's rotation angle
  float cosine;
  float sine;
};

struct BalanceTarget {  // the point the range's chroma is pulled towards, and how strongly
  float u;
  float v;
  float weight;
};

// Primary correction settings, a contiguous run of 32-bit floats read by position.
struct RendererSettings {
  // Set by the render command (positions 0..51).
  float shadowThreshold;     // 0
  float shadowSoftness;      // 1
  float highlightThreshold;  // 2
  float highlightSoftness;   // 3
  RangeBalance master;       // 4..10
  RangeBalance shadow;       // 11..17
  RangeBalance midtone;      // 18..24
  RangeBalance highlight;    // 25..31
  RangeLevels masterLevels;     // 32..36
  RangeLevels shadowLevels;     // 37..41
  RangeLevels midtoneLevels;    // 42..46
  RangeLevels highlightLevels;  // 47..51
  // Constants written by the constructor and SetDefaults.
  float neutralChromaU;   // 52: U of the luma-only and display views
  float neutralChromaV;   // 53
  float maskDisplayGain;  // 54
  float fullScale;        // 55: white of the working format
  float midGrey;          // 56: midtones in the tonal-range view
  // Derived by Render before every frame.
  float shadowBlendEnd;       // 57
  float highlightBlendStart;  // 58
  HueRotation shadowHueRotation;     // 59, 60
  HueRotation midtoneHueRotation;    // 61, 62
  HueRotation highlightHueRotation;  // 63, 64
  BalanceTarget masterBalance;       // 65..67
  BalanceTarget shadowBalance;       // 68..70
  BalanceTarget midtoneBalance;      // 71..73
  BalanceTarget highlightBalance;    // 74..76
  // Constants read only by the derivation.
  float chromaScaleU;   // 77
  float chromaScaleV;   // 78
  float balanceRadius;  // 79
};
static_assert(offsetof(RendererSettings, master) == 4 * 4);
static_assert(offsetof(RendererSettings, highlight) == 25 * 4);
static_assert(offsetof(RendererSettings, masterLevels) == 32 * 4);
static_assert(offsetof(RendererSettings, highlightLevels) == 47 * 4);
static_assert(offsetof(RendererSettings, neutralChromaU) == 52 * 4);
static_assert(offsetof(RendererSettings, midGrey) == 56 * 4);
static_assert(offsetof(RendererSettings, shadowBlendEnd) == 57 * 4);
static_assert(offsetof(RendererSettings, shadowHueRotation) == 59 * 4);
static_assert(offsetof(RendererSettings, masterBalance) == 65 * 4);
static_assert(offsetof(RendererSettings, highlightBalance) == 74 * 4);
static_assert(offsetof(RendererSettings, chromaScaleU) == 77 * 4);
static_assert(sizeof(RendererSettings) == 80 * 4);

}  // namespace threeway
