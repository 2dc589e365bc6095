#include "cli/engine/interrupt.h"

#include <pthread.h>

#include <cstring>
#include <iterator>
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
  for (int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

}  // namespace

InterruptGuard::InterruptGuard() {
  gSignal = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &action, &previous_[i]);
}

InterruptGuard::~InterruptGuard() {
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &previous_[i], nullptr);
}

int InterruptSignal() { return gSignal; }

ToolError InterruptError(int signal) {
  const char* abbreviation = sigabbrev_np(signal);
  const std::string name = abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
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
