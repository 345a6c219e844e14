#pragma once
// Ctrl-C (and SIGTERM, SIGHUP) while recordings are saved: the first one only asks the
// export to stop after its current step, so the file being written is closed and synced
// and can be continued later; a second one ends the program at once, as usual, except
// while the process waits in a read the disk is stuck in: no signal ends that wait.

#include <csignal>

namespace korvelo::cli {

class InterruptRequest {
 public:
  InterruptRequest();   // catches the signals while it lives
  ~InterruptRequest();  // puts the earlier handlers back
  InterruptRequest(const InterruptRequest&) = delete;
  InterruptRequest& operator=(const InterruptRequest&) = delete;

  bool requested() const;

 private:
  struct sigaction previous_[3];
};

}  // namespace korvelo::cli
