// SPDX-License-Identifier: GPL-3.0-or-later
// Continuing a ".hav" file an earlier export left unfinished (interrupted, crashed, its
// disk detached). Nothing is appended to a file unless its head, its entry image and its
// last whole HOJIN are exactly what this recording would give.

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/hav_export_job.h"
#include "export/hav_geometry.h"
#include "export/hav_head.h"
#include "export/hav_verify.h"
#include "export/salvage_read.h"
#include "export/sha256.h"
#include "export/target_checks.h"
#include "recfs/disk_layout.h"

namespace korvelo {
namespace {

// Reads `size` bytes; false when the file has fewer.
bool readExactly(std::ifstream& in, uint8_t* data, int64_t size) {
  in.read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(size));
  return in.gcount() == size;
}

bool isZeroSector(const uint8_t* sector) {
  static const uint8_t zeros[kSectorSize] = {};
  return std::memcmp(sector, zeros, kSectorSize) == 0;
}

}  // namespace

int HavExportJob::createOrResume() {
  struct stat existing {};
  if (folder_->statOf(fileName(), existing) != 0) return createFile();  // nothing to continue

  int wholeHojins = 0;
  const std::string mismatch = resumeMismatch(static_cast<int64_t>(existing.st_size), wholeHojins);
  if (!mismatch.empty()) {
    // Another recording's file is never written over, not even when asked to replace.
    if (!replaceForeign_ ||
        ownerOfExisting(readPath(), expectedFront()) == TargetOwner::OtherRecording) {
      return refuseToContinue(mismatch, "  Sie bleibt unverändert; nichts wurde angehängt.");
    }
    addLine(textf("Die Datei \"%s\" wird neu geschrieben: %s.", path.c_str(), mismatch.c_str()),
            Severity::Warning);
    return createFile();
  }

  if (existing.st_size < kHavFrontBytes) {
    // Nothing of it is worth keeping; head and entry image are written as for a new file.
    addLine(textf("Die Datei \"%s\" enthält noch keinen ganzen HAV-Kopf; sie wird neu geschrieben.",
                  path.c_str()));
    return createFile();
  }
  const int64_t fileBytes = static_cast<int64_t>(existing.st_size);
  if (const std::string changed = changedSinceRecorded(fileBytes); !changed.empty()) {
    return refuseToContinue(
        changed, "  Sie bleibt unverändert, ihr Eintrag im Manifest auch; nichts wurde angehängt.");
  }
  // A full-length file may be complete as a whole; of any other the whole HOJINs may stay,
  // as far as the record proves them unchanged since they were written.
  int64_t keptBytes = fileBytes == static_cast<int64_t>(expectedSize)
                          ? fileBytes
                          : hojinFileOffset(wholeHojins + 1);
  if (const int64_t proven = provenPrefix(keptBytes); proven < keptBytes) {
    const int provenHojins = wholeHojinsIn(proven, numberOfHojins);
    addLine(recorded_ && provenHojins > 0
                ? textf("Von \"%s\" belegt das Manifest nur Hojin 1 bis %d als unverändert; "
                        "der Rest wird erneut von der Festplatte gelesen.",
                        path.c_str(), provenHojins)
            : recorded_ ? textf("Von \"%s\" belegt das Manifest keinen Hojin als unverändert; "
                                "sie werden erneut von der Festplatte gelesen.",
                                path.c_str())
                        : textf("Für \"%s\" ist nichts verzeichnet, das den vorhandenen Teil als "
                                "unverändert belegt; er wird erneut von der Festplatte gelesen.",
                                path.c_str()),
            Severity::Warning);
    keptBytes = proven;
    wholeHojins = provenHojins;
    confirmedDigests_.reset();
  }
  if (retryEarlierDamage_) retryEarlierDamage(keptBytes);
  retryEarlierDamage_ = false;
  if (keptBytes == static_cast<int64_t>(expectedSize) &&
      isCompleteAlready(fileBytes, wholeHojins)) {
    if (!confirmedDigests_ && !digestKeptBytes(fileBytes)) {
      addOnNewLine(textf("Fehler beim Lesen der Datei \"%s\" für die Prüfsumme.", path.c_str()),
                   Severity::Error);
      copying = false;
      return errorCode = kNotCreated;
    }
    // Nothing is opened for writing, so the file keeps its bytes and its dates.
    addLine(textf("\"%s\" ist bereits vollständig.", path.c_str()));
    alreadyComplete_ = true;
    hojinsKept_ = numberOfHojins;
    bytesKept_ = fileBytes;
    currentHojin = numberOfHojins;
    copying = false;
    finished = true;
    measureFile();
    return 0;
  }
  return continueAfter(std::min(keptBytes, hojinFileOffset(wholeHojins + 1)), wholeHojins);
}

// Leaves the file as it is, with the reason and what stays.
int HavExportJob::refuseToContinue(const std::string& reason, const char* keptLine) {
  addLine(textf("Die Datei \"%s\" wird nicht fortgesetzt: %s.", path.c_str(), reason.c_str()),
          Severity::Error);
  addLine(keptLine, Severity::Error);
  copying = false;
  return errorCode = kNotCreated;
}

int HavExportJob::continueAfter(int64_t keptBytes, int wholeHojins) {
  keepEarlierDamage(keptBytes);
  if (const int error = file.reopen(*folder_, fileName(), keptBytes); error != 0) {
    addOnNewLine(textf("Fehler beim Öffnen der Datei \"%s\"", path.c_str()), Severity::Error);
    addOnNewLine(textf("  FileException: %s", describeError(error).c_str()), Severity::Error);
    copying = false;
    return errorCode = kNotCreated;
  }
  if (!digestKeptBytes(keptBytes)) {
    addOnNewLine(textf("Fehler beim Lesen der Datei \"%s\" für die Prüfsumme.", path.c_str()),
                 Severity::Error);
    file.discard();
    copying = false;
    return errorCode = kNotCreated;
  }
  addLine(textf("Setze \"%s\" nach Hojin %d (von %d) fort.", path.c_str(), wholeHojins,
                numberOfHojins));
  hojinsKept_ = wholeHojins;
  bytesKept_ = keptBytes;
  if (wholeHojins == 0) {
    copyHojin(false, false);
  } else {
    currentHojin = wholeHojins;
    copyHojin(false, true);
  }
  return 0;
}

// Why a file of the recorded length is no longer what was recorded: its sum differs. Empty
// when it has the recorded sum, or when there is nothing to hold it against.
std::string HavExportJob::changedSinceRecorded(int64_t fileBytes) {
  if (!recorded_ || recorded_->fileBytes != fileBytes) return {};
  HavDigests now = digestHavFile(readPath());
  if (!now.readable) return "sie lässt sich nicht lesen";
  if (now.file == recorded_->sha256File) {
    recordMatchesFile_ = true;
    if (sums_) confirmedDigests_ = std::move(now);
    return {};
  }
  return "sie wurde nach dem Speichern verändert (ihre SHA-256-Prüfsumme ist nicht die "
         "verzeichnete)";
}

// How much of the file's first keptBytes the record proves unchanged since they were
// written: the longest of the lengths it has a sum of (at the proof boundaries, and the
// whole file it recorded) that the file's bytes give again, ending at a HOJIN (or at the
// recording's end). Head and entry image are compared byte for byte anyway; nothing
// beyond them is proven without a record.
int64_t HavExportJob::provenPrefix(int64_t keptBytes) {
  if (keptBytes <= kHavFrontBytes || recordMatchesFile_) return keptBytes;
  if (!recorded_) return kHavFrontBytes;
  std::vector<PrefixDigest> candidates = recorded_->prefixes;
  candidates.push_back({recorded_->fileBytes, recorded_->sha256File});
  std::erase_if(candidates, [&](const PrefixDigest& candidate) {
    const bool endsAtHojin =
        candidate.bytes >= kHavFrontBytes && (candidate.bytes - kHavFrontBytes) % kHojinBytes == 0;
    return candidate.bytes > keptBytes ||
           !(endsAtHojin || candidate.bytes == static_cast<int64_t>(expectedSize));
  });
  std::sort(candidates.begin(), candidates.end(),
            [](const PrefixDigest& a, const PrefixDigest& b) { return a.bytes < b.bytes; });
  if (candidates.empty()) return kHavFrontBytes;
  std::ifstream in(readPath(), std::ios::binary);
  Sha256 sum;
  std::vector<uint8_t> piece(size_t{1} << 20);
  int64_t proven = kHavFrontBytes;
  int64_t hashed = 0;
  for (const PrefixDigest& candidate : candidates) {
    while (hashed < candidate.bytes) {
      const int64_t take =
          std::min<int64_t>(candidate.bytes - hashed, static_cast<int64_t>(piece.size()));
      if (!readExactly(in, piece.data(), take)) return proven;
      sum.update({piece.data(), static_cast<size_t>(take)});
      hashed += take;
    }
    if (sum.hexDigestSoFar() == candidate.sha256) proven = candidate.bytes;
  }
  return proven;
}

// Why the existing file is not the beginning of this recording's file; empty when it is,
// with the whole HOJINs it holds that may stay.
std::string HavExportJob::resumeMismatch(int64_t fileBytes, int& wholeHojins) {
  std::ifstream in(readPath(), std::ios::binary);
  if (!in) return "sie lässt sich nicht lesen";
  std::vector<uint8_t> front(static_cast<size_t>(kHavFrontBytes));
  const int64_t frontBytes = std::min(fileBytes, kHavFrontBytes);
  if (!readExactly(in, front.data(), frontBytes)) return "sie lässt sich nicht lesen";
  const int64_t headBytes = std::min<int64_t>(frontBytes, head.getSize());
  if (std::memcmp(front.data(), head.getData(), static_cast<size_t>(headBytes)) != 0)
    return "ihr Kopf gehört zu einer anderen Aufnahme";
  if (frontBytes > headBytes && std::memcmp(front.data() + headBytes, entry->getData(),
                                            static_cast<size_t>(frontBytes - headBytes)) != 0)
    return "ihr Verzeichniseintrag gehört zu einer anderen Aufnahme";
  if (fileBytes > static_cast<int64_t>(expectedSize)) return "sie ist länger als die Aufnahme";

  wholeHojins = wholeHojinsIn(fileBytes, numberOfHojins);
  if (wholeHojins > 0 && !sameAsDiskHojin(in, wholeHojins))
    return textf("ihr Hojin %d weicht von dem auf der Festplatte ab", wholeHojins);
  return {};
}

// A file of the full length whose last HOJIN (also a short one) is the disk's and whose
// HOJIN heads all pass holds the whole recording, unless an earlier export recorded
// zero-filled areas in it. The HOJINs before the last were compared when they were written.
bool HavExportJob::isCompleteAlready(int64_t fileBytes, int wholeHojins) {
  if (fileBytes != static_cast<int64_t>(expectedSize) || !earlierDamage_.empty()) return false;
  if (wholeHojins < numberOfHojins) {
    std::ifstream in(readPath(), std::ios::binary);
    const int64_t tail = fileBytes - hojinFileOffset(wholeHojins + 1);
    if (!sameAsDiskHojin(in, numberOfHojins, tail)) return false;
  }
  return checkHavFile(readPath()).good();
}

// Whether HOJIN k in the file holds the bytes the disk gives for it now. A sector that is
// zeros in the file counts as the same: the copy zero-filled it when it did not read, and
// the disk may give it now (a retry of the damaged areas fills it in later). Sectors that
// do not read now count as zeros, as the copy wrote them.
bool HavExportJob::sameAsDiskHojin(std::ifstream& in, int k, int64_t bytes) {
  const int64_t sector = disk->getSectorNumberOfHojin(entry->getEntryNumber(), k);
  if (sector < 0 || bytes <= 0 || bytes > kHojinBytes || bytes % kSectorSize != 0) return false;
  std::vector<uint8_t> inFile(static_cast<size_t>(bytes));
  in.clear();
  in.seekg(hojinFileOffset(k));
  if (!readExactly(in, inFile.data(), bytes)) return false;

  readSalvaging(disk->getDrive(), sector, kSectorsPerHojin, hojin.getData());
  for (size_t at = 0; at < inFile.size(); at += kSectorSize) {
    if (std::memcmp(inFile.data() + at, hojin.getData() + at, kSectorSize) != 0 &&
        !isZeroSector(inFile.data() + at))
      return false;
  }
  return true;
}

// The check sums start with the bytes the earlier run wrote.
bool HavExportJob::digestKeptBytes(int64_t keptBytes) {
  if (!sums_) return true;
  std::ifstream in(readPath(), std::ios::binary);
  std::vector<uint8_t> piece(size_t{1} << 20);
  for (int64_t left = keptBytes; left > 0;) {
    const int64_t take = std::min<int64_t>(left, static_cast<int64_t>(piece.size()));
    if (!readExactly(in, piece.data(), take)) return false;
    digest({piece.data(), static_cast<size_t>(take)});
    left -= take;
  }
  return true;
}

// The sums go on with the file's bytes from `offset` to its end, as they are now.
bool HavExportJob::digestFileFrom(int64_t offset) {
  std::ifstream in(readPath(), std::ios::binary);
  in.seekg(offset);
  if (!in) return false;
  std::vector<uint8_t> piece(size_t{1} << 20);
  while (in) {
    in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    if (in.gcount() > 0) digest({piece.data(), static_cast<size_t>(in.gcount())});
  }
  return in.eof() && !in.bad();
}

}  // namespace korvelo
