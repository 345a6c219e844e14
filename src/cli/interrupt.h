// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ctrl-C (and SIGTERM, SIGHUP) while the command works: the first one only sets the stop
// flag it was given, so that an export stops after its current step (the file
// being written closed and synced, to be continued later) and a scan ends with what it
// found; a second one ends the program.
//
// The signals are taken by a thread of their own that waits for nothing else: the threads
// that read the disk block them. A signal that arrives while a read is stuck in the disk
// is then taken at once instead of waiting beside a first one (two pending signals of one
// kind would count as one), so every signal counts.

#include <pthread.h>

#include <atomic>
#include <csignal>
#include <thread>

namespace korvelo::cli {

class InterruptRequest {
 public:
  // Catches the signals while it lives; `stop` must outlive it.
  explicit InterruptRequest(std::atomic<bool>& stop);
  ~InterruptRequest();  // puts the earlier handlers and signal mask back
  InterruptRequest(const InterruptRequest&) = delete;
  InterruptRequest& operator=(const InterruptRequest&) = delete;

  bool requested() const;

 private:
  struct sigaction previous_[3];
  sigset_t previousMask_;
  std::atomic<bool> ending_{false};
  std::thread watcher_;
};

}  // namespace korvelo::cli
