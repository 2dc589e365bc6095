// The panel as the host received it at parameter set-up, read from the records the host stored:
// what `threeway params` prints and what `threeway studio` hands its page to build the controls
// from, so neither restates the catalogue.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/host.h"

namespace threeway::cli {

// "popup", "checkbox", "button", "color", "angle", "float", "groupStart", "groupEnd" ("unknown"
// for any other type code).
const char* ParamTypeName(std::int32_t type);

// The record's display name (up to its terminating zero).
std::string ParamDisplayName(const zkfx::ParamRecord& record);

// The parameter's identifier in the effect's catalogue ("ViewMode" for the Output popup), when the
// declared parameter is the catalogue's row of that index (same persistent id and type); else empty.
std::string_view CatalogueIdentifier(int index, const zkfx::ParamRecord& record);

// One JSON object for the declared parameter at `index` (1 .. host.DeclaredCount()), from the
// stored record bytes; the keys are listed in cli/README.md (`threeway params --json`).
std::string DeclaredParamJson(const threeway::host::Host& host, int index);

}  // namespace threeway::cli
