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
  using Sink = std::function<void(std::string_view appended)>;

  // Adds the text and CR LF.
  void append(std::string_view text) override;
  // Binds a front end; entries appended before are replayed to it at once.
  void attach(Sink sink);

  const std::string& text() const { return text_; }
  // The entries split into lines at CR LF, for tests and plain front ends.
  std::vector<std::string> lines() const;

 private:
  std::string text_;
  std::vector<Sink> sinks_;
};

}  // namespace korvelo
