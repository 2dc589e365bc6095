// Where frames come from and where they go: image files (through OpenImageIO), raw frames in one of
// the host's nine formats (files or standard input/output), and output files that appear whole or
// not at all.
//
// A source hands out frames one after the other in the layout it holds them in (a host format:
// ARGB of the file's depth for images, the raw code for raw frames); a sink takes frames in the
// layout it asks for. Everything between (the host format the effect sees, the effect itself) is
// the caller's business, so a source or sink for another container slots in without touching it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/media/pending_file.h"
#include "cli/media/picture.h"

namespace threeway::cli {

// The precision a file stores its channels in. Sinks try to keep the source's.
enum class Storage { k8, k16, kHalf, kFloat };

// What a video source knows about its stream and hands on to a video sink, so that the output keeps
// the source's timing, colour tags and audio. Colour values are FFmpeg's enumerations (AVCOL_PRI_*,
// AVCOL_TRC_*, AVCOL_SPC_*, AVCOL_RANGE_*, AVCHROMA_LOC_*), kept as plain integers so that the tool
// itself needs no FFmpeg headers.
struct VideoTrack {
  std::string path;                   // the source file; the sink copies its audio streams from it
  int rateNum = 25, rateDen = 1;      // frame rate
  int timeBaseNum = 1, timeBaseDen = 25;  // unit of the timestamps handed on
  int pixelFormat = -1;               // the source's AVPixelFormat (the sink picks the nearest it can store)
  int aspectNum = 0, aspectDen = 1;   // sample (pixel) aspect ratio, 0/1 when not tagged
  // As tagged in the source (unspecified stays unspecified in the output)...
  int primaries = 2, transfer = 2, matrix = 2, range = 0, chromaLocation = 0;
  // ... and as the frames were converted to RGB (an untagged source's matrix and range guessed as
  // players guess them); the sink converts back with the same.
  int matrixUsed = 1, rangeUsed = 1, chromaLocationUsed = 1;
  // Source timestamp (time base units) that becomes 0 in the output: the first frame's when only
  // a range of frames is read, 0 otherwise. The sink shifts and cuts the copied audio alike.
  std::int64_t offset = 0;
  bool partial = false;  // a range of frames: audio is cut to the frames' span
  int fieldOrder = 0;    // AVFieldOrder: interlaced sources keep their field order in the output

  // The output timestamp of each frame read, in order; the sink takes one per frame written
  // (sources and sinks may run on different threads).
  void PushTimestamp(std::int64_t timestamp) {
    std::lock_guard<std::mutex> lock(mutex_);
    timestamps_.push_back(timestamp);
  }
  std::optional<std::int64_t> PopTimestamp() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (timestamps_.empty()) return std::nullopt;
    const std::int64_t timestamp = timestamps_.front();
    timestamps_.pop_front();
    return timestamp;
  }
  // True for the first sink that asks: it takes the timestamps and the audio. Further sinks opened
  // with the same track (a comparison picture written as video) count their own frames.
  bool Claim() {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool first = !claimed_;
    claimed_ = true;
    return first;
  }

 private:
  std::mutex mutex_;
  std::deque<std::int64_t> timestamps_;
  bool claimed_ = false;
};

// What a source says about its frames before the first one is read, and what a sink is asked to
// store.
struct FrameInfo {
  int width = 0;
  int height = 0;
  std::uint32_t format = 0;  // host format of the frames as the source hands them out
  Storage storage = Storage::k8;
  bool hasAlpha = false;     // the source carries alpha (image files with an alpha channel; raw frames)
  int channels = 4;          // channels in the source file (1 to 4); 4 for raw frames
  std::int64_t frameCount = 0;  // frames the source will hand out, 0 when not known in advance
  double frameRate = 0.0;       // frames per second, 0 when the source has no rate (stills, raw)
  std::shared_ptr<VideoTrack> video;  // video sources only
  // Where the frame lies on a larger canvas (an OpenEXR data window inside its display window):
  // the frame's corner and the canvas's corner and size. Zero sizes: the frame is its own canvas.
  struct Window {
    int x = 0, y = 0;
    int canvasX = 0, canvasY = 0, canvasWidth = 0, canvasHeight = 0;
    bool operator==(const Window&) const = default;
  } window;
};

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual const FrameInfo& info() const = 0;
  // Reads the next frame into `frame` (in info().format, info()'s size). False when there are no
  // more frames. Throws ToolError when the data is wrong or cut short.
  virtual bool Next(Picture& frame) = 0;
};

class FrameSink {
 public:
  // Whatever was written and not committed is removed.
  virtual ~FrameSink() = default;
  // The host format Write takes frames in (decided when the sink was opened: e.g. 8-bit ARGB for
  // a JPEG file even when the source was 16-bit).
  virtual std::uint32_t format() const = 0;
  // What of the source's description the output cannot hold and leaves out, in words for a
  // warning ("alpha", "the display window"); empty when it keeps everything.
  virtual std::vector<std::string> Dropped() const { return {}; }
  virtual void Write(const Picture& frame) = 0;
  // Completes the output (closes the temporary file). Throws ToolError on failure.
  virtual void Finish() = 0;
  // Gives the completed output its name (a rename within the directory). Call once every output
  // of the run is finished, so a late failure leaves no new file behind.
  virtual void Commit() = 0;
};

// Frames read from `path` ("-" is standard input, raw frames only). With `rawFormat` the input is
// tightly packed raw frames of that host format and size, one after the other; otherwise an image
// file (PNG, JPEG, TIFF, OpenEXR and whatever else OpenImageIO reads) with 1 to 4 channels, its
// first subimage being the one frame. Throws ToolError (exit 1 for files, 2 for a bad request).
//
// Video files (chosen by extension, see IsVideoPath: .mov .mp4 .mkv .avi .webm .mxf .y4m ...) are
// decoded through FFmpeg's libraries: every frame, or the frames firstFrame..lastFrame (0-based,
// inclusive; lastFrame -1 is the last frame of the clip).
struct SourceRequest {
  std::string path;
  std::optional<std::uint32_t> rawFormat;
  int rawWidth = 0;
  int rawHeight = 0;
  std::int64_t firstFrame = 0;
  std::int64_t lastFrame = -1;
};
std::unique_ptr<FrameSource> OpenFrameSource(const SourceRequest& request);

// A sink writing to `path` ("-" is standard output, raw frames only). With `rawFormat`, tightly
// packed raw frames of that format; otherwise one image in the format the file name's extension
// names, storing `like.storage` when the format can (else the nearest it offers), RGB plus alpha
// when `like.hasAlpha` and the format has alpha. Files are written to a temporary file in the same
// directory and renamed by Commit (see PendingFile for existing files, links and devices).
//
// A video file is encoded with the container's default codec (or `codec`), at `crf` or `bitrate`
// bits per second when given, keeping like.video's timing and colour tags and copying its audio
// streams unless `audio` is false.
struct SinkRequest {
  std::string path;
  std::optional<std::uint32_t> rawFormat;
  std::string codec;
  std::optional<int> crf;
  std::optional<std::int64_t> bitrate;
  bool audio = true;
  Overwrite overwrite = Overwrite::kRefuse;  // what an existing file at `path` gets
};

// A picture (any host format; converted to ARGB of its depth by the host's image library) encoded
// in memory as an image file of `format` ("png": 8 or 16 bits as the picture's depth, float as 16;
// "jpeg": 8 bits, `quality` 1 to 100), RGB without alpha. Through OpenImageIO. Throws ToolError.
std::string EncodePicture(const Picture& picture, const std::string& format, int quality = 90);
// The picture resampled to width x height, each new pixel the mean of the source pixels it covers
// (OpenImageIO's box filter), in ARGB of the picture's depth. Throws ToolError.
Picture ResizePicture(const Picture& picture, int width, int height);

// True when `path`'s extension names a video container the tool reads and writes through FFmpeg.
bool IsVideoPath(const std::string& path);
std::unique_ptr<FrameSink> OpenFrameSink(const SinkRequest& request, const FrameInfo& like);

}  // namespace threeway::cli
