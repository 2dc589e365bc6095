// Running the command-line tool as a separate process, the way a user does: each test case gets a
// directory of its own (CTest runs cases as parallel processes, so the names carry the process
// id), and captured output lives beside it, so a test can check what the tool left in it.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/paths.h"

namespace threeway::test {

struct ToolRun {
  int status;  // exit status; -1 when the process did not exit normally
  std::string out;
  std::string err;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// The value a preset file gives `name` (the text after "name": up to the comma or line end).
inline std::string PresetValue(const std::string& preset, const std::string& name) {
  const std::string key = "\"" + name + "\": ";
  const std::size_t at = preset.find(key);
  if (at == std::string::npos) return "(missing)";
  const std::size_t start = at + key.size();
  std::size_t end = preset.find('\n', start);
  if (preset[end - 1] == ',') --end;
  return preset.substr(start, end - start);
}

// Histogram bin of an 8-bit grey g: the host library gives luma g / 255 in single precision; the
// render pass counts floor(Y x 255) of the exact product (which double precision holds exactly).
inline int GreyBin(int g) { return static_cast<int>(std::floor(static_cast<double>(static_cast<float>(g) / 255.0f) * 255.0)); }

class ToolCase : public ::testing::Test {
 public:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    dir = ::testing::TempDir() + "/threeway_" + std::to_string(::getpid()) + "_" + name;
    scratch = dir + ".scratch";
    std::filesystem::remove_all(dir);
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(dir);
    std::filesystem::create_directories(scratch);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    std::filesystem::remove_all(scratch);
  }

  std::string Path(const std::string& name) const { return dir + "/" + name; }

  // Runs a shell command line in the case's directory; `stdinPath` feeds standard input.
  ToolRun Shell(const std::string& command, const std::string& stdinPath = "/dev/null") const {
    const std::string out = scratch + "/out.txt", err = scratch + "/err.txt";
    const std::string line = "cd '" + dir + "' && { " + command + " ; } <'" + stdinPath + "' >'" + out + "' 2>'" +
                             err + "'";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
  }

  // Runs the built tool with `arguments` (a shell fragment).
  ToolRun Tool(const std::string& arguments, const std::string& stdinPath = "/dev/null") const {
    return Shell("'" + ToolPath() + "' " + arguments, stdinPath);
  }

  // The names of the files in the case's directory, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir;
  std::string scratch;
};

}  // namespace threeway::test
