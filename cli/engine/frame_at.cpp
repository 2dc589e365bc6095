#include "cli/engine/frame_at.h"

#include <deque>
#include <utility>

#include "cli/tool_error.h"

namespace threeway::cli {
namespace {

std::string SourceName(const SourceRequest& request) { return request.path == "-" ? "standard input" : request.path; }

// Frames read ahead (standard input) handed out again before the rest of the source.
class ReplaySource : public FrameSource {
 public:
  ReplaySource(std::unique_ptr<FrameSource> source, std::deque<Picture> frames)
      : source_(std::move(source)), frames_(std::move(frames)) {}
  const FrameInfo& info() const override { return source_->info(); }
  bool Next(Picture& frame) override {
    if (frames_.empty()) return source_->Next(frame);
    frame = std::move(frames_.front());
    frames_.pop_front();
    return true;
  }

 private:
  std::unique_ptr<FrameSource> source_;
  std::deque<Picture> frames_;
};

}  // namespace

OpenedInput OpenInputAt(const SourceRequest& request, const std::optional<FramePosition>& at) {
  const std::string name = SourceName(request);
  OpenedInput opened;
  opened.source = OpenFrameSource(request);
  if (!opened.source->Next(opened.first)) throw ToolError(name + " holds no frame");
  const std::int64_t target = at ? ResolveFramePosition(*at, opened.source->info(), name) : 0;
  if (target == 0) return opened;

  std::deque<Picture> readAhead;  // standard input only: frames 1 .. target
  Picture frame;
  for (std::int64_t index = 1; index <= target; ++index) {
    if (!opened.source->Next(frame)) {
      throw ToolError("--at " + at->text + ": " + name + " ends after " + std::to_string(index) + " frame" +
                      (index == 1 ? "" : "s") + " (the first is frame 0)" +
                      (at->isTime ? ", before frame " + std::to_string(target) : ""));
    }
    if (request.path == "-") readAhead.push_back(frame);
  }
  opened.reference = std::move(frame);
  if (request.path == "-") {
    opened.source = std::make_unique<ReplaySource>(std::move(opened.source), std::move(readAhead));
  } else {
    opened.source = OpenFrameSource(request);
    if (!opened.source->Next(opened.first)) throw ToolError(name + " holds no frame on a second reading");
  }
  return opened;
}

}  // namespace threeway::cli
