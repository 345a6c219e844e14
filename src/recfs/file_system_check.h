// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The read-only check of a recorder disk's file system: the directory, each recording's
// file FAT against its length and the disk, blocks claimed twice, recording starts in
// free blocks, and on request every HOJIN head and the areas a rescue mapfile leaves
// unread. It repairs nothing; every finding is one German line.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recfs/block_ownership.h"

namespace korvelo {

// What a finding is about, for scripts that should not parse the German line; -1 (or an
// empty list) where the finding names no such thing.
struct CheckFinding {
  std::string kind = {};              // a short English key: "directory-count", "cross-link", ...
  std::string text = {};              // the German line
  int entry = -1;                     // entry number of the recording concerned
  int slot = -1;                      // directory slot
  int64_t block = -1;                 // data-area block (the first one, where there are several)
  int64_t sector = -1;                // disk sector (the first one, where there are several)
  int64_t hojin = -1;                 // HOJIN number within the recording (the first one found)
  int64_t count = -1;                 // how many: slots, blocks, heads or sectors, as the text says
  int64_t expected = -1;              // how many there should be, where the text compares
  std::vector<int> entries = {};      // every entry concerned (a block claimed twice)
  std::vector<int> slotNumbers = {};  // every slot concerned (blank slots, a number in several)
};

struct CheckOptions {
  bool deep = false;  // every HOJIN head of every recording
  // Called every few hundred steps and once at the end: recordings whose file FAT was read
  // plus data-area blocks looked at, of all of them. May be empty.
  std::function<void(int64_t done, int64_t total)> progress;
  // Set from another thread to end the check after the read in hand; the report then holds
  // the findings up to there and says it was interrupted.
  const std::atomic<bool>* stop = nullptr;
};

struct CheckReport {
  std::vector<CheckFinding> findings;
  BlockOwnership ownership;
  int announcedEntries = 0;
  int64_t headsChecked = 0;  // HOJIN heads read (first heads, free blocks, --deep)
  bool fileFatSizeKnown = false;
  bool interrupted = false;  // stopped on request; the findings are those up to there
  bool sound() const { return findings.empty() && !interrupted; }
};

// `disk` has its directory read; its File-FAT-Size is settled when it can be.
CheckReport checkFileSystem(Fsr5000Disk& disk, const CheckOptions& options = {});

// The closing line: "Keine Befunde: ..." or the number of findings.
std::string checkSummary(const CheckReport& report);

}  // namespace korvelo
