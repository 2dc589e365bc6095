// build/bin/threeway run as users run it: exit status, stdout and stderr.
#include <gtest/gtest.h>

#include <unistd.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/module_path.h"

namespace {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

ToolRun Tool(const std::string& arguments) {
  // CTest runs test cases as parallel processes: the capture files carry the process id.
  const std::string stem = ::testing::TempDir() + "/threeway_cli_" + std::to_string(::getpid());
  const std::string out = stem + "_out.txt";
  const std::string err = stem + "_err.txt";
  const std::string command = "'" + twtest::ToolPath() + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// A strict reader for the flat objects the tool prints: string keys; values are strings, numbers,
// true, false, null or arrays of those. Any deviation from JSON fails the parse.
struct Value {
  char kind = 0;  // 's' string, 'n' number, 'b' boolean, 'z' null, 'a' array
  std::string text;
  double number = 0;
  std::vector<Value> items;
};

class Reader {
 public:
  explicit Reader(const std::string& s) : s_(s) {}
  bool Object(std::map<std::string, Value>& out) {
    Space();
    if (!Eat('{')) return false;
    Space();
    if (Eat('}')) return End();
    do {
      Space();
      Value key;
      if (!String(key)) return false;
      Space();
      if (!Eat(':')) return false;
      Value value;
      if (!Any(value) || out.count(key.text)) return false;
      out[key.text] = value;
      Space();
    } while (Eat(','));
    return Eat('}') && End();
  }

 private:
  bool End() { Space(); return i_ == s_.size(); }
  void Space() { while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_; }
  bool Eat(char c) { if (i_ < s_.size() && s_[i_] == c) { ++i_; return true; } return false; }
  bool Word(const char* w, Value& v, char kind) {
    const std::string word = w;
    if (s_.compare(i_, word.size(), word) != 0) return false;
    i_ += word.size();
    v.kind = kind;
    v.text = word;
    return true;
  }
  bool Any(Value& v) {
    Space();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '"') return String(v);
    if (c == 't') return Word("true", v, 'b');
    if (c == 'f') return Word("false", v, 'b');
    if (c == 'n') return Word("null", v, 'z');
    if (c == '[') {
      ++i_;
      v.kind = 'a';
      Space();
      if (Eat(']')) return true;
      do {
        Value item;
        if (!Any(item)) return false;
        v.items.push_back(item);
        Space();
      } while (Eat(','));
      return Eat(']');
    }
    return Number(v);
  }
  bool String(Value& v) {
    if (!Eat('"')) return false;
    v.kind = 's';
    while (i_ < s_.size() && s_[i_] != '"') {
      const unsigned char c = static_cast<unsigned char>(s_[i_++]);
      if (c < 0x20) return false;
      if (c != '\\') { v.text += static_cast<char>(c); continue; }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      const std::string simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
      if (simple.find(e) != std::string::npos) { v.text += meaning[simple.find(e)]; continue; }
      if (e != 'u' || i_ + 4 > s_.size()) return false;
      v.text += static_cast<char>(std::stoi(s_.substr(i_, 4), nullptr, 16));
      i_ += 4;
    }
    return Eat('"');
  }
  bool Number(Value& v) {
    const std::size_t start = i_;
    Eat('-');
    if (i_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[i_]))) return false;
    if (s_[i_] == '0') ++i_; else while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    if (Eat('.')) { const std::size_t d = i_; while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_; if (d == i_) return false; }
    if (Eat('e') || Eat('E')) { if (!Eat('+')) Eat('-'); const std::size_t d = i_; while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_; if (d == i_) return false; }
    v.kind = 'n';
    v.text = s_.substr(start, i_ - start);
    v.number = std::stod(v.text);
    return true;
  }
  const std::string& s_;
  std::size_t i_ = 0;
};

TEST(JsonReader, RejectsWhatIsNotJson) {
  for (const char* bad : {"{\"a\": 1,}", "{\"a\": 01}", "{\"a\": \"x\ty\"}", "{\"a\": 1} x", "{a: 1}",
                          "{\"a\": 1, \"a\": 2}", "{\"a\": nan}", "{\"a\": [1,]}", "{\"a\": .5}"}) {
    std::map<std::string, Value> object;
    EXPECT_FALSE(Reader(bad).Object(object)) << bad;
  }
  std::map<std::string, Value> object;
  ASSERT_TRUE(Reader("{\"a\": \"q\\\"\\u0001\", \"b\": [-1.5e-3, null, true]}").Object(object));
  EXPECT_EQ(object["a"].text, "q\"\x01");
  EXPECT_EQ(object["b"].items.size(), 3u);
  EXPECT_EQ(object["b"].items[0].number, -1.5e-3);
}

TEST(Cli, HelpAndUsageErrors) {
  struct Case { std::string arguments; int status; const char* stdoutHas; const char* stderrHas; };
  const std::vector<Case> cases = {
      {"--help", 0, "commands:", ""},
      {"-h", 0, "params", ""},
      {"help info", 0, "registration resource", ""},
      {"help params", 0, "--json", ""},
      {"params --help", 0, "--json", ""},
      {"", 2, "", "usage:"},
      {"help nosuch", 2, "", "no command named \"nosuch\""},
      {"nosuch", 2, "", "no command named \"nosuch\""},
      {"--frobnicate info", 2, "", "unknown option --frobnicate"},
      {"info extra", 2, "", "takes no arguments"},
      {"params --xml", 2, "", "unknown argument --xml"},
      {"--module", 2, "", "--module needs a path"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = Tool(c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.out.find(c.stdoutHas), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
  }
}

TEST(Cli, BadModulesAreReportedWithAMessage) {
  const std::string missing = ::testing::TempDir() + "/no_such_module.so";
  struct Case { std::string arguments; const char* message; };
  const std::vector<Case> cases = {
      {"--module '" + missing + "' info", "cannot open"},
      {"--module='" + missing + "' params", "cannot open"},
      {"--module '" + twtest::ToolPath() + "' info", "no .pipl section"},  // an ELF file, not a module
      {"--module '" + twtest::ToolPath() + "' params --json", "no .pipl section"},
      {"--module /dev/null info", "too short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = Tool(c.arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    const std::string command = c.arguments.find("params") != std::string::npos ? "params" : "info";
    EXPECT_EQ(run.err.rfind("threeway " + command + ": ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

TEST(Cli, InfoPrintsEveryPropertyDecoded) {
  const ToolRun run = Tool("info");  // the default module next to the tool
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 13u) << run.out;
  EXPECT_NE(lines[1].find("version 1, sub-version 0, 11 properties"), std::string::npos);
  const char* expected[] = {"Q7TM/kind  id 0  length  4  eFKT",
                            "Q7TM/name  id 0  length 68  \"$$$/Lumvane/ZKFilters/ColorThreeWay/Name=Three-Way Color Corrector\"",
                            "Q7TM/catg  id 0  length 72  \"$$$/Lumvane/FiltersAndEffects/Category/ColorCorrection=Color Correction\"",
                            "Q7TM/8664  id 0  length  8  \"main\"",
                            "Q7TM/ePVR  id 0  length  4  2.0",
                            "Q7TM/eSVR  id 0  length  4  13.0",
                            "Q7TM/eVER  id 0  length  4  0x88002",
                            "Q7TM/eINF  id 0  length  2  0",
                            "Q7TM/eGLO  id 0  length  4  0x8040",
                            "Q7TM/eMNA  id 0  length 32  \"QTRN Three-Way Color Corrector\"",
                            "Q7TM/zkFL  id 0  length  4  8"};
  for (std::size_t i = 0; i < 11; ++i) EXPECT_EQ(lines[i + 2].substr(4), expected[i]) << lines[i + 2];
  const ToolRun explicitModule = Tool("--module '" + twtest::ModulePath() + "' info");
  EXPECT_EQ(explicitModule.status, 0);
  EXPECT_EQ(Lines(explicitModule.out).size(), 13u);
}

TEST(Cli, ParamsPrintsTheNestedPanel) {
  const ToolRun run = Tool("params");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 107u);  // a heading and 106 parameters
  // Index and id columns, then two blanks per enclosing group.
  const auto indentOf = [&](int index) {
    const std::string& line = lines[static_cast<std::size_t>(index)];
    std::size_t at = 12;  // "%5d %4d  "
    while (at < line.size() && line[at] == ' ') ++at;
    return at - 12;
  };
  struct Case { int index; std::size_t indent; const char* text; };
  for (Case c : {Case{1, 0, "popup \"Output\"  2 choices \"Video|Luma\", default 1  {ViewMode}  [constant]"},
                 Case{7, 0, "groupStart \"Three-Way Hue Balance and Angle\"  kind 2  {ThreeWayGroupStart}  [collapsed]"},
                 Case{8, 2, "checkbox \" \"  \"Master\", default off  {ThreeWayMaster}  [constant]"},
                 Case{38, 8, "float \" \"  0 .. 1, default 0.5, 5 decimals  {HueOffset}  [constant, hidden]"},
                 Case{44, 4, "groupEnd"}, Case{65, 0, "groupEnd"},
                 Case{102, 2, "exponent 3.5  {MasterInputGrayLevel}  [supervised]"}}) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(std::stoi(lines[static_cast<std::size_t>(c.index)].substr(0, 5)), c.index);
    EXPECT_EQ(indentOf(c.index), c.indent);
    EXPECT_NE(lines[static_cast<std::size_t>(c.index)].find(c.text), std::string::npos) << lines[static_cast<std::size_t>(c.index)];
  }
}

TEST(Cli, ParamsJsonIsOneObjectPerParameter) {
  const ToolRun run = Tool("params --json");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 106u);
  const std::map<std::string, std::set<std::string>> keysByType = {
      {"popup", {"choiceCount", "default", "choices"}},
      {"checkbox", {"default", "boxText"}},
      {"button", {"buttonText"}},
      {"color", {"default"}},
      {"angle", {"default"}},
      {"float", {"default", "current", "validMin", "validMax", "sliderMin", "sliderMax", "precision", "displayFlags",
                 "sliderFlags", "curveTolerance", "useExponent", "exponent"}},
      {"groupStart", {"groupKind"}},
      {"groupEnd", {}},
  };
  std::map<int, std::map<std::string, Value>> objects;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::map<std::string, Value> object;
    ASSERT_TRUE(Reader(lines[i]).Object(object)) << lines[i];
    ASSERT_EQ(object["index"].number, static_cast<double>(i + 1));
    const std::string type = object["type"].text;
    ASSERT_EQ(keysByType.count(type), 1u) << lines[i];
    std::set<std::string> keys;
    for (const auto& [key, value] : object) keys.insert(key);
    std::set<std::string> expected = {"index", "id", "type", "name", "identifier", "flags", "uiFlags"};
    expected.insert(keysByType.at(type).begin(), keysByType.at(type).end());
    EXPECT_EQ(keys, expected) << lines[i];
    objects[static_cast<int>(i + 1)] = object;
  }
  // Values read back exactly as the module declared them.
  EXPECT_EQ(static_cast<float>(objects[102]["validMax"].number), 9.97f);
  EXPECT_EQ(static_cast<float>(objects[102]["validMin"].number), 0.1f);
  EXPECT_EQ(objects[102]["exponent"].number, 3.5);
  EXPECT_EQ(static_cast<float>(objects[5]["curveTolerance"].number), 0.05f);
  EXPECT_EQ(objects[5]["displayFlags"].number, 1);
  EXPECT_EQ(objects[63]["choices"].items.size(), 3u);
  EXPECT_EQ(objects[63]["choices"].items[1].text, "Invert Limit Color");
  EXPECT_EQ(objects[69]["buttonText"].text, "Auto Contrast");
  EXPECT_EQ(objects[10]["default"].items.size(), 4u);
  EXPECT_EQ(objects[10]["default"].items[1].number, 128);
  EXPECT_EQ(objects[25]["groupKind"].kind, 'z');
  EXPECT_EQ(objects[100]["uiFlags"].number, 512);
  EXPECT_EQ(objects[7]["name"].text, "Three-Way Hue Balance and Angle");
  EXPECT_EQ(objects[1]["identifier"].text, "ViewMode");
  EXPECT_EQ(objects[106]["identifier"].text, "MasterLevelsGroupEnd");
}

}  // namespace
