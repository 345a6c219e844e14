// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/interrupt.h"

#include <signal.h>

#include <cstdlib>

namespace korvelo::cli {
namespace {

constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
// Sent by the request to its own watcher to end it; one from outside is passed over.
constexpr int kWakeSignal = SIGUSR2;
// Storing to a lock-free atomic is all a handler may do with it.
std::atomic<bool>* stopFlag = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free);

// Ends the program as the signal would have without a handler.
[[noreturn]] void endBy(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signal);
  std::_Exit(128 + signal);
}

void askToStop(int signal) {
  std::atomic<bool>* flag = stopFlag;
  if (flag == nullptr || flag->load()) endBy(signal);  // asked twice: the user wants out now
  flag->store(true);
}

// For a thread that did not block the signals (one started before the request).
extern "C" void onSignal(int signal) {
  askToStop(signal);
}

sigset_t caughtSignals(const struct sigaction* previous) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, kWakeSignal);
  for (int i = 0; i < 3; ++i)
    if (previous[i].sa_handler != SIG_IGN) sigaddset(&set, kSignals[i]);
  return set;
}

}  // namespace

InterruptRequest::InterruptRequest(std::atomic<bool>& stop) {
  stopFlag = &stop;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // reads and writes go on; the work stops between steps
  for (int i = 0; i < 3; ++i) {
    sigaction(kSignals[i], &action, &previous_[i]);
    // A signal the caller ignores (nohup, a background job of a script) stays ignored.
    if (previous_[i].sa_handler == SIG_IGN) sigaction(kSignals[i], &previous_[i], nullptr);
  }
  // This thread and every thread it starts from now on block the signals; the watcher
  // takes each one as it comes.
  const sigset_t caught = caughtSignals(previous_);
  pthread_sigmask(SIG_BLOCK, &caught, &previousMask_);
  watcher_ = std::thread([this, caught] {
    for (;;) {
      int signal = 0;
      if (sigwait(&caught, &signal) != 0) continue;
      if (signal == kWakeSignal) {
        if (ending_.load()) return;
        continue;
      }
      askToStop(signal);
    }
  });
}

InterruptRequest::~InterruptRequest() {
  ending_.store(true);
  pthread_kill(watcher_.native_handle(), kWakeSignal);
  watcher_.join();
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  stopFlag = nullptr;
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

bool InterruptRequest::requested() const {
  return stopFlag != nullptr && stopFlag->load();
}

}  // namespace korvelo::cli
