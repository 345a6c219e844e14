// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A log that keeps every entry it was given, for exact comparisons of log lines.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "export/log_sink.h"

namespace korvelo::test {

class RecordingLog : public LogSink {
 public:
  using LogSink::append;
  void append(std::string_view text, Severity severity) override {
    lines.emplace_back(text);
    severities.push_back(severity);
  }
  // Position of the first entry equal to `text` at or after `from`; lines.size() if none.
  size_t find(const std::string& text, size_t from = 0) const {
    const auto at =
        std::find(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())),
                  lines.end(), text);
    return static_cast<size_t>(at - lines.begin());
  }
  size_t count(const std::string& text) const {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
  }

  std::vector<std::string> lines;
  std::vector<Severity> severities;  // of each entry
};

}  // namespace korvelo::test
