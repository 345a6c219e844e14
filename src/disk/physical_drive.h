// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The only way the program touches a recorder disk: a read-only handle on the
// drive behind a one-character designator, with positioned reads of whole sectors.

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>

#include "disk/ahead_read.h"
#include "disk/byte_source.h"

namespace korvelo {

inline constexpr int kSectorSize = 512;

// lastError() of a read that reaches past the end of the medium, wholly or in part: the
// missing sectors are as unreadable as bad ones, but the disk is there and the scans that
// walk to an unknown end stop on it. Neither EIO (a bad sector) nor ENXIO, ENODEV or
// ENOMEDIUM (the device itself has gone), so that neither is taken for the other.
inline constexpr int kReadPastEndError = ESPIPE;

// A read that takes longer than this is slow: the drive tried again and again before it
// gave the sectors (or failed), as a disk does that is beginning to fail.
inline constexpr int64_t kSlowReadMillis = 2000;

// What reads of a drive cost in time.
struct ReadCosts {
  int failingReads = 0;
  int64_t failingMillis = 0;  // spent in the failing reads
  int slowReads = 0;          // reads, failing or not, that took longer than kSlowReadMillis
  int64_t longestMillis = 0;  // the longest read
  ReadCosts& operator+=(const ReadCosts& more);
};

// A drive that fails this many reads, or for this long, without giving what was asked of
// it (a whole HOJIN to the export, any read at all to the start-up) is taken for one that
// no longer answers, however it fails: a dead drive whose cache still answers for the
// sectors read a moment ago fails no test of a single sector.
inline constexpr int kFailingReadsBudget = 32;
inline constexpr int64_t kFailingMillisBudget = 60000;

inline bool budgetUsedUp(const ReadCosts& streak) {
  return streak.failingReads >= kFailingReadsBudget || streak.failingMillis >= kFailingMillisBudget;
}

class PhysicalDrive {
 public:
  PhysicalDrive() = default;
  virtual ~PhysicalDrive() = default;
  PhysicalDrive(const PhysicalDrive&) = delete;
  PhysicalDrive& operator=(const PhysicalDrive&) = delete;

  // Closes a held drive first, whatever the new open gives. Lower-case letters are
  // stored upper-cased; letters (volumes) have no mapping on Linux and fail.
  bool open(char drive);
  bool isOpen() const { return source_ != nullptr; }
  char getDriveChar() const { return driveChar_; }

  // count x 512 bytes from sector on, owned by the caller; null when the drive is
  // closed, count < 1, or the read fails.
  std::unique_ptr<uint8_t[]> readSector(int64_t sector, int count);

  // Reads count sectors into buffer (count x 512 bytes). A read that reaches past the
  // end of the medium fails with kReadPastEndError, also when it starts inside: sectors
  // that are not there are never reported as read. The buffer's content is undefined
  // after a failed read.
  bool readSectorInto(int64_t sector, int count, uint8_t* buffer);

  // Tells the source that count sectors from sector on will be read next, so that they
  // can be fetched ahead. Only a hint: ignored when closed or out of range.
  void adviseSequential(int64_t sector, int64_t count);

  // Begins reading count sectors from `sector` on, at most kLargestAheadBytes, on a thread
  // of its own, for takeAhead to hand out while the next request is under way. One
  // request is under way at a time; every other read of the drive waits for it first.
  // False when closed, out of range, one is under way, or the source gains nothing so.
  bool readAhead(int64_t sector, int count);
  bool aheadUnderWay() const { return ahead_ && ahead_->inFlight(); }
  enum class Ahead {
    Copied,   // the sectors are in the buffer
    Failed,   // the request that held them failed (lastError() says how); its cost is
              // counted, but held apart from the failure streak (chargeAheadFailure)
    NotHeld,  // no request covers them
  };
  // Copies count sectors from the request begun last or the one before, waiting for it.
  Ahead takeAhead(int64_t sector, int count, uint8_t* buffer);
  // Adds the failed request last taken to the failure streak: a caller that finds the
  // sector it failed on counts it as that sector's first try, as a read of its own was.
  void chargeAheadFailure();

  // errno of the last failed read (0 after a successful one).
  int lastError() const { return lastError_; }

  // The costs of the reads since the last call (since the open, the first time).
  ReadCosts takeCosts();
  // The costs of the reads since endFailureStreak() (since the open, before): what a
  // drive has cost since it last gave what was asked of it, in the caller's terms.
  const ReadCosts& failureStreak() const { return streak_; }
  void endFailureStreak() { streak_ = {}; }
  // The failing reads since the last read that succeeded (since the open, before).
  const ReadCosts& failingRun() const { return run_; }
  // Whether the drive is taken for gone: a read failed because the device is no longer
  // there (ENODEV, ENOMEDIUM, ENXIO inside the medium), or the reads since the last one
  // that succeeded used up the failing-read budget. Loops that read a disk they have not
  // yet listed (directory, probe) stop on it instead of failing every read in turn. Only a
  // source whose failures cost the disk something counts them so: an image read through
  // its mapfile fails at once wherever the rescue did not reach, and is no dying disk.
  bool answersNoMore() const {
    return deviceGone_ || (source_ && source_->failuresAreCostly() && budgetUsedUp(run_));
  }
  // Whether the last failed read, of `sector`, says the device itself is no longer there
  // (ENODEV, ENOMEDIUM, or ENXIO for a sector inside the medium; a read past its end is no sign).
  bool failedForGone(int64_t sector) const;
  // Milliseconds on a monotonic clock, for timing the reads; tests set one of their own.
  void setClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }

  // The open source (null when closed): media info and file identity.
  const ByteSource* source() const { return source_.get(); }

 private:
  bool readFromSource(int64_t sector, int count, uint8_t* buffer);
  void settleAhead();

  // Declared before ahead_, whose thread reads it until ahead_ is gone.
  std::unique_ptr<ByteSource> source_;
  std::unique_ptr<AheadRead> ahead_;  // made at the first readAhead, kept while open
  ReadCosts aheadFailure_;            // of the failed request, until charged or replaced
  char driveChar_ = 0;
  int lastError_ = 0;
  std::function<int64_t()> clock_;  // empty: the steady clock
  ReadCosts costs_;                 // since the last takeCosts
  ReadCosts streak_;                // since the last endFailureStreak
  ReadCosts run_;                   // failing reads since the last read that succeeded
  bool deviceGone_ = false;         // a read failed for a device that is not there
};

}  // namespace korvelo
