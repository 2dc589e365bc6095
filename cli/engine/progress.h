// The progress line of a long grade: "frame 120/480  23.4 fps  ETA 0:15", redrawn in place with a
// carriage return on standard error when standard error is a terminal, and nothing at all when it
// is not (a log file or a pipe gets no progress noise).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace threeway::cli {

// The line for `done` frames after `seconds`: the total and the ETA only when `total` is known
// (greater than 0), the rate once a frame is done and time has passed. ETA as M:SS, or H:MM:SS
// from an hour on. `label` (e.g. an input's name in a batch) leads the line when not empty.
std::string ProgressLine(const std::string& label, std::int64_t done, std::int64_t total, double seconds);

class Progress {
 public:
  // Draws on `stream` only when it is a terminal; `total` is 0 when unknown.
  Progress(std::string label, std::int64_t total, std::FILE* stream = stderr);
  // Ends a drawn line with a newline, so what follows (an error, the shell prompt) starts clean.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // One more frame written. Redraws at most a few times a second, starting half a second in (a
  // single still never shows a line).
  void FrameDone();
  // Draws the final count (when a line was drawn at all).
  void Finish();

 private:
  void Draw(double seconds);

  std::string label_;
  std::int64_t total_;
  std::FILE* stream_;
  bool enabled_;
  bool drawn_ = false;
  std::int64_t done_ = 0;
  std::size_t width_ = 0;  // length of the line last drawn, to blank what a shorter one leaves
  std::chrono::steady_clock::time_point start_;
  double lastDraw_ = 0.0;
};

}  // namespace threeway::cli
