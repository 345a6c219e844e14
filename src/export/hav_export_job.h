// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One recording copied into one ".hav" file: head, entry image, then its HOJINs in
// file-FAT order, every HOJIN head checked and warned about.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "export/damage_ledger.h"
#include "export/export_result.h"
#include "export/hav_digests.h"
#include "export/hav_head.h"
#include "export/log_sink.h"
#include "export/output_file.h"
#include "export/read_plan.h"
#include "export/salvage_read.h"
#include "export/save_as_chooser.h"
#include "recfs/directory_entry.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/hojin_buffer.h"

namespace korvelo {

class TargetFolder;

// Bytes free for the caller on the file system holding `path`, or the errno of a failed query.
struct FreeSpace {
  std::optional<uint64_t> bytes;
  int error = 0;
};
using FreeSpaceQuery = std::function<FreeSpace(const std::string& path)>;
FreeSpace queryFreeSpace(const std::string& path);  // statvfs of the path's folder

// What an earlier export recorded of a file: its length and the SHA-256 of its bytes.
struct RecordedFile {
  int64_t fileBytes = -1;
  std::string sha256File;
  std::vector<PrefixDigest> prefixes;  // of its first bytes, at the proof boundaries
};

class HavExportJob {
 public:
  // Error codes that end a job.
  static constexpr int kNotCreated = 2;
  static constexpr int kHeadNotWritten = 3;
  static constexpr int kDataNotWritten = 4;  // entry image, a HOJIN, or the final sync/close
  static constexpr int kIncomplete = 5;      // the copy ended short of the expected size
  static constexpr int kDriveGone = 6;       // the drive stopped answering; the file holds
                                             // the whole HOJINs read before

  explicit HavExportJob(Fsr5000Disk& disk);
  virtual ~HavExportJob();
  HavExportJob(const HavExportJob&) = delete;
  HavExportJob& operator=(const HavExportJob&) = delete;

  // What prepareSave answers; `folder` follows the chosen path.
  static constexpr int kPrepared = 0;
  static constexpr int kDialogFailed = 1;
  static constexpr int kCancelled = 10;
  static constexpr int kSkipped = 11;      // the target exists and is left as it is
  static constexpr int kSizeNotSet = 100;  // the head's size fields
  static constexpr int kTitleNotSet = 101;
  static constexpr int kDurationNotSet = 102;
  static constexpr int kNameTooLong = 1000;  // the proposed name is longer than 510
  static constexpr int kTooLittleSpace = 10000;
  int prepareSave(const DirectoryEntry& entry, SaveAsChooser& chooser, const void* parent,
                  std::string& folder, int hojinsPerStep, bool entryNumberInFileName);
  // 0, or the error code 2 (not created), 3 (head not written), 4 (entry image not written).
  // Also copies HOJIN 1 with every check; its messages are kept for the first copyStep.
  int openFile();
  // Copies up to hojinsPerStep HOJINs; finishes the job on an error, on a failed size
  // measurement, on the file reaching its expected size (synced and closed first), or
  // when the copy ended short of it (code 5). Called until isFinished().
  void copyStep(bool suppressWarnings);
  // Ends the copy after the HOJINs written so far, the file synced and closed so that a
  // later export can continue it. False (with the lines why) when the sync failed.
  bool stopAndKeep();
  // Whole HOJINs the file holds from the beginning of the recording.
  int getWholeHojinsWritten() const;
  // HOJINs an earlier, interrupted export had written and this one kept (0 for a new file).
  int getHojinsKept() const { return hojinsKept_; }
  // A continued file that already held the whole recording: it was left as it was.
  bool isAlreadyComplete() const { return alreadyComplete_; }
  // Whether the chosen target is to be continued where it exists (else it is written anew).
  bool continuesExistingFile() const { return resume_; }
  // For a file to be continued: the zero-filled areas an earlier export recorded for it.
  // Those in the part that is kept stay recorded; with `retry` they are first read again,
  // sector by sector, and what reads now is written into the file in place.
  void carryDamage(DamageLedger earlier, bool retry);
  // For a file to be continued: what its record says of it. A file of the recorded length
  // is continued (or taken as complete) only while it has the recorded sum; without a
  // record, the sectors of zeros in the part that stays are read again from the disk
  // first, since zeros are the only holes an export leaves.
  void expectRecordedFile(std::optional<RecordedFile> recorded) { recorded_ = std::move(recorded); }
  // Closes the file if it is still open, without syncing (the job is abandoned).
  void closeFile() { file.discard(); }
  // The folder the file is made in, opened by whoever chose the target; without one, the
  // job opens the folder of its path when it creates the file. The file is then made,
  // reopened and looked at only by its name in that folder.
  void setTargetFolder(std::shared_ptr<const TargetFolder> folder);
  const std::shared_ptr<const TargetFolder>& targetFolder() const { return folder_; }

  void setFreeSpaceQuery(FreeSpaceQuery query) { freeSpaceQuery_ = std::move(query); }
  // A flag that, once true, ends copyStep before its next HOJIN and the reading again of
  // earlier damage before its next piece (a signal handler may set it). Outlives the job.
  void setStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
  // Takes the file's check sums from the bytes as they are written (call before openFile),
  // on the run's hashing threads while this job holds them (from its opening or its first
  // step, when no other job does, until its result is taken), else on the caller's thread.
  void digestWhileWriting(std::shared_ptr<HavDigester> hashing);
  // What became of the export, made when the job is over (call once: it ends the check
  // sums and hands over the damage recorded).
  ExportResult takeResult();

  // The job's place among the recordings of a run, as its owner numbered them.
  void setRunIndex(size_t index) { runIndex_ = index; }
  size_t getRunIndex() const { return runIndex_; }
  // The file or device the recording is read from (null for a disk without one).
  const ByteSource* sourceDrive() const { return disk->getDrive().source(); }

  std::string getPath() const { return path; }
  std::string getMessages() const { return messages; }
  // The highest severity among the lines of getMessages().
  Severity getMessageSeverity() const { return messageSeverity_; }
  const DirectoryEntry* getEntry() const { return entry; }
  uint64_t getExpectedSize() const { return expectedSize; }
  int getByteBarShift() const { return byteBarShift; }
  int getHojinBarShift() const { return hojinBarShift; }
  uint64_t getBytesWritten() const { return bytesWritten; }
  int getPercentWritten() const { return percentWritten; }
  int getCurrentHojin() const { return currentHojin; }
  int getNumberOfHojins() const { return numberOfHojins; }
  bool isFragmented() const { return fragmented; }
  bool isCopying() const { return copying; }
  bool isFinished() const { return finished; }
  int getErrorCode() const { return errorCode; }
  bool wasOpened() const { return opened_; }
  int getStepsTaken() const { return stepsTaken_; }
  // The zero-filled sectors of the file, kept from an earlier export and found now.
  const DamageLedger& getDamage() const { return damage_; }
  // HOJINs with sectors that stayed unreadable, and those sectors (failed or not tried).
  int getDamagedHojins() const { return damage_.damagedHojins(); }
  int64_t getUnreadableSectors() const { return damage_.zeroFilledSectors(); }
  // Bytes of the file an earlier export wrote and this one kept (0 for a new file).
  int64_t getBytesKept() const { return bytesKept_; }
  // The drive no longer answered (detached, or dead as a whole): the job stopped with its
  // file synced after the last whole HOJIN read, ready to be continued.
  bool isDriveGone() const { return errorCode == kDriveGone; }
  // HOJINs read in full whose head failed the signature or number checks: their bytes
  // are not the recording's (warned about or not).
  int getWrongHeadHojins() const { return wrongHeadHojins_; }
  // What this job's reads of the drive cost: failing and slow reads, the longest.
  const ReadCosts& getReadCosts() const { return readCosts_; }

 private:
  class CostsTaken;
  void copyHojin(bool suppressWarnings, bool advance);
  int lastPlannedHojin() const;
  int sectorsOfHojin(int k) const;
  ReadPlan& plan();
  void skipHojin(int sectorCount);
  void noteJump();
  bool trimStep(bool suppressWarnings);
  void endTrim();
  bool trimPending() const { return plan_ && !trimOver_ && plan_->hasTrimWork(); }
  void recordNotTried();
  int64_t measureFile();
  int pathLostError() const;
  std::string fileName() const;
  std::string readPath() const;
  void lostTarget(int error);
  void checkFreeSpace(int& result);
  void setProgressScales();
  std::vector<uint8_t> expectedFront() const;  // head and entry image
  bool isTailPiece() const;
  int remainderSectors() const;
  // False when the drive is gone; nothing of the HOJIN is then to be written.
  bool readSectors(int sectorCount, bool probe, bool ahead);
  SalvageResult readFromRun(int sectorCount);
  void beginRun(int k, int64_t sector);
  bool driveStillAnswers();
  void stopAsDriveGone();
  void adviseAhead();
  void checkHojinHead(bool suppressWarnings, int k);
  void noteFragmentation();
  void endCopy();
  bool writeOrFail(const uint8_t* data, size_t size, const std::string& failureLine, int code);
  bool closeForFinish();
  int createOrResume();
  int createFile();
  std::string resumeMismatch(int64_t fileBytes, int& wholeHojins);
  bool sameAsDiskHojin(std::ifstream& in, int k, int64_t bytes = kHojinBytes);
  bool isCompleteAlready(int64_t fileBytes, int wholeHojins);
  std::string changedSinceRecorded(int64_t fileBytes);
  int64_t provenPrefix(int64_t keptBytes);
  int continueAfter(int64_t keptBytes, int wholeHojins);
  int refuseToContinue(const std::string& reason, const char* keptLine);
  bool digestKeptBytes(int64_t keptBytes);
  bool digestFileFrom(int64_t offset);
  void retryEarlierDamage(int64_t keptBytes);
  DamageLedger onRecordingsOwnSectors(const DamageLedger& recorded);
  void dropSumsHeld();
  std::optional<HavDigests> takeWrittenSums();
  void examineFinishedFile(ExportResult& result, std::optional<HavDigests> written);
  bool changedBehindBack();
  void keepEarlierDamage(int64_t keptBytes);
  void addLine(const std::string& line, Severity severity = Severity::Info);
  void addOnNewLine(const std::string& line, Severity severity = Severity::Info);
  void clearMessages();
  void digest(std::span<const uint8_t> bytes);
  void holdHashing();
  void releaseHashing();
  bool stopAsked() const { return stop_ && stop_->load(std::memory_order_relaxed); }

  Fsr5000Disk* disk;
  OutputFile file;
  HavHead head;
  const DirectoryEntry* entry = nullptr;  // owned by the disk's entry list
  uint64_t expectedSize = 0;
  int byteBarShift = 20;
  int hojinBarShift = 0;
  std::string path;  // for the messages; the file itself is reached through folder_
  std::shared_ptr<const TargetFolder> folder_;
  std::string messages;
  Severity messageSeverity_ = Severity::Info;
  uint64_t bytesWritten = 0;
  int percentWritten = 0;
  int hojinsPerStep = 32;
  int currentHojin = 1;  // N + 1 while the sectors after the last whole HOJIN are copied
  int numberOfHojins = 0;
  bool fragmented = false;
  int64_t previousSector = -1;
  int64_t currentSector = -1;
  HojinBuffer hojin;
  bool copying = true;
  int errorCode = 0;
  bool finished = false;

  bool opened_ = false;
  int stepsTaken_ = 0;
  DamageLedger damage_;
  int64_t lastGoodSector_ = -1;  // a sector this drive gave, to tell a dead area from a dead drive
  int wrongHeadHojins_ = 0;
  bool hojinUnreadable_ = false;  // the HOJIN just read had sectors zero-filled
  bool hojinNotTried_ = false;    // ... all of them, a probe that failed
  std::optional<ReadPlan> plan_;  // made at the first HOJIN, when the drive is known
  bool budgetUsedUp_ = false;     // the drive failed too often to go on
  bool trimOver_ = false;
  int trimReads_ = 0;      // HOJINs the trim tried, and of them
  int trimmedHojins_ = 0;  // ... those that read
  bool notTriedRecorded_ = false;
  int64_t digestHeldFrom_ = -1;  // >= 0: the sums take the file's bytes from here on from
                                 // the file at the end (the trim may write into them)
  ReadCosts readCosts_;
  int advisedThrough_ = 0;       // the last HOJIN the drive was told to fetch ahead
  int aheadThrough_ = 0;         // the last HOJIN of the large requests asked for
  int failedThrough_ = 0;        // the last HOJIN of a large request that failed
  bool seekingFailure_ = false;  // its HOJINs are read sector by sector up to a failing one
  bool headUnread_ = false;      // the HOJIN's first sector was not read: its head is zeros
  FreeSpaceQuery freeSpaceQuery_;
  const std::atomic<bool>* stop_ = nullptr;
  size_t runIndex_ = SIZE_MAX;            // none given
  std::optional<HavDigestPair> sums_;     // the file's check sums, when taken while writing
  std::shared_ptr<HavDigester> hashing_;  // the run's hashing threads, and whether
  bool hashingHeld_ = false;              // ... this job's sums hold them
  int hojinsKept_ = 0;
  int64_t bytesKept_ = 0;  // the file's bytes before this job wrote any
  bool alreadyComplete_ = false;
  DamageLedger earlierDamage_;  // recorded by the export that began the file
  bool retryEarlierDamage_ = false;
  std::optional<RecordedFile> recorded_;        // what the record of the file to continue says
  std::optional<HavDigests> confirmedDigests_;  // the file's sums, found to be the recorded
  bool resume_ = false;                         // the target exists and is to be continued
  bool replaceForeign_ = false;     // ... or written anew when it is not this recording's
  bool mustBeNew_ = false;          // the target was free when chosen and must still be
  bool targetLost_ = false;         // the file was removed or replaced while written
  bool recordMatchesFile_ = false;  // the file to continue has the sum its record names
  bool sumsFromFile_ = false;       // a write went into bytes written before: the sums held in
                                    // memory no longer say what the file holds
  std::string fileProblem_;         // why the file is not what this job wrote, once found
};

}  // namespace korvelo
