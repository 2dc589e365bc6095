// The host effect interface of ThreeWayColorCorrector.
//
// This one header is everything a host needs to load the module and drive it: the entry-point
// signature, the command and result codes, the records passed to and from `main`, the callback
// tables, the named suites and the fixed-layout records the effect exchanges with the host.
// It depends on nothing but the C++ standard library; every record with a fixed binary layout
// asserts its size and offsets below, so a mismatch fails at compile time on both sides.
//
// Conventions:
//  - All records are plain structures, little-endian, 64-bit pointers (x86-64 Linux).
//  - Result codes are 32-bit signed; 0 is success.
//  - Pixel-format codes are four characters packed into 32 bits, first character in the lowest byte
//    ('bgra' == 0x61726762). A lower-case first letter means 8-bit channels, one capital 16-bit,
//    two capitals 32-bit float.
//  - Callbacks that do not receive the effect reference (memory handles, messages, strings) carry no
//    host context: a host that needs one keeps it per calling thread for the duration of `main`.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zkfx {

// ---------------------------------------------------------------------------------------------
// Scalars and codes

using EffectRef = void*;         // opaque; passed back to every suite operation and callback
using MemHandle = void**;        // a host memory handle: *handle is the block's address
using StringTableToken = void*;  // opaque 64-bit token for a registered display string table

constexpr std::uint32_t FourCC(const char (&s)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}

// Result codes.
constexpr std::int32_t kErrNone = 0;
constexpr std::int32_t kErrOutOfMemory = 4;
constexpr std::int32_t kErrSuiteUnavailable = 516;
// The effect's own failures, for which the interface defines no code (negative, so they cannot
// clash with the host's): the host passed no input or output record, or the parameter array or
// frame a command needs; an unexpected exception reached the entry point (it never crosses into
// the host).
constexpr std::int32_t kErrInvalidHostRecord = -1;
constexpr std::int32_t kErrInternal = -2;

// Command codes passed as `main`'s first argument.
constexpr std::int32_t kCmdAbout = 0;
constexpr std::int32_t kCmdGlobalSetup = 1;
constexpr std::int32_t kCmdGlobalSetdown = 3;
constexpr std::int32_t kCmdParamsSetup = 4;
constexpr std::int32_t kCmdSequenceSetup = 5;
constexpr std::int32_t kCmdSequenceResetup = 6;
constexpr std::int32_t kCmdRender = 11;
constexpr std::int32_t kCmdUserChangedParam = 13;
constexpr std::int32_t kCmdUpdateParamsUI = 14;

// Out-flags the effect ORs into HostOutputRecord::outFlags.
constexpr std::uint32_t kOutFlagGlobalSetupBits = 0x50;  // bits 0x10 and 0x40, host-defined
constexpr std::uint32_t kOutFlagDisplayErrorMessage = 0x100;

constexpr std::uint32_t kEffectVersion = 0x00088002;
constexpr std::int32_t kStringTableProtocol = 4321;
constexpr std::size_t kMessageSize = 256;  // HostOutputRecord::message, terminator included

// Parameter types.
constexpr std::int32_t kParamTypeLayer = 0;
constexpr std::int32_t kParamTypeAngle = 3;
constexpr std::int32_t kParamTypeCheckBox = 4;
constexpr std::int32_t kParamTypeColor = 5;
constexpr std::int32_t kParamTypePopup = 7;
constexpr std::int32_t kParamTypeFloatSlider = 10;
constexpr std::int32_t kParamTypeGroupStart = 13;
constexpr std::int32_t kParamTypeGroupEnd = 14;
constexpr std::int32_t kParamTypeButton = 15;

// Parameter flags (ParamRecord::flags).
constexpr std::uint32_t kParamFlagConstant = 0x2;
constexpr std::uint32_t kParamFlagStartCollapsed = 0x20;
constexpr std::uint32_t kParamFlagSupervised = 0x40;
// UI flags (ParamRecord::uiFlags).
constexpr std::uint32_t kParamUIHidden = 0x200;
// Run-time change flag (ParamRecord::changeFlags): the effect changed this value.
constexpr std::uint32_t kChangeFlagChangedValue = 0x1;
// Float slider display and slider flags.
constexpr std::int16_t kDisplayPercent = 1;
constexpr std::uint32_t kSliderFlagBit0 = 1;

// The nine pixel formats the effect declares, in declaration order.
constexpr std::uint32_t kPixelFormatVUYA8 = FourCC("vuya");
constexpr std::uint32_t kPixelFormatVUYA16 = FourCC("Vuya");
constexpr std::uint32_t kPixelFormatVUYA32f = FourCC("VUya");
constexpr std::uint32_t kPixelFormatBGRA8 = FourCC("bgra");
constexpr std::uint32_t kPixelFormatBGRA16 = FourCC("Bgra");
constexpr std::uint32_t kPixelFormatBGRA32f = FourCC("BGra");
constexpr std::uint32_t kPixelFormatARGB8 = FourCC("argb");
constexpr std::uint32_t kPixelFormatARGB16 = FourCC("Argb");
constexpr std::uint32_t kPixelFormatARGB32f = FourCC("ARgb");
static_assert(kPixelFormatBGRA8 == 0x61726762 && kPixelFormatARGB32f == 0x62675241);

// ---------------------------------------------------------------------------------------------
// Frames and rectangles

// A frame as the host lends it: the parameter at index 0 (the input layer) and `main`'s output.
struct HostFrame {
  void* data;                    // first pixel of the top row
  std::int32_t rowBytes;         // bytes from one row to the next (may be negative)
  std::int32_t width;            // pixels per row
  std::int32_t height;           // rows
  std::uint32_t hostPixelFormat; // the host's own: the effect asks through queryPixelFormat
};
static_assert(sizeof(HostFrame) == 24);

struct HostRect {  // right and bottom exclusive
  std::int32_t left, top, right, bottom;
};
static_assert(sizeof(HostRect) == 16);

struct RationalScale {
  std::int32_t num;
  std::uint32_t den;
};
static_assert(sizeof(RationalScale) == 8);

// ---------------------------------------------------------------------------------------------
// ParamRecord: the host's 176-byte record of one parameter

struct PopupValue {
  std::int32_t current;        // 1-based choice
  std::int16_t choiceCount;
  std::int16_t defaultChoice;  // 1-based
  const char* choices;         // entries separated by '|'
};
struct CheckBoxValue {
  std::int32_t current;  // 0 off, 1 on
  std::uint8_t defaultOn;
  std::uint8_t reserved0;
  std::uint16_t reserved1;
  const char* boxText;
};
struct ButtonValue {
  std::int32_t current;
  std::int32_t reserved;
  const char* buttonText;
};
struct ColorARGB {  // channel bytes in memory order alpha, red, green, blue
  std::uint8_t alpha, red, green, blue;
};
struct ColorValue {
  ColorARGB current;
  ColorARGB defaultColor;
};
struct AngleValue {  // signed 16.16 fixed-point degrees; no range is declared
  std::int32_t current;
  std::int32_t defaultAngle;
};
struct FloatSliderValue {
  double current;
  double phase;
  char valueText[32];
  float validMin;
  float validMax;
  float sliderMin;
  float sliderMax;
  float defaultValue;
  std::int16_t precision;
  std::int16_t displayFlags;
  std::uint32_t sliderFlags;
  float curveTolerance;
  std::uint8_t useExponent;
  std::uint8_t reserved[3];
  float exponent;
};
struct LayerValue {  // index 0 only: the input frame, supplied by the host
  HostFrame frame;
};

union ParamValue {
  PopupValue popup;
  CheckBoxValue checkBox;
  ButtonValue button;
  ColorValue color;
  AngleValue angle;
  FloatSliderValue floatSlider;
  LayerValue layer;
  std::uint8_t raw[120];
};

struct ParamRecord {
  union {
    std::int32_t id;            // at declaration: the persistent id
    std::uint32_t changeFlags;  // at run time: kChangeFlagChangedValue when the effect wrote a value
  };
  std::uint32_t uiFlags;
  std::int16_t uiWidth;
  std::int16_t uiHeight;
  std::int32_t type;
  char name[32];  // zero-terminated, at most 31 characters
  std::uint32_t flags;
  std::uint32_t reserved;
  ParamValue value;
};

static_assert(sizeof(ParamRecord) == 176);
static_assert(offsetof(ParamRecord, id) == 0 && offsetof(ParamRecord, changeFlags) == 0);
static_assert(offsetof(ParamRecord, uiFlags) == 4);
static_assert(offsetof(ParamRecord, uiWidth) == 8);
static_assert(offsetof(ParamRecord, uiHeight) == 10);
static_assert(offsetof(ParamRecord, type) == 12);
static_assert(offsetof(ParamRecord, name) == 16);
static_assert(offsetof(ParamRecord, flags) == 48);
static_assert(offsetof(ParamRecord, value) == 56);
static_assert(sizeof(ParamValue) == 120);
// Value parts, offsets from the start of the record (56 + offset within the value).
static_assert(56 + offsetof(PopupValue, current) == 56);
static_assert(56 + offsetof(PopupValue, choiceCount) == 60);
static_assert(56 + offsetof(PopupValue, defaultChoice) == 62);
static_assert(56 + offsetof(PopupValue, choices) == 64);
static_assert(56 + offsetof(CheckBoxValue, defaultOn) == 60);
static_assert(56 + offsetof(CheckBoxValue, boxText) == 64);
static_assert(56 + offsetof(ButtonValue, buttonText) == 64);
static_assert(56 + offsetof(ColorValue, current) == 56);
static_assert(56 + offsetof(ColorValue, defaultColor) == 60);
static_assert(56 + offsetof(AngleValue, defaultAngle) == 60);
static_assert(56 + offsetof(FloatSliderValue, current) == 56);
static_assert(56 + offsetof(FloatSliderValue, phase) == 64);
static_assert(56 + offsetof(FloatSliderValue, valueText) == 72);
static_assert(56 + offsetof(FloatSliderValue, validMin) == 104);
static_assert(56 + offsetof(FloatSliderValue, validMax) == 108);
static_assert(56 + offsetof(FloatSliderValue, sliderMin) == 112);
static_assert(56 + offsetof(FloatSliderValue, sliderMax) == 116);
static_assert(56 + offsetof(FloatSliderValue, defaultValue) == 120);
static_assert(56 + offsetof(FloatSliderValue, precision) == 124);
static_assert(56 + offsetof(FloatSliderValue, displayFlags) == 126);
static_assert(56 + offsetof(FloatSliderValue, sliderFlags) == 128);
static_assert(56 + offsetof(FloatSliderValue, curveTolerance) == 132);
static_assert(56 + offsetof(FloatSliderValue, useExponent) == 136);
static_assert(56 + offsetof(FloatSliderValue, exponent) == 140);
static_assert(sizeof(FloatSliderValue) <= sizeof(ParamValue));

// The record `main`'s sixth argument points to for kCmdUserChangedParam.
struct UserChangedParamExtra {
  std::int32_t paramIndex;
};

// ---------------------------------------------------------------------------------------------
// Records the effect keeps with the host

// The effect's global data: 8 bytes in a memory handle from global set-up to global set-down.
struct GlobalRecord {
  StringTableToken stringTableToken;
};
static_assert(sizeof(GlobalRecord) == 8 && offsetof(GlobalRecord, stringTableToken) == 0);

// The sequence data: a 256-bin luma histogram of the last rendered frame. No pointers, so a host
// may store and restore it byte for byte.
constexpr std::size_t kLumaHistogramSize = 2052;
struct LumaHistogram {
  std::uint32_t peak;
  std::uint32_t count[256];
  float normalized[256];
};
static_assert(sizeof(LumaHistogram) == kLumaHistogramSize);
static_assert(offsetof(LumaHistogram, peak) == 0);
static_assert(offsetof(LumaHistogram, count) == 4);
static_assert(offsetof(LumaHistogram, normalized) == 1028);

// One entry of the display string table the effect registers at global set-up.
struct DisplayString {
  const char* text;  // "$$$/Lumvane/ZKFilters/ColorThreeWay/<key>=<English text>"; null ends the table
  std::uint64_t reserved[3];
};
static_assert(sizeof(DisplayString) == 32 && offsetof(DisplayString, reserved) == 8);

// The descriptor whose address the effect hands to registerStrings.
struct DisplayStringTable {
  const char* name;     // "FX"
  std::uint64_t count;  // entries, the terminating one included
  DisplayString* entries;
};
static_assert(sizeof(DisplayStringTable) == 24);
static_assert(offsetof(DisplayStringTable, count) == 8 && offsetof(DisplayStringTable, entries) == 16);

// ---------------------------------------------------------------------------------------------
// Callback tables and suites

// Memory, messages and rectangle copies.
struct HostUtilityTable {
  MemHandle (*newHandle)(std::uint64_t size);  // null on failure
  void (*disposeHandle)(MemHandle handle);
  std::uint64_t (*getHandleSize)(MemHandle handle);
  // Copies a zero-terminated text. The destination is either HostOutputRecord::message (256 bytes)
  // or ParamRecord::name (32 bytes; the effect never passes a name longer than 31 characters).
  void (*copyMessage)(char* destination, const char* text);
  // printf-style formatting into HostOutputRecord::message (at most 256 bytes are written).
  std::int32_t (*formatMessage)(char* destination, const char* format, ...);
  std::int32_t (*copyRect)(EffectRef effect, const HostFrame* source, HostFrame* destination,
                           const HostRect* sourceRect, const HostRect* destinationRect);
};

// Acquire and release named suites. acquireSuite stores the suite's address in *suite (or null).
struct BasicSuite {
  std::int32_t (*acquireSuite)(const char* name, std::int32_t version, const void** suite);
  std::int32_t (*releaseSuite)(const char* name, std::int32_t version);
};

constexpr const char* kPixelFormatSuiteName = "PF Pixel Format Suite";
constexpr std::int32_t kPixelFormatSuiteVersion = 1;
struct PixelFormatSuite1 {  // operations in table order, numbered from 1
  std::int32_t (*declarePixelFormat)(EffectRef effect, std::uint32_t code);         // 1
  std::int32_t (*resetPixelFormats)(EffectRef effect);                              // 2
  void (*reserved3)();                                                              // 3
  void (*reserved4)();                                                              // 4
  std::int32_t (*queryPixelFormat)(const HostFrame* frame, std::uint32_t* code);   // 5
};

constexpr const char* kGroupParamSuiteName = "PF Group Param Suite";
constexpr std::int32_t kGroupParamSuiteVersion = 1;
struct GroupParamSuite1 {
  // index -1 names the parameter just added.
  std::int32_t (*setGroupKind)(EffectRef effect, std::int32_t index, std::int32_t kind);  // 1
};

constexpr const char* kParamUtilsSuiteName = "PF Param Utils Suite";
constexpr std::int32_t kParamUtilsSuiteVersion = 2;
struct ParamUtilsSuite2 {
  std::int32_t (*refreshParamUI)(EffectRef effect, std::int32_t index, const ParamRecord* record);  // 1
};

// Parameter declaration and the display string table.
struct InteractionCallbacks {
  // index -1 appends. The host copies the record and every text it points to during the call.
  std::int32_t (*addParam)(EffectRef effect, std::int32_t index, const ParamRecord* record);
  // *slot holds the address of a DisplayStringTable; on success the host leaves its token there.
  std::int32_t (*registerStrings)(StringTableToken* slot, std::int32_t protocol);
  // The display text of an entry (by default the English text after the first '=').
  const char* (*lookupString)(StringTableToken token, std::int32_t entry, std::int32_t reserved1,
                              std::int32_t reserved2);
  void (*unregisterStrings)(StringTableToken* slot);
};

// ---------------------------------------------------------------------------------------------
// The records passed to `main`

struct HostInputRecord {
  EffectRef effectRef;
  MemHandle globalData;    // the GlobalRecord between global set-up and set-down
  MemHandle sequenceData;  // the LumaHistogram of the sequence being served
  const HostUtilityTable* utils;
  const BasicSuite* basicSuite;
  InteractionCallbacks callbacks;
  RationalScale downsampleX;  // render scale, horizontal
  RationalScale downsampleY;  // render scale, vertical
  RationalScale pixelAspect;  // pixel aspect ratio of the frames
};

struct HostOutputRecord {
  std::uint32_t version;
  std::uint32_t outFlags;
  MemHandle globalData;
  MemHandle sequenceData;
  std::int32_t paramCount;
  char message[kMessageSize];
};

// The exported entry point. `params` is indexed by parameter index (index 0 is the input frame);
// `output` is the output frame (render only); `extra` points to a UserChangedParamExtra for
// kCmdUserChangedParam and is not read otherwise.
using EntryPoint = std::int32_t (*)(std::int32_t command, HostInputRecord* in, HostOutputRecord* out,
                                    ParamRecord** params, HostFrame* output, void* extra);
constexpr const char* kEntryPointName = "main";

// ---------------------------------------------------------------------------------------------
// The registration resource
//
// The module carries its registration resource (type "PIPL", id 16000) in an ELF section of this
// name, so a host reads it from the file without running any of the module's code.
constexpr const char* kRegistrationSectionName = ".pipl";
constexpr std::uint32_t kRegistrationResourceId = 16000;
constexpr const char* kEffectMatchName = "QTRN Three-Way Color Corrector";

}  // namespace zkfx
