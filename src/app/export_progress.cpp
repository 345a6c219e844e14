// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/export_progress.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace korvelo {
namespace {

int64_t steadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::optional<int64_t> secondsFor(int64_t bytes, std::optional<double> rate) {
  if (!rate) return std::nullopt;
  return static_cast<int64_t>(
      std::llround(static_cast<double>(std::max<int64_t>(bytes, 0)) / *rate));
}

}  // namespace

int ExportProgress::percent() const {
  if (expectedBytes <= 0) return 100;
  return static_cast<int>(std::clamp<int64_t>(fileBytes * 100 / expectedBytes, 0, 100));
}

std::optional<double> ExportProgress::bytesPerSecond() const {
  // A rate needs a little time behind it, or the first steps show nonsense.
  if (secondsElapsed < 0.5 || bytesReadNow <= 0) return std::nullopt;
  return static_cast<double>(bytesReadNow) / secondsElapsed;
}

std::optional<int64_t> ExportProgress::secondsLeftOfRecording() const {
  return secondsFor(expectedBytes - fileBytes, bytesPerSecond());
}

std::optional<int64_t> ExportProgress::secondsLeft() const {
  return secondsFor(allTotal - allWritten, bytesPerSecond());
}

ExportProgressTracker::ExportProgressTracker(Clock clock)
    : clock_(clock ? std::move(clock) : Clock(steadyMilliseconds)) {}

void ExportProgressTracker::beginRun(int recordings, int64_t bytes) {
  now_ = ExportProgress{};
  now_.recordings = recordings;
  now_.allTotal = bytes;
  bytesBefore_ = 0;
  done_ = 0;
  inRecording_ = false;
  counting_ = recordings == 0;
}

void ExportProgressTracker::plan(int64_t expectedBytes) {
  if (!counting_) return;
  ++now_.recordings;
  now_.allTotal += expectedBytes;
}

void ExportProgressTracker::pass(int64_t expectedBytes) {
  if (inRecording_) endRecording(now_.fileBytes);
  ++done_;
  bytesBefore_ += expectedBytes;
  now_.recordings = std::max(now_.recordings, done_);
  now_.allTotal = std::max(now_.allTotal, bytesBefore_);
}

void ExportProgressTracker::beginRecording(int64_t expectedBytes, int64_t keptBytes, int hojins,
                                           std::string title) {
  if (inRecording_) endRecording(now_.fileBytes);
  inRecording_ = true;
  now_.recording = done_ + 1;
  now_.recordings = std::max(now_.recordings, now_.recording);
  now_.expectedBytes = expectedBytes;
  now_.hojins = hojins;
  now_.title = std::move(title);
  keptBytes_ = keptBytes;
  startMs_ = clock_();
  update(keptBytes, 0);
}

void ExportProgressTracker::update(int64_t fileBytes, int hojin) {
  now_.fileBytes = fileBytes;
  now_.hojin = hojin;
  now_.bytesReadNow = std::max<int64_t>(0, fileBytes - keptBytes_);
  now_.allWritten = bytesBefore_ + fileBytes;
  now_.allTotal = std::max(now_.allTotal, now_.allWritten);
  now_.secondsElapsed = static_cast<double>(clock_() - startMs_) / 1000.0;
}

void ExportProgressTracker::endRecording(int64_t fileBytes) {
  if (!inRecording_) return;
  update(fileBytes, now_.hojin);
  inRecording_ = false;
  ++done_;
  // The run's total counted this recording's whole size: what it did not reach stays
  // counted as done, so that the time left covers only the recordings to come.
  bytesBefore_ += std::max(fileBytes, now_.expectedBytes);
}

ExportProgress ExportProgressTracker::figures() const {
  return now_;
}

}  // namespace korvelo
