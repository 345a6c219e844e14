// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What became of one recording's export, made once by its job when the job ends and read
// from there by the verdict, the log, the summary, the manifest and both front ends.

#include <cstdint>
#include <optional>
#include <string>

#include "disk/physical_drive.h"
#include "export/damage_ledger.h"
#include "export/hav_digests.h"

namespace korvelo {

struct ExportResult {
  std::string path;
  int errorCode = 0;                  // the job's code; 0 when it ended without error
  int64_t expectedBytes = 0;          // the size the whole file must have
  int64_t fileBytes = 0;              // what the file held when the job ended
  int64_t keptBytes = 0;              // of those, what an earlier export wrote and this one kept
  int wrongHeadHojins = 0;            // HOJINs read in full whose heads say they are not these
  DamageLedger damage;                // the zeros in the file
  std::optional<HavDigests> digests;  // taken while writing, when asked for
  ReadCosts readCosts;                // the job's own reads: failing, slow, the longest
  bool alreadyComplete = false;       // a continued file that held everything already
  bool stopped = false;               // ended by a request to stop, the file kept
  bool driveGone = false;             // the drive stopped answering
  // The file was removed or replaced while it was written: what is at the path now is
  // not what this export wrote, and nothing may be recorded of it.
  bool targetLost = false;
  // Why the file can never count as complete whatever is copied (a rescued chain whose
  // blocks may belong to different recordings); empty for a recording of the directory.
  std::string doubt;

  // Bytes this export itself wrote into the file.
  int64_t bytesWrittenNow() const { return fileBytes > keptBytes ? fileBytes - keptBytes : 0; }
  // Empty when the file holds the whole recording exactly as the disk has it, with
  // every HOJIN head right; else why not, for the end of a log line: " (...)".
  std::string incompleteReason() const;
  bool complete() const { return incompleteReason().empty(); }
};

}  // namespace korvelo
