// One effect instance grading frames: the frames travel file layout -> host format -> effect ->
// host format -> file layout, the conversions done by the host's image library. A grader owns its
// Host, so several graders can run side by side (one per worker thread).
#pragma once

#include <cstdint>
#include <span>

#include "cli/engine/session.h"
#include "cli/tool_error.h"
#include "cli/panel/panel.h"
#include "cli/media/picture.h"
#include "host/host.h"

namespace threeway::cli {

class Grader {
 public:
  // Loads and sets up the effect (global, parameter and sequence set-up) for frames of the given
  // size handed to the effect in `hostFormat`. Throws ToolError when the module cannot be brought up.
  Grader(const Options& options, int width, int height, std::uint32_t hostFormat);
  ~Grader();
  Grader(const Grader&) = delete;
  Grader& operator=(const Grader&) = delete;

  // Applies the panel; presses render `reference` and picks read its pixels.
  void ApplyPanel(std::span<const PanelStep> steps, const Picture& reference);
  // The panel is settled: no press follows. Presses are all that read the luma histogram the effect
  // keeps in its sequence data, so the host gives that data up, and from then on the effect's
  // pass no longer counts each frame's luma (some 8 % of a primary grade's time); the frames come
  // out the same. A press after this would find no histogram: settle only when none can follow.
  void SettlePanel();
  // Grades `input` (any format, the grader's size) into `output`, whose format says what layout
  // the caller wants. Throws ToolError when the render fails.
  void Grade(const Picture& input, Picture& output);

  threeway::host::Host& host() { return host_; }
  std::uint32_t hostFormat() const { return hostFormat_; }

 private:
  void Render();
  void Render(const zkfx::HostFrame& in, zkfx::HostFrame out);
  // The frames in the host's format, allocated at first use: frames already in the host's layout
  // (raw frames, the common case) never need them.
  Picture& HostIn();
  Picture& HostOut();

  threeway::host::Host host_;
  int width_;
  int height_;
  std::uint32_t hostFormat_;
  Picture hostIn_;
  Picture hostOut_;
};

}  // namespace threeway::cli
