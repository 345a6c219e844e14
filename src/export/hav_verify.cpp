// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/hav_verify.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "disk/input_file.h"
#include "disk/posix_file.h"
#include "disk/text.h"
#include "export/hav_geometry.h"
#include "export/hav_head.h"
#include "export/hojin_head_check.h"
#include "recfs/disk_layout.h"
#include "recfs/hojin_buffer.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

constexpr int kMostProblemLines = 20;  // beyond these, one line counts the rest

uint64_t littleEndian(const uint8_t* bytes, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

bool allZero(const uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

class Findings {
 public:
  explicit Findings(std::vector<std::string>& lines) : lines_(lines) {}
  ~Findings() {
    if (dropped_ > 0) lines_.push_back(textf("... und %d weitere Befunde.", dropped_));
  }
  void add(std::string line) {
    if (static_cast<int>(lines_.size()) < kMostProblemLines)
      lines_.push_back(std::move(line));
    else
      ++dropped_;
  }

 private:
  std::vector<std::string>& lines_;
  int dropped_ = 0;
};

// The head as the export job writes it for this entry image, field by field.
void checkHead(const uint8_t* head, const DirectoryEntry& entry, Findings& findings) {
  if (littleEndian(head, 4) != 113)
    findings.add(textf("Kopf: Kennung %llu statt 113.",
                       static_cast<unsigned long long>(littleEndian(head, 4))));
  if (littleEndian(head + 16, 4) != kEntryImageBytes)
    findings.add(textf("Kopf: Größe des Verzeichniseintrags %llu statt 1536.",
                       static_cast<unsigned long long>(littleEndian(head + 16, 4))));
  const uint64_t size = entry.getSizeInBytes();
  if (littleEndian(head + 8, 8) != size + kEntryImageBytes || littleEndian(head + 32, 8) != size)
    findings.add(textf("Kopf: Größenangaben passen nicht zur Aufnahmegröße %s Bytes.",
                       formatThousands(static_cast<int64_t>(size), '.').c_str()));
  if (littleEndian(head + 84, 4) != static_cast<uint32_t>(size / 1024))
    findings.add("Kopf: Größe in KiB passt nicht zur Aufnahmegröße.");
  if (littleEndian(head + 80, 4) != entry.getDurationMs() / 1000)
    findings.add(textf("Kopf: Dauer %llu s, der Verzeichniseintrag sagt %u s.",
                       static_cast<unsigned long long>(littleEndian(head + 80, 4)),
                       entry.getDurationMs() / 1000));
  HavHead expected;
  expected.setTitle(entry.getTitle());
  if (std::memcmp(head + 46, expected.getData() + 46, 34) != 0)
    findings.add("Kopf: Titel stimmt nicht mit dem Verzeichniseintrag überein.");
  if (!allZero(head + 4, 4) || !allZero(head + 20, 12) || !allZero(head + 40, 6))
    findings.add("Kopf: Bytes, die null sein müssen, sind es nicht.");
}

// The tests the export job makes on each HOJIN head, all of them, first failing one named.
std::string hojinHeadProblem(const HojinBuffer& hojin, int k) {
  switch (hojinHeadFault(hojin, k)) {
    case HojinHeadFault::None:
      return {};
    case HojinHeadFault::Signature:
      return textf("HOJIN %d: Signatur fehlerhaft.", k);
    case HojinHeadFault::InternalNumbersDiffer:
      // Signed, as the export's warnings show them: 0xFFFFFFFF is -1.
      return textf("HOJIN %d: interne Nummern %d und %d.", k,
                   static_cast<int32_t>(hojin.getInternalNumber()),
                   static_cast<int32_t>(hojin.getInternalNumber2()));
    case HojinHeadFault::WrongOrder:
      return textf("HOJIN %d: Reihenfolge falsch, interne Nummer %d.", k,
                   static_cast<int32_t>(hojin.getInternalNumber()));
    case HojinHeadFault::NotRecordingStart:
      return "HOJIN 1: kein Aufzeichnungsanfang.";
  }
  return {};
}

// A ".hav" file read front to back. Only a regular file is opened (a FIFO or a link to
// /dev/zero named ".hav" would keep the check waiting or reading for ever).
class HavReader {
 public:
  explicit HavReader(const std::string& path) {
    problem_ = openInputFile(path, kNoSizeLimit, file_, &error_);
  }
  bool isOpen() const { return file_.isOpen(); }
  const std::string& problem() const { return problem_; }
  int error() const { return error_; }
  bool failed() const { return failed_; }
  // Reads up to `size` bytes; the count read (0 on a failure, which failed() tells).
  int64_t read(uint8_t* data, int64_t size) {
    if (!file_.isOpen()) return 0;
    const int64_t got = file_.readAt(offset_, {data, static_cast<size_t>(size)});
    if (got < 0) {
      failed_ = true;
      return 0;
    }
    offset_ += got;
    return got;
  }

 private:
  PosixFile file_;
  std::string problem_;
  int error_ = 0;
  int64_t offset_ = 0;
  bool failed_ = false;
};

}  // namespace

HavCheck checkHavFile(const std::string& path) {
  HavCheck check;
  HavReader in(path);
  // The report names the file; its findings say what is wrong with it.
  if (!in.isOpen()) {
    if (in.error() == ENOENT)
      check.problems.push_back("Die Datei fehlt.");
    else if (in.error() == EISDIR)
      check.problems.push_back("Ist ein Ordner, keine \".hav\"-Datei.");
    else
      check.problems.push_back(textf("Lässt sich nicht lesen: %s.", in.problem().c_str()));
    return check;
  }
  std::vector<uint8_t> front(kHavFrontBytes);
  if (const int64_t got = in.read(front.data(), kHavFrontBytes); got != kHavFrontBytes) {
    check.problems.push_back(
        in.failed() ? "Lesefehler in Kopf oder Verzeichniseintrag."
                    : textf("Kürzer als Kopf und Verzeichniseintrag: %lld von %lld Bytes.",
                            static_cast<long long>(got), static_cast<long long>(kHavFrontBytes)));
    return check;
  }
  check.readable = true;
  // The check sums are taken in the same pass as the checks.
  HavDigestPair sums;
  sums.add(front);
  DirectoryEntry entry;
  entry.copyFrom(front.data() + HavHead::kSize);
  check.entryNumber = entry.getEntryNumber();
  check.title = entry.getTitle();
  check.hojins = entry.getNumberOfHojins();
  check.expectedBytes = havFileBytes(entry);
  Findings findings(check.problems);
  checkHead(front.data(), entry, findings);

  HojinBuffer hojin;
  int64_t tail = 0;
  for (int k = 1;; ++k) {
    const int64_t got = in.read(hojin.getData(), kHojinBytes);
    sums.add({hojin.getData(), static_cast<size_t>(got)});
    if (got < kHojinBytes) {
      tail = got;
      break;
    }
    check.hojinsInFile = k;
    if (static_cast<uint32_t>(k) > check.hojins) continue;  // the remainder is no HOJIN
    if (std::string problem = hojinHeadProblem(hojin, k); !problem.empty()) {
      ++check.badHojinHeads;
      findings.add(std::move(problem));
    }
  }
  check.fileBytes = kHavFrontBytes + int64_t{check.hojinsInFile} * kHojinBytes + tail;
  if (check.fileBytes < check.expectedBytes)
    findings.add(textf("Datei ist unvollständig: %s von %s Bytes.",
                       formatThousands(check.fileBytes, '.').c_str(),
                       formatThousands(check.expectedBytes, '.').c_str()));
  else if (check.fileBytes > check.expectedBytes)
    findings.add(textf("Datei ist länger als erwartet: %s statt %s Bytes.",
                       formatThousands(check.fileBytes, '.').c_str(),
                       formatThousands(check.expectedBytes, '.').c_str()));
  if (!in.failed()) check.digests = sums.finish();
  return check;
}

namespace {

const DirectoryEntry* sameEntryOnDisk(const Fsr5000Disk& disk, const uint8_t* image, int number,
                                      Findings& findings) {
  bool numberSeen = false;
  for (const auto& entry : disk.getEntries()) {
    if (entry->getEntryNumber() != number) continue;
    numberSeen = true;
    if (std::memcmp(entry->getData(), image, kEntryImageBytes) == 0) return entry.get();
  }
  findings.add(
      numberSeen ? textf("Verzeichniseintrag weicht vom Eintrag %d auf der Festplatte ab.", number)
                 : textf("Eintrag %d gibt es auf der Festplatte nicht.", number));
  return nullptr;
}

// Compares `sectors` sectors of piece k of the file with the disk; false when they differ.
bool samePieceOnDisk(Fsr5000Disk& disk, int entryNumber, int k, const uint8_t* fileBytes,
                     int sectors, Findings& findings) {
  const int64_t sector = disk.getSectorNumberOfHojin(entryNumber, k);
  if (sector < 0) {
    findings.add(textf("HOJIN %d: auf der Festplatte nicht auffindbar.", k));
    return false;
  }
  std::vector<uint8_t> onDisk(static_cast<size_t>(sectors) * kSectorSize);
  if (!disk.getDrive().readSectorInto(sector, sectors, onDisk.data())) {
    findings.add(textf("HOJIN %d: auf der Festplatte nicht lesbar (ab Sektor %lld).", k,
                       static_cast<long long>(sector)));
    return false;
  }
  if (std::memcmp(onDisk.data(), fileBytes, onDisk.size()) == 0) return true;
  findings.add(textf("HOJIN %d weicht von der Festplatte ab (ab Sektor %lld).", k,
                     static_cast<long long>(sector)));
  return false;
}

}  // namespace

void compareHavWithDisk(const std::string& path, Fsr5000Disk& disk, HavCheck& check,
                        const std::atomic<bool>* stop) {
  if (!check.readable) return;
  HavReader in(path);
  std::vector<uint8_t> front(kHavFrontBytes);
  if (in.read(front.data(), kHavFrontBytes) != kHavFrontBytes) return;
  Findings findings(check.problems);
  const DirectoryEntry* entry =
      sameEntryOnDisk(disk, front.data() + HavHead::kSize, check.entryNumber, findings);
  if (!entry) return;
  const int whole = std::min<int>(check.hojinsInFile, static_cast<int>(check.hojins));
  const int remainder = static_cast<int>(entry->getLengthInSectors() % kSectorsPerHojin);
  std::vector<uint8_t> piece(kHojinBytes);
  for (int k = 1; k <= whole; ++k) {
    if (stop && stop->load()) {
      findings.add(textf("Vergleich mit der Festplatte bei HOJIN %d abgebrochen.", k));
      clearStatus();
      return;
    }
    if (in.read(piece.data(), kHojinBytes) != kHojinBytes) break;
    if (!samePieceOnDisk(disk, check.entryNumber, k, piece.data(), kSectorsPerHojin, findings))
      ++check.differingHojins;
  }
  const int64_t tailBytes = int64_t{remainder} * kSectorSize;
  if (remainder > 0 && whole == static_cast<int>(check.hojins) &&
      in.read(piece.data(), tailBytes) == tailBytes &&
      !samePieceOnDisk(disk, check.entryNumber, whole + 1, piece.data(), remainder, findings))
    ++check.differingHojins;
  clearStatus();  // the HOJIN location's trace lines
}

}  // namespace korvelo
