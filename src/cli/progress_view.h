// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress of a save on a terminal: one line (recording i of n, percent, read rate,
// time left, bytes, title) in place of the window's two bars.

#include <cstdint>
#include <string>

#include "app/export_progress.h"
#include "app/session_view.h"
#include "cli/terminal.h"
#include "export/save_driver.h"

namespace korvelo::cli {

// "Aufnahme 2 von 5  37 %  1,6 MB/s  noch 0:42  gesamt 1,2 GB von 3,3 GB  Titel", sizes
// and rate in SI units (1 MB = 10^6 bytes) as the closing summary gives them; the time
// left is that of all recordings. Fields that do not fit into `columns` are dropped whole
// from the right, the title first; only a first field wider than the line is cut.
std::string formatProgressLine(const ExportProgress& progress, int columns);

// The save driver's window parts on a terminal: the bars have no counterpart (the line is
// drawn from the run's progress after every step), nor have the window title and the
// "Kopiermeldungen unterdrücken" box; the Save button is the session view's flag.
class ProgressView : public SaveDriverView {
 public:
  ProgressView(SessionView& session, Terminal& terminal);

  // Draws the progress line, or clears it once the recording is done.
  void show(const ExportProgress& progress);

  void setReadBarRange(int, int) override {}
  void setReadBarPosition(int) override {}
  void setWriteBarRange(int, int) override {}
  void setWriteBarPosition(int) override {}
  bool isMinimized() const override { return false; }
  void setWindowTitle(const std::string&) override {}
  bool isSuppressMessagesChecked() const override { return false; }
  void uncheckSuppressMessages() override {}
  void setSaveEnabled(bool enabled) override { session_.setSaveEnabled(enabled); }

 private:
  SessionView& session_;
  Terminal& terminal_;
};

}  // namespace korvelo::cli
