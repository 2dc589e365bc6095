#include "cli/media/frame_io.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>

#include "cli/tool_error.h"
#include "cli/media/images/image_files.h"
#include "cli/media/video/video_files.h"
#include "host/host.h"

namespace threeway::cli {
namespace {

namespace fs = std::filesystem;

std::string SystemError() { return std::strerror(errno); }

// ---------------------------------------------------------------------------------------------
// Raw frames

class RawSource : public FrameSource {
 public:
  explicit RawSource(const SourceRequest& request) : path_(request.path) {
    info_.width = request.rawWidth;
    info_.height = request.rawHeight;
    info_.format = *request.rawFormat;
    const Depth depth = DepthOf(info_.format);
    info_.storage = depth == Depth::k8 ? Storage::k8 : depth == Depth::k16 ? Storage::k16 : Storage::kFloat;
    info_.hasAlpha = true;
    info_.channels = 4;
    Picture::CheckSize(info_.width, info_.height);
    if (path_ == "-") {
      file_ = stdin;
    } else {
      file_ = std::fopen(path_.c_str(), "rb");
      if (file_ == nullptr) throw ToolError("cannot read " + path_ + ": " + SystemError());
      owned_ = true;
      // A regular file's length tells how many frames it holds (a frame cut short still fails
      // when it is reached).
      struct stat status;
      if (::fstat(::fileno(file_), &status) == 0 && S_ISREG(status.st_mode)) {
        const std::int64_t frameBytes = static_cast<std::int64_t>(info_.width) * info_.height *
                                        threeway::host::BytesPerPixel(info_.format);
        info_.frameCount = (status.st_size + frameBytes - 1) / frameBytes;
      }
    }
  }

  ~RawSource() override {
    if (owned_) std::fclose(file_);
  }

  const FrameInfo& info() const override { return info_; }

  bool Next(Picture& frame) override {
    // The caller's picture is read into when it is already of this source's size and format, so a
    // clip read frame after frame into one picture allocates its buffer once.
    frame.Reshape(info_.width, info_.height, info_.format);
    const std::size_t got = std::fread(frame.bytes.data(), 1, frame.bytes.size(), file_);
    if (std::ferror(file_)) throw ToolError("cannot read " + Name() + ": " + SystemError());
    if (got == frame.bytes.size()) {
      ++frames_;
      return true;
    }
    if (got == 0 && frames_ > 0) return false;
    throw ToolError("raw input " + Name() + " ended after " + std::to_string(got) + " of the " +
                    std::to_string(frame.bytes.size()) + " bytes of frame " + std::to_string(frames_ + 1) + " (" +
                    std::to_string(info_.width) + "x" + std::to_string(info_.height) + " '" +
                    FormatCodeText(info_.format) + "')");
  }

 private:
  std::string Name() const { return path_ == "-" ? "standard input" : path_; }

  std::string path_;
  FrameInfo info_;
  std::FILE* file_ = nullptr;
  bool owned_ = false;
  int frames_ = 0;
};

class RawSink : public FrameSink {
 public:
  RawSink(const std::string& path, std::uint32_t format, Overwrite overwrite) : format_(format) {
    if (path == "-") {
      file_ = stdout;
    } else {
      pending_ = std::make_unique<PendingFile>(path, overwrite);
      file_ = std::fopen(pending_->writePath().c_str(), "wb");
      if (file_ == nullptr) throw ToolError("cannot write " + path + ": " + SystemError());
    }
  }

  ~RawSink() override {
    if (pending_ && file_ != nullptr) std::fclose(file_);
  }

  std::uint32_t format() const override { return format_; }

  void Write(const Picture& frame) override {
    if (std::fwrite(frame.bytes.data(), 1, frame.bytes.size(), file_) != frame.bytes.size()) {
      throw ToolError("cannot write " + Name() + ": " + SystemError());
    }
  }

  void Finish() override {
    if (!pending_) {
      if (std::fflush(file_) != 0) throw ToolError("cannot write standard output: " + SystemError());
      return;
    }
    const int result = std::fclose(file_);
    file_ = nullptr;
    if (result != 0) throw ToolError("cannot write " + pending_->finalPath() + ": " + SystemError());
  }

  void Commit() override {
    if (pending_) pending_->Commit();
  }

 private:
  std::string Name() const { return pending_ ? pending_->finalPath() : "standard output"; }

  std::uint32_t format_;
  std::unique_ptr<PendingFile> pending_;
  std::FILE* file_ = nullptr;
};

}  // namespace

std::unique_ptr<FrameSource> OpenFrameSource(const SourceRequest& request) {
  const bool video = !request.rawFormat && IsVideoPath(request.path);
  if (!video && (request.firstFrame != 0 || request.lastFrame >= 0)) {
    throw UsageError("--frames needs a video input (" + request.path + " is not one)");
  }
  if (request.rawFormat) return std::make_unique<RawSource>(request);
  if (request.path == "-") {
    throw UsageError("images are read from files; standard input takes raw frames (--raw-in CODE WxH)");
  }
  if (video) return VideoFiles().openSource(request);
  return ImageFiles().openSource(request.path);
}

std::unique_ptr<FrameSink> OpenFrameSink(const SinkRequest& request, const FrameInfo& like) {
  const bool video = !request.rawFormat && IsVideoPath(request.path);
  if (!video && (!request.codec.empty() || request.crf || request.bitrate)) {
    throw UsageError("--codec, --crf and --bitrate need a video output (" + request.path + " is not one)");
  }
  if (request.rawFormat) return std::make_unique<RawSink>(request.path, *request.rawFormat, request.overwrite);
  if (request.path == "-") {
    throw UsageError("images are written to files; standard output takes raw frames (--raw-out CODE)");
  }
  if (video) return VideoFiles().openSink(request, like);
  return ImageFiles().openSink(request, like);
}

namespace {

// The entry `entryName` of the tool's library <directory of threeway>/../lib/`file`, loaded once per
// process and kept until it exits (the frames and sinks it makes run its code). `what` names the
// library in the error.
template <typename Table>
const Table* LoadFileLibrary(const char* file, const char* entryName, const std::string& what) {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  const fs::path library = ((error ? fs::path(".") : executable.parent_path()) / ".." / "lib" / file).lexically_normal();
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  const char* reason = handle ? nullptr : ::dlerror();
  using Entry = const Table* (*)();
  const auto entry = handle ? reinterpret_cast<Entry>(::dlsym(handle, entryName)) : nullptr;
  if (entry == nullptr) {
    throw ToolError("cannot load the " + what + " library " + library.string() + ": " +
                    (reason ? reason : "it has no entry " + std::string(entryName)));
  }
  return entry();
}

}  // namespace

const ImageFileFunctions& ImageFiles() {
  static const ImageFileFunctions* const functions =
      LoadFileLibrary<ImageFileFunctions>("threeway_images.so", kImageFilesEntry, "image-file");
  return *functions;
}

const VideoFileFunctions& VideoFiles() {
  static const VideoFileFunctions* const functions =
      LoadFileLibrary<VideoFileFunctions>("threeway_video.so", kVideoFilesEntry, "video-file");
  return *functions;
}

namespace {

Picture AsArgb(const Picture& picture) {
  const std::uint32_t argb = ArgbFormat(DepthOf(picture.format));
  return picture.format == argb ? picture : ConvertPicture(picture, argb);
}

}  // namespace

std::string EncodePicture(const Picture& picture, const std::string& format, int quality) {
  if (picture.format == ArgbFormat(DepthOf(picture.format))) return ImageFiles().encode(picture, format, quality);
  return ImageFiles().encode(AsArgb(picture), format, quality);
}

Picture ResizePicture(const Picture& picture, int width, int height) {
  if (picture.format == ArgbFormat(DepthOf(picture.format))) return ImageFiles().resize(picture, width, height);
  return ImageFiles().resize(AsArgb(picture), width, height);
}

bool IsVideoPath(const std::string& path) {
  static constexpr const char* kExtensions[] = {"mov", "mp4", "m4v", "mkv", "avi",  "webm", "mxf", "y4m", "mpg",
                                                "mpeg", "ts", "m2ts", "mts", "flv", "ogv", "nut", "dv",  "3gp"};
  std::string extension = fs::path(path).extension().string();
  if (extension.empty()) return false;
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* known : kExtensions) {
    if (extension.substr(1) == known) return true;
  }
  return false;
}

}  // namespace threeway::cli
