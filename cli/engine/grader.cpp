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
    : hostIn_(Picture::Blank(width, height, hostFormat)), hostOut_(Picture::Blank(width, height, hostFormat)) {
  OpenEffect(options, host_, /*withSequence=*/true);
}

Grader::~Grader() {
  if (host_.HasModule()) host_.GlobalSetdown();
}

void Grader::Render() { Render(hostIn_.HostView(), hostOut_.HostView()); }

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
    if (!converted) ConvertInto(reference, hostIn_);
    converted = true;
    Render();
  });
  cli::ApplyPanel(host_, steps, input);
}

void Grader::Grade(const Picture& input, Picture& output) {
  // A picture already in the host's format and the grader's size is handed to the effect as it is,
  // saving a copy of the frame each way (raw frames in the host's own layout are the common case).
  const auto inHostLayout = [&](const Picture& p) {
    return p.format == hostIn_.format && p.width == hostIn_.width && p.height == hostIn_.height;
  };
  zkfx::HostFrame in = hostIn_.HostView();
  if (inHostLayout(input)) {
    // The effect only reads its input frame; the host record has one pointer type for both.
    in.data = const_cast<std::uint8_t*>(input.bytes.data());
  } else {
    ConvertInto(input, hostIn_);
  }
  if (inHostLayout(output)) {
    Render(in, output.HostView());
  } else {
    Render(in, hostOut_.HostView());
    ConvertInto(hostOut_, output);
  }
}

}  // namespace threeway::cli
