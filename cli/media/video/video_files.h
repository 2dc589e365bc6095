// The interface of the video-file library (threeway_video, see video_files.cpp): the tool finds it
// next to itself (<directory of threeway>/../lib/threeway_video.so), loads it the first time a
// command reads or writes a video file and asks the one exported function for this table.
#pragma once

#include <memory>

#include "cli/media/frame_io.h"

namespace threeway::cli {

struct VideoFileFunctions {
  // See OpenFrameSource / OpenFrameSink for what they read and write.
  std::unique_ptr<FrameSource> (*openSource)(const SourceRequest& request);
  std::unique_ptr<FrameSink> (*openSink)(const SinkRequest& request, const FrameInfo& like);
};

// The library's exported entry: extern "C" const VideoFileFunctions* ThreewayVideoFiles();
inline constexpr const char* kVideoFilesEntry = "ThreewayVideoFiles";

// The loaded library's table; throws ToolError when the library cannot be loaded.
const VideoFileFunctions& VideoFiles();

}  // namespace threeway::cli
