// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which HOJIN of a recording is read next from a disk whose failing reads cost time, the
// way GNU ddrescue reads one: the good areas first. A HOJIN that fails is followed by a
// jump over the next ones, with a step that grows (1, 2, 4, 8 ... kLongestJump HOJINs)
// while the HOJIN after each jump (the probe, one read) fails too; the HOJINs jumped
// over are not tried. A probe that reads ends the jumping. When the first pass is over,
// the areas left are trimmed from their edges inward, HOJIN by HOJIN, each edge up to its
// first failure; what is left then stays not tried, for --retry-bad.
//
// A pure policy: it reads and writes nothing. The copy asks it about each HOJIN in
// ascending order (next), tells it how the HOJIN read (outcome), then asks which HOJIN
// to trim (nextTrim) and tells it how that read (trimmed).

#include <cstdint>
#include <optional>
#include <vector>

#include "disk/physical_drive.h"

namespace korvelo {

// HOJINs first ... last of a recording, counted from 1 as the recording counts them.
struct HojinRun {
  int first = 0;
  int last = 0;  // first <= last
  int count() const { return last - first + 1; }
  bool operator==(const HojinRun&) const = default;
};

class ReadPlan {
 public:
  // The longest jump: about 33 MB, so that even a dead area of thousands of HOJINs costs
  // a few dozen probes at most; what a jump overshoots is trimmed back from its far edge.
  static constexpr int kLongestJump = 1024;

  enum class Move {
    Read,   // read it, and when it fails, sector by sector (readSalvaging)
    Probe,  // one read of the whole HOJIN, no sector by sector: it lies after a jump
    Skip,   // do not read it: zeros in the file, not tried
  };
  enum class Outcome {
    Good,     // every sector read
    Damaged,  // some sectors failed, the others read
    Failed,   // nothing read, or the sector-by-sector read gave up on the rest
  };

  // A recording of `lastHojin` HOJINs (the piece after the last whole one counted as one
  // more). Without `jumping` (an image, whose failures cost nothing) every HOJIN is read.
  ReadPlan(int lastHojin, bool jumping);

  // What to do with HOJIN k; asked once per HOJIN, in ascending order. A Skip is final:
  // the HOJIN is counted as not tried from then on.
  Move next(int k);
  // How HOJIN k read, after next(k) gave Read or Probe.
  void outcome(int k, Outcome outcome);

  // The HOJIN to trim next, an edge of an area left, read inward up to the first failure.
  // An area's near edge borders the HOJIN whose failure began the jumps: the failure is
  // known to be there, and that edge is not read again. Its far edge borders the probe
  // that read (or the end of the recording): from there it is read back, HOJIN by HOJIN,
  // so that what a jump overshot reaches the file.
  std::optional<int> nextTrim();
  // Whether an area is left with an edge to trim from.
  bool hasTrimWork() const;
  // How the HOJIN nextTrim gave read: whole (`good`), or not (its edge then stops there).
  void trimmed(int k, bool good);

  // The HOJINs not tried, in ascending order.
  std::vector<HojinRun> notTried() const;
  // The step of the jump under way (begun after the HOJIN last told of); 0 while HOJINs read.
  int currentJump() const { return jump_; }
  bool isJumping() const { return jumping_; }

 private:
  struct Area {
    HojinRun run;
    bool farEdgeOpen = false;  // the HOJIN after it read, or it ends the recording, and no
                               // trim of it has failed yet
  };
  void leaveUntried(int k);

  int last_;
  bool jumping_;
  int jump_ = 0;                 // the step of the last jump; 0 while HOJINs read
  int skipLeft_ = 0;             // HOJINs of the current jump still to be skipped
  bool probing_ = false;         // the next HOJIN read is the probe after a jump
  std::vector<Area> areas_;      // ascending, apart from one another
  std::optional<int> trimming_;  // what nextTrim gave, until trimmed answers
};

}  // namespace korvelo
