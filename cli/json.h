// Writing JSON values: strings escaped, numbers printed so they read back to the same value.
#pragma once

#include <string>
#include <string_view>

namespace threeway::cli {

// A quoted JSON string: '"' and '\' escaped, control characters as \n, \t, ... or \u00XX; other
// bytes (UTF-8 included) are kept.
std::string JsonString(std::string_view text);
// A single-precision number with 9 significant digits (reads back to the same float); non-finite
// values, which JSON cannot carry, become null.
std::string JsonFloat(float value);
// A double with 17 significant digits; non-finite values become null.
std::string JsonDouble(double value);

}  // namespace threeway::cli
