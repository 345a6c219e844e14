// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/hav_export_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/file_naming.h"
#include "export/finished_file.h"
#include "export/hav_geometry.h"
#include "export/target_checks.h"

namespace korvelo {
namespace {

constexpr int kProgressBarMaximum = 32767;

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

HavExportJob::~HavExportJob() {
  releaseHashing();  // the threads must be done with the sums before they go
}

void HavExportJob::digestWhileWriting(std::shared_ptr<HavDigester> hashing) {
  sums_.emplace();
  hashing_ = std::move(hashing);
}

void HavExportJob::holdHashing() {
  if (sums_ && hashing_ && !hashingHeld_) hashingHeld_ = hashing_->hold(*sums_);
}

void HavExportJob::releaseHashing() {
  if (hashingHeld_) hashing_->release();
  hashingHeld_ = false;
}

void HavExportJob::digest(std::span<const uint8_t> bytes) {
  if (hashingHeld_)
    hashing_->add(bytes);
  else
    sums_->add(bytes);
}

void HavExportJob::setTargetFolder(std::shared_ptr<const TargetFolder> folder) {
  folder_ = std::move(folder);
}

// The file's name within its folder.
std::string HavExportJob::fileName() const {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where the file's own bytes are read back from (resuming, the check sums): through the
// folder opened, never through the folder's path.
std::string HavExportJob::readPath() const {
  return folder_ ? folder_->readPathOf(fileName()) : path;
}

void HavExportJob::addLine(const std::string& line, Severity severity) {
  if (!messages.empty()) messages += "\r\n";
  messages += line;
  messageSeverity_ = std::max(messageSeverity_, severity);
}

void HavExportJob::addOnNewLine(const std::string& line, Severity severity) {
  messages += "\r\n";
  messages += line;
  messageSeverity_ = std::max(messageSeverity_, severity);
}

void HavExportJob::clearMessages() {
  messages.clear();
  messageSeverity_ = Severity::Info;
}

int HavExportJob::prepareSave(const DirectoryEntry& recording, SaveAsChooser& chooser,
                              const void* parent, std::string& folder, int perStep,
                              bool entryNumberInFileName) {
  errorCode = 0;
  entry = &recording;
  numberOfHojins = static_cast<int>(recording.getNumberOfHojins());
  hojinsPerStep = perStep;
  clearMessages();
  int result = kPrepared;

  if (!head.setSizes(static_cast<int64_t>(kEntryImageBytes + recording.getSizeInBytes())))
    result = kSizeNotSet;
  else if (!head.setTitle(recording.getTitle()))
    result = kTitleNotSet;
  else if (!head.setDuration(recording.getDurationMs() / 1000))
    result = kDurationNotSet;
  expectedSize = static_cast<uint64_t>(havFileBytes(recording));

  const ProposedName proposed = proposeFileName(recording, entryNumberInFileName);
  path = proposed.name;
  if (proposed.tooLong) return kNameTooLong;

  const SaveAsAnswer answer =
      chooser.chooseSaveAs(SaveAsRequest{proposed.name, folder, parent, expectedFront()});
  if (answer.kind == SaveAsAnswer::Kind::Cancelled) return kCancelled;
  if (answer.kind == SaveAsAnswer::Kind::Skipped) return kSkipped;
  if (answer.kind == SaveAsAnswer::Kind::Failed) {
    clearMessages();
    addLine(textf("FN = \"%s\", Error = %d", proposed.name.c_str(), answer.errorCode),
            Severity::Error);
    return kDialogFailed;
  }
  path = answer.path;
  folder_ = answer.folder;
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

std::vector<uint8_t> HavExportJob::expectedFront() const {
  std::vector<uint8_t> front(head.getData(), head.getData() + head.getSize());
  front.insert(front.end(), entry->getData(), entry->getData() + entry->getSize());
  return front;
}

void HavExportJob::checkFreeSpace(int& result) {
  // Asked through the folder opened, when there is one: its path may lead elsewhere by now.
  const std::string where = readPath();
  const FreeSpace space = freeSpaceQuery_ ? freeSpaceQuery_(where) : queryFreeSpace(where);
  if (!space.bytes) {
    clearMessages();
    addLine(textf("Fehler beim Prüfen des freien Festplattenplatz: Error code = 0x%08X",
                  static_cast<unsigned>(space.error)),
            Severity::Error);
    return;
  }
  addLine(textf("Freier Speicherplatz auf der Festplatte: %s Bytes",
                formatThousands(static_cast<int64_t>(*space.bytes), '.').c_str()));
  // A file to be continued already holds part of what is needed (its whole size at most).
  uint64_t needed = expectedSize;
  struct stat existing {};
  const bool found =
      folder_ ? folder_->statOf(fileName(), existing) == 0 : ::stat(path.c_str(), &existing) == 0;
  if (resume_ && found)
    needed -= std::min<uint64_t>(needed, static_cast<uint64_t>(existing.st_size));
  if (*space.bytes < needed) {
    addLine("Zuwenig Platz zum Speichern.", Severity::Error);
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
  holdHashing();
  const CostsTaken costs(disk->getDrive(), readCosts_);
  // prepareSave's lines were shown by its caller; what is kept from here on is what
  // opening and HOJIN 1 have to say.
  clearMessages();
  if (!folder_) {
    auto opened = std::make_shared<TargetFolder>();
    if (const int error = opened->open(folderOf(path)); error != 0) {
      addOnNewLine(textf("Fehler beim Öffnen der Datei \"%s\"", path.c_str()), Severity::Error);
      addOnNewLine(textf("  FileException: %s", describeError(error).c_str()), Severity::Error);
      copying = false;
      return errorCode = kNotCreated;
    }
    folder_ = std::move(opened);
  }
  const ByteSource* source = disk->getDrive().source();
  const std::optional<FileIdentity> read = source ? source->identity() : std::nullopt;
  struct stat existing {};
  if (read && folder_->statOf(fileName(), existing) == 0 &&
      FileIdentity{existing.st_dev, existing.st_ino} == *read) {
    addOnNewLine(textf("Fehler beim Öffnen der Datei \"%s\"", path.c_str()), Severity::Error);
    addOnNewLine("  FileException: " + sourceTargetRefusal(path), Severity::Error);
    copying = false;
    return errorCode = kNotCreated;
  }
  return resume_ ? createOrResume() : createFile();
}

// Creates the file, writes head and entry image and copies HOJIN 1.
int HavExportJob::createFile() {
  if (const int error = file.create(*folder_, fileName(), mustBeNew_); error != 0) {
    addOnNewLine(textf("Fehler beim Öffnen der Datei \"%s\"", path.c_str()), Severity::Error);
    addOnNewLine(textf("  FileException: %s", describeError(error).c_str()), Severity::Error);
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
    if (sums_ && digestHeldFrom_ < 0) digest({data, size});
    return true;
  }
  addOnNewLine(failureLine, Severity::Error);
  addOnNewLine(textf("  FileException: %s", describeError(error).c_str()), Severity::Error);
  // What did reach the file stays in it and counts as written, also for the summary.
  if (const int64_t reached = file.lengthNow(); reached >= 0)
    bytesWritten = static_cast<uint64_t>(reached);
  file.discard();
  copying = false;
  errorCode = code;
  return false;
}

void HavExportJob::copyStep(bool suppressWarnings) {
  const CostsTaken costs(disk->getDrive(), readCosts_);
  // The first step keeps what openFile reported (HOJIN 1's warnings, an abort), so that
  // it reaches the log together with this step's messages.
  if (stepsTaken_ > 0) clearMessages();
  if (stepsTaken_ == 0) holdHashing();  // jobs opened together hold the threads in turn
  ++stepsTaken_;
  if (changedBehindBack()) return;
  for (int copied = 0; copied < hojinsPerStep && !finished; ++copied) {
    if (stopAsked()) break;  // the owner keeps the file after the HOJIN copied last
    if (copying) copyHojin(suppressWarnings, true);
    if (errorCode != 0) {
      finished = true;
      break;
    }
    const int64_t size = measureFile();
    if (size < 0) {
      lostTarget(errno);
    } else if (static_cast<uint64_t>(size) >= expectedSize && !(copying && trimPending())) {
      finished = true;
      if (closeForFinish()) addLine("Speichern abgeschlossen.");
    } else if (!copying) {
      finished = true;
      errorCode = kIncomplete;
      addLine(textf("Speichern unvollständig: %s von %s Bytes geschrieben.",
                    formatThousands(size, '.').c_str(),
                    formatThousands(static_cast<int64_t>(expectedSize), '.').c_str()),
              Severity::Error);
    }
  }
  // Once a step: a file moved away or replaced is no longer what the user will find.
  if (!finished && file.isOpen())
    if (const int error = pathLostError(); error != 0) lostTarget(error);
}

// 0 while the file's name in its folder still names the file being written (or nothing
// was opened); else the errno of looking it up, or EEXIST when another file is there now.
// The folder itself may have been renamed meanwhile: the file is still where the user
// finds the folder.
int HavExportJob::pathLostError() const {
  if (!file.identity()) return 0;
  struct stat info {};
  if (const int error = folder_->statOf(fileName(), info); error != 0) return error;
  return FileIdentity{info.st_dev, info.st_ino} == *file.identity() ? 0 : EEXIST;
}

// The file is out of the user's reach (gone with its folder) or another one took its
// place: whatever was written must not count as saved.
void HavExportJob::lostTarget(int error) {
  if (error == EEXIST) {
    addLine(textf("Die Datei \"%s\" wurde während des Speicherns durch eine andere ersetzt; die "
                  "Aufnahme ist darin nicht gespeichert.",
                  path.c_str()),
            Severity::Error);
  } else {
    addLine("Problem getting information about written file.", Severity::Error);
    addOnNewLine(textf("  FileException: %s", describeError(error).c_str()), Severity::Error);
  }
  file.discard();
  finished = true;
  copying = false;
  errorCode = kIncomplete;
  targetLost_ = true;
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

ExportResult HavExportJob::takeResult() {
  ExportResult result;
  result.path = path;
  result.errorCode = errorCode;
  result.expectedBytes = static_cast<int64_t>(expectedSize);
  result.fileBytes = static_cast<int64_t>(bytesWritten);
  result.wrongHeadHojins = wrongHeadHojins_;
  result.damage = std::move(damage_);
  damage_ = {};
  examineFinishedFile(result, takeWrittenSums());
  result.keptBytes = std::min(bytesKept_, result.fileBytes);
  result.readCosts = readCosts_;
  result.alreadyComplete = alreadyComplete_;
  result.driveGone = isDriveGone();
  result.targetLost = targetLost_;
  result.fileProblem = fileProblem_;
  return result;
}

// The sums of the bytes as this job wrote them (or, for a file left as it was, as it
// found them), when asked for; not readable when they do not cover the file as written.
std::optional<HavDigests> HavExportJob::takeWrittenSums() {
  std::optional<HavDigests> sums;
  // Bytes the trim may have written behind the copy are taken from the file itself.
  const bool caughtUp =
      confirmedDigests_ || !sums_ ||
      (!sumsFromFile_ && (digestHeldFrom_ < 0 || digestFileFrom(digestHeldFrom_)));
  releaseHashing();  // the threads are done with the sums before they are ended
  if (confirmedDigests_) {
    sums = std::move(confirmedDigests_);  // taken before it was found complete
    confirmedDigests_.reset();
  } else if (sums_) {
    sums = sums_->finish();
    if (!caughtUp) sums->readable = false;
  }
  sums_.reset();
  return sums;
}

// The file as it lies in its folder now decides its length and its sums: what this job
// remembers of it counts only where the file agrees. A file the job wrote is looked at
// through its name and must still be that file; one it found complete, by its name.
void HavExportJob::examineFinishedFile(ExportResult& result, std::optional<HavDigests> written) {
  const bool wrote = file.identity().has_value();
  if (!folder_ || targetLost_ || !fileProblem_.empty() || !(wrote || alreadyComplete_)) {
    // Not looked at: whoever records the file takes its sums from the file itself.
    if (written) written->readable = false;
    result.digests = std::move(written);
    return;
  }
  const bool sums = written.has_value();
  FinishedFile finished = korvelo::examineFinishedFile(
      *folder_, fileName(),
      {.written = file.identity(),
       .length = wrote ? file.length() : static_cast<int64_t>(bytesWritten),
       .sums = sums,
       .sumsWritten = std::move(written)});
  if (finished.bytes >= 0) result.fileBytes = finished.bytes;
  result.digests = std::move(finished.digests);
  fileProblem_ = finished.problem;  // said in the line that the recording is not saved
}

// A write into bytes already written (reading damaged areas again, the trim): the sums
// held in memory are given up and taken from the file when the job ends.
void HavExportJob::dropSumsHeld() {
  confirmedDigests_.reset();
  sumsFromFile_ = true;
}

// Whether someone else cut or grew the file since the last step: what it holds is then
// no longer what was written, and the copy ends with the file as it is.
bool HavExportJob::changedBehindBack() {
  if (!file.isOpen()) return false;
  const int64_t now = file.lengthNow();
  if (now < 0 || now == file.length()) return false;
  fileProblem_ = textf(
      "die Datei wurde während des Speicherns von außen verändert (sie hat %s "
      "statt %s Bytes)",
      formatThousands(now, '.').c_str(), formatThousands(file.length(), '.').c_str());
  addLine(textf("Die Datei \"%s\" wurde während des Speicherns von außen verändert: sie hat %s "
                "statt %s Bytes; die Aufnahme ist darin nicht vollständig gespeichert.",
                path.c_str(), formatThousands(now, '.').c_str(),
                formatThousands(file.length(), '.').c_str()),
          Severity::Error);
  file.discard();
  finished = true;
  copying = false;
  errorCode = kIncomplete;
  return true;
}

// Syncs and closes a file still open; a failure ends the job with code 4. The file then
// must still be at its path: what counts is what this job wrote, not what is there now.
bool HavExportJob::closeForFinish() {
  recordNotTried();
  const int error = file.syncAndClose();
  if (error != 0) {
    addOnNewLine(textf("Fehler beim Schließen der Datei \"%s\"", path.c_str()), Severity::Error);
    addOnNewLine(textf("  FileException: %s", describeError(error).c_str()), Severity::Error);
    errorCode = kDataNotWritten;
    return false;
  }
  if (const int lost = pathLostError(); lost != 0) {
    lostTarget(lost);
    return false;
  }
  return true;
}

// The length of the file as written through its descriptor; by its path only for a file
// this job did not write (one left as it was).
int64_t HavExportJob::measureFile() {
  int64_t size = file.length();
  if (!file.identity()) {
    struct stat info {};
    if (const int error = folder_ ? folder_->statOf(fileName(), info) : ENOENT; error != 0) {
      errno = error;
      return -1;
    }
    size = info.st_size;
  }
  bytesWritten = static_cast<uint64_t>(size);
  percentWritten = expectedSize ? static_cast<int>(bytesWritten * 100 / expectedSize) : 100;
  return size;
}

}  // namespace korvelo
