// build/bin/threeway run as users run it: exit status, stdout and stderr of the commands that
// print (help, info, params) and the lines that name a wrong command line or module.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/panel/json.h"
#include "tests/support/tool_case.h"

namespace {

using threeway::cli::JsonValue;
using threeway::test::Lines;

class Cli : public threeway::test::ToolCase {};

TEST_F(Cli, HelpAndUsageErrors) {
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
      {"params --xml", 2, "", "threeway params: unknown option --xml"},
      {"--module", 2, "", "--module needs a path"},
      {"grade only_one.png", 2, "", "threeway grade: needs INPUT and OUTPUT"},
      {"testcard wide.png --size 16385x8", 2, "", "--size needs WxH between 8x8 and 16384x16384"},
      {"testcard small.png --size 8x7", 2, "", "--size needs WxH between 8x8 and 16384x16384"},
      {"testcard tall.png --size 8x16384", 0, "", ""},  // the largest side allowed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const threeway::test::ToolRun run = Tool(c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.out.find(c.stdoutHas), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
  }
}

TEST_F(Cli, BadModulesAreReportedWithAMessage) {
  const std::string missing = ::testing::TempDir() + "/no_such_module.so";
  struct Case { std::string arguments; const char* message; };
  const std::vector<Case> cases = {
      {"--module '" + missing + "' info", "cannot open"},
      {"--module='" + missing + "' params", "cannot open"},
      {"--module '" + threeway::test::ToolPath() + "' info", "no .pipl section"},  // an ELF file, not a module
      {"--module '" + threeway::test::ToolPath() + "' params --json", "no .pipl section"},
      {"--module /dev/null info", "too short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const threeway::test::ToolRun run = Tool(c.arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    const std::string command = c.arguments.find("params") != std::string::npos ? "params" : "info";
    EXPECT_EQ(run.err.rfind("threeway " + command + ": ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

TEST_F(Cli, InfoPrintsEveryProperty) {
  const threeway::test::ToolRun run = Tool("info");  // the default module next to the tool
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 13u) << run.out;
  EXPECT_NE(lines[1].find("version 1, sub-version 0, 11 properties"), std::string::npos);
  // Texts quoted, version words in hexadecimal.
  EXPECT_NE(lines[5].find("Q7TM/8664  id 0  length  8  \"main\""), std::string::npos) << lines[5];
  EXPECT_NE(lines[8].find("Q7TM/eVER  id 0  length  4  0x88002"), std::string::npos) << lines[8];
}

TEST_F(Cli, ParamsPrintsTheNestedPanel) {
  const threeway::test::ToolRun run = Tool("params");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 107u);  // a heading and 106 parameters
  // Index and id columns, then two blanks per enclosing group.
  struct Case { int index; std::size_t indent; const char* text; };
  for (Case c : {Case{7, 0, "groupStart \"Three-Way Hue Balance and Angle\"  kind 2  {ThreeWayGroupStart}  [collapsed]"},
                 Case{38, 8, "float \" \"  0 .. 1, default 0.5, 5 decimals  {HueOffset}  [constant, hidden]"},
                 Case{44, 4, "groupEnd"}}) {
    const std::string& line = lines[static_cast<std::size_t>(c.index)];
    EXPECT_EQ(std::stoi(line.substr(0, 5)), c.index);
    EXPECT_EQ(line.find_first_not_of(' ', 12) - 12, c.indent) << line;
    EXPECT_NE(line.find(c.text), std::string::npos) << line;
  }
}

TEST_F(Cli, ParamsJsonIsOneObjectPerParameter) {
  const threeway::test::ToolRun run = Tool("params --json");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 106u);
  std::vector<std::map<std::string, JsonValue>> objects(107);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    JsonValue object;
    std::string error;
    ASSERT_TRUE(threeway::cli::ParseJson(lines[i], object, error)) << error << ": " << lines[i];
    ASSERT_EQ(object.kind, JsonValue::Kind::kObject) << lines[i];
    for (const auto& [key, value] : object.members) objects[i + 1][key] = value;
    ASSERT_EQ(objects[i + 1]["index"].number, static_cast<double>(i + 1));
  }
  // Single-precision values read back exactly; a group without a kind sent is null.
  EXPECT_EQ(static_cast<float>(objects[102]["validMin"].number), 0.1f);
  EXPECT_EQ(static_cast<float>(objects[5]["curveTolerance"].number), 0.05f);
  EXPECT_EQ(objects[63]["choices"].items[1].text, "Invert Limit Color");
  EXPECT_EQ(objects[25]["groupKind"].kind, JsonValue::Kind::kNull);
}

// cli/README.md lists each command's options as the command declares them (the same declaration
// parses the command line and writes the usage text). THREEWAY_README_WRITE=1 build/bin/cli_test
// rewrites the lists.
TEST_F(Cli, ReadmeOptionListsAreTheDeclaredOnes) {
  const std::string path = std::string(THREEWAY_SOURCE_DIR) + "/cli/README.md";
  std::string readme = threeway::test::ReadAll(path);
  for (const std::string command : {"params", "grade", "lut", "testcard", "scopes", "studio"}) {
    SCOPED_TRACE(command);
    const threeway::test::ToolRun run = Tool("help --markdown " + command);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_NE(run.out.find("| `--"), std::string::npos) << run.out;
    const std::string begin = "<!-- options of threeway " + command + ":", end = "<!-- end of the options of threeway " + command;
    const std::size_t from = readme.find('\n', readme.find(begin)) + 1, to = readme.find(end);
    ASSERT_NE(readme.find(begin), std::string::npos);
    ASSERT_NE(to, std::string::npos);
    if (std::getenv("THREEWAY_README_WRITE")) readme.replace(from, to - from, run.out);
    EXPECT_EQ(readme.substr(from, readme.find(end) - from), run.out)
        << "cli/README.md differs from the declared options: THREEWAY_README_WRITE=1 build/bin/cli_test";
  }
  if (std::getenv("THREEWAY_README_WRITE")) std::ofstream(path, std::ios::binary) << readme;
}

}  // namespace
