// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/log.h"

#include <algorithm>
#include <utility>

namespace korvelo {

namespace {
constexpr std::string_view kCrLf = "\r\n";
}

void Log::append(std::string_view text, Severity severity) {
  const size_t start = text_.size();
  highest_ = std::max(highest_, severity);
  text_.append(text).append(kCrLf);
  // A copy, so that a sink may append in turn without pulling the text from under it.
  const std::string appended = text_.substr(start);
  const size_t sinkCount = sinks_.size();
  for (size_t i = 0; i < sinkCount; ++i) sinks_[i](appended, severity);
}

void Log::attach(Sink sink) {
  if (!sink) return;
  if (!text_.empty()) sink(text_, highest_);
  sinks_.push_back(std::move(sink));
}

std::vector<std::string> Log::lines() const {
  std::vector<std::string> result;
  std::string_view rest = text_;
  while (!rest.empty()) {
    const size_t end = rest.find(kCrLf);
    if (end == std::string_view::npos) {
      result.emplace_back(rest);
      break;
    }
    result.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end + kCrLf.size());
  }
  return result;
}

std::string Log::withUnixLineEnds(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  return result;
}

}  // namespace korvelo
