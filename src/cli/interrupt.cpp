#include "cli/interrupt.h"

namespace korvelo::cli {
namespace {

constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void askToStop(int signal) {
  if (stopRequested) {
    // Asked twice: the user wants out now, even in the middle of a slow read.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  stopRequested = 1;
}

}  // namespace

InterruptRequest::InterruptRequest() {
  stopRequested = 0;
  struct sigaction action {};
  action.sa_handler = askToStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // reads and writes go on; the export stops between steps
  for (int i = 0; i < 3; ++i) {
    sigaction(kSignals[i], &action, &previous_[i]);
    // A signal the caller ignores (nohup, a background job of a script) stays ignored.
    if (previous_[i].sa_handler == SIG_IGN) sigaction(kSignals[i], &previous_[i], nullptr);
  }
}

InterruptRequest::~InterruptRequest() {
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
}

bool InterruptRequest::requested() const { return stopRequested != 0; }

}  // namespace korvelo::cli
