// The tool's JSON reader (presets): what it accepts, what it refuses and where it says the fault is.
#include <gtest/gtest.h>

#include <string>

#include "cli/panel/json.h"

namespace {

using threeway::cli::JsonValue;
using threeway::cli::ParseJson;

TEST(JsonReader, ReadsEveryKindOfValue) {
  JsonValue v;
  std::string error;
  ASSERT_TRUE(ParseJson(" {\"a\": [1, -2.5e3, 0.125], \"b\": {\"c\": null},\r\n\t\"d\": true, \"e\": false,"
                        " \"s\": \"q\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\u00AA\\u00aa\\ud83d\\ude00\"} ",
                        v, error))
      << error;
  ASSERT_EQ(v.kind, JsonValue::Kind::kObject);
  ASSERT_EQ(v.members.size(), 5u);
  EXPECT_EQ(v.members[0].name, "a");  // members keep the written order
  const JsonValue& a = v.members[0].value;
  ASSERT_EQ(a.items.size(), 3u);
  EXPECT_EQ(a.items[1].number, -2500.0);
  EXPECT_EQ(a.items[2].number, 0.125);
  EXPECT_EQ(a.line, 1);
  EXPECT_EQ(a.column, 8);
  EXPECT_EQ(v.members[1].value.members[0].value.kind, JsonValue::Kind::kNull);
  EXPECT_EQ(v.members[2].value.line, 2);
  EXPECT_EQ(v.members[2].value.column, 7);
  EXPECT_TRUE(v.members[2].value.boolean);
  EXPECT_FALSE(v.members[3].value.boolean);
  EXPECT_EQ(v.members[4].value.text, "q\"\\/\b\f\n\r\t\xc3\xa9\xc2\xaa\xc2\xaa\xf0\x9f\x98\x80");
  // Numbers read back exactly as the writer prints them.
  ASSERT_TRUE(ParseJson(threeway::cli::JsonDouble(117.32433342826178), v, error));
  EXPECT_EQ(v.number, 117.32433342826178);
  ASSERT_TRUE(ParseJson("[]", v, error));
  EXPECT_TRUE(v.items.empty());
}

TEST(JsonReader, RefusesWhatIsNotJsonAndSaysWhere) {
  struct Case { const char* text; const char* error; };
  const Case cases[] = {
      {"", "line 1, column 1: expected a value, found the end of the text"},
      {"{\"a\": 1,}", "line 1, column 9: expected a string key, found '}'"},
      {"{\"a\": 01}", "line 1, column 8: expected no leading zero in a number, found '1'"},
      {"{\"a\" 1}", "line 1, column 6: expected ':' after the key, found '1'"},
      {"[1 2]", "line 1, column 4: expected ',' or ']', found '2'"},
      {"{\"a\": 1} x", "line 1, column 10: expected end of the text after the value, found 'x'"},
      {"{\n\n  \"a\": tru }", "line 3, column 8: expected the literal \"true\", found \"tru\""},
      {"{\"a\": 1, \"a\": 2}", "line 1, column 10: the key \"a\" appears twice in one object"},
      {"\"tab\there\"", "line 1, column 5: expected no control character inside a string"},
      {"\"\\x\"", "line 1, column 3: expected an escape"},
      {"\"\\u12g4\"", "line 1, column 6: expected four hexadecimal digits after \\u, found 'g'"},
      {"\"\\udc00\"", "expected a high surrogate before a low one"},
      {"\"\\ud800x\"", "expected \\u and the low half of a surrogate pair"},
      {"\"\\ud83d\\uzzzz\"", "expected four hexadecimal digits after \\u"},
      {"\"open", "line 1, column 6: expected '\"' to close the string, found the end of the text"},
      {"-", "line 1, column 2: expected a digit, found the end of the text"},
      {"1.", "line 1, column 3: expected a digit"},
      {"1e+", "line 1, column 4: expected a digit"},
      {".5", "line 1, column 1: expected a value, found '.'"},
      {"1e999", "line 1, column 1: the number \"1e999\" does not fit a double"},
      {"nan", "line 1, column 1: expected the literal \"null\", found \"nan\""},
      {"\x01", "line 1, column 1: expected a value, found byte 0x01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    JsonValue v;
    std::string error;
    EXPECT_FALSE(ParseJson(c.text, v, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  // Nesting is bounded, and a long number is quoted by its start and length.
  JsonValue v;
  std::string error;
  EXPECT_FALSE(ParseJson(std::string(400, '9'), v, error));
  EXPECT_EQ(error, "line 1, column 1: the number \"" + std::string(40, '9') + "...\" (400 bytes) does not fit a double");
  EXPECT_TRUE(ParseJson(std::string(256, '[') + std::string(256, ']'), v, error)) << error;
  EXPECT_FALSE(ParseJson(std::string(257, '[') + std::string(257, ']'), v, error));
  EXPECT_NE(error.find("at most 256 nested levels"), std::string::npos) << error;
}

}  // namespace
