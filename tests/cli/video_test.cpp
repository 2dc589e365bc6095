// threeway grade on video files, run as users run it: clips made by ffmpeg from its own test
// sources, graded by the tool, and the results examined by ffprobe (frame counts, timestamps,
// durations, colour tags, audio packets) and decoded to RGB by ffmpeg for the pixels. Each case
// works in a directory of its own (CTest runs the cases as parallel processes).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/tool_case.h"

namespace {

namespace fs = std::filesystem;

using threeway::test::ReadAll;
using Outcome = threeway::test::ToolRun;

// Lines of a tool's or ffprobe's output, blank ones left out.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::string& line : threeway::test::Lines(text)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

class Video : public threeway::test::ToolCase {
 protected:
  // Makes a clip with ffmpeg: `video` and `audio` are the lavfi sources, `options` the output
  // options (codec, pixel format, tags).
  void Make(const std::string& name, const std::string& video, const std::string& audio, const std::string& options) {
    const std::string inputs = "-f lavfi -i '" + video + "'" + (audio.empty() ? "" : " -f lavfi -i '" + audio + "'");
    const Outcome run = Shell("ffmpeg -nostdin -v error " + inputs + " " + options + " -y '" + name + "'");
    ASSERT_EQ(run.status, 0) << run.err;
  }

  // ffprobe's values for the first video stream ("video.codec_name"), the first audio stream
  // ("audio.nb_read_packets") and the container ("format.duration"), frames and packets counted.
  std::map<std::string, std::string> Probe(const std::string& name) {
    const Outcome run = Shell("ffprobe -v error -count_frames -count_packets -show_entries stream=codec_type,codec_name,"
                              "pix_fmt,profile,r_frame_rate,color_space,color_primaries,color_transfer,color_range,"
                              "duration,nb_read_frames,nb_read_packets:format=duration -of flat '" + name + "'");
    std::map<std::string, std::map<std::string, std::string>> streams;
    std::map<std::string, std::string> values;
    for (const std::string& line : Lines(run.out)) {
      const std::size_t equals = line.find('=');
      if (equals == std::string::npos) continue;
      std::string key = line.substr(0, equals), value = line.substr(equals + 1);
      if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
      if (key.rfind("format.", 0) == 0) {
        values[key] = value;
      } else if (key.rfind("streams.stream.", 0) == 0) {
        const std::size_t dot = key.find('.', 15);
        streams[key.substr(15, dot - 15)][key.substr(dot + 1)] = value;
      }
    }
    for (auto& [index, stream] : streams) {
      const std::string type = stream["codec_type"];
      for (const auto& [key, value] : stream) {
        if (!values.count(type + "." + key)) values[type + "." + key] = value;
      }
    }
    return values;
  }

  // The video frames' presentation times and key-frame flags, in order.
  struct Frames {
    std::vector<double> times;
    std::vector<int> keys;
  };
  Frames FramesOf(const std::string& name) {
    Frames frames;
    const Outcome run =
        Shell("ffprobe -v error -select_streams v:0 -show_entries frame=key_frame,pts_time,best_effort_timestamp_time "
              "-of csv=p=0 '" + name + "'");
    for (const std::string& line : Lines(run.out)) {
      int key = 0;
      double time = 0;
      // AVI stores no presentation times: its frames are timed by the reader's best effort.
      if (std::sscanf(line.c_str(), "%d,%lf", &key, &time) == 2 || std::sscanf(line.c_str(), "%d,N/A,%lf", &key, &time) == 2) {
        frames.keys.push_back(key);
        frames.times.push_back(time);
      }
    }
    return frames;
  }

  // Per-packet checksums of the audio, as ffmpeg copies it out (stream copy: the stored bytes).
  std::vector<std::string> AudioPackets(const std::string& name) {
    std::vector<std::string> sums;
    const Outcome run = Shell("ffmpeg -nostdin -v error -i '" + name + "' -map 0:a -c copy -f framemd5 -");
    for (const std::string& line : Lines(run.out)) {
      if (line[0] != '#') sums.push_back(line.substr(line.rfind(',') + 1));
    }
    return sums;
  }

  // The frames as 8-bit RGB, decoded by ffmpeg (by the file's own tags unless `filter` says
  // otherwise).
  std::vector<unsigned char> Rgb(const std::string& name, const std::string& filter = "") {
    const Outcome run = Shell("ffmpeg -nostdin -v error -i '" + name + "' " + (filter.empty() ? "" : "-vf '" + filter + "' ") +
                          "-f rawvideo -pix_fmt rgb24 -y rgb.raw");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string bytes = ReadAll(Path("rgb.raw"));
    fs::remove(Path("rgb.raw"));
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
  }
};

double MeanDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, std::size_t from = 0,
                      std::size_t count = 0) {
  EXPECT_GE(a.size(), from + count);
  EXPECT_GE(b.size(), count);
  if (count == 0) {
    EXPECT_EQ(a.size(), b.size());
    count = std::min(a.size(), b.size());
  }
  double sum = 0;
  for (std::size_t i = 0; i < count && from + i < a.size() && i < b.size(); ++i) sum += std::abs(a[from + i] - b[i]);
  return count ? sum / static_cast<double>(count) : 0;
}

// testsrc2 softened: sharp colour edges at 160x90 make chroma subsampling itself lose a lot, which
// would hide a wrong matrix; a blurred picture keeps the comparison about colour.
const std::string kSoftPattern = "testsrc2=size=160x90:rate=25,gblur=sigma=2";
const std::string kSine = "sine=frequency=440:sample_rate=48000";

// A neutral grade keeps frame count, rate, duration, timestamps, tags and audio, and the pixels
// within the codec's loss; the same pixels decoded with the other matrix are far off (the check
// can see a matrix mix-up).
TEST_F(Video, NeutralGradeKeepsTimingTagsAudioAndColour) {
  struct Case {
    std::string source, sourceOptions, output, extra;
    std::string codec, pixelFormat, matrix, otherMatrix;
    double tolerance;
  };
  const Case cases[] = {
      // 8-bit H.264, BT.709 tags, AAC audio -> default .mp4 (libx264, 8-bit 4:2:0).
      {"hd.mp4",
       "-t 0.6 -c:v libx264 -pix_fmt yuv420p -color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv "
       "-c:a aac -shortest",
       "graded.mp4", "", "h264", "yuv420p", "bt709", "bt601", 2.5},
      // 10-bit 4:2:2 FFV1, BT.601 (SMPTE 170M) tags, FLAC audio -> default .mkv (libx264 10-bit 4:2:2).
      {"sd10.mkv",
       "-t 0.6 -c:v ffv1 -pix_fmt yuv422p10le -color_primaries smpte170m -color_trc smpte170m -colorspace smpte170m "
       "-color_range tv -c:a flac -shortest",
       "graded.mkv", "", "h264", "yuv422p10le", "smpte170m", "bt709", 2.0},
      // 10-bit 4:2:2 FFV1 tagged BT.709 -> default .mov (ProRes 422 HQ), audio left out.
      {"tagged709.mkv",
       "-t 0.6 -c:v ffv1 -pix_fmt yuv422p10le -color_primaries bt709 -color_trc bt709 -colorspace bt709 "
       "-color_range tv -c:a flac -shortest",
       "graded.mov", "--no-audio", "prores", "yuv422p10le", "bt709", "bt601", 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source + " -> " + c.output);
    Make(c.source, kSoftPattern, kSine, c.sourceOptions);
    const Outcome run = Tool("grade " + c.source + " " + c.output + " " + c.extra);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    auto in = Probe(c.source);
    auto out = Probe(c.output);
    EXPECT_EQ(out["video.codec_name"], c.codec);
    EXPECT_EQ(out["video.pix_fmt"], c.pixelFormat);
    EXPECT_EQ(out["video.nb_read_frames"], "15");
    EXPECT_EQ(out["video.r_frame_rate"], "25/1");
    for (const char* tag : {"video.color_space", "video.color_primaries", "video.color_transfer", "video.color_range"}) {
      EXPECT_EQ(out[tag], in[tag]) << tag;
    }
    EXPECT_EQ(out["video.color_space"], c.matrix);
    EXPECT_EQ(FramesOf(c.output).times, FramesOf(c.source).times);
    EXPECT_NEAR(std::stod(out["format.duration"]), 0.6, 0.03);

    if (c.extra.empty()) {
      EXPECT_EQ(out["audio.codec_name"], in["audio.codec_name"]);
      EXPECT_EQ(out["audio.nb_read_packets"], in["audio.nb_read_packets"]);
      const std::vector<std::string> packets = AudioPackets(c.source);
      EXPECT_FALSE(packets.empty());
      EXPECT_EQ(AudioPackets(c.output), packets);
    } else {
      EXPECT_EQ(out.count("audio.codec_name"), 0u);
    }

    const std::vector<unsigned char> source = Rgb(c.source);
    const std::vector<unsigned char> graded = Rgb(c.output);
    const double difference = MeanDifference(source, graded);
    EXPECT_LT(difference, c.tolerance);
    const double wrong = MeanDifference(Rgb(c.source, "scale=in_color_matrix=" + c.otherMatrix), graded);
    EXPECT_GT(wrong, 2 * c.tolerance) << "the comparison cannot tell the matrices apart";
  }
}

// An untagged SD clip is read as BT.601 (as players do) and written back untagged, so it decodes
// as it did. A grade of the clip is the grade of its frames: the same options applied to the frames
// as raw pictures (decoded by ffmpeg as BT.601) give the same result within the codec's loss.
TEST_F(Video, UntaggedClipAndAGradeOfItsFrames) {
  Make("plain.mp4", "testsrc2=size=96x64:rate=25,gblur=sigma=2", "", "-t 0.2 -c:v libx264 -pix_fmt yuv420p");
  ASSERT_EQ(Probe("plain.mp4")["video.color_space"], "unknown");
  Outcome run = Tool("grade plain.mp4 same.mp4");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Probe("same.mp4")["video.color_space"], "unknown");
  const std::vector<unsigned char> source = Rgb("plain.mp4");
  EXPECT_LT(MeanDifference(source, Rgb("same.mp4")), 2.5);

  const std::string grade = "--set MasterSaturation=40 --set MidtoneBalanceAngle=200 --set MidtoneBalanceMagnitude=40";
  run = Tool("grade plain.mp4 graded.mp4 --crf 0 " + grade);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_GT(MeanDifference(source, Rgb("graded.mp4")), 8.0);

  // Both decoded alike: BT.601, chroma interpolated to every pixel, accurate rounding.
  const std::string decode = "scale=in_color_matrix=bt601:flags=bicubic+accurate_rnd+full_chroma_int";
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -i plain.mp4 -vf " + decode + " -f rawvideo -pix_fmt bgra frames.bgra").status, 0);
  run = Tool("grade frames.bgra graded.bgra --raw-in bgra 96x64 --raw-out bgra " + grade);
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgra -s 96x64 -i graded.bgra -f rawvideo -pix_fmt rgb24 "
                  "rgb.raw").status, 0);
  const std::string raw = ReadAll(Path("rgb.raw"));
  const std::vector<unsigned char> frames(raw.begin(), raw.end());
  EXPECT_LT(MeanDifference(Rgb("graded.mp4", decode), frames), 1.5);
  // The same comparison sees a matrix mix-up.
  EXPECT_GT(MeanDifference(Rgb("graded.mp4", "scale=in_color_matrix=bt709:flags=bicubic+accurate_rnd+full_chroma_int"), frames), 3.0);

  // An RGB source into a YUV codec: the matrix players assume for its size, said in the tags.
  Make("rgb.mkv", "testsrc2=size=96x64:rate=25,gblur=sigma=2", "", "-t 0.2 -c:v ffv1 -pix_fmt gbrp");
  ASSERT_EQ(Tool("grade rgb.mkv rgb.mp4 --crf 0").status, 0);
  EXPECT_EQ(Probe("rgb.mp4")["video.color_space"], "smpte170m");

  // Raw frames, which carry no tags, into a video: matrix, primaries and transfer of the size.
  for (const auto& [size, standard] : {std::pair{"96x64", "smpte170m"}, std::pair{"1280x720", "bt709"}}) {
    SCOPED_TRACE(size);
    ASSERT_EQ(Shell(std::string("ffmpeg -v error -f lavfi -i testsrc2=size=") + size +
                    " -frames:v 1 -f rawvideo -pix_fmt bgra -y frames.raw").status, 0);
    ASSERT_EQ(Tool(std::string("grade frames.raw frames.mp4 -y --raw-in bgra ") + size).status, 0);
    auto tags = Probe("frames.mp4");
    EXPECT_EQ(tags["video.color_space"], standard);
    EXPECT_EQ(tags["video.color_primaries"], standard);
    EXPECT_EQ(tags["video.color_transfer"], standard == std::string("bt709") ? "bt709" : "smpte170m");
  }
  EXPECT_LT(MeanDifference(Rgb("rgb.mkv"), Rgb("rgb.mp4")), 2.5);
}

// --frames: the frames asked for, starting at time 0 with a key frame, the first being the
// source's frame A; audio cut to the frames' span, packet for packet. Ranges outside the clip fail
// without output.
TEST_F(Video, FrameRanges) {
  // Each frame a flat grey of its own (Y = 20 + 8 N), so a frame's number shows in its pixels.
  Make("clip.mp4", "nullsrc=size=64x48:rate=25,geq=lum=20+8*N:cb=128:cr=128", kSine,
       "-t 1 -c:v libx264 -pix_fmt yuv420p -crf 0 -c:a aac -shortest");
  const std::vector<unsigned char> source = Rgb("clip.mp4");
  const std::size_t frameBytes = 64 * 48 * 3;
  ASSERT_EQ(source.size(), 25 * frameBytes);
  // (range, its first frame, its frame count)
  for (const auto& [range, first, count] :
       {std::tuple{"10-19", 10, 10}, {"20-", 20, 5}, {"-3", 0, 4}, {"0-0", 0, 1}, {"16-20", 16, 5}}) {
    SCOPED_TRACE(range);
    const Outcome run = Tool(std::string("grade clip.mp4 part.mp4 --crf 0 --frames ") + range);
    ASSERT_EQ(run.status, 0) << run.err;
    auto out = Probe("part.mp4");
    EXPECT_EQ(out["video.nb_read_frames"], std::to_string(count));
    const Frames frames = FramesOf("part.mp4");
    ASSERT_EQ(frames.times.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(frames.times.front(), 0.0);
    EXPECT_NEAR(frames.times.back(), (count - 1) * 0.04, 1e-6);
    EXPECT_EQ(frames.keys.front(), 1);
    // The first frame is the source's frame `first`, not its neighbour (8 Y codes apart).
    const std::vector<unsigned char> part = Rgb("part.mp4");
    const std::vector<unsigned char> head(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(frameBytes));
    const int neighbour = first + 1 < 25 ? first + 1 : first - 1;
    EXPECT_LT(MeanDifference(source, head, first * frameBytes, frameBytes), 1.5);
    EXPECT_GT(MeanDifference(source, head, neighbour * frameBytes, frameBytes), 6.0);
    // Audio of the span: AAC packets are 1024 samples (21.3 ms), the cut falls on them.
    EXPECT_NEAR(std::stod(out["audio.duration"]), count * 0.04, 0.045);
    // Exactly the packets (1024 samples at 48 kHz, 1920 a frame) that start within the span, the one
    // starting on the span's first instant included (frame 16 begins packet 30).
    const auto packetsBefore = [](int frame) { return (frame * 1920 + 1023) / 1024; };
    EXPECT_EQ(out["audio.nb_read_packets"], std::to_string(packetsBefore(first + count) - packetsBefore(first)));
    fs::remove(Path("part.mp4"));
  }

  // (arguments, exit status, message)
  for (const auto& [arguments, status, message] :
       {std::tuple{"clip.mp4 out.mp4 --frames 20-30", 1, "clip.mp4 has 25 frames (0-24)"},
        {"clip.mp4 out.mp4 --frames 25-", 1, "has 25 frames"},
        {"clip.mp4 out.mp4 --frames 5-3", 2, "--frames needs a frame range"},
        {"clip.mp4 out.mp4 --frames 1:2", 2, "--frames needs a frame range"},
        {"clip.mp4 out.png --codec libx264", 2, "need a video output"},
        {"clip.mp4 out.raw --raw-out bgra --crf 20", 2, "need a video output"},
        {"out.raw x.raw --raw-in bgra 64x48 --raw-out bgra --frames 0-1", 2, "needs a video input"},
        {"clip.mp4 out.mp4 --crf 20 --bitrate 1M", 2, "exclude each other"}}) {
    SCOPED_TRACE(arguments);
    const Outcome run = Tool(std::string("grade ") + arguments);
    EXPECT_EQ(run.status, status);
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(Files(), std::vector<std::string>{"clip.mp4"});  // no leftovers of the failed run
  }
}

// A range decoded from the key frame before it gives the frames of the whole clip's grade, whatever
// the range's start: on a key frame, just after one, or among an open GOP's leading pictures (x265's
// CRA frames; the x264 clip has closed GOPs, B-frames and timestamps starting at 10 s).
TEST_F(Video, RangesFromKeyFramesMatchTheWholeClip) {
  const std::size_t frameBytes = 160 * 90 * 4;
  for (const std::string codec : {"libx264 -output_ts_offset 10", "libx265 -x265-params log-level=error"}) {
    SCOPED_TRACE(codec);
    Make("clip.mp4", "testsrc2=size=160x90:rate=25", "", "-t 4 -g 25 -pix_fmt yuv420p -c:v " + codec);
    ASSERT_EQ(Tool("grade clip.mp4 whole.raw -y --raw-out bgra").status, 0);
    const std::string whole = ReadAll(Path("whole.raw"));
    ASSERT_EQ(whole.size(), 100 * frameBytes);
    for (const auto& [first, last] : {std::pair{50, 59}, std::pair{51, 60}, std::pair{49, 52}, std::pair{76, 99}}) {
      const std::string range = std::to_string(first) + "-" + std::to_string(last);
      const Outcome run = Tool("grade clip.mp4 part.raw -y --raw-out bgra --frames " + range);
      ASSERT_EQ(run.status, 0) << range << ": " << run.err;
      EXPECT_TRUE(ReadAll(Path("part.raw")) == whole.substr(first * frameBytes, (last - first + 1) * frameBytes)) << range;
    }
  }
}

// The codec follows the container unless chosen; --crf and --bitrate reach the encoder.
TEST_F(Video, CodecAndQualityChoices) {
  Make("clip.mkv", "testsrc2=size=96x64:rate=25", kSine, "-t 0.4 -c:v libx264 -pix_fmt yuv420p -crf 10 -c:a libopus");
  // (output, options, codec)
  for (const auto& [output, options, codec] : {std::tuple<std::string, std::string, std::string>{"a.webm", "", "vp9"},
                                               {"b.mp4", "--codec libx265", "hevc"}, {"c.mkv", "--codec ffv1", "ffv1"},
                                               {"d.y4m", "--no-audio", "rawvideo"}}) {
    SCOPED_TRACE(output);
    const Outcome run = Tool("grade clip.mkv " + output + " " + options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    auto out = Probe(output);
    EXPECT_EQ(out["video.codec_name"], codec);
    EXPECT_EQ(out["video.nb_read_frames"], "10");
    // VP9's default is constant quality with no bit-rate cap (a cap of 1 bit/s measured 17).
    if (codec == "vp9") {
      EXPECT_LT(MeanDifference(Rgb("clip.mkv"), Rgb(output), 0, 96 * 64 * 3), 10.0);  // first frame: 6.2 measured
    }
  }

  // Lower CRF, more bits; a higher bit rate, more bits.
  const auto bytes = [&](const std::string& options) {
    const Outcome run = Tool("grade clip.mkv q.mp4 --no-audio " + options);
    EXPECT_EQ(run.status, 0) << options << ": " << run.err;
    const double size = fs::exists(Path("q.mp4")) ? static_cast<double>(fs::file_size(Path("q.mp4"))) : 0;
    fs::remove(Path("q.mp4"));
    return size;
  };
  EXPECT_GT(bytes("--crf 8"), 3 * bytes("--crf 40"));
  EXPECT_GT(bytes("--bitrate 800k"), 3 * bytes("--bitrate 100k"));

  // Refusals: one line, exit 2, no file.
  for (const char* arguments : {"clip.mkv e.mp4 --codec ffv1", "clip.mkv e.mp4 --codec no-such-codec",
                                "clip.mkv e.mkv --codec ffv1 --crf 10", "clip.mkv e.mp4 --codec aac",
                                "clip.mkv e.y4m"}) {
    SCOPED_TRACE(arguments);
    const Outcome run = Tool(std::string("grade ") + arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_FALSE(fs::exists(Path("e.mp4")) || fs::exists(Path("e.mkv")) || fs::exists(Path("e.y4m")));
  }
}

// Every container the tool advertises encodes with its default codec and keeps every frame, one
// every 1/25 s (DV, whose sizes are fixed, refuses others with a message).
TEST_F(Video, EveryContainerKeepsEveryFrame) {
  Make("clip.mkv", "testsrc2=size=176x144:rate=25", "", "-frames:v 10 -c:v ffv1");
  for (const char* extension : {"mov", "mp4", "m4v", "mkv", "avi", "webm", "mxf", "y4m", "mpg", "mpeg", "ts", "m2ts",
                                "mts", "flv", "ogv", "nut", "3gp", "dv"}) {
    SCOPED_TRACE(extension);
    const std::string output = std::string("out.") + extension;
    const Outcome run = Tool("grade clip.mkv " + output + " --set MasterSaturation=150");
    if (std::string(extension) == "dv") {
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find("DV holds 720x576 at 25 fps or 720x480 at 29.97 fps, not 176x144"), std::string::npos);
      EXPECT_FALSE(fs::exists(Path(output)));
      continue;
    }
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Probe(output)["video.nb_read_frames"], "10");
    const Frames frames = FramesOf(output);  // AVI's last B-frames have no time to read
    EXPECT_GE(frames.times.size(), 8u);
    for (std::size_t i = 1; i < frames.times.size(); ++i) EXPECT_NEAR(frames.times[i] - frames.times[i - 1], 0.04, 0.002) << i;
  }
}

// What a source is, the output keeps or the tool says: a variable frame rate keeps its timestamps,
// interlaced fields keep their order, a Matroska file cut short without a duration and a second
// video stream are refused (never the frames before the cut, or the first stream, without a word).
TEST_F(Video, SourcesAreToldTheTruth) {
  Make("vfr.mkv", "testsrc2=size=160x96:rate=25", "",
       "-frames:v 20 -vf \"setpts='if(lt(N,10),N,2*N)/25/TB'\" -fps_mode vfr -c:v libx264");
  Make("tt.mkv", "testsrc2=size=160x96:rate=25", "", "-frames:v 10 -flags +ildct+ilme -top 1 -field_order tt -c:v libx264");
  Make("live.mkv", "testsrc2=size=160x96:rate=25", "", "-frames:v 50 -c:v libx264 -f matroska -live 1");
  Make("two.mkv", "testsrc2=size=160x96", "", "-f lavfi -i testsrc=size=160x96 -map 0 -map 1 -frames:v 5 -c:v libx264");
  ASSERT_EQ(Shell("head -c $(($(stat -c %s live.mkv) * 6 / 10)) live.mkv >cut.mkv").status, 0);
  ASSERT_EQ(Tool("grade vfr.mkv vfr_out.mkv").status, 0);
  EXPECT_EQ(FramesOf("vfr_out.mkv").times, FramesOf("vfr.mkv").times);
  ASSERT_EQ(Tool("grade tt.mkv tt_out.mov").status, 0);
  EXPECT_EQ(Lines(Shell("ffprobe -v error -show_entries stream=field_order -of csv=p=0 tt_out.mov").out),
            std::vector<std::string>{"tt"});
  const Outcome cut = Tool("grade cut.mkv o.mkv");
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.err.find("cut.mkv ends after "), std::string::npos) << cut.err;
  EXPECT_NE(cut.err.find(" frames, cut short or damaged (File ended prematurely)"), std::string::npos) << cut.err;
  const Outcome two = Tool("grade two.mkv o.mkv");
  EXPECT_EQ(two.status, 1);
  EXPECT_NE(two.err.find("two.mkv holds 2 video streams; the tool grades one"), std::string::npos) << two.err;
  EXPECT_FALSE(fs::exists(Path("o.mkv")));
}

// Unreadable, cut-short and unsupported inputs: one line on stderr, exit 1, nothing written.
TEST_F(Video, BrokenInputsLeaveNoOutput) {
  Make("whole.mp4", "testsrc2=size=160x90:rate=25", kSine, "-t 1 -c:v libx264 -crf 5 -c:a aac -shortest");
  Make("fast.mp4", "testsrc2=size=160x90:rate=25", "", "-t 1 -c:v libx264 -crf 5 -movflags +faststart");
  Make("whole.mkv", "testsrc2=size=160x90:rate=25", "", "-t 1 -c:v libx264 -crf 5");
  Make("sound.mkv", kSine, "", "-t 0.5");
  const auto cut = [&](const std::string& from, const std::string& to, double share) {
    const std::string bytes = ReadAll(Path(from));
    std::ofstream(Path(to), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() * share));
  };
  cut("whole.mp4", "cut.mp4", 0.5);       // index at the end: lost
  cut("fast.mp4", "cutfast.mp4", 0.7);    // index first: frames missing
  cut("whole.mkv", "cut.mkv", 0.7);       // Matroska cut short
  std::ofstream(Path("noise.mov"), std::ios::binary) << std::string(4000, '\x5a') << "noise";
  // (input, output, message)
  for (const auto& [input, output, message] :
       {std::tuple{"cut.mp4", "o1.mp4", "cannot read cut.mp4"}, {"cutfast.mp4", "o2.mp4", "cut short"},
        {"cut.mkv", "o3.mkv", "cut short"}, {"noise.mov", "o4.mp4", "cannot read noise.mov"},
        {"sound.mkv", "o5.mp4", "holds no video stream"}, {"missing.mp4", "o6.mp4", "No such file"}}) {
    SCOPED_TRACE(input);
    const Outcome run = Tool(std::string("grade ") + input + " " + output);
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("threeway grade: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"cut.mkv", "cut.mp4", "cutfast.mp4", "fast.mp4", "noise.mov", "sound.mkv",
                                                 "whole.mkv", "whole.mp4"}));
  }
}

// The render-farm recipe on this machine: GNU parallel grades the chunks, the concat demuxer joins
// them without re-encoding, the source's audio comes back whole.
TEST_F(Video, ChunksRenderedWithParallelJoinIntact) {
  Make("clip.mp4", "testsrc2=size=160x90:rate=25", kSine, "-t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest");
  const Outcome run = Shell("THREEWAY='" + threeway::test::ToolPath() + "' '" THREEWAY_SOURCE_DIR "/scripts/render-chunks' clip.mp4 "
                        "joined.mp4 --chunk 20 --jobs 2 -- --set MasterSaturation=120");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"clip.mp4", "joined.mp4"}));

  auto in = Probe("clip.mp4");
  auto out = Probe("joined.mp4");
  EXPECT_EQ(out["video.codec_name"], "h264");
  EXPECT_EQ(out["video.nb_read_frames"], "50");
  EXPECT_NEAR(std::stod(out["video.duration"]), 2.0, 1e-6);
  EXPECT_NEAR(std::stod(out["format.duration"]), 2.0, 0.01);
  const Frames frames = FramesOf("joined.mp4");
  ASSERT_EQ(frames.times.size(), 50u);
  for (std::size_t i = 0; i < frames.times.size(); ++i) EXPECT_NEAR(frames.times[i], 0.04 * static_cast<double>(i), 1e-6) << i;
  // Key frames where the chunks start (0, 20, 40) come from the chunks, not from a re-encode.
  for (int key : {0, 20, 40}) EXPECT_EQ(frames.keys[static_cast<std::size_t>(key)], 1) << key;

  for (const char* key : {"audio.codec_name", "audio.duration", "audio.nb_read_packets"}) {
    EXPECT_FALSE(in[key].empty()) << key;
    EXPECT_EQ(out[key], in[key]) << key;
  }
  EXPECT_EQ(AudioPackets("joined.mp4"), AudioPackets("clip.mp4"));
}

}  // namespace
