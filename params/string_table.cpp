#include "params/string_table.h"

#include <iterator>

namespace threeway {
namespace {

#define THREEWAY_DISPLAY_PATH "$$$/Lumvane/ZKFilters/ColorThreeWay/"
#define THREEWAY_DISPLAY_STRING_ENTRY(key, text) {THREEWAY_DISPLAY_PATH #key "=" text, {0, 0, 0}},

// The registered table, its descriptor and the word holding the descriptor's address.
// This is the module's only global state: the host keeps pointers into it between global set-up
// and global set-down, so it lives in writable storage at fixed addresses for as long as the
// module is loaded. The module itself never writes to it after load.
constinit zkfx::DisplayString gDisplayStrings[] = {
    {THREEWAY_DISPLAY_PATH "0000=ColorThreeWay...^nBalances shadows, midtones and highlights, "
                           "with an optional secondary color qualifier.",
     {0, 0, 0}},
    THREEWAY_DISPLAY_STRINGS(THREEWAY_DISPLAY_STRING_ENTRY)
    // The terminating entry: counted by the descriptor, never looked up.
    {nullptr, {~std::uint64_t{0}, ~std::uint64_t{0}, 0}},
};
static_assert(std::size(gDisplayStrings) == kDisplayStringTableCount);

constinit char gDisplayStringTableName[] = "FX";

constinit zkfx::DisplayStringTable gDisplayStringTable = {
    gDisplayStringTableName, kDisplayStringTableCount, gDisplayStrings};

constinit zkfx::DisplayStringTable* gDisplayStringTableWord = &gDisplayStringTable;

#undef THREEWAY_DISPLAY_STRING_ENTRY
#undef THREEWAY_DISPLAY_PATH

// The text of an entry after the common path, "<key>=<English text>"; empty outside 0..100.
std::string_view KeyAndText(std::int32_t entry) {
  if (entry < 0 || entry >= kStrEntryCount) return {};
  std::string_view text = gDisplayStrings[entry].text;
  return text.substr(kDisplayStringPrefix.size());
}

}  // namespace

zkfx::DisplayStringTable* const* DisplayStringTableWord() { return &gDisplayStringTableWord; }

zkfx::DisplayStringTable* DisplayStringTableDescriptor() { return gDisplayStringTableWord; }

std::string_view DisplayStringKey(std::int32_t entry) {
  const std::string_view keyAndText = KeyAndText(entry);
  return keyAndText.substr(0, keyAndText.find('='));
}

std::string_view DisplayStringEnglish(std::int32_t entry) {
  const std::string_view keyAndText = KeyAndText(entry);
  const std::size_t equals = keyAndText.find('=');
  if (equals == std::string_view::npos) return {};
  return keyAndText.substr(equals + 1);
}

}  // namespace threeway
