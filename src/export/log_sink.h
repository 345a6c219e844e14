// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the export engine reports: the application's log implements it.

#include <string_view>

namespace korvelo {

class LogSink {
 public:
  virtual ~LogSink() = default;
  // Adds the text as one log entry (a text with CR LF pairs shows as several lines).
  virtual void append(std::string_view text) = 0;
};

}  // namespace korvelo
