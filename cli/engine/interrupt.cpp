#include "cli/engine/interrupt.h"

#include <pthread.h>

#include <string>

namespace threeway::cli {
namespace {

volatile std::sig_atomic_t gSignal = 0;

extern "C" void OnStopSignal(int signal) {
  if (gSignal == 0) gSignal = signal;
}

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

InterruptGuard::InterruptGuard() {
  gSignal = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &previousInt_);
  sigaction(SIGTERM, &action, &previousTerm_);
}

InterruptGuard::~InterruptGuard() {
  sigaction(SIGINT, &previousInt_, nullptr);
  sigaction(SIGTERM, &previousTerm_, nullptr);
}

int InterruptSignal() { return gSignal; }

ToolError InterruptError(int signal) {
  const std::string name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "signal " + std::to_string(signal);
  return ToolError("interrupted by " + name + "; unfinished outputs removed", 128 + signal);
}

void ThrowIfInterrupted() {
  const int signal = gSignal;
  if (signal != 0) throw InterruptError(signal);
}

SignalsBlocked::SignalsBlocked() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

SignalsBlocked::~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace threeway::cli
