// Raw frames through the frame source: the input's first bytes choose the host format and the frame
// size, the rest is the file. Every whole frame comes out as it stands in the file, a frame cut short
// (or an empty file) is a ToolError saying how many bytes it had, and each frame converts into
// every host format through the host's image library (float bytes may be NaN or infinite).
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>

#include "cli/media/frame_io.h"
#include "cli/media/picture.h"
#include "cli/tool_error.h"
#include "host/host.h"
#include "tests/fuzz/fuzz.h"

namespace {

using namespace threeway::cli;
using threeway::fuzz::Require;

// An in-memory file holding `bytes`, named by its /proc path. Closed on destruction.
class MemoryFile {
 public:
  explicit MemoryFile(const std::vector<std::uint8_t>& bytes) : fd_(::memfd_create("raw", MFD_CLOEXEC)) {
    Require(fd_ >= 0, "an in-memory file");
    Require(::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "written whole");
  }
  ~MemoryFile() { ::close(fd_); }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  SourceRequest request;
  request.rawFormat = kHostFormats[input.ConsumeIntegralInRange<int>(0, 8)];
  request.rawWidth = input.ConsumeIntegralInRange<int>(1, 40);
  request.rawHeight = input.ConsumeIntegralInRange<int>(1, 40);
  const std::vector<std::uint8_t> file = input.ConsumeRemainingBytes<std::uint8_t>();
  const MemoryFile memory(file);
  request.path = memory.path();

  const std::size_t frameBytes = static_cast<std::size_t>(request.rawWidth) * request.rawHeight *
                                 threeway::host::BytesPerPixel(*request.rawFormat);
  const std::unique_ptr<FrameSource> source = OpenFrameSource(request);
  Require(source->info().frameCount == static_cast<std::int64_t>((file.size() + frameBytes - 1) / frameBytes),
          "a raw file's frame count is its size in frames, rounded up");
  std::size_t frames = 0;
  try {
    for (Picture frame; source->Next(frame); ++frames) {
      Require(frame.bytes.size() == frameBytes &&
                  std::memcmp(frame.bytes.data(), file.data() + frames * frameBytes, frameBytes) == 0,
              "a raw frame is read as it stands in the file");
      for (std::uint32_t format : kHostFormats) {
        const Picture converted = ConvertPicture(frame, format);
        Require(converted.width == frame.width && converted.height == frame.height && converted.format == format,
                "a conversion keeps the size");
        if (format == frame.format) Require(converted.bytes == frame.bytes, "a conversion into the same format copies");
      }
    }
    Require(file.size() == frames * frameBytes && frames > 0, "whole frames and nothing else end without an error");
  } catch (const ToolError& error) {
    Require(file.size() % frameBytes != 0 || file.empty(), "only a frame cut short is an error", error.what());
    Require(frames == file.size() / frameBytes, "every whole frame before the cut is read");
    Require(std::string(error.what()).find("ended after " + std::to_string(file.size() % frameBytes) + " of the " +
                                           std::to_string(frameBytes) + " bytes") != std::string::npos,
            "a cut frame's message says how much of it there was", error.what());
  }
  return 0;
}
