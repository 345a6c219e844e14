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

// What one recording's export came to, decided in one place (ExportResult::verdict, and
// ExportOutcome::verdict for recordings that never got a job) and read by the summary,
// the window, the manifest and the exit code alike.
enum class ExportVerdict {
  Saved,     // the file holds the recording's bytes exactly, every HOJIN head right
  Damaged,   // written, with zeros for unreadable sectors or HOJINs with a wrong head
  Doubtful,  // written in full, but its blocks may not all be this recording's
  Skipped,   // the target existed and was left alone, or its question was cancelled
  Refused,   // a check refused the target before a byte was written
  Stopped,   // ended on request, the file kept for resuming
  Failed,    // anything else: an error, or a file that is not what this export wrote
};

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
  // Why the file, looked at when the job ended, is not what the job wrote (changed,
  // cut or given another name behind its back); empty when it is.
  std::string fileProblem;

  // Bytes this export itself wrote into the file.
  int64_t bytesWrittenNow() const { return fileBytes > keptBytes ? fileBytes - keptBytes : 0; }
  // Empty when the file holds the whole recording exactly as the disk has it, with
  // every HOJIN head right; else why not, for the end of a log line: " (...)".
  std::string incompleteReason() const;
  bool complete() const { return verdict() == ExportVerdict::Saved; }
  // Saved only when the file was looked at after the job and found as it was written,
  // with the recording's length, no damage, no doubt and (when asked for) its sums.
  ExportVerdict verdict() const;
};

}  // namespace korvelo
