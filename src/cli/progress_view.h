#pragma once
// The save driver's window parts on a terminal: the two progress bars become one
// progress line (recording i of n, percent, bytes, read rate, time left, title), the
// window title and the "Kopiermeldungen unterdrücken" box have no counterpart, and
// the Save button is the session view's flag.

#include <chrono>
#include <cstdint>
#include <string>

#include "app/session_view.h"
#include "cli/terminal.h"
#include "export/save_driver.h"

namespace korvelo::cli {

struct ProgressFigures {
  int recording = 1;  // counted from 1
  int recordings = 1;
  int percent = 0;
  uint64_t bytesWritten = 0;
  uint64_t bytesTotal = 0;
  double secondsElapsed = 0;  // since the recording's first step
  std::string title;          // UTF-8
};

// "Aufnahme 2 von 5  37 %  1.234.567 von 3.329.624 Bytes  1.625 KB/s  noch 0:42  Titel";
// the title last, so that a narrow terminal cuts the title and not the numbers.
std::string formatProgressLine(const ProgressFigures& figures);

class ProgressView : public SaveDriverView {
 public:
  ProgressView(const JobQueue& jobs, SessionView& session, Terminal& terminal);

  // The recording about to be saved, counted from 1, of all that were asked for.
  void beginRecording(int recording, int recordings);

  void setReadBarRange(int lower, int upper) override;
  void setReadBarPosition(int position) override { readPosition_ = position; }
  void setWriteBarRange(int lower, int upper) override;
  void setWriteBarPosition(int position) override;
  bool isMinimized() const override { return false; }
  void setWindowTitle(const std::string&) override {}
  bool isSuppressMessagesChecked() const override { return false; }
  void uncheckSuppressMessages() override {}
  void setSaveEnabled(bool enabled) override { session_.setSaveEnabled(enabled); }

 private:
  using Clock = std::chrono::steady_clock;

  const JobQueue& jobs_;
  SessionView& session_;
  Terminal& terminal_;
  int recording_ = 1;
  int recordings_ = 1;
  int readUpper_ = 0, readPosition_ = 0;
  int writeUpper_ = 0, writePosition_ = 0;
  Clock::time_point jobStart_ = Clock::now();
};

}  // namespace korvelo::cli
