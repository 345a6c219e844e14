// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// stderr as the command line uses it: whole log lines, and on a terminal one progress
// line below them that redraws itself in place. A log line never lands inside the
// progress line: the progress line is cleared first and drawn again afterwards.

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "export/log_sink.h"

namespace korvelo::cli {

class Terminal {
 public:
  using Clock = std::chrono::steady_clock;

  // `stream` is not owned; `interactive` says whether progress is shown at all.
  Terminal(std::FILE* stream, bool interactive);
  ~Terminal();  // leaves no progress line behind
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // For stderr: interactive when it is a terminal and progress is wanted.
  static Terminal forStderr(bool progress = true);

  bool isInteractive() const { return interactive_; }
  // The terminal's width; 80 when it is no terminal or does not say.
  int columns() const;

  // Writes one line (without its line end); a front end's own lines are errors.
  void logLine(std::string_view line, Severity severity = Severity::Error);
  // The last warning or error written (the last line when there was none), for a report
  // that has to name what went wrong.
  const std::string& lastProblem() const { return lastProblem_; }
  // Writes a log entry as the window's log shows it: one line per CR LF-separated part.
  void logEntry(std::string_view entry, Severity severity);

  // Shows `text` as the progress line, at most ten times a second; `force` draws at once.
  void showProgress(std::string text, bool force = false);
  // Removes the progress line; the next showProgress draws a new one.
  void clearProgress();

 private:
  void erase();
  void draw();

  std::FILE* stream_;
  bool interactive_;
  std::string progress_;  // the text of the progress line, empty: none
  std::string lastProblem_;
  bool problemSeen_ = false;
  bool drawn_ = false;  // the progress line stands on the screen now
  Clock::time_point lastDraw_{};
};

// Splits a log entry at CR LF; a trailing CR LF ends the last line and adds none.
std::vector<std::string> splitLogEntry(std::string_view entry);

// The characters of UTF-8 text, each taken as one column.
int utf8Columns(std::string_view text);

// At most `columns` characters of UTF-8 text, cut at a character boundary.
std::string fitToColumns(std::string_view text, int columns);

}  // namespace korvelo::cli
