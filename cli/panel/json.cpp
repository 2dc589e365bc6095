#include "cli/panel/json.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_set>

#include "cli/tool_error.h"

namespace threeway::cli {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string JsonFloat(float value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

std::string JsonDouble(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

const char* JsonKindName(JsonValue::Kind kind) {
  switch (kind) {
    case JsonValue::Kind::kNull: return "null";
    case JsonValue::Kind::kBoolean: return "true or false";
    case JsonValue::Kind::kNumber: return "a number";
    case JsonValue::Kind::kString: return "a string";
    case JsonValue::Kind::kArray: return "an array";
    case JsonValue::Kind::kObject: return "an object";
  }
  return "a value";
}

namespace {

constexpr int kMaxDepth = 256;

// A recursive-descent reader over the whole text. Each method either consumes what it reads and
// returns true, or leaves the error (with the position where it stopped) and returns false.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Document(JsonValue& value, std::string& error) {
    const bool ok = Space() && Value(value, 0) && Space() && (AtEnd() || Fail("end of the text after the value"));
    if (!ok) error = error_;
    return ok;
  }

 private:
  bool AtEnd() const { return at_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[at_]; }

  void Advance() {
    if (text_[at_] == '\n') {
      ++line_;
      column_ = 1;
    } else {
      ++column_;
    }
    ++at_;
  }

  bool Fail(const std::string& expected) {
    std::string found;
    if (AtEnd()) {
      found = "the end of the text";
    } else {
      const auto byte = static_cast<unsigned char>(Peek());
      char shown[16];
      if (byte >= 0x20 && byte < 0x7f) {
        std::snprintf(shown, sizeof shown, "'%c'", byte);
      } else {
        std::snprintf(shown, sizeof shown, "byte 0x%02x", byte);
      }
      found = shown;
    }
    error_ = "line " + std::to_string(line_) + ", column " + std::to_string(column_) + ": expected " +
             expected + ", found " + found;
    return false;
  }

  bool Space() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) Advance();
    return true;
  }

  bool Eat(char c) {
    if (Peek() != c || AtEnd()) return false;
    Advance();
    return true;
  }

  // A literal (true, false, null). A mismatch is reported at the literal's first character with
  // the letters found there.
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) == word) {
      for (std::size_t i = 0; i < word.size(); ++i) Advance();
      return true;
    }
    std::size_t end = at_;
    while (end < text_.size() && std::isalnum(static_cast<unsigned char>(text_[end])) && end - at_ < 16) ++end;
    error_ = "line " + std::to_string(line_) + ", column " + std::to_string(column_) + ": expected the literal \"" +
             std::string(word) + "\", found \"" + std::string(text_.substr(at_, end - at_)) + "\"";
    return false;
  }

  bool Value(JsonValue& value, int depth) {
    value.line = line_;
    value.column = column_;
    switch (Peek()) {
      case '{': return Object(value, depth);
      case '[': return Array(value, depth);
      case '"': value.kind = JsonValue::Kind::kString; return String(value.text);
      case 't': value.kind = JsonValue::Kind::kBoolean; value.boolean = true; return Word("true");
      case 'f': value.kind = JsonValue::Kind::kBoolean; value.boolean = false; return Word("false");
      case 'n': value.kind = JsonValue::Kind::kNull; return Word("null");
      default: return Number(value);
    }
  }

  bool Object(JsonValue& value, int depth) {
    if (depth >= kMaxDepth) return Fail("at most " + std::to_string(kMaxDepth) + " nested levels");
    value.kind = JsonValue::Kind::kObject;
    Advance();  // '{'
    Space();
    if (Eat('}')) return true;
    std::unordered_set<std::string> keys;  // a repeated key is found in constant time
    while (true) {
      Space();
      if (Peek() != '"') return Fail("a string key");
      const int keyLine = line_, keyColumn = column_;
      std::string key;
      if (!String(key)) return false;
      if (!keys.insert(key).second) {
        line_ = keyLine, column_ = keyColumn;
        error_ = "line " + std::to_string(keyLine) + ", column " + std::to_string(keyColumn) + ": the key " +
                 (key.size() > 40 ? Quoted(key) : JsonString(key)) + " appears twice in one object";
        return false;
      }
      Space();
      if (!Eat(':')) return Fail("':' after the key");
      Space();
      JsonValue member;
      if (!Value(member, depth + 1)) return false;
      value.members.push_back({std::move(key), std::move(member)});
      Space();
      if (Eat('}')) return true;
      if (!Eat(',')) return Fail("',' or '}'");
    }
  }

  bool Array(JsonValue& value, int depth) {
    if (depth >= kMaxDepth) return Fail("at most " + std::to_string(kMaxDepth) + " nested levels");
    value.kind = JsonValue::Kind::kArray;
    Advance();  // '['
    Space();
    if (Eat(']')) return true;
    while (true) {
      Space();
      JsonValue item;
      if (!Value(item, depth + 1)) return false;
      value.items.push_back(std::move(item));
      Space();
      if (Eat(']')) return true;
      if (!Eat(',')) return Fail("',' or ']'");
    }
  }

  bool Hex4(std::uint32_t& code) {
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = Peek();
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        return Fail("four hexadecimal digits after \\u");
      }
      code = code * 16 + static_cast<std::uint32_t>(digit);
      Advance();
    }
    return true;
  }

  static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xc0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xe0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      out += static_cast<char>(0xf0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    }
  }

  bool String(std::string& out) {
    Advance();  // '"'
    while (true) {
      if (AtEnd()) return Fail("'\"' to close the string");
      const char c = Peek();
      if (c == '"') {
        Advance();
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return Fail("no control character inside a string (write it as \\n, \\t or \\u00XX)");
      if (c != '\\') {
        out += c;
        Advance();
        continue;
      }
      Advance();
      const char e = Peek();
      const std::string_view simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
      const std::size_t which = AtEnd() ? std::string_view::npos : simple.find(e);
      if (which != std::string_view::npos) {
        out += meaning[which];
        Advance();
        continue;
      }
      if (e != 'u') return Fail("an escape (\\\" \\\\ \\/ \\b \\f \\n \\r \\t or \\uXXXX)");
      Advance();
      std::uint32_t code;
      if (!Hex4(code)) return false;
      if (code >= 0xd800 && code < 0xdc00) {  // a high surrogate: its low half must follow
        std::uint32_t low;
        if (!Eat('\\') || !Eat('u')) return Fail("\\u and the low half of a surrogate pair");
        if (!Hex4(low)) return false;
        if (low < 0xdc00 || low >= 0xe000) return Fail("a low surrogate (\\uDC00 to \\uDFFF)");
        code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
      } else if (code >= 0xdc00 && code < 0xe000) {
        return Fail("a high surrogate before a low one");
      }
      AppendUtf8(out, code);
    }
  }

  bool Digits() {
    if (Peek() < '0' || Peek() > '9' || AtEnd()) return Fail("a digit");
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9') Advance();
    return true;
  }

  bool Number(JsonValue& value) {
    const std::size_t start = at_;
    const int startColumn = column_;
    if (Peek() != '-' && (Peek() < '0' || Peek() > '9' || AtEnd())) return Fail("a value");
    Eat('-');
    if (Peek() == '0' && !AtEnd()) {
      Advance();
      if (!AtEnd() && Peek() >= '0' && Peek() <= '9') return Fail("no leading zero in a number");
    } else if (!Digits()) {
      return false;
    }
    if (Eat('.') && !Digits()) return false;
    if (Eat('e') || Eat('E')) {
      if (!Eat('+')) Eat('-');
      if (!Digits()) return false;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + at_;
    const auto [end, status] = std::from_chars(first, last, value.number);
    if (status != std::errc() || end != last || !std::isfinite(value.number)) {
      column_ = startColumn;
      error_ = "line " + std::to_string(line_) + ", column " + std::to_string(startColumn) + ": the number " +
               Quoted(std::string_view(first, static_cast<std::size_t>(last - first))) + " does not fit a double";
      return false;
    }
    value.kind = JsonValue::Kind::kNumber;
    return true;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
  int column_ = 1;
  std::string error_;
};

}  // namespace

bool ParseJson(std::string_view text, JsonValue& value, std::string& error) {
  value = JsonValue{};
  return Reader(text).Document(value, error);
}

}  // namespace threeway::cli
