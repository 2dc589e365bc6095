// The interface of the image-file library (threeway_images, see image_files.cpp): the tool finds
// it next to itself (<directory of threeway>/../lib/threeway_images.so), loads it on first use and
// asks the one exported function for this table.
#pragma once

#include <memory>
#include <string>

#include "cli/media/frame_io.h"

namespace threeway::cli {

struct ImageFileFunctions {
  // See OpenFrameSource / OpenFrameSink for what they read and write.
  std::unique_ptr<FrameSource> (*openSource)(const std::string& path);
  std::unique_ptr<FrameSink> (*openSink)(const SinkRequest& request, const FrameInfo& like);
  // See EncodePicture and ResizePicture; both take pictures in an ARGB format.
  std::string (*encode)(const Picture& argb, const std::string& format, int quality);
  Picture (*resize)(const Picture& argb, int width, int height);
};

// The library's exported entry: extern "C" const ImageFileFunctions* ThreewayImageFiles();
inline constexpr const char* kImageFilesEntry = "ThreewayImageFiles";

// The loaded library's table; throws ToolError when the library cannot be loaded.
const ImageFileFunctions& ImageFiles();

}  // namespace threeway::cli
