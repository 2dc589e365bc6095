#include "cli/engine/grader.h"

#include <functional>
#include <utility>

namespace threeway::cli {
namespace {

// The panel's view of the picture the options act on.
class ReferenceInput : public PanelInput {
 public:
  ReferenceInput(const Picture& reference, std::function<void()> render)
      : reference_(reference), render_(std::move(render)) {}
  int width() const override { return reference_.width; }
  int height() const override { return reference_.height; }
  void RenderForPress() override { render_(); }
  zkfx::ColorARGB PickColor(int x, int y) override { return PixelAs8BitRgb(reference_, x, y); }

 private:
  const Picture& reference_;
  std::function<void()> render_;
};

}  // namespace

Grader::Grader(const Options& options, int width, int height, std::uint32_t hostFormat)
    : width_(width), height_(height), hostFormat_(hostFormat) {
  Picture::CheckSize(width, height);
  OpenEffect(options, host_, /*withSequence=*/true);
}

Grader::~Grader() {
  if (host_.HasModule()) host_.GlobalSetdown();
}

Picture& Grader::HostIn() {
  if (hostIn_.bytes.empty()) hostIn_ = Picture::Blank(width_, height_, hostFormat_);
  return hostIn_;
}

Picture& Grader::HostOut() {
  if (hostOut_.bytes.empty()) hostOut_ = Picture::Sized(width_, height_, hostFormat_);
  return hostOut_;
}

void Grader::Render() { Render(HostIn().HostView(), HostOut().HostView()); }

void Grader::Render(const zkfx::HostFrame& in, zkfx::HostFrame out) {
  const std::int32_t result = host_.Render(in, out);
  if (result != zkfx::kErrNone) {
    const std::string message = host_.displayedMessage();
    throw ToolError("render failed (code " + std::to_string(result) + ")" + (message.empty() ? "" : ": " + message));
  }
}

void Grader::ApplyPanel(std::span<const PanelStep> steps, const Picture& reference) {
  bool converted = false;
  ReferenceInput input(reference, [&] {
    if (!converted) ConvertInto(reference, HostIn());
    converted = true;
    Render();
  });
  cli::ApplyPanel(host_, steps, input);
}

void Grader::SettlePanel() {
  const zkfx::MemHandle sequence = host_.sequenceData();
  if (sequence == nullptr) return;
  host_.SetSequenceData(nullptr);
  host_.DisposeHandle(sequence);
}

void Grader::Grade(const Picture& input, Picture& output) {
  // A picture already in the host's format and the grader's size is handed to the effect as it is,
  // saving a copy of the frame each way (raw frames in the host's own layout are the common case).
  const auto inHostLayout = [&](const Picture& p) {
    return p.format == hostFormat_ && p.width == width_ && p.height == height_;
  };
  zkfx::HostFrame in;
  if (inHostLayout(input)) {
    // The effect only reads its input frame; the host record has one pointer type for both.
    in = {const_cast<std::uint8_t*>(input.bytes.data()), input.rowBytes(), width_, height_, hostFormat_};
  } else {
    ConvertInto(input, HostIn());
    in = hostIn_.HostView();
  }
  if (inHostLayout(output)) {
    Render(in, output.HostView());
  } else {
    Render(in, HostOut().HostView());
    ConvertInto(hostOut_, output);
  }
}

}  // namespace threeway::cli
