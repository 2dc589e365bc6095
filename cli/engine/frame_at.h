// The frame the panel's presses and picks act on (--at), and opening an input so that frame is at
// hand while the whole source is still graded from its first frame.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/media/frame_io.h"
#include "cli/media/picture.h"

namespace threeway::cli {

// --at FRAME or --at TIME. A plain non-negative integer is a frame number, counted from 0 in the
// frames the source hands out. A time is seconds with a decimal point or an "s" ("2.5", "3s",
// "0.04s") or clock form "M:SS", "H:MM:SS", each with optional fractions ("1:02:03.250").
struct FramePosition {
  bool isTime = false;
  std::int64_t frame = 0;
  double seconds = 0.0;
  std::string text;  // as typed, for messages
};
// Throws UsageError naming the accepted forms.
FramePosition ParseFramePosition(std::string_view text);

// The frame number a position names in a source: a frame as given; a time as the frame showing
// at that moment, floor(seconds x rate) (with a millionth of a frame's leeway for times written
// rounded, such as 1.001 s at 29.97 fps). Throws ToolError when a time is asked of a source
// without a frame rate (raw frames, stills).
std::int64_t ResolveFramePosition(const FramePosition& position, const FrameInfo& info, const std::string& sourceName);

// An input opened for grading: the source positioned after its first frame, the first frame, and
// the reference frame when it is another one.
struct OpenedInput {
  std::unique_ptr<FrameSource> source;
  Picture first;
  std::optional<Picture> reference;  // empty: the reference is the first frame
  const Picture& Reference() const { return reference ? *reference : first; }
};

// Opens `request` and, when `at` names a frame after the first, finds it by reading the source up
// to it (no seeking: every source can do this). A file is then opened a second time for grading;
// standard input cannot be read twice, so the frames before the reference are kept in memory and
// handed out again. Throws ToolError when the source holds no frame or ends before the position.
OpenedInput OpenInputAt(const SourceRequest& request, const std::optional<FramePosition>& at);

}  // namespace threeway::cli
