// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How far a run of saves is, in the numbers both front ends show: recording i of n, the
// bytes of this recording's file and of the whole run, and the read rate and time left
// worked out from what this run itself read (a continued file's kept bytes were not read).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvelo {

struct ExportProgress {
  int recording = 0;  // counted from 1; 0 before the first began
  int recordings = 0;
  int hojin = 0;  // the HOJIN being copied, of hojins
  int hojins = 0;
  int64_t fileBytes = 0;      // this recording's file now
  int64_t expectedBytes = 0;  // ... and when it is whole
  int64_t bytesReadNow = 0;   // of this recording, by this run
  int64_t allWritten = 0;     // of every recording of the run, kept bytes included
  int64_t allTotal = 0;
  double secondsElapsed = 0;  // since this recording's first step
  std::string title;          // UTF-8

  int percent() const;
  // Bytes per second this run reads; nothing until half a second and a byte are behind it.
  std::optional<double> bytesPerSecond() const;
  // At that rate: seconds until this recording's file is whole, and until the whole run is.
  std::optional<int64_t> secondsLeftOfRecording() const;
  std::optional<int64_t> secondsLeft() const;
};

class ExportProgressTracker {
 public:
  using Clock = std::function<int64_t()>;  // milliseconds on a monotonic clock

  explicit ExportProgressTracker(Clock clock = {});

  // A run of `recordings` whose files come to `bytes` when whole (0 when not known: the
  // figures then grow with what begins).
  void beginRun(int recordings, int64_t bytes);
  // The next recording's first step: its file holds `keptBytes` already.
  void beginRecording(int64_t expectedBytes, int64_t keptBytes, int hojins, std::string title);
  void update(int64_t fileBytes, int hojin);
  // The recording ended; its file holds `fileBytes`.
  void endRecording(int64_t fileBytes);
  // A recording offered in a run begun without a count: the count and total grow by it.
  void plan(int64_t expectedBytes);
  // A recording of the run that is not copied (skipped, refused): counted as done.
  void pass(int64_t expectedBytes);

  ExportProgress figures() const;

 private:
  Clock clock_;
  ExportProgress now_;
  int done_ = 0;             // recordings of the run that ended or were passed
  int64_t bytesBefore_ = 0;  // ... and their sizes
  int64_t keptBytes_ = 0;
  int64_t startMs_ = 0;
  bool inRecording_ = false;
  bool counting_ = false;  // the run was begun without a count
};

}  // namespace korvelo
