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

void Grader::Render() {
  zkfx::HostFrame out = hostOut_.HostView();
  const std::int32_t result = host_.Render(hostIn_.HostView(), out);
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
  ConvertInto(input, hostIn_);
  Render();
  ConvertInto(hostOut_, output);
}

}  // namespace threeway::cli
