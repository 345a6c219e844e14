// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's single message channel: keeps the whole text of the run and passes
// each new entry on to the front ends' sinks (the window's log control, the terminal).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/log_sink.h"

namespace korvelo {

class Log : public LogSink {
 public:
  // A sink gets each appended entry, CR LF included, after it was added to the text.
  using Sink = std::function<void(std::string_view appended, Severity severity)>;

  using LogSink::append;
  // Adds the text and CR LF; CR LF pairs inside the text separate lines of their own.
  void append(std::string_view text, Severity severity) override;
  // Binds a front end; what was appended before is handed to it at once, as one piece
  // with the highest severity among its entries.
  void attach(Sink sink);

  const std::string& text() const { return text_; }
  // The text split into lines at CR LF (the closing CR LF ends the last line).
  std::vector<std::string> lines() const;

  // The text with every CR LF made a plain LF, for terminals and line-based controls.
  static std::string withUnixLineEnds(std::string_view text);

 private:
  std::string text_;
  Severity highest_ = Severity::Info;  // of the entries so far
  std::vector<Sink> sinks_;
};

}  // namespace korvelo
