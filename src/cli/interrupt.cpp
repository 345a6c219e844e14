// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/interrupt.h"

namespace korvelo::cli {
namespace {

constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
// Storing to a lock-free atomic is all a handler may do with it.
std::atomic<bool>* stopFlag = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void askToStop(int signal) {
  std::atomic<bool>* flag = stopFlag;
  if (flag == nullptr || flag->load()) {
    // Asked twice: the user wants out now (a read the disk is stuck in still has to end).
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  flag->store(true);
}

}  // namespace

InterruptRequest::InterruptRequest(std::atomic<bool>& stop) {
  stopFlag = &stop;
  struct sigaction action {};
  action.sa_handler = askToStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // reads and writes go on; the work stops between steps
  for (int i = 0; i < 3; ++i) {
    sigaction(kSignals[i], &action, &previous_[i]);
    // A signal the caller ignores (nohup, a background job of a script) stays ignored.
    if (previous_[i].sa_handler == SIG_IGN) sigaction(kSignals[i], &previous_[i], nullptr);
  }
}

InterruptRequest::~InterruptRequest() {
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  stopFlag = nullptr;
}

bool InterruptRequest::requested() const {
  return stopFlag != nullptr && stopFlag->load();
}

}  // namespace korvelo::cli
