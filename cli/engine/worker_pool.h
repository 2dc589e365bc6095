// Frame-parallel grading: frames from a source graded on a pool of worker threads, each driving an
// effect instance of its own (a Grader: its own Host, hence its own renderer state and sequence
// record), and handed on in source order.
//
// The calling thread reads the source and delivers the graded frames; the workers only render.
// At most two frames per worker are in flight (read and not yet delivered), and all of them within
// 1 GiB: large frames get fewer workers than asked, so memory stays bounded whatever the length of
// the source and the thread count. Frames finishing out of order wait until their
// predecessors are delivered.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "cli/media/frame_io.h"
#include "cli/engine/grader.h"
#include "cli/media/picture.h"

namespace threeway::cli {

struct PoolSettings {
  int threads = 1;                   // worker threads; 1 grades on the calling thread, no threads started
  std::uint32_t outputFormat = 0;    // host format of the graded pictures handed to `deliver`
  // The delivery reads only the graded picture: a frame already in the output format is then
  // graded over itself and handed to `deliver` as both pictures.
  bool gradeInPlace = false;
  // Another grader with the same panel values as the first one (called on the calling thread,
  // only once the source turns out to hold a second frame).
  std::function<std::unique_ptr<Grader>()> makeGrader;
};

// Called in frame order on the calling thread with the frame's number (from 0), the frame as the
// source handed it out and its grade.
using DeliverFrame = std::function<void(std::int64_t index, const Picture& input, const Picture& graded)>;

// Grades `first` (the source's first frame, already read) and every frame `source` still hands
// out with `grader` and the graders `settings.makeGrader` adds, delivering them in order. Checks
// for an interrupt after every frame (ThrowIfInterrupted). A failure anywhere (reading, a render,
// the delivery) stops the workers and is rethrown on the calling thread. Returns the number of
// frames delivered.
std::int64_t GradeFrames(Grader& grader, Picture first, FrameSource& source, const PoolSettings& settings,
                         const DeliverFrame& deliver);

// The default worker count: the machine's cores (1 when it cannot tell).
int DefaultThreadCount();

}  // namespace threeway::cli
