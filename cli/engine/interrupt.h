// Ctrl-C, hang-ups, quit and termination requests during a command. While an InterruptGuard lives
// (the tool holds one around every command), SIGINT, SIGTERM, SIGHUP and SIGQUIT only set a flag
// (the one piece of process-wide state the tool keeps); the grading loop looks at it after every
// frame and every command before it commits its outputs, stops and throws, so the outputs'
// temporary files are removed on the way out and the run ends with exit code 128 + the signal.
#pragma once

#include <csignal>
#include <iterator>

#include "cli/tool_error.h"

namespace threeway::cli {

// The signals that stop a command the way Ctrl-C does.
inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

class InterruptGuard {
 public:
  // Installs the handlers (without SA_RESTART, so a blocking read returns and the loop notices).
  InterruptGuard();
  // Restores the handlers that were there before.
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction previous_[std::size(kStopSignals)] {};
};

// The signal that asked the run to stop, 0 when none has.
int InterruptSignal();
// The error a run stopped by `signal` ends with: exit code 128 + signal.
ToolError InterruptError(int signal);
// Throws ToolError("interrupted by SIGINT; unfinished outputs removed", 128 + signal) once a signal came.
void ThrowIfInterrupted();

// Blocks the stop signals in the calling thread for its lifetime, so threads started meanwhile
// inherit the mask and the signal is delivered to the thread that reads and writes the files.
class SignalsBlocked {
 public:
  SignalsBlocked();
  ~SignalsBlocked();
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t previous_{};
};

}  // namespace threeway::cli
