#include "params/declare.h"

#include <algorithm>
#include <cstring>

#include "params/catalogue.h"
#include "params/string_table.h"

namespace threeway {
namespace {

// The string table token that global set-up kept in the GlobalRecord.
zkfx::StringTableToken StringTableToken(const zkfx::HostInputRecord* in) {
  if (in->globalData == nullptr || *in->globalData == nullptr) return nullptr;
  return static_cast<const zkfx::GlobalRecord*>(*in->globalData)->stringTableToken;
}

constexpr std::size_t kNameCapacity = sizeof(zkfx::ParamRecord::name) - 1;  // 31 characters

}  // namespace

// ---------------------------------------------------------------------------------------------
// DeclarerScope

DeclarerScope::DeclarerScope(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                             const zkfx::GroupParamSuite1* groupSuite)
    : in_(in), scratch_(scratch), groupSuite_(groupSuite), token_(StringTableToken(in)) {}

std::string DeclarerScope::Lookup(std::int32_t entry) const {
  // The host owns the returned text only until its next call: copy it at once. A host that has no
  // text for an entry gets an empty one rather than a crash.
  const char* text = in_->callbacks.lookupString(token_, entry, 0, 0);
  return text != nullptr ? std::string(text) : std::string();
}

void DeclarerScope::FetchBlankLabel() {
  blank_ = Lookup(kStrSpaceLabelText);
  haveBlank_ = true;
}

const std::string& DeclarerScope::FetchName(std::int32_t entry) {
  if (entry == kStrSpaceLabelText && haveBlank_) return blank_;
  name_ = Lookup(entry);
  return name_;
}

const std::string& DeclarerScope::FetchText(std::int32_t entry) {
  text_ = Lookup(entry);
  return text_;
}

zkfx::ParamRecord& DeclarerScope::ClearRecord() {
  std::memset(static_cast<void*>(scratch_), 0, sizeof(zkfx::ParamRecord));
  return *scratch_;
}

void DeclarerScope::CopyName(const std::string& name) {
  char truncated[kNameCapacity + 1];
  const std::size_t length = std::min(name.size(), kNameCapacity);
  std::memcpy(truncated, name.data(), length);
  truncated[length] = '\0';
  in_->utils->copyMessage(scratch_->name, truncated);
}

std::int32_t DeclarerScope::AddParam() {
  return in_->callbacks.addParam(in_->effectRef, -1, scratch_);
}

bool DeclarerScope::HasGroupSuite() const {
  return groupSuite_ != nullptr && groupSuite_->setGroupKind != nullptr;
}

std::int32_t DeclarerScope::SetGroupKind(std::int32_t kind) {
  if (!HasGroupSuite()) return zkfx::kErrSuiteUnavailable;
  return groupSuite_->setGroupKind(in_->effectRef, -1, kind);
}

// ---------------------------------------------------------------------------------------------
// Group brackets

std::int32_t DeclareGroupStart(DeclarerScope& scope, std::int32_t nameEntry, std::uint32_t flags,
                               std::uint32_t uiFlags, std::int32_t id, std::int32_t kind) {
  // A group whose kind cannot be sent is not added at all, so no bracket is left half-declared.
  if (kind != kNoGroupKind && !scope.HasGroupSuite()) return zkfx::kErrSuiteUnavailable;
  zkfx::ParamRecord& record = scope.ClearRecord();
  const std::string& name = scope.FetchName(nameEntry);
  record.flags = flags;
  record.uiFlags = uiFlags;
  record.type = zkfx::kParamTypeGroupStart;
  scope.CopyName(name);
  record.id = id;
  if (const std::int32_t result = scope.AddParam(); result != zkfx::kErrNone) return result;
  if (kind == kNoGroupKind) return zkfx::kErrNone;
  return scope.SetGroupKind(kind);
}

std::int32_t DeclarePlainGroupStart(DeclarerScope& scope, std::int32_t nameEntry, std::int32_t id) {
  zkfx::ParamRecord& record = scope.ClearRecord();
  const std::string& name = scope.FetchName(nameEntry);
  record.id = id;
  record.type = zkfx::kParamTypeGroupStart;
  scope.CopyName(name);
  return scope.AddParam();
}

std::int32_t DeclareGroupEnd(DeclarerScope& scope, std::int32_t id) {
  zkfx::ParamRecord& record = scope.ClearRecord();
  record.type = zkfx::kParamTypeGroupEnd;
  record.id = id;
  return scope.AddParam();
}

// ---------------------------------------------------------------------------------------------
// Valued parameters

std::int32_t DeclareParam(DeclarerScope& scope, const ParamSpec& row) {
  switch (row.type) {
    case zkfx::kParamTypeGroupStart:
      if (row.flags == 0 && row.uiFlags == 0 && row.groupKind == kNoGroupKind) {
        return DeclarePlainGroupStart(scope, row.nameEntry, row.id);
      }
      return DeclareGroupStart(scope, row.nameEntry, row.flags, row.uiFlags, row.id, row.groupKind);
    case zkfx::kParamTypeGroupEnd:
      return DeclareGroupEnd(scope, row.id);
    case zkfx::kParamTypeLayer:
      return zkfx::kErrNone;  // the input layer is the host's own
    default:
      break;
  }

  zkfx::ParamRecord& record = scope.ClearRecord();
  const std::string& name = scope.FetchName(row.nameEntry);
  const std::string* text = row.popup.choicesEntry != kNoText ? &scope.FetchText(row.popup.choicesEntry)
                            : row.textEntry != kNoText        ? &scope.FetchText(row.textEntry)
                                                              : nullptr;
  record.type = row.type;
  record.flags = row.flags;
  record.uiFlags = row.uiFlags;
  scope.CopyName(name);

  zkfx::ParamValue& value = record.value;
  switch (row.type) {
    case zkfx::kParamTypePopup:
      value.popup.current = row.popup.defaultChoice;
      value.popup.choiceCount = row.popup.choiceCount;
      value.popup.defaultChoice = row.popup.defaultChoice;
      value.popup.choices = text->c_str();
      break;
    case zkfx::kParamTypeCheckBox:
      value.checkBox.current = 0;
      value.checkBox.defaultOn = 0;
      value.checkBox.boxText = text->c_str();
      break;
    case zkfx::kParamTypeButton:
      value.button.current = 0;
      value.button.buttonText = text->c_str();
      break;
    case zkfx::kParamTypeColor:
      value.color.current = {255, row.color.red, row.color.green, row.color.blue};
      value.color.defaultColor = value.color.current;
      break;
    case zkfx::kParamTypeAngle:
      value.angle.current = 0;
      value.angle.defaultAngle = 0;
      break;
    case zkfx::kParamTypeFloatSlider: {
      zkfx::FloatSliderValue& slider = value.floatSlider;
      slider.validMin = row.slider.minimum;
      slider.validMax = row.slider.maximum;
      slider.sliderMin = row.slider.minimum;
      slider.sliderMax = row.slider.maximum;
      slider.current = static_cast<double>(row.slider.defaultValue);
      slider.defaultValue = row.slider.defaultValue;
      slider.precision = row.slider.precision;
      slider.displayFlags = row.slider.displayFlags;
      slider.sliderFlags |= row.slider.sliderFlags;
      slider.curveTolerance = 0.05f;
      slider.useExponent = row.slider.useExponent;
      slider.exponent = row.slider.exponent;
      break;
    }
    default:
      break;
  }
  record.id = row.id;
  return scope.AddParam();
}

// ---------------------------------------------------------------------------------------------
// The declarers

namespace {

// Declares the catalogue rows first..last in order. A declarer that names anything with the
// one-blank label fetches that text once, before its first declaration.
std::int32_t DeclareRows(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                         const zkfx::GroupParamSuite1* groupSuite, ParamIndex first, ParamIndex last) {
  DeclarerScope scope(in, scratch, groupSuite);
  const auto rows = ParamSpecs().subspan(static_cast<std::size_t>(first),
                                         static_cast<std::size_t>(last - first + 1));
  if (std::any_of(rows.begin(), rows.end(),
                  [](const ParamSpec& row) { return row.nameEntry == kStrSpaceLabelText; })) {
    scope.FetchBlankLabel();
  }
  for (const ParamSpec& row : rows) {
    if (const std::int32_t result = DeclareParam(scope, row); result != zkfx::kErrNone) return result;
  }
  return zkfx::kErrNone;
}

std::int32_t DeclareOutputWithSuite(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1*) {
  return DeclareOutput(in, scratch);
}

}  // namespace

std::int32_t DeclareOutput(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch) {
  return DeclareRows(in, scratch, nullptr, kParamViewMode, kParamViewMode);
}

std::int32_t DeclareSplitViewGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                   const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamSplitViewGroupStart, kParamSplitViewGroupEnd);
}

std::int32_t DeclareThreeWayGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                  const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamThreeWayGroupStart, kParamThreeWayGroupEnd);
}

std::int32_t DeclareLevelsPickGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamLevelsPickGroupStart, kParamLevelsPickGroupEnd);
}

std::int32_t DeclareTonalRangeGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamTonalRangeGroupStart, kParamTonalRangeGroupEnd);
}

std::int32_t DeclareSaturationGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamSaturationGroupStart, kParamSaturationGroupEnd);
}

// The check box, the empty Center group, the Hue, Saturation and Luma range blocks (each an outer
// group and a collapsed inner group around start and end thresholds and softnesses; the Hue block
// leads with the hidden hue offset), then Soften, Edge Thinning and Invert.
std::int32_t DeclareSecondaryGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                   const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamSecondaryGroupStart, kParamSecondaryGroupEnd);
}

std::int32_t DeclareAutoLevelsGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamAutoLevelsGroupStart, kParamAutoLevelsGroupEnd);
}

// The four tonal ranges: one hidden group each of hue angle, balance magnitude, balance gain and
// balance angle.
std::int32_t DeclareShadowsGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                 const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamShadowsGroupStart, kParamShadowsGroupEnd);
}

std::int32_t DeclareMidtonesGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                  const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamMidtonesGroupStart, kParamMidtonesGroupEnd);
}

std::int32_t DeclareHighlightsGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamHighlightsGroupStart, kParamHighlightsGroupEnd);
}

std::int32_t DeclareMasterGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamMasterGroupStart, kParamMasterGroupEnd);
}

std::int32_t DeclareMasterLevelsGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                      const zkfx::GroupParamSuite1* groupSuite) {
  return DeclareRows(in, scratch, groupSuite, kParamMasterLevelsGroupStart, kParamMasterLevelsGroupEnd);
}

const std::array<GroupDeclarer, kGroupDeclarerCount> kGroupDeclarers = {
    DeclareOutputWithSuite, DeclareSplitViewGroup,  DeclareThreeWayGroup,   DeclareLevelsPickGroup,
    DeclareTonalRangeGroup, DeclareSaturationGroup, DeclareSecondaryGroup,  DeclareAutoLevelsGroup,
    DeclareShadowsGroup,    DeclareMidtonesGroup,   DeclareHighlightsGroup, DeclareMasterGroup,
    DeclareMasterLevelsGroup,
};

std::int32_t DeclareAllParams(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                              const zkfx::GroupParamSuite1* groupSuite) {
  for (const GroupDeclarer declarer : kGroupDeclarers) {
    if (const std::int32_t result = declarer(in, scratch, groupSuite); result != zkfx::kErrNone) {
      return result;
    }
  }
  return zkfx::kErrNone;
}

}  // namespace threeway
