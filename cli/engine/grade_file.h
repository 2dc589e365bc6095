// Grading one input into its outputs, whole or not at all: the pipeline `threeway grade` runs for
// each input and `threeway studio` runs for its full render. The panel is set on the frame that
// presses and picks act on, every frame is graded on the worker pool, and the outputs (the graded
// file, the comparison picture, the preset) get their names only once all of them are complete.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/engine/frame_at.h"
#include "cli/engine/session.h"
#include "cli/media/frame_io.h"
#include "cli/panel/panel.h"

namespace threeway::cli {

struct GradeJob {
  SourceRequest input;
  SinkRequest output;
  std::optional<std::uint32_t> hostFormat;  // default: the input's depth (DefaultHostFormat), a raw input's code
  std::vector<PanelStep> steps;
  std::string savePreset;            // also write the resulting values as a preset, when not empty
  std::string compare;               // also write the before/after picture of the first frame, when not empty
  int threads = 0;                   // 0: one per core
  std::optional<FramePosition> at;   // the frame presses and picks act on (default the first)
  // Called on the calling thread after every frame written, with the frames done and the total
  // (0 when the source does not know it). It may throw to stop the run: nothing is committed then.
  std::function<void(std::int64_t done, std::int64_t total)> frameDone;
};

// Nothing the job writes may replace its input, and no two outputs may be the same file. Throws
// UsageError.
void CheckOutputs(const GradeJob& job);

// Grades job.input into job.output (and the comparison and preset). `label` leads the progress
// line on a terminal. Throws ToolError; whatever was not committed is removed on the way out.
void GradeFile(const Options& options, const GradeJob& job, const std::string& label);

}  // namespace threeway::cli
