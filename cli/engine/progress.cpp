#include "cli/engine/progress.h"

#include <unistd.h>

#include <cmath>
#include <utility>

namespace threeway::cli {

namespace {

constexpr double kFirstDraw = 0.5;      // seconds before the line first appears
constexpr double kRedrawEvery = 0.25;   // seconds between redraws

std::string Clock(double seconds) {
  const auto total = static_cast<long long>(std::ceil(seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

std::string ProgressLine(const std::string& label, std::int64_t done, std::int64_t total, double seconds) {
  std::string line = label.empty() ? "" : label + "  ";
  line += "frame " + std::to_string(done);
  if (total > 0) line += "/" + std::to_string(total);
  if (done > 0 && seconds > 0.0) {
    const double fps = static_cast<double>(done) / seconds;
    char rate[32];
    std::snprintf(rate, sizeof rate, "  %.1f fps", fps);
    line += rate;
    if (total > 0 && done <= total) line += "  ETA " + Clock(static_cast<double>(total - done) / fps);
  }
  return line;
}

Progress::Progress(std::string label, std::int64_t total, std::FILE* stream)
    : label_(std::move(label)),
      total_(total),
      stream_(stream),
      enabled_(::isatty(::fileno(stream)) == 1),
      start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
  if (drawn_) std::fputc('\n', stream_);
}

void Progress::FrameDone() {
  ++done_;
  if (!enabled_) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (seconds < kFirstDraw || (drawn_ && seconds - lastDraw_ < kRedrawEvery)) return;
  Draw(seconds);
}

void Progress::Finish() {
  if (!drawn_) return;
  Draw(std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
}

void Progress::Draw(double seconds) {
  const std::string line = ProgressLine(label_, done_, total_, seconds);
  // Spaces over whatever a longer earlier line left, then back to the start of the line.
  const std::size_t pad = width_ > line.size() ? width_ - line.size() : 0;
  std::fprintf(stream_, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
  std::fflush(stream_);
  width_ = line.size();
  drawn_ = true;
  lastDraw_ = seconds;
}

}  // namespace threeway::cli
