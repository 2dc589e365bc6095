// Where the tests find the built module and tool: under $THREEWAY_BUILD_DIR (set by CTest), else
// the build folder the running test program is in (<build>/bin/<program>), so a test program run
// by hand finds them from any folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace threeway::test {

inline std::string BuildDir() {
  const char* dir = std::getenv("THREEWAY_BUILD_DIR");
  return dir ? dir : std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path().string();
}
inline std::string ModulePath() { return BuildDir() + "/plugins/ThreeWayColorCorrector.so"; }
inline std::string ToolPath() { return BuildDir() + "/bin/threeway"; }

}  // namespace threeway::test
