// SPDX-License-Identifier: GPL-3.0-or-later
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
  int percent = 0;          // of this recording
  uint64_t allWritten = 0;  // of all recordings asked for, kept bytes of a resume included
  uint64_t allTotal = 0;
  uint64_t bytesReadNow = 0;  // of this recording, read in this run: kept bytes do not count
  double secondsElapsed = 0;  // since the recording's first step
  std::string title;          // UTF-8
};

// "Aufnahme 2 von 5  37 %  1,6 MB/s  noch 0:42  gesamt 1,2 GB von 3,3 GB  Titel", sizes
// and rate in SI units (1 MB = 10^6 bytes) as the closing summary gives them; the time
// left is that of all recordings. Fields that do not fit into `columns` are dropped whole
// from the right, the title first; only a first field wider than the line is cut.
std::string formatProgressLine(const ProgressFigures& figures, int columns);

class ProgressView : public SaveDriverView {
 public:
  ProgressView(const JobQueue& jobs, SessionView& session, Terminal& terminal);

  // The recording about to be saved, counted from 1, of all that were asked for; the
  // bytes of the recordings before it and of all of them.
  void beginRecording(int recording, int recordings, uint64_t bytesBefore, uint64_t bytesAll);

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
  uint64_t bytesBefore_ = 0, bytesAll_ = 0;
  uint64_t bytesKept_ = 0;  // what the file held when this run began on it
  int readUpper_ = 0, readPosition_ = 0;
  int writeUpper_ = 0, writePosition_ = 0;
  Clock::time_point jobStart_ = Clock::now();
};

}  // namespace korvelo::cli
