// Image files through OpenImageIO, built as a library of its own (threeway_images) that the tool
// loads the first time a command reads or writes an image file. OpenImageIO brings a few hundred
// shared libraries with it; loading them costs a large part of a second, which commands that
// handle raw frames only (and info, params) should not pay.
//
// The library takes what it shares with the tool (Picture, PendingFile) from the media library.
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>

#include "cli/tool_error.h"
#include "cli/media/frame_io.h"
#include "cli/media/images/image_files.h"

namespace threeway::cli {
namespace {

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

// Files with more pictures than this are said to hold "many" (counting pages costs a seek each).
constexpr int kMaxPagesCounted = 1000;

class ImageSource : public FrameSource {
 public:
  explicit ImageSource(const std::string& path) : path_(path) {
    // Channel values as the file stores them: a file with unassociated alpha (PNG, TIFF with
    // "extra samples" alpha) is not premultiplied on the way in, nor divided on the way out. A
    // video effect works on straight colour channels and passes alpha through.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    input_ = OIIO::ImageInput::open(path, &config);
    if (!input_) throw ToolError("cannot read " + path + ": " + Clean(OIIO::geterror()));
    const OIIO::ImageSpec& imageSpec = input_->spec();
    if (imageSpec.nchannels < 1 || imageSpec.nchannels > 4) {
      throw ToolError(path + " has " + std::to_string(imageSpec.nchannels) + " channels; the tool reads 1 to 4");
    }
    if (imageSpec.depth > 1) throw ToolError(path + " is a volume image (depth " + std::to_string(imageSpec.depth) + ")");
    // Pages after the first would be dropped without a word: the tool reads one picture.
    int pages = 1;
    while (pages < kMaxPagesCounted && input_->seek_subimage(pages, 0)) ++pages;
    if (pages > 1) {
      throw ToolError(path + " holds " + (pages == kMaxPagesCounted ? "many" : std::to_string(pages)) +
                      " pictures (pages or parts); the tool grades one: take it out first (oiiotool " + path +
                      " --subimage 0 -o picture.tif)");
    }
    input_->seek_subimage(0, 0);
    input_->geterror();  // the failed seek past the last page left its message: not the file's fault
    channels_ = imageSpec.nchannels;
    // Alpha is the channel the file names as alpha; a four-channel file without one is RGBA by
    // convention. Two channels that are not grey and alpha are refused rather than guessed at.
    alpha_ = imageSpec.alpha_channel;
    if (alpha_ < 0 || alpha_ >= channels_) alpha_ = channels_ == 4 ? 3 : -1;
    if (channels_ == 2 && alpha_ < 0) {
      throw ToolError(path + " has two channels (" + std::string(imageSpec.channel_name(0)) + ", " +
                      std::string(imageSpec.channel_name(1)) +
                      ") and neither is alpha; the tool reads grey, grey and alpha, RGB or RGBA");
    }
    for (int c = 0; c < channels_; ++c) {
      if (c != alpha_) colour_[colourCount_++] = c;
    }
    if (colourCount_ != 1 && colourCount_ != 3) {
      throw ToolError(path + " has " + std::to_string(colourCount_) + " colour channels besides alpha; the tool reads grey or RGB");
    }
    info_.storage = StorageOf(imageSpec.format);
    info_.format = ArgbFormat(DepthOfStorage(info_.storage));
    info_.hasAlpha = alpha_ >= 0;
    info_.channels = channels_;
    info_.width = imageSpec.width;
    info_.height = imageSpec.height;
    if (imageSpec.x != imageSpec.full_x || imageSpec.y != imageSpec.full_y || imageSpec.width != imageSpec.full_width ||
        imageSpec.height != imageSpec.full_height) {
      info_.window = {imageSpec.x, imageSpec.y, imageSpec.full_x, imageSpec.full_y, imageSpec.full_width,
                      imageSpec.full_height};
    }
    Picture::CheckSize(imageSpec.width, imageSpec.height);  // before reading
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
    // A damaged file may still "read": libjpeg fills what is missing with grey and leaves a
    // warning. Any message the reader leaves means the pixels are not all the file's own.
    const bool read = input_->read_image(0, 0, 0, channels_, readType, file.data());
    const std::string message = input_->geterror();
    if (!read || !message.empty()) throw ToolError("cannot read the pixels of " + path_ + ": " + Clean(message));
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

// Image formats whose files store integer channels only (the writer converts anything else).
bool IntegerOnlyFormat(std::string_view name) {
  for (std::string_view n : {"png", "jpeg", "bmp", "gif", "pnm", "targa", "ico", "webp", "jpeg2000"}) {
    if (name == n) return true;
  }
  return false;
}

class ImageSink : public FrameSink {
 public:
  ImageSink(const SinkRequest& request, const FrameInfo& like) : file_(request.path, request.overwrite) {
    const std::string& path = request.path;
    output_ = OIIO::ImageOutput::create(path);
    if (!output_) throw ToolError("cannot write " + path + ": " + Clean(OIIO::geterror()));
    channels_ = like.hasAlpha && output_->supports("alpha") ? 4 : 3;
    if (like.hasAlpha && channels_ == 3) dropped_.emplace_back("the alpha");
    keepWindow_ = like.window != FrameInfo::Window{} && output_->supports("displaywindow") && output_->supports("origin");
    if (like.window != FrameInfo::Window{} && !keepWindow_) dropped_.emplace_back("the display window");
    // Formats that hold integers only would take a float source as 8 bits; 16 bits keeps more of
    // it where the format has them. The file is opened once: opening and closing it again
    // without writing makes some writers (libpng) complain on stderr.
    OIIO::TypeDesc wanted = TypeOf(like.storage);
    if ((like.storage == Storage::kHalf || like.storage == Storage::kFloat) &&
        IntegerOnlyFormat(output_->format_name())) {
      wanted = OIIO::TypeDesc::UINT16;
    }
    const OIIO::TypeDesc stored = Open(like, wanted);
    format_ = ArgbFormat(DepthOfStorage(StorageOf(stored)));
  }

  ~ImageSink() override {
    if (open_) output_->close();
  }

  std::uint32_t format() const override { return format_; }

  std::vector<std::string> Dropped() const override { return dropped_; }

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
    // The image was encoded into memory; the file is written here, every write checked (the
    // image libraries do not all report a full disk).
    if (memory_) {
      const std::vector<unsigned char>& bytes = memory_->buffer();
      file_.WriteAll(std::string(bytes.begin(), bytes.end()));
    }
  }

  void Commit() override { file_.Commit(); }

 private:
  OIIO::TypeDesc Open(const FrameInfo& like, OIIO::TypeDesc type) {
    OIIO::ImageSpec imageSpec(like.width, like.height, channels_, type);
    imageSpec.alpha_channel = channels_ == 4 ? 3 : -1;
    imageSpec.attribute("oiio:UnassociatedAlpha", 1);
    if (keepWindow_) {
      imageSpec.x = like.window.x, imageSpec.y = like.window.y;
      imageSpec.full_x = like.window.canvasX, imageSpec.full_y = like.window.canvasY;
      imageSpec.full_width = like.window.canvasWidth, imageSpec.full_height = like.window.canvasHeight;
    }
    // Formats that can be encoded into memory are (see Finish); the others write the file themselves.
    if (output_->supports("ioproxy")) {
      memory_ = std::make_unique<OIIO::Filesystem::IOVecOutput>();
      if (!output_->set_ioproxy(memory_.get())) memory_.reset();
    }
    if (!output_->open(file_.writePath(), imageSpec)) {
      throw ToolError("cannot write " + file_.finalPath() + ": " + Clean(output_->geterror()));
    }
    open_ = true;
    return output_->spec().format;
  }

  PendingFile file_;
  std::unique_ptr<OIIO::Filesystem::IOVecOutput> memory_;  // before output_: outlives the writer
  std::unique_ptr<OIIO::ImageOutput> output_;
  int channels_ = 3;
  bool keepWindow_ = false;  // the source's data and display windows are written as they were
  std::vector<std::string> dropped_;
  std::uint32_t format_ = 0;
  bool open_ = false;
  bool written_ = false;
};

std::unique_ptr<FrameSource> OpenSource(const std::string& path) { return std::make_unique<ImageSource>(path); }

std::unique_ptr<FrameSink> OpenSink(const SinkRequest& request, const FrameInfo& like) {
  return std::make_unique<ImageSink>(request, like);
}

OIIO::TypeDesc TypeOfDepth(Depth depth) {
  switch (depth) {
    case Depth::k8: return OIIO::TypeDesc::UINT8;
    case Depth::k16: return OIIO::TypeDesc::UINT16;
    case Depth::kFloat: break;
  }
  return OIIO::TypeDesc::FLOAT;
}

std::string Encode(const Picture& argb, const std::string& format, int quality) {
  std::unique_ptr<OIIO::ImageOutput> output = OIIO::ImageOutput::create(format);
  if (!output || !output->supports("ioproxy")) throw ToolError("cannot encode a picture as " + format);
  const Depth depth = DepthOf(argb.format);
  std::vector<std::uint8_t> file;
  switch (depth) {
    case Depth::k8: file = ArgbToFile<std::uint8_t>(argb, 3); break;
    case Depth::k16: file = ArgbToFile<std::uint16_t>(argb, 3); break;
    case Depth::kFloat: file = ArgbToFile<float>(argb, 3); break;
  }
  OIIO::ImageSpec imageSpec(argb.width, argb.height, 3, TypeOfDepth(depth));
  imageSpec.attribute("CompressionQuality", quality);
  // A picture encoded for a screen is sent once: the fastest deflate costs little in size.
  imageSpec.attribute("png:compressionLevel", 1);
  OIIO::Filesystem::IOVecOutput memory;
  if (!output->set_ioproxy(&memory) || !output->open("picture." + format, imageSpec) ||
      !output->write_image(imageSpec.format, file.data()) || !output->close()) {
    throw ToolError("cannot encode a picture as " + format + ": " + Clean(output->geterror()));
  }
  const std::vector<unsigned char>& bytes = memory.buffer();
  return std::string(bytes.begin(), bytes.end());
}

Picture Resize(const Picture& argb, int width, int height) {
  const OIIO::TypeDesc type = TypeOfDepth(DepthOf(argb.format));
  const OIIO::ImageSpec sourceSpec(argb.width, argb.height, 4, type);
  const OIIO::ImageBuf source(sourceSpec, const_cast<std::uint8_t*>(argb.bytes.data()));
  Picture resized = Picture::Blank(width, height, argb.format);
  OIIO::ImageBuf target(OIIO::ImageSpec(width, height, 4, type), resized.bytes.data());
  // A box over the source pixels each target pixel covers: their mean, without the overshoot of
  // sharper filters, so the scopes of a picture made smaller show its levels.
  if (!OIIO::ImageBufAlgo::resize(target, source, "box", 1.0f)) {
    throw ToolError("cannot resize a picture: " + Clean(target.geterror()));
  }
  return resized;
}

constexpr ImageFileFunctions kFunctions = {OpenSource, OpenSink, Encode, Resize};

}  // namespace
}  // namespace threeway::cli

extern "C" __attribute__((visibility("default"))) const threeway::cli::ImageFileFunctions* ThreewayImageFiles() {
  return &threeway::cli::kFunctions;
}
