// Where the tests find the built module and tool: under $THREEWAY_BUILD_DIR (set by CTest).
#pragma once

#include <cstdlib>
#include <string>

namespace threeway::test {

inline std::string BuildDir() {
  const char* dir = std::getenv("THREEWAY_BUILD_DIR");
  return dir ? dir : ".";
}
inline std::string ModulePath() { return BuildDir() + "/plugins/ThreeWayColorCorrector.so"; }
inline std::string ToolPath() { return BuildDir() + "/bin/threeway"; }

}  // namespace threeway::test
