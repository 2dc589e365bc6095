// --at positions: parsing what the user typed and finding the frame in a source. Kept apart from
// the reading so it needs nothing but the source's description.
#include <charconv>
#include <cmath>

#include "cli/tool_error.h"
#include "cli/engine/frame_at.h"

namespace threeway::cli {
namespace {

// A non-negative decimal number "D", "D.", "D.F" or ".F" covering all of `text`.
bool ParseSeconds(std::string_view text, double& value) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) return false;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  return status == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool ParseWhole(std::string_view text, std::int64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  return status == std::errc() && end == text.data() + text.size();
}

}  // namespace

FramePosition ParseFramePosition(std::string_view text) {
  FramePosition position;
  position.text = std::string(text);
  const auto bad = [&] {
    return UsageError("--at needs a frame number (0 is the first) or a time (2.5, 3s, 1:02.5, 0:01:02.040), got " +
                      Quoted(position.text));
  };
  if (ParseWhole(text, position.frame)) return position;
  position.isTime = true;
  std::string_view rest = text;
  if (!rest.empty() && rest.back() == 's') rest.remove_suffix(1);
  // Clock form: up to two "N:" fields before the seconds, each whole; minutes and seconds below 60
  // once a larger field precedes them.
  double seconds = 0.0;
  int fields = 0;
  for (std::size_t colon; (colon = rest.find(':')) != std::string_view::npos; rest.remove_prefix(colon + 1)) {
    std::int64_t field = 0;
    if (++fields > 2 || text.back() == 's' || !ParseWhole(rest.substr(0, colon), field)) throw bad();
    if (fields == 2 && field >= 60) throw bad();
    seconds = seconds * 60.0 + static_cast<double>(field);
  }
  double last = 0.0;
  if (!ParseSeconds(rest, last) || (fields > 0 && last >= 60.0)) throw bad();
  // A plain integer was a frame number; a time needs a point, an "s" or a colon.
  if (fields == 0 && text.back() != 's' && rest.find('.') == std::string_view::npos) throw bad();
  position.seconds = fields > 0 ? seconds * 60.0 + last : last;
  return position;
}

std::int64_t ResolveFramePosition(const FramePosition& position, const FrameInfo& info, const std::string& sourceName) {
  if (!position.isTime) return position.frame;
  if (!(info.frameRate > 0.0)) {
    throw ToolError("--at " + position.text + ": " + sourceName +
                    " has no frame rate (raw frames and stills do not), so a time names no frame; give a frame number");
  }
  const double frame = std::floor(position.seconds * info.frameRate + 1e-6);
  if (frame > 9.0e15) throw ToolError("--at " + position.text + ": past the end of " + sourceName);
  return static_cast<std::int64_t>(frame);
}

}  // namespace threeway::cli
