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
#include <memory>
#include <optional>
#include <string>

#include "cli/picture.h"

namespace threeway::cli {

// The precision a file stores its channels in. Sinks try to keep the source's.
enum class Storage { k8, k16, kHalf, kFloat };

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
struct SourceRequest {
  std::string path;
  std::optional<std::uint32_t> rawFormat;
  int rawWidth = 0;
  int rawHeight = 0;
};
std::unique_ptr<FrameSource> OpenFrameSource(const SourceRequest& request);

// A sink writing to `path` ("-" is standard output, raw frames only). With `rawFormat`, tightly
// packed raw frames of that format; otherwise one image in the format the file name's extension
// names, storing `like.storage` when the format can (else the nearest it offers), RGB plus alpha
// when `like.hasAlpha` and the format has alpha. Files are written to a temporary file in the same
// directory and renamed by Commit.
struct SinkRequest {
  std::string path;
  std::optional<std::uint32_t> rawFormat;
};
std::unique_ptr<FrameSink> OpenFrameSink(const SinkRequest& request, const FrameInfo& like);

// A file that is written under a temporary name in the directory of `finalPath` and renamed to
// `finalPath` by Commit. Until then the destructor removes it.
class PendingFile {
 public:
  explicit PendingFile(std::string finalPath);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::string& temporaryPath() const { return temporary_; }
  const std::string& finalPath() const { return final_; }
  // Writes `contents` as the whole temporary file. Throws ToolError.
  void WriteAll(const std::string& contents);
  // Renames the temporary file to the final path. Throws ToolError.
  void Commit();

 private:
  std::string final_;
  std::string temporary_;
  bool committed_ = false;
};

// True when both paths name the same existing file (same device and inode), or the same path once
// made absolute and normal. "-" is never the same as anything.
bool SameFile(const std::string& a, const std::string& b);

// Reads a whole file ("-": standard input) into memory. Throws ToolError.
std::string ReadWholeFile(const std::string& path);

}  // namespace threeway::cli
