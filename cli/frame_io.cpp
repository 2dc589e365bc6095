#include "cli/frame_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <OpenImageIO/imageio.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>

#include "cli/command.h"
#include "host/host.h"

namespace threeway::cli {
namespace {

namespace fs = std::filesystem;

std::string SystemError() { return std::strerror(errno); }

// ---------------------------------------------------------------------------------------------
// Channel layout between image files (R, G, B[, A] or grey[, A], interleaved) and the ARGB host
// formats. Pure data movement: the values are not touched.

template <typename T>
constexpr T Opaque() {
  if constexpr (sizeof(T) == 1) return T{255};
  if constexpr (sizeof(T) == 2) return T{65535};
  return T{1};
}

// `file` holds `channels` interleaved channels per pixel; `colour` lists the one (grey) or three
// (R, G, B) colour channels and `alpha` the alpha channel or -1.
template <typename T>
void FileToArgb(const std::vector<std::uint8_t>& file, int channels, const int colour[3], int colourCount, int alpha,
                Picture& argb) {
  const T* in = reinterpret_cast<const T*>(file.data());
  T* out = reinterpret_cast<T*>(argb.bytes.data());
  const std::size_t pixels = static_cast<std::size_t>(argb.width) * static_cast<std::size_t>(argb.height);
  for (std::size_t i = 0; i < pixels; ++i, in += channels, out += 4) {
    out[0] = alpha >= 0 ? in[alpha] : Opaque<T>();
    for (int c = 0; c < 3; ++c) out[1 + c] = in[colour[colourCount == 3 ? c : 0]];
  }
}

template <typename T>
std::vector<std::uint8_t> ArgbToFile(const Picture& argb, int channels) {
  std::vector<std::uint8_t> file(static_cast<std::size_t>(argb.width) * static_cast<std::size_t>(argb.height) *
                                 static_cast<std::size_t>(channels) * sizeof(T));
  const T* in = reinterpret_cast<const T*>(argb.bytes.data());
  T* out = reinterpret_cast<T*>(file.data());
  const std::size_t pixels = static_cast<std::size_t>(argb.width) * static_cast<std::size_t>(argb.height);
  for (std::size_t i = 0; i < pixels; ++i, in += 4, out += channels) {
    out[0] = in[1], out[1] = in[2], out[2] = in[3];
    if (channels == 4) out[3] = in[0];
  }
  return file;
}

OIIO::TypeDesc TypeOf(Storage storage) {
  switch (storage) {
    case Storage::k8: return OIIO::TypeDesc::UINT8;
    case Storage::k16: return OIIO::TypeDesc::UINT16;
    case Storage::kHalf: return OIIO::TypeDesc::HALF;
    case Storage::kFloat: break;
  }
  return OIIO::TypeDesc::FLOAT;
}

Depth DepthOfStorage(Storage storage) {
  switch (storage) {
    case Storage::k8: return Depth::k8;
    case Storage::k16: return Depth::k16;
    default: return Depth::kFloat;
  }
}

// The depth the tool reads a file's channels at: 8 and 16 bits stay integers, everything else
// (half, 32-bit integers, doubles) becomes float.
Storage StorageOf(OIIO::TypeDesc type) {
  switch (type.basetype) {
    case OIIO::TypeDesc::UINT8:
    case OIIO::TypeDesc::INT8: return Storage::k8;
    case OIIO::TypeDesc::UINT16:
    case OIIO::TypeDesc::INT16: return Storage::k16;
    case OIIO::TypeDesc::HALF: return Storage::kHalf;
    default: return Storage::kFloat;
  }
}

std::string Clean(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  return text.empty() ? "unknown reason" : text;
}

// ---------------------------------------------------------------------------------------------
// Image files

class ImageSource : public FrameSource {
 public:
  explicit ImageSource(const std::string& path) : path_(path) {
    input_ = OIIO::ImageInput::open(path);
    if (!input_) throw ToolError("cannot read " + path + ": " + Clean(OIIO::geterror()));
    const OIIO::ImageSpec& spec = input_->spec();
    if (spec.nchannels < 1 || spec.nchannels > 4) {
      throw ToolError(path + " has " + std::to_string(spec.nchannels) + " channels; the tool reads 1 to 4");
    }
    if (spec.depth > 1) throw ToolError(path + " is a volume image (depth " + std::to_string(spec.depth) + ")");
    channels_ = spec.nchannels;
    alpha_ = spec.alpha_channel;
    if (alpha_ < 0 || alpha_ >= channels_) alpha_ = (channels_ == 2 || channels_ == 4) ? channels_ - 1 : -1;
    for (int c = 0; c < channels_; ++c) {
      if (c != alpha_) colour_[colourCount_++] = c;
    }
    if (colourCount_ != 1 && colourCount_ != 3) {
      throw ToolError(path + " has " + std::to_string(colourCount_) + " colour channels besides alpha; the tool reads grey or RGB");
    }
    info_.storage = StorageOf(spec.format);
    info_.format = ArgbFormat(DepthOfStorage(info_.storage));
    info_.hasAlpha = alpha_ >= 0;
    info_.channels = channels_;
    info_.width = spec.width;
    info_.height = spec.height;
    Picture::Blank(spec.width, spec.height, info_.format);  // checks the size before reading
  }

  const FrameInfo& info() const override { return info_; }

  bool Next(Picture& frame) override {
    if (done_) return false;
    done_ = true;
    frame = Picture::Blank(info_.width, info_.height, info_.format);
    const Depth depth = DepthOfStorage(info_.storage);
    const OIIO::TypeDesc readType = depth == Depth::k8    ? OIIO::TypeDesc::UINT8
                                    : depth == Depth::k16 ? OIIO::TypeDesc::UINT16
                                                          : OIIO::TypeDesc::FLOAT;
    std::vector<std::uint8_t> file(static_cast<std::size_t>(info_.width) * static_cast<std::size_t>(info_.height) *
                                   static_cast<std::size_t>(channels_) * readType.size());
    if (!input_->read_image(0, 0, 0, channels_, readType, file.data())) {
      throw ToolError("cannot read the pixels of " + path_ + ": " + Clean(input_->geterror()));
    }
    input_->close();
    switch (depth) {
      case Depth::k8: FileToArgb<std::uint8_t>(file, channels_, colour_, colourCount_, alpha_, frame); break;
      case Depth::k16: FileToArgb<std::uint16_t>(file, channels_, colour_, colourCount_, alpha_, frame); break;
      case Depth::kFloat: FileToArgb<float>(file, channels_, colour_, colourCount_, alpha_, frame); break;
    }
    return true;
  }

 private:
  std::string path_;
  std::unique_ptr<OIIO::ImageInput> input_;
  FrameInfo info_;
  int channels_ = 0;
  int alpha_ = -1;
  int colour_[3] = {0, 0, 0};
  int colourCount_ = 0;
  bool done_ = false;
};

class ImageSink : public FrameSink {
 public:
  ImageSink(const std::string& path, const FrameInfo& like) : file_(path) {
    output_ = OIIO::ImageOutput::create(path);
    if (!output_) throw ToolError("cannot write " + path + ": " + Clean(OIIO::geterror()));
    channels_ = like.hasAlpha && output_->supports("alpha") ? 4 : 3;
    OIIO::TypeDesc stored = Open(like, TypeOf(like.storage));
    // Some formats take float only as 8 bits (PNG); 16 bits keeps more of a deep source.
    if (stored == OIIO::TypeDesc::UINT8 && like.storage != Storage::k8) {
      output_->close();
      const OIIO::TypeDesc wider = Open(like, OIIO::TypeDesc::UINT16);
      if (wider == OIIO::TypeDesc::UINT16) {
        stored = wider;
      } else {
        output_->close();
        stored = Open(like, OIIO::TypeDesc::UINT8);
      }
    }
    format_ = ArgbFormat(DepthOfStorage(StorageOf(stored)));
  }

  ~ImageSink() override {
    if (open_) output_->close();
  }

  std::uint32_t format() const override { return format_; }

  void Write(const Picture& frame) override {
    if (written_) throw ToolError(file_.finalPath() + ": an image file holds one frame");
    written_ = true;
    std::vector<std::uint8_t> file;
    OIIO::TypeDesc type;
    switch (DepthOf(frame.format)) {
      case Depth::k8: file = ArgbToFile<std::uint8_t>(frame, channels_), type = OIIO::TypeDesc::UINT8; break;
      case Depth::k16: file = ArgbToFile<std::uint16_t>(frame, channels_), type = OIIO::TypeDesc::UINT16; break;
      case Depth::kFloat: file = ArgbToFile<float>(frame, channels_), type = OIIO::TypeDesc::FLOAT; break;
    }
    if (!output_->write_image(type, file.data())) {
      throw ToolError("cannot write " + file_.finalPath() + ": " + Clean(output_->geterror()));
    }
  }

  void Finish() override {
    if (!written_) throw ToolError("internal: no frame written to " + file_.finalPath());
    open_ = false;
    if (!output_->close()) throw ToolError("cannot write " + file_.finalPath() + ": " + Clean(output_->geterror()));
  }

  void Commit() override { file_.Commit(); }

 private:
  OIIO::TypeDesc Open(const FrameInfo& like, OIIO::TypeDesc type) {
    OIIO::ImageSpec spec(like.width, like.height, channels_, type);
    spec.alpha_channel = channels_ == 4 ? 3 : -1;
    if (!output_->open(file_.temporaryPath(), spec)) {
      throw ToolError("cannot write " + file_.finalPath() + ": " + Clean(output_->geterror()));
    }
    open_ = true;
    return output_->spec().format;
  }

  PendingFile file_;
  std::unique_ptr<OIIO::ImageOutput> output_;
  int channels_ = 3;
  std::uint32_t format_ = 0;
  bool open_ = false;
  bool written_ = false;
};

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
    Picture::Blank(info_.width, info_.height, info_.format);  // checks the size
    if (path_ == "-") {
      file_ = stdin;
    } else {
      file_ = std::fopen(path_.c_str(), "rb");
      if (file_ == nullptr) throw ToolError("cannot read " + path_ + ": " + SystemError());
      owned_ = true;
    }
  }

  ~RawSource() override {
    if (owned_) std::fclose(file_);
  }

  const FrameInfo& info() const override { return info_; }

  bool Next(Picture& frame) override {
    frame = Picture::Blank(info_.width, info_.height, info_.format);
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
  RawSink(const std::string& path, std::uint32_t format) : format_(format) {
    if (path == "-") {
      file_ = stdout;
    } else {
      pending_ = std::make_unique<PendingFile>(path);
      file_ = std::fopen(pending_->temporaryPath().c_str(), "wb");
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
  if (request.rawFormat) return std::make_unique<RawSource>(request);
  if (request.path == "-") {
    throw UsageError("images are read from files; standard input takes raw frames (--raw-in CODE WxH)");
  }
  return std::make_unique<ImageSource>(request.path);
}

std::unique_ptr<FrameSink> OpenFrameSink(const SinkRequest& request, const FrameInfo& like) {
  if (request.rawFormat) return std::make_unique<RawSink>(request.path, *request.rawFormat);
  if (request.path == "-") {
    throw UsageError("images are written to files; standard output takes raw frames (--raw-out CODE)");
  }
  return std::make_unique<ImageSink>(request.path, like);
}

// ---------------------------------------------------------------------------------------------
// Files

PendingFile::PendingFile(std::string finalPath) : final_(std::move(finalPath)) {
  static std::atomic<unsigned> serial{0};
  const fs::path path(final_);
  temporary_ = (path.parent_path() / ("." + path.filename().string() + "." + std::to_string(::getpid()) + "-" +
                                      std::to_string(serial++) + ".partial"))
                   .string();
}

PendingFile::~PendingFile() {
  if (!committed_) std::remove(temporary_.c_str());
}

void PendingFile::WriteAll(const std::string& contents) {
  std::FILE* file = std::fopen(temporary_.c_str(), "wb");
  if (file == nullptr) throw ToolError("cannot write " + final_ + ": " + SystemError());
  const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  const std::string writeError = written ? std::string() : SystemError();
  if (std::fclose(file) != 0 || !written) {
    throw ToolError("cannot write " + final_ + ": " + (written ? SystemError() : writeError));
  }
}

void PendingFile::Commit() {
  if (std::rename(temporary_.c_str(), final_.c_str()) != 0) {
    throw ToolError("cannot write " + final_ + ": " + SystemError());
  }
  committed_ = true;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return false;
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
  std::error_code error;
  const fs::path pa = fs::weakly_canonical(fs::absolute(a, error), error);
  const fs::path pb = fs::weakly_canonical(fs::absolute(b, error), error);
  return !error && pa == pb;
}

std::string ReadWholeFile(const std::string& path) {
  std::ostringstream text;
  if (path == "-") {
    text << std::cin.rdbuf();
  } else {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ToolError("cannot read " + path + ": " + SystemError());
    text << file.rdbuf();
    if (file.bad()) throw ToolError("cannot read " + path + ": " + SystemError());
  }
  return text.str();
}

}  // namespace threeway::cli
