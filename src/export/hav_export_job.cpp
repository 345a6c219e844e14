// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/hav_export_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "disk/text.h"
#include "export/save_target.h"

namespace korvelo {
namespace {

constexpr int kProgressBarMaximum = 32767;

// True when `path` names the very file or device the recording is read from, which
// creating the target would truncate.
bool isTheSource(const std::string& path, Fsr5000Disk& disk) {
  const ByteSource* source = disk.getDrive().source();
  if (!source) return false;
  const std::optional<FileIdentity> identity = source->identity();
  struct stat info {};
  if (!identity || ::stat(path.c_str(), &info) != 0) return false;
  return FileIdentity{info.st_dev, info.st_ino} == *identity;
}

}  // namespace

// What the drive's reads cost while one of the job's own steps runs is the job's; what
// they cost in between (another job, the list) is not.
class HavExportJob::CostsTaken {
 public:
  CostsTaken(PhysicalDrive& drive, ReadCosts& into) : drive_(drive), into_(into) {
    drive_.takeCosts();
  }
  ~CostsTaken() { into_ += drive_.takeCosts(); }
  CostsTaken(const CostsTaken&) = delete;
  CostsTaken& operator=(const CostsTaken&) = delete;

 private:
  PhysicalDrive& drive_;
  ReadCosts& into_;
};

HavExportJob::HavExportJob(Fsr5000Disk& disk) : disk(&disk), freeSpaceQuery_(queryFreeSpace) {}

HavExportJob::~HavExportJob() = default;

void HavExportJob::addLine(const std::string& line) {
  if (!messages.empty()) messages += "\r\n";
  messages += line;
}

void HavExportJob::addOnNewLine(const std::string& line) {
  messages += "\r\n";
  messages += line;
}

int HavExportJob::prepareSave(const DirectoryEntry& recording, SaveAsChooser& chooser,
                              const void* parent, std::string& folder, int perStep,
                              bool entryNumberInFileName) {
  errorCode = 0;
  entry = &recording;
  numberOfHojins = static_cast<int>(recording.getNumberOfHojins());
  hojinsPerStep = perStep;
  messages.clear();
  int result = kPrepared;

  if (!head.setSizes(static_cast<int64_t>(kEntryImageBytes + recording.getSizeInBytes())))
    result = kSizeNotSet;
  else if (!head.setTitle(recording.getTitle()))
    result = kTitleNotSet;
  else if (!head.setDuration(recording.getDurationMs() / 1000))
    result = kDurationNotSet;
  expectedSize = kHavFrontBytes + recording.getSizeInBytes();

  const ProposedName proposed = proposeFileName(recording, entryNumberInFileName);
  path = proposed.name;
  if (proposed.tooLong) return kNameTooLong;

  const SaveAsAnswer answer = chooser.chooseSaveAs(SaveAsRequest{proposed.name, folder, parent});
  if (answer.kind == SaveAsAnswer::Kind::Cancelled) return kCancelled;
  if (answer.kind == SaveAsAnswer::Kind::Skipped) return kSkipped;
  if (answer.kind == SaveAsAnswer::Kind::Failed) {
    messages = textf("FN = \"%s\", Error = %d", proposed.name.c_str(), answer.errorCode);
    return kDialogFailed;
  }
  path = answer.path;
  resume_ = answer.resume;
  replaceForeign_ = answer.replaceForeign;
  mustBeNew_ = answer.mustBeNew;
  const std::string chosenFolder = folderOf(path);
  if (!chosenFolder.empty() && chosenFolder != folder) folder = chosenFolder;

  checkFreeSpace(result);
  if (result == kTooLittleSpace) return result;
  setProgressScales();
  return result;
}

void HavExportJob::checkFreeSpace(int& result) {
  const FreeSpace space = freeSpaceQuery_ ? freeSpaceQuery_(path) : queryFreeSpace(path);
  if (!space.bytes) {
    messages = textf("Fehler beim Prüfen des freien Festplattenplatz: Error code = 0x%08X",
                     static_cast<unsigned>(space.error));
    return;
  }
  addLine(textf("Freier Speicherplatz auf der Festplatte: %s Bytes",
                formatThousands(static_cast<int64_t>(*space.bytes), '.').c_str()));
  // A file to be continued already holds part of what is needed (its whole size at most).
  uint64_t needed = expectedSize;
  struct stat existing {};
  if (resume_ && ::stat(path.c_str(), &existing) == 0)
    needed -= std::min<uint64_t>(needed, static_cast<uint64_t>(existing.st_size));
  if (*space.bytes < needed) {
    addLine("Zuwenig Platz zum Speichern.");
    result = kTooLittleSpace;
  }
}

void HavExportJob::setProgressScales() {
  byteBarShift = 20;
  while ((expectedSize >> byteBarShift) > kProgressBarMaximum) ++byteBarShift;
  hojinBarShift = 0;
  while ((static_cast<uint32_t>(numberOfHojins) >> hojinBarShift) > kProgressBarMaximum)
    ++hojinBarShift;
}

int HavExportJob::openFile() {
  if (opened_) return errorCode;  // a job being copied is never created anew
  opened_ = true;
  const CostsTaken costs(disk->getDrive(), readCosts_);
  // prepareSave's lines were shown by its caller; what is kept from here on is what
  // opening and HOJIN 1 have to say.
  messages.clear();
  if (isTheSource(path, *disk)) {
    addOnNewLine(textf("Fehler beim Öffnen der Datei \"%s\"", path.c_str()));
    addOnNewLine("  FileException: Die Zieldatei ist das Laufwerk, von dem gelesen wird.");
    copying = false;
    return errorCode = kNotCreated;
  }
  return resume_ ? createOrResume() : createFile();
}

// Creates the file, writes head and entry image and copies HOJIN 1.
int HavExportJob::createFile() {
  if (const int error = file.create(path, mustBeNew_); error != 0) {
    addOnNewLine(textf("Fehler beim Öffnen der Datei \"%s\"", path.c_str()));
    addOnNewLine(textf("  FileException: %s", describeError(error).c_str()));
    copying = false;
    return errorCode = kNotCreated;
  }
  if (!writeOrFail(head.getData(), static_cast<size_t>(head.getSize()),
                   "Fehler beim Schreiben der ersten 88 (0x58) Bytes.", kHeadNotWritten) ||
      !writeOrFail(entry->getData(), static_cast<size_t>(entry->getSize()),
                   "Fehler beim Schreiben des HAV-internen Verzeichniseintrags.",
                   kDataNotWritten)) {
    return errorCode;
  }
  copyHojin(false, false);
  return 0;
}

// Writes all bytes; a failure is reported with its line and the system's description,
// the file abandoned, the copy ended and the code recorded.
bool HavExportJob::writeOrFail(const uint8_t* data, size_t size, const std::string& failureLine,
                               int code) {
  const int error = file.writeAll(data, size);
  if (error == 0) {
    if (digester_ && digestHeldFrom_ < 0) digester_->add({data, size});
    return true;
  }
  addOnNewLine(failureLine);
  addOnNewLine(textf("  FileException: %s", describeError(error).c_str()));
  file.discard();
  copying = false;
  errorCode = code;
  return false;
}

void HavExportJob::copyStep(bool suppressWarnings) {
  const CostsTaken costs(disk->getDrive(), readCosts_);
  // The first step keeps what openFile reported (HOJIN 1's warnings, an abort), so that
  // it reaches the log together with this step's messages.
  if (stepsTaken_ > 0) messages.clear();
  ++stepsTaken_;
  for (int copied = 0; copied < hojinsPerStep && !finished; ++copied) {
    if (copying) copyHojin(suppressWarnings, true);
    if (errorCode != 0) {
      finished = true;
      break;
    }
    const int64_t size = measureFile();
    if (size < 0) {
      // The file is gone from its folder (or its folder is): whatever was written is
      // out of reach, so the job must not count as done.
      const int reason = errno;
      finished = true;
      addLine("Problem getting information about written file.");
      addOnNewLine(textf("  FileException: %s", describeError(reason).c_str()));
      file.discard();
      errorCode = kIncomplete;
    } else if (static_cast<uint64_t>(size) >= expectedSize && !(copying && trimPending())) {
      finished = true;
      if (closeForFinish()) addLine("Speichern abgeschlossen.");
    } else if (!copying) {
      finished = true;
      errorCode = kIncomplete;
      addLine(textf("Speichern unvollständig: %s von %s Bytes geschrieben.",
                    formatThousands(size, '.').c_str(),
                    formatThousands(static_cast<int64_t>(expectedSize), '.').c_str()));
    }
  }
}

bool HavExportJob::stopAndKeep() {
  copying = false;
  finished = true;
  return closeForFinish();
}

int HavExportJob::getWholeHojinsWritten() const {
  if (!opened_ || errorCode == kNotCreated || errorCode == kHeadNotWritten) return 0;
  const int last =
      errorCode == kDataNotWritten || errorCode == kDriveGone ? currentHojin - 1 : currentHojin;
  return std::clamp(last, 0, numberOfHojins);
}

std::optional<HavDigests> HavExportJob::finishDigests() {
  if (!digester_) return std::nullopt;
  const bool caughtUp = digestHeldFrom_ < 0 || digestFileFrom(digestHeldFrom_);
  HavDigests digests = digester_->finish();
  if (!caughtUp) digests.readable = false;
  digester_.reset();
  return digests;
}

// Syncs and closes a file still open; a failure ends the job with code 4.
bool HavExportJob::closeForFinish() {
  recordNotTried();
  const int error = file.syncAndClose();
  if (error == 0) return true;
  addOnNewLine(textf("Fehler beim Schließen der Datei \"%s\"", path.c_str()));
  addOnNewLine(textf("  FileException: %s", describeError(error).c_str()));
  errorCode = kDataNotWritten;
  return false;
}

int64_t HavExportJob::measureFile() {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return -1;
  bytesWritten = static_cast<uint64_t>(info.st_size);
  percentWritten = expectedSize ? static_cast<int>(bytesWritten * 100 / expectedSize) : 100;
  return info.st_size;
}

}  // namespace korvelo
