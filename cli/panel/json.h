// JSON for the tool: writing values (strings escaped, numbers printed so they read back to the same
// value) and reading whole documents (presets).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace threeway::cli {

// A quoted JSON string: '"' and '\' escaped, control characters as \n, \t, ... or \u00XX; other
// bytes (UTF-8 included) are kept.
std::string JsonString(std::string_view text);
// A single-precision number with 9 significant digits (reads back to the same float); non-finite
// values, which JSON cannot carry, become null.
std::string JsonFloat(float value);
// A double with 17 significant digits; non-finite values become null.
std::string JsonDouble(double value);

struct JsonMember;

// One parsed JSON value. `line` and `column` (both from 1, columns counted in bytes) locate its
// first character in the text, so a reader can point at a value that it does not accept.
struct JsonValue {
  enum class Kind { kNull, kBoolean, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0.0;
  std::string text;                                      // kString
  std::vector<JsonValue> items;                          // kArray
  std::vector<JsonMember> members;                       // kObject, in the order written
  int line = 0;
  int column = 0;
};

// One member of an object. (A named type rather than a pair: a pair of an incomplete JsonValue is
// not a valid type for every compiler's library.)
struct JsonMember {
  std::string name;
  JsonValue value;
};

// The kind's name as a reader would say it: "null", "true or false", "a number", "a string",
// "an array", "an object".
const char* JsonKindName(JsonValue::Kind kind);

// Parses one complete JSON text (RFC 8259: whitespace around one value; \uXXXX escapes, surrogate
// pairs included, decoded to UTF-8). Numbers must fit a double. Repeated keys in one object are
// refused. Nesting deeper than 256 levels is refused. On failure returns false and sets `error` to
// "line L, column C: <what was expected>".
bool ParseJson(std::string_view text, JsonValue& value, std::string& error);

}  // namespace threeway::cli
