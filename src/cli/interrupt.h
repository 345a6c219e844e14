// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ctrl-C (and SIGTERM, SIGHUP) while the command works: the first one only sets the stop
// flag it was given, so that an export stops after its current step (the file being
// written closed and synced, to be continued later) and a scan ends with what it found;
// a second one ends the program as usual, except while the process waits in a read the
// disk is stuck in: no signal ends that wait.

#include <atomic>
#include <csignal>

namespace korvelo::cli {

class InterruptRequest {
 public:
  // Catches the signals while it lives; `stop` must outlive it.
  explicit InterruptRequest(std::atomic<bool>& stop);
  ~InterruptRequest();  // puts the earlier handlers back
  InterruptRequest(const InterruptRequest&) = delete;
  InterruptRequest& operator=(const InterruptRequest&) = delete;

  bool requested() const;

 private:
  struct sigaction previous_[3];
};

}  // namespace korvelo::cli
