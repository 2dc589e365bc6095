// Declaring the parameter catalogue to the host at parameter set-up.
//
// Thirteen group declarers hand the host the 106 declared parameters, in catalogue order, one
// scratch ParamRecord at a time. Every display text is fetched from the host's copy of the string
// table by entry number, immediately before the declaration that uses it, and copied at once into
// a string the declarer owns; the record's text pointers point into those copies, which live until
// the declarer returns (the host copies what it keeps during addParam). The first nonzero result
// of addParam or setGroupKind ends the declaration and is returned unchanged; parameters already
// added stay with the host.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "entry/host_interface.h"

namespace threeway {

struct ParamSpec;

// What one declarer works with: the host, the scratch record, the group suite, and the texts it
// owns. The texts are released when the scope ends, on every path.
class DeclarerScope {
 public:
  // `groupSuite` may be null for a declarer that declares no group start with a kind.
  DeclarerScope(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                const zkfx::GroupParamSuite1* groupSuite);
  DeclarerScope(const DeclarerScope&) = delete;
  DeclarerScope& operator=(const DeclarerScope&) = delete;

  // Fetches the one-blank label once; every blank name declared after it reuses the copy.
  void FetchBlankLabel();
  // Fetches a parameter's name (the blank label's copy once fetched). Valid until the next call.
  const std::string& FetchName(std::int32_t entry);
  // Fetches a choice, box or button text. Valid until the next call or the scope's end.
  const std::string& FetchText(std::int32_t entry);

  // Clears all 176 bytes of the scratch record.
  zkfx::ParamRecord& ClearRecord();
  // Copies at most 31 characters of `name` into the record's name with the host's copyMessage,
  // so a host text can never overflow the 32-byte field.
  void CopyName(const std::string& name);
  // addParam(effect, -1, record).
  std::int32_t AddParam();
  // setGroupKind(effect, -1, kind); kErrSuiteUnavailable without a group suite.
  std::int32_t SetGroupKind(std::int32_t kind);
  bool HasGroupSuite() const;

 private:
  std::string Lookup(std::int32_t entry) const;

  const zkfx::HostInputRecord* in_;
  zkfx::ParamRecord* scratch_;
  const zkfx::GroupParamSuite1* groupSuite_;
  zkfx::StringTableToken token_;
  bool haveBlank_ = false;
  std::string blank_;
  std::string name_;
  std::string text_;
};

// A group start: name, flags, UI flags (kParamUIHidden for the hidden range groups, else 0) and
// id; after a successful addParam, setGroupKind with `kind` unless it is kNoGroupKind.
std::int32_t DeclareGroupStart(DeclarerScope& scope, std::int32_t nameEntry, std::uint32_t flags,
                               std::uint32_t uiFlags, std::int32_t id, std::int32_t kind);
// A group start with a name and an id only: no flags and no group kind.
std::int32_t DeclarePlainGroupStart(DeclarerScope& scope, std::int32_t nameEntry, std::int32_t id);
// A group end: type and id only.
std::int32_t DeclareGroupEnd(DeclarerScope& scope, std::int32_t id);
// One catalogue row of any declared type, filled as its type lays out the record's value part.
std::int32_t DeclareParam(DeclarerScope& scope, const ParamSpec& row);

// The thirteen declarers, in the order parameter set-up calls them.
std::int32_t DeclareOutput(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch);
std::int32_t DeclareSplitViewGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                   const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareThreeWayGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                  const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareLevelsPickGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareTonalRangeGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareSaturationGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareSecondaryGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                   const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareAutoLevelsGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareShadowsGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                 const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareMidtonesGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                  const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareHighlightsGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                    const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareMasterGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                const zkfx::GroupParamSuite1* groupSuite);
std::int32_t DeclareMasterLevelsGroup(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                      const zkfx::GroupParamSuite1* groupSuite);

// The declarers in one uniform form (the Output declarer ignores the group suite), in call order.
using GroupDeclarer = std::int32_t (*)(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                                       const zkfx::GroupParamSuite1* groupSuite);
inline constexpr std::size_t kGroupDeclarerCount = 13;
extern const std::array<GroupDeclarer, kGroupDeclarerCount> kGroupDeclarers;

// Calls the thirteen declarers in order and returns the first nonzero result (nothing is declared
// after it), else kErrNone. `groupSuite` is the acquired "PF Group Param Suite" version 1; without
// one (null, or a null operation) the first group start with a kind fails with
// kErrSuiteUnavailable before it is added.
std::int32_t DeclareAllParams(const zkfx::HostInputRecord* in, zkfx::ParamRecord* scratch,
                              const zkfx::GroupParamSuite1* groupSuite);

}  // namespace threeway
