// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace korvelo::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);  // ten times a second
constexpr std::string_view kEraseLine = "\r\033[K";
constexpr int kFallbackColumns = 80;

void writeAll(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

Terminal::Terminal(std::FILE* stream, bool interactive)
    : stream_(stream), interactive_(interactive) {}

Terminal::~Terminal() {
  clearProgress();
}

Terminal Terminal::forStderr(bool progress) {
  return Terminal(stderr, progress && ::isatty(STDERR_FILENO) == 1);
}

void Terminal::logLine(std::string_view line, Severity severity) {
  std::string text;
  if (drawn_) text += kEraseLine;
  text.append(line).append("\n");
  const bool problem = severity == Severity::Warning || severity == Severity::Error;
  if (problem || !problemSeen_) lastProblem_ = line;
  problemSeen_ = problemSeen_ || problem;
  drawn_ = false;
  if (interactive_ && !progress_.empty()) {
    // The redraw belongs to the same write, so the line never flickers away for long.
    text += fitToColumns(progress_, columns() - 1);
    drawn_ = true;
  }
  writeAll(stream_, text);
}

void Terminal::logEntry(std::string_view entry, Severity severity) {
  for (const std::string& line : splitLogEntry(entry)) logLine(line, severity);
}

void Terminal::showProgress(std::string text, bool force) {
  if (!interactive_) return;
  progress_ = std::move(text);
  const Clock::time_point now = Clock::now();
  if (!force && drawn_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  draw();
}

void Terminal::clearProgress() {
  progress_.clear();
  erase();
}

void Terminal::erase() {
  if (!drawn_) return;
  writeAll(stream_, kEraseLine);
  drawn_ = false;
}

void Terminal::draw() {
  std::string text(kEraseLine);
  text += fitToColumns(progress_, columns() - 1);
  writeAll(stream_, text);
  drawn_ = true;
}

int Terminal::columns() const {
  winsize size{};
  if (::ioctl(::fileno(stream_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
  return kFallbackColumns;
}

std::vector<std::string> splitLogEntry(std::string_view entry) {
  constexpr std::string_view kCrLf = "\r\n";
  std::vector<std::string> lines;
  while (!entry.empty()) {
    const size_t end = entry.find(kCrLf);
    if (end == std::string_view::npos) {
      lines.emplace_back(entry);
      break;
    }
    lines.emplace_back(entry.substr(0, end));
    entry.remove_prefix(end + kCrLf.size());
  }
  return lines;
}

int utf8Columns(std::string_view text) {
  int characters = 0;
  for (const char byte : text)
    if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) ++characters;
  return characters;
}

std::string fitToColumns(std::string_view text, int columns) {
  int characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    if (continuation) continue;
    if (characters == columns) return std::string(text.substr(0, i));
    ++characters;
  }
  return std::string(text);
}

}  // namespace korvelo::cli
