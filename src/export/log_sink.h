// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the export engine reports: the application's log implements it. Every entry
// carries its severity, set where the entry is made, so that a quiet front end can show
// the warnings, errors and summaries without reading the German text.

#include <string_view>

namespace korvelo {

enum class Severity {
  Info,     // what the program does and finds as expected
  Warning,  // something is not as it should be; the work goes on
  Error,    // something failed: a file not written, a disk not read, a refusal
  Summary,  // the closing line of a piece of work
};

class LogSink {
 public:
  virtual ~LogSink() = default;
  // Adds the text as one log entry (a text with CR LF pairs shows as several lines).
  void append(std::string_view text) { append(text, Severity::Info); }
  virtual void append(std::string_view text, Severity severity) = 0;
};

// Whether a quiet run shows entries of this severity.
constexpr bool showsWhenQuiet(Severity severity) {
  return severity != Severity::Info;
}

}  // namespace korvelo
