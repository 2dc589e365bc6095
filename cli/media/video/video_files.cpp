// Video files through FFmpeg's libraries (libavformat, libavcodec, libswscale), built as a library
// of its own (threeway_video) that the tool loads the first time a command reads or writes a video
// file. libavcodec brings the codec libraries with it (x264, x265, vpx, dav1d, ...); runs on image
// files or raw frames, and info and params, do not pay for loading them.
//
// Colour: a decoded frame is converted to RGB with its own matrix (BT.601, BT.709, BT.2020 or
// SMPTE 240M as tagged; an untagged stream BT.709 when it is HD-sized, BT.601 otherwise, as players
// guess), its own range (limited or full) and its own chroma siting, and the graded frame goes back
// to the output's YUV with the same matrix, range and siting and the same tags. The transfer
// characteristic and primaries are not converted (the effect grades code values); they are copied
// as tags.
//
// Timing: every frame keeps its timestamp (shifted so that the first frame of a range starts at 0),
// the frame rate is kept, and the audio streams are copied packet by packet, never re-encoded.
//
// Ranges: frame numbers count the frames the decoder hands out from the start of the file. A range
// that starts later is decoded from the key frame at or before its first frame when the container
// can say which frame that key frame is (see VideoSource::StartNearRange), so a chunk of a long clip
// costs the same wherever it lies; the frames handed out are the same as when decoding from the
// start, which remains the way when that cannot be known.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <map>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "cli/tool_error.h"
#include "cli/media/frame_io.h"
#include "cli/media/video/packet_index.h"
#include "cli/media/video/video_files.h"

namespace threeway::cli {
namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Extension(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  return Lower(extension.empty() ? extension : extension.substr(1));
}

// What a demuxer says while a source reads: the one message the tool listens for is a container
// ending in the middle of its data, which the demuxers report only as a warning (Matroska's "File
// ended prematurely") and answer with a normal end of file. A reader sets the watch on its own
// thread around its reads (DemuxerWatch); the callback keeps the first such message of that
// reader's demuxer.
struct DemuxerWatch {
  const void* context = nullptr;  // the AVFormatContext listened to
  std::string* heard = nullptr;   // where the first message goes
};
thread_local DemuxerWatch tWatch;

void OnLibraryMessage(void* object, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_WARNING || tWatch.context == nullptr || object != tWatch.context || !tWatch.heard->empty()) return;
  char text[256];
  std::vsnprintf(text, sizeof text, format, arguments);
  std::string message(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  const std::string lower = Lower(message);
  if (lower.find("prematurely") != std::string::npos || lower.find("truncat") != std::string::npos) {
    *tWatch.heard = message;
  }
}

// Sets the watch for the current thread while it lives.
class WatchDemuxer {
 public:
  WatchDemuxer(const void* context, std::string& heard) : previous_(tWatch) { tWatch = {context, &heard}; }
  ~WatchDemuxer() { tWatch = previous_; }
  WatchDemuxer(const WatchDemuxer&) = delete;
  WatchDemuxer& operator=(const WatchDemuxer&) = delete;

 private:
  DemuxerWatch previous_;
};

// FFmpeg's own messages would add lines to the one the tool prints; failures are reported through
// return codes instead (and the one warning above is listened for).
void QuietLibraries() {
  static const bool once = [] {
    av_log_set_level(AV_LOG_QUIET);
    av_log_set_callback(OnLibraryMessage);
    return true;
  }();
  (void)once;
}

// ---------------------------------------------------------------------------------------------
// Owners of FFmpeg's objects: released on every path.

struct InputCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecCloser {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameCloser {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerCloser {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct OutputCloser {
  void operator()(AVFormatContext* context) const {
    if (!(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
    avformat_free_context(context);
  }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;
using Codec = std::unique_ptr<AVCodecContext, CodecCloser>;
using Frame = std::unique_ptr<AVFrame, FrameCloser>;
using Packet = std::unique_ptr<AVPacket, PacketCloser>;
using Scaler = std::unique_ptr<SwsContext, ScalerCloser>;
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

Frame NewFrame() {
  Frame frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  return frame;
}

Packet NewPacket() {
  Packet packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  return packet;
}

Input OpenInput(const std::string& path) {
  AVFormatContext* raw = nullptr;
  const int result = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (result < 0) throw ToolError("cannot read " + path + ": " + AvError(result));
  Input input(raw);
  const int info = avformat_find_stream_info(input.get(), nullptr);
  if (info < 0) throw ToolError("cannot read " + path + ": " + AvError(info));
  return input;
}

// ---------------------------------------------------------------------------------------------
// Colour

bool IsRgb(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0;
}

bool IsJpegFormat(AVPixelFormat format) {
  return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
         format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

// The matrix players assume for untagged YUV: BT.709 for HD pictures, BT.601 for SD.
int GuessMatrix(int width, int height) {
  return width >= 1280 || height > 576 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
}

// The matrices swscale has coefficients for (its SWS_CS_* numbers are FFmpeg's AVCOL_SPC_* values).
bool SupportedMatrix(int matrix) {
  return matrix == AVCOL_SPC_BT709 || matrix == AVCOL_SPC_FCC || matrix == AVCOL_SPC_BT470BG ||
         matrix == AVCOL_SPC_SMPTE170M || matrix == AVCOL_SPC_SMPTE240M || matrix == AVCOL_SPC_BT2020_NCL;
}

std::string MatrixName(int matrix) {
  const char* name = av_color_space_name(static_cast<AVColorSpace>(matrix));
  return name ? name : "matrix " + std::to_string(matrix);
}

// A converter between a YUV (or RGB) file format and the tool's BGRA of 8 or 16 bits. The YUV
// side uses `matrix`, `fullRange` and the chroma siting `chromaLocation`; the RGB side is full range.
Scaler MakeScaler(int width, int height, AVPixelFormat from, AVPixelFormat to, int matrix, bool fullRange,
                  int chromaLocation) {
  SwsContext* raw = sws_alloc_context();
  if (raw == nullptr) throw std::bad_alloc();
  Scaler scaler(raw);
  // Accurate rounding and chroma interpolated to (and filtered from) every pixel: the fast paths
  // pick the nearest chroma sample and round coarsely, which a neutral round trip would show.
  const std::int64_t flags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT;
  av_opt_set_int(raw, "srcw", width, 0);
  av_opt_set_int(raw, "srch", height, 0);
  av_opt_set_int(raw, "src_format", from, 0);
  av_opt_set_int(raw, "dstw", width, 0);
  av_opt_set_int(raw, "dsth", height, 0);
  av_opt_set_int(raw, "dst_format", to, 0);
  av_opt_set_int(raw, "sws_flags", flags, 0);
  int x = 0, y = 0;
  if (avcodec_enum_to_chroma_pos(&x, &y, static_cast<AVChromaLocation>(chromaLocation)) == 0) {
    const bool decoding = !IsRgb(from);
    av_opt_set_int(raw, decoding ? "src_h_chr_pos" : "dst_h_chr_pos", x, 0);
    av_opt_set_int(raw, decoding ? "src_v_chr_pos" : "dst_v_chr_pos", y, 0);
  }
  if (sws_init_context(raw, nullptr, nullptr) < 0) {
    throw ToolError(std::string("the video library cannot convert ") + av_get_pix_fmt_name(from) + " to " +
                    av_get_pix_fmt_name(to));
  }
  const int* coefficients = sws_getCoefficients(matrix);
  const int yuvRange = fullRange ? 1 : 0;
  const bool fromYuv = !IsRgb(from);
  const bool toYuv = !IsRgb(to);
  sws_setColorspaceDetails(raw, coefficients, fromYuv ? yuvRange : 1, coefficients, toYuv ? yuvRange : 1, 0,
                           1 << 16, 1 << 16);
  return scaler;
}

// The siting players assume for untagged chroma: left (co-sited horizontally, between the lines
// vertically) for MPEG-style 4:2:0 and 4:2:2, the centre for JPEG-style full-range formats.
int GuessChromaLocation(AVPixelFormat format) {
  return IsJpegFormat(format) ? AVCHROMA_LOC_CENTER : AVCHROMA_LOC_LEFT;
}

bool IsDeep(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor != nullptr && (descriptor->comp[0].depth > 8 || (descriptor->flags & AV_PIX_FMT_FLAG_FLOAT));
}

// ---------------------------------------------------------------------------------------------
// Reading

class VideoSource : public FrameSource {
 public:
  explicit VideoSource(const SourceRequest& request)
      : path_(request.path), first_(request.firstFrame), last_(request.lastFrame) {
    QuietLibraries();
    const AVPixelFormat format = OpenDecoder();
    const AVCodecParameters* parameters = stream_->codecpar;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const bool deep = IsDeep(format);
    info_.width = parameters->width;
    info_.height = parameters->height;
    info_.format = deep ? zkfx::kPixelFormatBGRA16 : zkfx::kPixelFormatBGRA8;
    info_.storage = deep ? Storage::k16 : Storage::k8;
    info_.hasAlpha = (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    info_.channels = info_.hasAlpha ? 4 : 3;
    Picture::CheckSize(info_.width, info_.height);

    AVRational rate = av_guess_frame_rate(input_.get(), stream_, nullptr);
    if (rate.num <= 0 || rate.den <= 0) rate = {25, 1};
    std::shared_ptr<VideoTrack> track = DescribeTrack(format, rate);
    frameDuration_ = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), stream_->time_base));
    announced_ = AnnouncedFrames(rate);
    announcedSpan_ = AnnouncedSpan();
    std::int64_t count = announced_;
    if (count > 0) count = std::max<std::int64_t>(0, (last_ >= 0 ? std::min(last_ + 1, count) : count) - first_);
    if (count == 0 && last_ >= 0) count = last_ + 1 - first_;
    info_.frameCount = count;
    info_.frameRate = av_q2d(rate);
    info_.video = std::move(track);
    packet_ = NewPacket();
    decoded_ = NewFrame();
  }

  const FrameInfo& info() const override { return info_; }

  bool Next(Picture& frame) override {
    if (!started_) {
      started_ = true;
      StartNearRange();
    }
    while (!done_) {
      if (!Decode()) break;
      if (anchor_ && !CountFromKeyFrame()) continue;
      CheckUndamaged();
      const std::int64_t index = index_++;
      if (index < first_) continue;
      if (last_ >= 0 && index > last_) {
        done_ = true;
        break;
      }
      anchor_.reset();  // the range's first frame: where decoding started is settled
      Deliver(index, frame);
      return true;
    }
    done_ = true;
    return false;
  }

 private:
  // Opens the file and a decoder for its first video stream (cover pictures skipped); refuses a
  // file without one, a codec without a decoder and a pixel format the tool cannot convert.
  // Returns the stream's pixel format.
  AVPixelFormat OpenDecoder() {
    input_ = OpenInput(path_);
    int videoStreams = 0;
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
      const AVStream* stream = input_->streams[i];
      if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        if (videoStreams++ == 0) stream_ = input_->streams[i];
      }
    }
    if (stream_ == nullptr) throw ToolError(path_ + " holds no video stream");
    // A second video stream would be dropped without a word.
    if (videoStreams > 1) {
      throw ToolError(path_ + " holds " + std::to_string(videoStreams) +
                      " video streams; the tool grades one: take it out first (ffmpeg -i " + path_ +
                      " -map 0:v:N -c copy one.mkv)");
    }
    OpenCodec();
    const AVCodecParameters* parameters = stream_->codecpar;
    const AVPixelFormat format = static_cast<AVPixelFormat>(parameters->format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (descriptor == nullptr || parameters->width <= 0 || parameters->height <= 0) {
      throw ToolError("cannot read " + path_ + ": its video stream gives no picture size or pixel format (cut short or damaged?)");
    }
    if (descriptor->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL)) {
      throw ToolError(path_ + ": video in pixel format " + descriptor->name + " is not supported");
    }
    return format;
  }

  // A decoder for the stream, fresh (nothing of frames decoded before carries over).
  void OpenCodec() {
    const AVCodecParameters* parameters = stream_->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) {
      throw ToolError(path_ + ": no decoder for its video (" + avcodec_get_name(parameters->codec_id) + ")");
    }
    decoder_.reset(avcodec_alloc_context3(decoder));
    if (!decoder_) throw std::bad_alloc();
    int result = avcodec_parameters_to_context(decoder_.get(), parameters);
    if (result >= 0) {
      decoder_->thread_count = 0;  // as many decoding threads as the codec and machine allow
      decoder_->pkt_timebase = stream_->time_base;
      result = avcodec_open2(decoder_.get(), decoder, nullptr);
    }
    if (result < 0) throw ToolError("cannot decode the video of " + path_ + ": " + AvError(result));
  }

  // Timing and colour of the stream as a video sink needs them, and the matrix, range and chroma
  // siting the conversion to RGB uses (the tags, or what players assume when there are none).
  std::shared_ptr<VideoTrack> DescribeTrack(AVPixelFormat format, AVRational rate) const {
    const AVCodecParameters* parameters = stream_->codecpar;
    auto track = std::make_shared<VideoTrack>();
    track->path = path_;
    track->rateNum = rate.num;
    track->rateDen = rate.den;
    track->timeBaseNum = stream_->time_base.num;
    track->timeBaseDen = stream_->time_base.den;
    track->pixelFormat = format;
    const AVRational aspect = av_guess_sample_aspect_ratio(input_.get(), stream_, nullptr);
    track->aspectNum = aspect.num;
    track->aspectDen = aspect.den > 0 ? aspect.den : 1;
    track->primaries = parameters->color_primaries;
    track->transfer = parameters->color_trc;
    track->matrix = parameters->color_space;
    track->range = parameters->color_range;
    track->chromaLocation = parameters->chroma_location;
    if (IsRgb(format)) {
      track->matrixUsed = AVCOL_SPC_RGB;
      track->rangeUsed = AVCOL_RANGE_JPEG;
    } else {
      track->matrixUsed = track->matrix == AVCOL_SPC_UNSPECIFIED || track->matrix == AVCOL_SPC_RESERVED
                              ? GuessMatrix(info_.width, info_.height)
                              : track->matrix;
      if (!SupportedMatrix(track->matrixUsed)) {
        throw ToolError(path_ + ": its colour matrix " + MatrixName(track->matrixUsed) + " is not supported");
      }
      track->rangeUsed = track->range == AVCOL_RANGE_JPEG || IsJpegFormat(format) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }
    track->chromaLocationUsed = track->chromaLocation == AVCHROMA_LOC_UNSPECIFIED ? GuessChromaLocation(format)
                                                                                   : track->chromaLocation;
    track->partial = first_ > 0 || last_ >= 0;
    track->fieldOrder = stream_->codecpar->field_order;

    return track;
  }

  // Frames the header announces (0 when it does not say), for the progress count and to notice a
  // file cut short.
  std::int64_t AnnouncedFrames(AVRational rate) const {
    if (stream_->nb_frames > 0) return stream_->nb_frames;
    return av_rescale_q(AnnouncedSpan(), AV_TIME_BASE_Q, av_inv_q(rate));
  }

  // The span the header gives the stream, in microseconds (0 when it gives none, or counts its
  // frames instead): a variable-rate stream holds fewer frames than its span at the average rate.
  std::int64_t AnnouncedSpan() const {
    if (stream_->nb_frames > 0) return 0;
    if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0) {
      return av_rescale_q(stream_->duration, stream_->time_base, AV_TIME_BASE_Q);
    }
    if (const AVDictionaryEntry* tag = av_dict_get(stream_->metadata, "DURATION", nullptr, 0)) {
      // Matroska keeps each track's length as a tag, "HH:MM:SS.fraction".
      unsigned hours = 0, minutes = 0;
      double seconds = 0;
      if (std::sscanf(tag->value, "%u:%u:%lf", &hours, &minutes, &seconds) == 3) {
        return static_cast<std::int64_t>((hours * 3600.0 + minutes * 60.0 + seconds) * AV_TIME_BASE);
      }
    }
    return 0;
  }

  // The next decoded frame into decoded_; false at the end of the stream. While a range's start is
  // unsettled, what would be an error decoding from the start gives the start up instead: decoding
  // from the start then meets the error, if it is one, as it always did.
  bool Decode() {
    for (;;) {
      const int received = avcodec_receive_frame(decoder_.get(), decoded_.get());
      if (received == 0) return true;
      if (received == AVERROR_EOF) {
        if (anchor_ && (!anchor_->seen || anchor_->broken)) {
          DecodeFromTheStart();
          continue;
        }
        CheckComplete();
        return false;
      }
      if (received != AVERROR(EAGAIN)) {
        if (GiveUpRangeStart()) continue;
        throw ToolError(path_ + ": frame " + std::to_string(index_) + " cannot be decoded (damaged or cut short): " +
                        AvError(received));
      }
      if (flushed_) {
        if (GiveUpRangeStart()) continue;
        throw ToolError(path_ + ": the decoder stopped without finishing");
      }
      int read = 0;
      {
        const WatchDemuxer watch(input_.get(), damage_);
        read = av_read_frame(input_.get(), packet_.get());
      }
      if (read == AVERROR_EOF) {
        flushed_ = true;
        avcodec_send_packet(decoder_.get(), nullptr);
        continue;
      }
      if (read < 0) {
        if (GiveUpRangeStart()) continue;
        throw ToolError("cannot read " + path_ + " after frame " + std::to_string(index_) + ": " + AvError(read));
      }
      if (packet_->stream_index == stream_->index) {
        if (anchor_ && !CheckPacket(*packet_)) continue;
        const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
          if (GiveUpRangeStart()) continue;
          throw ToolError(path_ + ": the video near frame " + std::to_string(index_) +
                          " cannot be decoded (damaged or cut short): " + AvError(sent));
        }
      } else {
        av_packet_unref(packet_.get());
      }
    }
  }

  void CheckUndamaged() const {
    if (decoded_->decode_error_flags != 0 || (decoded_->flags & AV_FRAME_FLAG_CORRUPT)) {
      throw ToolError(path_ + ": frame " + std::to_string(index_) + " is damaged");
    }
  }

  // --- Starting a range at a key frame -------------------------------------------------------
  //
  // Frame A of a range is the A-th frame the decoder hands out when decoding from the start, in
  // presentation order. Decoding from a key frame K instead hands out the same frames from K on
  // (a key frame starts a group of pictures that does not look back), so frame numbers carry over
  // once K's own number is known: the frames shown before it. Those are the packets before K in
  // decode order, which the container's index counts (PacketIndex), plus the packets after K that
  // are shown before it: the leading pictures of an open group of pictures (x265's default, x264's
  // --open-gop), which refer to frames before K and are counted from the packets' presentation
  // timestamps as they are read; they come before K leaves the decoder, since the decoder hands
  // frames out in presentation order. Decoded from K they are not the frames decoding from the
  // start gives, so they are never part of the range: when frame A is one of them, decoding starts
  // at the key frame before K.
  //
  // Until the range's first frame is handed on, everything is checked against the index: the
  // first packet after the seek must be a listed key frame, each further video packet the next
  // entry, every frame after K later than the one before it. Anything else, or an error that
  // decoding from the start might not meet, gives the seek up and decodes from the start of the
  // file, as for sources that cannot seek at all: a pipe (FIFO), whose bytes cannot be read twice;
  // a container without an index of every packet (Matroska, WebM, MPEG-TS, YUV4MPEG: which frame a
  // key frame is cannot be known without reading everything before it); packets without
  // presentation timestamps (H.264 in AVI), whose leading pictures cannot be counted. Standard
  // input never reaches this reader: video is read from named files only, and raw frames, which
  // have a reader of their own, take no --frames.

  // The key frame decoding started at, checked until the range's first frame is handed on.
  struct Anchor {
    std::ptrdiff_t wanted = 0;    // the key frame asked for
    bool exact = false;           // asked for by its own decode timestamp
    std::ptrdiff_t entry = -1;    // its index entry: known from the first video packet after the seek
    std::int64_t timestamp = 0;   // its presentation timestamp
    std::ptrdiff_t next = 0;      // the entry the next video packet must be
    std::int64_t leading = 0;     // packets after it in decode order that are shown before it
    bool seen = false;            // the decoder has handed it out
    std::int64_t lastTimestamp = 0;  // the latest frame handed out since
    bool broken = false;          // the packets or frames did not match the index
  };

  // At the first frame asked for: seeks to the key frame at or before the range's first frame when
  // that is worth it and possible (see above); otherwise decoding starts at the start of the file.
  void StartNearRange() {
    if (first_ == 0 || input_->pb == nullptr || !(input_->pb->seekable & AVIO_SEEKABLE_NORMAL)) return;
    packets_ = PacketIndex::Read(stream_);
    if (!packets_) return;
    const std::ptrdiff_t key = packets_->KeyFrameAtOrBefore(first_, packets_->size());
    if (key <= 0) return;  // the first group of pictures: nothing to skip
    if (!SeekTo(key, false)) DecodeFromTheStart();
  }

  // Starts decoding at index entry `key` (a key frame) with a fresh decoder; false when the
  // container refuses or too many seeks were made. Where it lands is checked by CheckPacket.
  //
  // Seeking goes to the last key frame at or before a timestamp, which some containers take as a
  // presentation time less a shift of their own (QuickTime and MP4: by as much as the first
  // frame's reordering delay): asked for K's decode timestamp they land a group of pictures early.
  // So the first try asks for the moment just before the next key frame; a container that lands
  // past K is asked again (`exact`) for K's own decode timestamp. Landing early is correct, only
  // slower.
  bool SeekTo(std::ptrdiff_t key, bool exact) {
    constexpr int kMostSeeks = 4;
    if (++seeks_ > kMostSeeks) return false;
    av_frame_unref(decoded_.get());
    av_packet_unref(packet_.get());
    std::int64_t timestamp = packets_->decodeTimestamp(key);
    if (!exact) {
      const std::ptrdiff_t next = packets_->KeyFrameAfter(key);
      timestamp = next >= 0 ? packets_->decodeTimestamp(next) - 1 : packets_->decodeTimestamp(packets_->size() - 1);
    }
    if (av_seek_frame(input_.get(), stream_->index, timestamp, AVSEEK_FLAG_BACKWARD) < 0) return false;
    OpenCodec();
    flushed_ = false;
    index_ = packets_->framesBefore(key);  // for messages until the key frame is out
    anchor_ = Anchor{};
    anchor_->wanted = key;
    anchor_->exact = exact;
    return true;
  }

  // Gives the key frame up and decodes from the start of the file, opened anew as at first.
  void DecodeFromTheStart() {
    av_frame_unref(decoded_.get());
    av_packet_unref(packet_.get());
    anchor_.reset();
    packets_.reset();
    decoder_.reset();
    stream_ = nullptr;
    OpenDecoder();
    flushed_ = false;
    index_ = 0;
  }

  // True (after starting over from the start of the file) while the range's start is unsettled.
  bool GiveUpRangeStart() {
    if (!anchor_) return false;
    DecodeFromTheStart();
    return true;
  }

  // A video packet read while the range's start is unsettled, against the index. False when
  // decoding moved elsewhere (the packet is then not to be decoded).
  bool CheckPacket(const AVPacket& packet) {
    Anchor& anchor = *anchor_;
    if (anchor.broken) return true;
    const bool timed = packet.pts != AV_NOPTS_VALUE && packet.dts != AV_NOPTS_VALUE;
    if (anchor.entry < 0) {
      // Where the seek landed: a key frame of the index, at or before the one asked for.
      const std::ptrdiff_t entry = timed ? packets_->EntryAt(packet.dts) : -1;
      if (entry > anchor.wanted && !anchor.exact) {
        if (!SeekTo(anchor.wanted, true)) DecodeFromTheStart();
        return false;
      }
      anchor.broken = entry < 0 || entry > anchor.wanted || !packets_->key(entry) || !packets_->shown(entry) ||
                      !(packet.flags & AV_PKT_FLAG_KEY);
      anchor.entry = entry;
      anchor.timestamp = packet.pts;
      anchor.next = entry + 1;
      return true;
    }
    if (!timed || anchor.next >= packets_->size() || packet.dts != packets_->decodeTimestamp(anchor.next)) {
      anchor.broken = true;
      return true;
    }
    const bool shown = packets_->shown(anchor.next++);
    if (shown && packet.pts < anchor.timestamp) {
      // A leading picture: counted before the key frame is out, impossible after.
      if (anchor.seen) anchor.broken = true;
      ++anchor.leading;
    }
    return true;
  }

  // A frame decoded while the range's start is unsettled. True when it takes its place in the
  // count (index_ its number); false when it is shown before the key frame (not counted), or when
  // the start was given up or moved to an earlier key frame.
  bool CountFromKeyFrame() {
    Anchor& anchor = *anchor_;
    const std::int64_t timestamp = decoded_->best_effort_timestamp;
    if (!anchor.broken && anchor.entry >= 0 && timestamp != AV_NOPTS_VALUE) {
      if (anchor.seen && timestamp > anchor.lastTimestamp) {
        anchor.lastTimestamp = timestamp;
        return true;
      }
      if (!anchor.seen && timestamp < anchor.timestamp) return false;  // a leading picture
      if (!anchor.seen && timestamp == anchor.timestamp) {
        anchor.seen = true;
        anchor.lastTimestamp = timestamp;
        const std::int64_t number = packets_->framesBefore(anchor.entry) + anchor.leading;
        if (number <= first_) {
          index_ = number;
          return true;
        }
        // The range starts among the key frame's leading pictures: decode from the key frame before.
        const std::ptrdiff_t earlier = packets_->KeyFrameAtOrBefore(first_, anchor.entry);
        if (earlier > 0 && SeekTo(earlier, false)) return false;
      }
    }
    DecodeFromTheStart();
    return false;
  }

  // At the end of the stream: all the frames the header announced and the range asked for arrived.
  void CheckComplete() const {
    if (index_ == 0) throw ToolError(path_ + " holds no frame");
    if (!damage_.empty()) {
      throw ToolError(path_ + " ends after " + std::to_string(index_) + " frames, cut short or damaged (" + damage_ + ")");
    }
    // A frame count is exact; a span is reached when the last frame ends within a frame of it.
    if (stream_->nb_frames > 0 && index_ < announced_) {
      throw ToolError(path_ + " ends after " + std::to_string(index_) + " of the " + std::to_string(announced_) +
                      " frames its header announces (cut short or damaged)");
    }
    if (announcedSpan_ > 0 && lastTimestamp_ != AV_NOPTS_VALUE) {
      const std::int64_t start = stream_->start_time == AV_NOPTS_VALUE ? 0 : stream_->start_time;
      const std::int64_t frame = av_rescale_q(frameDuration_, stream_->time_base, AV_TIME_BASE_Q);
      const std::int64_t reached = av_rescale_q(lastTimestamp_ - start, stream_->time_base, AV_TIME_BASE_Q) + frame;
      if (reached + frame < announcedSpan_) {
        char text[96];
        std::snprintf(text, sizeof text, " frames, at %.3f s of the %.3f s its header announces", reached / 1e6,
                      announcedSpan_ / 1e6);
        throw ToolError(path_ + " ends after " + std::to_string(index_) + text + " (cut short or damaged)");
      }
    }
    if (first_ >= index_ || (last_ >= 0 && last_ >= index_)) {
      throw ToolError("--frames " + std::to_string(first_) + "-" + (last_ >= 0 ? std::to_string(last_) : "") +
                      ": " + path_ + " has " + std::to_string(index_) + " frames (0-" + std::to_string(index_ - 1) + ")");
    }
  }

  void Deliver(std::int64_t index, Picture& frame) {
    if (decoded_->width != info_.width || decoded_->height != info_.height) {
      throw ToolError(path_ + ": frame " + std::to_string(index) + " is " + std::to_string(decoded_->width) + "x" +
                      std::to_string(decoded_->height) + ", the first frames " + std::to_string(info_.width) + "x" +
                      std::to_string(info_.height) + " (a stream that changes size is not supported)");
    }
    const AVPixelFormat format = static_cast<AVPixelFormat>(decoded_->format);
    if (!scaler_ || format != scalerFormat_) {
      const VideoTrack& track = *info_.video;
      scaler_ = MakeScaler(info_.width, info_.height, format,
                           info_.storage == Storage::k8 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGRA64LE, track.matrixUsed,
                           track.rangeUsed == AVCOL_RANGE_JPEG, track.chromaLocationUsed);
      scalerFormat_ = format;
    }
    frame.Reshape(info_.width, info_.height, info_.format);  // the caller's buffer reused; the scaler fills it
    std::uint8_t* planes[4] = {frame.bytes.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {frame.rowBytes(), 0, 0, 0};
    sws_scale(scaler_.get(), decoded_->data, decoded_->linesize, 0, info_.height, planes, strides);

    std::int64_t timestamp = decoded_->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE) timestamp = lastTimestamp_ == AV_NOPTS_VALUE ? 0 : lastTimestamp_ + frameDuration_;
    if (lastTimestamp_ != AV_NOPTS_VALUE && timestamp <= lastTimestamp_) timestamp = lastTimestamp_ + 1;
    lastTimestamp_ = timestamp;
    VideoTrack& track = *info_.video;
    if (track.partial && index == first_) track.offset = timestamp;
    track.PushTimestamp(timestamp - track.offset);
    av_frame_unref(decoded_.get());
  }

  std::string path_;
  std::int64_t first_;
  std::int64_t last_;
  Input input_;
  AVStream* stream_ = nullptr;
  Codec decoder_;
  Packet packet_;
  Frame decoded_;
  Scaler scaler_;
  AVPixelFormat scalerFormat_ = AV_PIX_FMT_NONE;
  FrameInfo info_;
  std::int64_t announced_ = 0;
  std::int64_t announcedSpan_ = 0;
  std::string damage_;  // what the demuxer said of a file ending in the middle of its data
  std::int64_t frameDuration_ = 1;
  std::int64_t index_ = 0;
  std::int64_t lastTimestamp_ = AV_NOPTS_VALUE;
  bool flushed_ = false;
  bool done_ = false;
  bool started_ = false;
  std::optional<PacketIndex> packets_;  // the container's index, when a range starts at a key frame
  std::optional<Anchor> anchor_;        // set until the range's first frame is handed on
  int seeks_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Writing

// The codec a container gets by default: H.264 (8 or 10 bits) for MP4, Matroska, QuickTime and
// AVI, ProRes for deep QuickTime sources, VP9 for WebM, uncompressed for YUV4MPEG; FFmpeg's own
// choice for other containers.
std::string DefaultCodec(const std::string& extension, bool deep) {
  if (extension == "mov" && deep) return "prores_ks";
  if (extension == "mp4" || extension == "m4v" || extension == "mkv" || extension == "mov" || extension == "avi") {
    return "libx264";
  }
  if (extension == "webm") return "libvpx-vp9";
  if (extension == "y4m") return "wrapped_avframe";  // the YUV4MPEG muxer writes the frames as they are
  // 3GP's own H.263 takes five picture sizes only; MPEG-4 part 2 takes any even size.
  if (extension == "3gp") return "mpeg4";
  return "";
}

// Outputs that store a frame rate rather than a timestamp per frame: containers (Ogg's Theora
// counts frames in its granule positions, so other time bases lose frames) and the MPEG-1 and
// MPEG-2 encoders, which take the standard frame rates only as their time base.
bool CountsFrames(const AVOutputFormat* format, const AVCodec* encoder) {
  const std::string name = format->name;
  return name == "avi" || name == "yuv4mpegpipe" || name == "ogg" || name == "ogv" ||
         encoder->id == AV_CODEC_ID_MPEG1VIDEO || encoder->id == AV_CODEC_ID_MPEG2VIDEO;
}

// DV holds fixed picture sizes and rates only; a clear refusal before the encoder's bare "Invalid
// argument".
void CheckDvFrame(const std::string& path, int width, int height, AVRational rate) {
  const bool pal = width == 720 && height == 576 && av_cmp_q(rate, {25, 1}) == 0;
  const bool ntsc = width == 720 && height == 480 && av_cmp_q(rate, {30000, 1001}) == 0;
  if (!pal && !ntsc) {
    throw ToolError("cannot write " + path + ": DV holds 720x576 at 25 fps or 720x480 at 29.97 fps, not " +
                    std::to_string(width) + "x" + std::to_string(height) + " at " +
                    std::to_string(av_q2d(rate)) + " fps; choose another container");
  }
}

class VideoSink : public FrameSink {
 public:
  VideoSink(const SinkRequest& request, const FrameInfo& like) : file_(request.path, request.overwrite) {
    QuietLibraries();
    const std::string& path = request.path;
    const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
    if (container == nullptr) throw ToolError("cannot write " + path + ": FFmpeg knows no container for its extension");
    std::string name;
    const AVCodec* encoder = FindEncoder(request, container, like.storage != Storage::k8, name);
    const AVPixelFormat format = TakeTiming(like, encoder, name, path);
    encoder_.reset(avcodec_alloc_context3(encoder));
    if (!encoder_) throw std::bad_alloc();
    AVCodecContext& settings = *encoder_;
    const ColourConversion colour = SetColourTags(settings, like, format);
    settings.width = like.width;
    settings.height = like.height;
    settings.pix_fmt = format;
    settings.sample_aspect_ratio = {track_->aspectNum, track_->aspectDen};
    settings.framerate = rate_;
    settings.time_base = CountsFrames(container, encoder) ? av_inv_q(rate_) : sourceTimeBase_;
    settings.flags |= AV_CODEC_FLAG_CLOSED_GOP;
    // An interlaced source stays interlaced, its fields in their order (the grade works on the
    // frame as it is, both fields together).
    settings.field_order = static_cast<AVFieldOrder>(track_->fieldOrder);
    if (track_->fieldOrder > AV_FIELD_PROGRESSIVE) {
      settings.flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    }
    // The MPEG-1/2/4, H.263 and FLV encoders take closed GOPs only without scene-change detection
    // (which would start new GOPs where it likes): it is turned off, the GOPs keep their size.
    if (av_opt_find(settings.priv_data, "sc_threshold", nullptr, 0, 0) != nullptr) {
      av_opt_set_int(settings.priv_data, "sc_threshold", 1000000000, 0);
    }
    if (encoder->id == AV_CODEC_ID_DVVIDEO) CheckDvFrame(path, like.width, like.height, rate_);
    if (container->flags & AVFMT_GLOBALHEADER) settings.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    settings.thread_count = 0;
    SetQuality(settings, encoder, name, request, format);
    const int result = avcodec_open2(encoder_.get(), encoder, nullptr);
    if (result < 0) throw ToolError("cannot write " + path + ": " + name + " refuses the settings: " + AvError(result));
    OpenContainer(path, container, name, request.audio);
    PrepareFrames(like, format, colour);
    if (like.hasAlpha && !(av_pix_fmt_desc_get(format)->flags & AV_PIX_FMT_FLAG_ALPHA)) dropped_.emplace_back("the alpha");
    if (like.window != FrameInfo::Window{}) dropped_.emplace_back("the display window");
  }

  std::uint32_t format() const override { return format_; }

  std::vector<std::string> Dropped() const override { return dropped_; }

  void Write(const Picture& picture) override {
    if (picture.width != encoder_->width || picture.height != encoder_->height || picture.format != format_) {
      throw ToolError("internal: a frame of another size or format for " + file_.finalPath());
    }
    int result = av_frame_make_writable(frame_.get());
    if (result < 0) throw ToolError("cannot write " + file_.finalPath() + ": " + AvError(result));
    const std::uint8_t* planes[4] = {picture.bytes.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {picture.rowBytes(), 0, 0, 0};
    sws_scale(scaler_.get(), planes, strides, 0, picture.height, frame_->data, frame_->linesize);

    std::int64_t timestamp = written_;
    if (timed_) {
      const std::optional<std::int64_t> next = track_->PopTimestamp();
      if (!next) throw ToolError("internal: more frames written to " + file_.finalPath() + " than were read");
      timestamp = av_rescale_q(*next, sourceTimeBase_, encoder_->time_base);
    } else {
      timestamp = av_rescale_q(written_, av_inv_q(rate_), encoder_->time_base);
    }
    if (written_ > 0 && timestamp <= lastTimestamp_) timestamp = lastTimestamp_ + 1;
    lastTimestamp_ = timestamp;
    frame_->pts = timestamp;
    // Each output starts with a key frame, so chunks rendered apart join without re-encoding.
    frame_->pict_type = written_ == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (encoder_->field_order > AV_FIELD_PROGRESSIVE) {
      frame_->interlaced_frame = 1;
      frame_->top_field_first = encoder_->field_order == AV_FIELD_TT || encoder_->field_order == AV_FIELD_TB;
    }
    frame_->key_frame = written_ == 0 ? 1 : 0;
    ++written_;
    Encode(frame_.get());
  }

  void Finish() override {
    if (written_ == 0) throw ToolError("internal: no frame written to " + file_.finalPath());
    Encode(nullptr);
    if (audio_) {
      // The audio that belongs to the frames written: all of it for a whole clip, the span of
      // the frames for a range.
      std::optional<std::int64_t> end;
      if (track_->partial) {
        end = av_rescale_q(lastTimestamp_, encoder_->time_base, AV_TIME_BASE_Q) +
              av_rescale_q(1, av_inv_q(rate_), AV_TIME_BASE_Q);
      }
      PumpAudio(std::nullopt, end);
    }
    int result = av_write_trailer(output_.get());
    if (result >= 0 && output_->pb != nullptr) result = avio_closep(&output_->pb);
    if (result < 0) throw ToolError("cannot write " + file_.finalPath() + ": " + AvError(result));
  }

  void Commit() override { file_.Commit(); }

 private:
  // How frames are converted between RGB and the output's YUV: the matrix, the range and the chroma siting.
  struct ColourConversion {
    int matrix;
    bool fullRange;
    int chromaLocation;
  };

  // The encoder: --codec, else the container's usual one for the depth. Refuses (exit 2) an
  // encoder that does not exist, is not for video or does not fit the container.
  static const AVCodec* FindEncoder(const SinkRequest& request, const AVOutputFormat* container, bool deep,
                                    std::string& name) {
    const std::string& path = request.path;
    name = request.codec.empty() ? DefaultCodec(Extension(path), deep) : request.codec;
    const AVCodec* encoder = name.empty() ? nullptr : avcodec_find_encoder_by_name(name.c_str());
    if (encoder == nullptr && request.codec.empty()) {
      encoder = avcodec_find_encoder(av_guess_codec(container, nullptr, path.c_str(), nullptr, AVMEDIA_TYPE_VIDEO));
    }
    if (encoder == nullptr) {
      throw UsageError(request.codec.empty() ? "cannot write " + path + ": no video encoder for its container"
                                             : "--codec " + name + ": no such encoder (ffmpeg -encoders lists them)");
    }
    name = encoder->name;
    if (encoder->type != AVMEDIA_TYPE_VIDEO) throw UsageError("--codec " + name + " is not a video encoder");
    if (avformat_query_codec(container, encoder->id, FF_COMPLIANCE_NORMAL) == 0) {
      throw UsageError("a ." + Extension(path) + " file cannot hold " + name + " video; choose another --codec");
    }
    return encoder;
  }

  // Timing and colour as the source has them; a still or raw frames become 25 frames per second.
  // Returns the pixel format the encoder takes that is nearest to the source's.
  AVPixelFormat TakeTiming(const FrameInfo& like, const AVCodec* encoder, const std::string& name,
                           const std::string& path) {
    const bool deep = like.storage != Storage::k8;
    std::shared_ptr<VideoTrack> source = like.video;
    track_ = source ? source : std::make_shared<VideoTrack>();
    timed_ = source && source->Claim();
    rate_ = {track_->rateNum, track_->rateDen};
    sourceTimeBase_ = source ? AVRational{track_->timeBaseNum, track_->timeBaseDen} : av_inv_q(rate_);
    const AVPixelFormat sourceFormat =
        source ? static_cast<AVPixelFormat>(track_->pixelFormat) : (deep ? AV_PIX_FMT_YUV422P10 : AV_PIX_FMT_YUV420P);
    AVPixelFormat format = sourceFormat;
    if (encoder->pix_fmts != nullptr) {
      format = avcodec_find_best_pix_fmt_of_list(encoder->pix_fmts, sourceFormat, like.hasAlpha ? 1 : 0, nullptr);
    }
    if (format == AV_PIX_FMT_NONE) throw ToolError("cannot write " + path + ": " + name + " takes no pixel format the tool can give it");
    return format;
  }

  // The colour tags the output carries (the source's, or what players assume for the size) and the
  // conversion that matches them.
  ColourConversion SetColourTags(AVCodecContext& settings, const FrameInfo& like, AVPixelFormat format) const {
    ColourConversion colour{AVCOL_SPC_RGB, false, 0};
    const std::shared_ptr<VideoTrack>& source = like.video;
    if (IsRgb(format)) {
      settings.color_range = AVCOL_RANGE_JPEG;
      settings.colorspace = AVCOL_SPC_RGB;
      colour.fullRange = true;
    } else if (source && track_->matrixUsed != AVCOL_SPC_RGB) {
      colour.matrix = track_->matrixUsed;
      colour.fullRange = track_->rangeUsed == AVCOL_RANGE_JPEG;
      settings.colorspace = static_cast<AVColorSpace>(track_->matrix);
      settings.color_range = static_cast<AVColorRange>(track_->range);
    } else {
      // Pictures that were RGB: the matrix players would assume for the size, said in the tags.
      colour.matrix = GuessMatrix(like.width, like.height);
      settings.colorspace = static_cast<AVColorSpace>(colour.matrix);
      settings.color_range = AVCOL_RANGE_MPEG;
    }
    if (IsJpegFormat(format)) colour.fullRange = true;
    colour.chromaLocation =
        source && !IsRgb(static_cast<AVPixelFormat>(track_->pixelFormat)) ? track_->chromaLocationUsed : GuessChromaLocation(format);
    if (source) {
      settings.color_primaries = static_cast<AVColorPrimaries>(track_->primaries);
      settings.color_trc = static_cast<AVColorTransferCharacteristic>(track_->transfer);
      settings.chroma_sample_location = static_cast<AVChromaLocation>(track_->chromaLocation);
    } else if (!IsRgb(format)) {
      const bool hd = colour.matrix == AVCOL_SPC_BT709;
      settings.color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
      settings.color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
      settings.chroma_sample_location = static_cast<AVChromaLocation>(colour.chromaLocation);
    }
    if (IsRgb(format) && source) settings.colorspace = AVCOL_SPC_RGB;
    return colour;
  }

  // Quality: --crf or --bitrate, else the codec's sensible default.
  static void SetQuality(AVCodecContext& settings, const AVCodec* encoder, const std::string& name,
                         const SinkRequest& request, AVPixelFormat format) {
    const bool hasCrf = av_opt_find(settings.priv_data, "crf", nullptr, 0, 0) != nullptr;
    if (request.crf) {
      if (!hasCrf) throw UsageError("--crf: " + name + " has no constant-quality setting; use --bitrate");
      av_opt_set_int(settings.priv_data, "crf", *request.crf, 0);
    }
    if (request.bitrate) settings.bit_rate = *request.bitrate;
    if (!request.crf && !request.bitrate) {
      if (name == "libx264" || name == "libx265") {
        av_opt_set_int(settings.priv_data, "crf", 18, 0);
      } else if (name == "libvpx-vp9") {
        av_opt_set_int(settings.priv_data, "crf", 30, 0);
      } else if (encoder->id == AV_CODEC_ID_MPEG2VIDEO || encoder->id == AV_CODEC_ID_MPEG4) {
        settings.flags |= AV_CODEC_FLAG_QSCALE;
        settings.global_quality = FF_QP2LAMBDA * 2;
      }
    }
    if (name == "libvpx-vp9" && !request.bitrate) settings.bit_rate = 0;  // constant quality, no cap
    if (name == "libx264" || name == "libx265") av_opt_set(settings.priv_data, "preset", "medium", 0);
    if (name == "libx265") av_opt_set(settings.priv_data, "x265-params", "log-level=error", 0);  // x265 prints itself
    if (name == "prores_ks") {
      const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
      av_opt_set(settings.priv_data, "profile", descriptor->log2_chroma_w == 0 ? "4444" : "hq", 0);
    }
  }

  // The container, written under the temporary name: the video stream, the audio streams copied
  // from the source, the header.
  void OpenContainer(const std::string& path, const AVOutputFormat* container, const std::string& name, bool audio) {
    AVFormatContext* raw = nullptr;
    int result = avformat_alloc_output_context2(&raw, container, nullptr, file_.writePath().c_str());
    if (result < 0 || raw == nullptr) throw ToolError("cannot write " + path + ": " + AvError(result));
    output_.reset(raw);
    // YUV4MPEG takes more than 8 bits only as an extension its readers may not know.
    if (std::string(container->name) == "yuv4mpegpipe") raw->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    video_ = avformat_new_stream(raw, nullptr);
    if (video_ == nullptr) throw std::bad_alloc();
    result = avcodec_parameters_from_context(video_->codecpar, encoder_.get());
    if (result < 0) throw ToolError("cannot write " + path + ": " + AvError(result));
    video_->time_base = encoder_->time_base;
    video_->avg_frame_rate = rate_;
    video_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    if (timed_ && audio) AddAudio(path, container);
    if (!(container->flags & AVFMT_NOFILE)) {
      result = avio_open(&raw->pb, file_.writePath().c_str(), AVIO_FLAG_WRITE);
      if (result < 0) throw ToolError("cannot write " + path + ": " + AvError(result));
    }
    result = avformat_write_header(raw, nullptr);
    if (result < 0) {
      std::string streams = name + " video";
      for (const auto& [index, stream] : audioStreams_) streams += std::string(", ") + avcodec_get_name(stream->codecpar->codec_id) + " audio";
      throw ToolError("cannot write " + path + ": a ." + Extension(path) + " file refuses its streams (" + streams + "): " +
                      AvError(result) + (audioStreams_.empty() ? "" : "; --no-audio leaves the audio out"));
    }

  }

  // The frame the scaler fills for the encoder, tagged as the settings are.
  void PrepareFrames(const FrameInfo& like, AVPixelFormat format, const ColourConversion& colour) {
    format_ = IsDeep(format) ? zkfx::kPixelFormatBGRA16 : zkfx::kPixelFormatBGRA8;
    scaler_ = MakeScaler(like.width, like.height, format_ == zkfx::kPixelFormatBGRA8 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGRA64LE,
                         format, colour.matrix, colour.fullRange, colour.chromaLocation);
    frame_ = NewFrame();
    frame_->format = format;
    frame_->width = like.width;
    frame_->height = like.height;
    // Some encoders (ProRes) take the tags from each frame rather than from their encoder_->
    frame_->color_primaries = encoder_->color_primaries;
    frame_->color_trc = encoder_->color_trc;
    frame_->colorspace = encoder_->colorspace;
    frame_->color_range = encoder_->color_range;
    frame_->chroma_location = encoder_->chroma_sample_location;
    frame_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    const int result = av_frame_get_buffer(frame_.get(), 0);
    if (result < 0) throw std::bad_alloc();
    packet_ = NewPacket();
  }

  void Encode(AVFrame* frame) {
    int result = avcodec_send_frame(encoder_.get(), frame);
    if (result < 0) throw ToolError("cannot encode " + file_.finalPath() + ": " + AvError(result));
    for (;;) {
      result = avcodec_receive_packet(encoder_.get(), packet_.get());
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
      if (result < 0) throw ToolError("cannot encode " + file_.finalPath() + ": " + AvError(result));
      if (packet_->duration == 0) packet_->duration = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate_), encoder_->time_base));
      av_packet_rescale_ts(packet_.get(), encoder_->time_base, video_->time_base);
      packet_->stream_index = video_->index;
      if (audio_) {
        const std::int64_t at = packet_->dts != AV_NOPTS_VALUE ? packet_->dts : packet_->pts;
        // Audio up to a second ahead of the video (the muxer interleaves); for a range, no
        // further than the video, since where the range ends is known only at the finish.
        const std::int64_t ahead = track_->partial ? 0 : AV_TIME_BASE;
        PumpAudio(av_rescale_q(at, video_->time_base, AV_TIME_BASE_Q) + ahead, std::nullopt);
      }
      Mux(packet_.get());
    }
  }

  void Mux(AVPacket* packet) {
    const int result = av_interleaved_write_frame(output_.get(), packet);
    av_packet_unref(packet);
    if (result < 0) throw ToolError("cannot write " + file_.finalPath() + ": " + AvError(result));
  }

  // Every audio stream of the source, copied as it is stored (no re-encoding).
  void AddAudio(const std::string& path, const AVOutputFormat* container) {
    audio_ = OpenInput(track_->path);
    const bool hasAudio = std::any_of(audio_->streams, audio_->streams + audio_->nb_streams,
                                      [](const AVStream* in) { return in->codecpar->codec_type == AVMEDIA_TYPE_AUDIO; });
    if (hasAudio && container->audio_codec == AV_CODEC_ID_NONE) {
      throw UsageError("a ." + Extension(path) + " file holds no audio and " + track_->path + " has some; use --no-audio");
    }
    for (unsigned i = 0; i < audio_->nb_streams; ++i) {
      const AVStream* in = audio_->streams[i];
      if (in->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
      if (avformat_query_codec(container, in->codecpar->codec_id, FF_COMPLIANCE_NORMAL) == 0) {
        throw UsageError("a ." + Extension(path) + " file cannot hold the " + avcodec_get_name(in->codecpar->codec_id) +
                         " audio of " + track_->path + " (copied, not re-encoded); use --no-audio or another container");
      }
      AVStream* out = avformat_new_stream(output_.get(), nullptr);
      if (out == nullptr) throw std::bad_alloc();
      const int result = avcodec_parameters_copy(out->codecpar, in->codecpar);
      if (result < 0) throw ToolError("cannot copy the audio of " + track_->path + ": " + AvError(result));
      out->codecpar->codec_tag = 0;
      out->time_base = in->time_base;
      out->disposition = in->disposition;
      av_dict_copy(&out->metadata, in->metadata, 0);
      audioStreams_[static_cast<int>(i)] = out;
    }
    if (audioStreams_.empty()) audio_.reset();
    audioPacket_ = NewPacket();
  }

  // Copies audio packets up to `until` (microseconds on the output's timeline), or all of them;
  // with `end`, packets starting at or after it are left out.
  void PumpAudio(std::optional<std::int64_t> until, std::optional<std::int64_t> end) {
    const std::int64_t offset = av_rescale_q(track_->offset, sourceTimeBase_, AV_TIME_BASE_Q);
    while (!audioDone_) {
      if (!audioHeld_) {
        const int read = av_read_frame(audio_.get(), audioPacket_.get());
        if (read == AVERROR_EOF) {
          audioDone_ = true;
          return;
        }
        if (read < 0) throw ToolError("cannot read the audio of " + track_->path + ": " + AvError(read));
        if (audioStreams_.count(audioPacket_->stream_index) == 0) {
          av_packet_unref(audioPacket_.get());
          continue;
        }
        audioHeld_ = true;
      }
      const AVStream* in = audio_->streams[audioPacket_->stream_index];
      const std::int64_t stamp = audioPacket_->pts != AV_NOPTS_VALUE ? audioPacket_->pts : audioPacket_->dts;
      const std::int64_t at =
          stamp == AV_NOPTS_VALUE ? 0 : av_rescale_q(stamp, in->time_base, AV_TIME_BASE_Q) - offset;
      if (until && at > *until) return;
      audioHeld_ = false;
      if (track_->partial && (at < 0 || (end && at >= *end))) {
        av_packet_unref(audioPacket_.get());
        continue;
      }
      AVStream* out = audioStreams_[audioPacket_->stream_index];
      const std::int64_t shift = av_rescale_q(track_->offset, sourceTimeBase_, in->time_base);
      if (audioPacket_->pts != AV_NOPTS_VALUE) audioPacket_->pts -= shift;
      if (audioPacket_->dts != AV_NOPTS_VALUE) audioPacket_->dts -= shift;
      av_packet_rescale_ts(audioPacket_.get(), in->time_base, out->time_base);
      audioPacket_->stream_index = out->index;
      audioPacket_->pos = -1;
      Mux(audioPacket_.get());
    }
  }

  PendingFile file_;  // first: removed after everything writing to it is closed
  std::shared_ptr<VideoTrack> track_;
  bool timed_ = false;  // frames take the source's timestamps (else one per frame at the rate)
  AVRational rate_{25, 1};
  AVRational sourceTimeBase_{1, 25};
  Codec encoder_;
  Output output_;
  AVStream* video_ = nullptr;
  Input audio_;
  std::map<int, AVStream*> audioStreams_;
  Packet audioPacket_;
  bool audioHeld_ = false;
  bool audioDone_ = false;
  Scaler scaler_;
  Frame frame_;
  Packet packet_;
  std::uint32_t format_ = 0;
  std::vector<std::string> dropped_;
  std::int64_t written_ = 0;
  std::int64_t lastTimestamp_ = 0;
};

std::unique_ptr<FrameSource> OpenSource(const SourceRequest& request) { return std::make_unique<VideoSource>(request); }

std::unique_ptr<FrameSink> OpenSink(const SinkRequest& request, const FrameInfo& like) {
  return std::make_unique<VideoSink>(request, like);
}

constexpr VideoFileFunctions kFunctions = {OpenSource, OpenSink};

}  // namespace
}  // namespace threeway::cli

extern "C" __attribute__((visibility("default"))) const threeway::cli::VideoFileFunctions* ThreewayVideoFiles() {
  return &threeway::cli::kFunctions;
}
