// Linked into the test programs that run the command-line tool as separate processes. In the
// sanitizer build those processes load OpenImageIO, OpenEXR and FFmpeg, whose thread pools make
// LeakSanitizer's exit-time scan crash; the processes they start therefore run without the leak
// check (this test program's own check is already set up and stays on).
#include <cstdlib>

namespace {

#ifdef THREEWAY_TOOL_WITHOUT_LEAK_CHECK
const bool kToolEnvironment = [] {
  ::setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
  return true;
}();
#endif

}  // namespace
