// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/file_system_check.h"

#include <algorithm>
#include <map>

#include "disk/front_end_words.h"
#include "disk/mapfile_source.h"
#include "disk/text.h"
#include "recfs/file_fat_doubt.h"
#include "recfs/hojin_buffer.h"
#include "recfs/rescue_scan_support.h"

namespace korvelo {
namespace {

using ll = long long;

// Findings that go with single blocks (cross-links, starts in free blocks) are listed up to
// this many per kind and the rest counted: file FATs of random bits would otherwise make a
// line of every block of the disk.
constexpr int64_t kMostBlockFindings = 100;

std::string joined(const std::vector<int>& numbers) {
  std::string text;
  for (int number : numbers) text += (text.empty() ? "" : ", ") + std::to_string(number);
  return text;
}

// "3, 5 bis 1999": ascending numbers, runs shown by their ends.
std::string ranges(const std::vector<int>& numbers) {
  std::string text;
  for (size_t i = 0; i < numbers.size();) {
    size_t end = i;
    while (end + 1 < numbers.size() && numbers[end + 1] == numbers[end] + 1) ++end;
    text += (text.empty() ? "" : ", ") + std::to_string(numbers[i]);
    if (end > i) text += (end == i + 1 ? ", " : " bis ") + std::to_string(numbers[end]);
    i = end + 1;
  }
  return text;
}

class Checker {
 public:
  Checker(Fsr5000Disk& disk, const CheckOptions& options, CheckReport& report)
      : disk_(disk),
        options_(options),
        report_(report),
        mapfile_(dynamic_cast<const MapfileSource*>(disk.getDrive().source())) {}

  void run() {
    checkDirectory();
    report_.fileFatSizeKnown = disk_.heldFileFatSize() > 0;
    if (!report_.fileFatSizeKnown) {
      add("fat-size",
          "Die File-FAT-Size ist unbekannt: ohne sie lassen sich die Blöcke nicht prüfen. "
          "Bitte --fat-size angeben.");
      return;
    }
    const auto recordings = static_cast<int64_t>(disk_.getEntries().size());
    report_.ownership = buildBlockOwnership(
        disk_,
        [this, recordings](const BlockOwnership& ownership, const OwnedRecording& recording,
                           const std::vector<int64_t>& blocks) {
          blockCount_ = ownership.blockCount();
          total_ = recordings + blockCount_;
          checkRecording(recording, blocks);
          tell(++done_);
        },
        options_.stop);
    total_ = recordings + report_.ownership.blockCount();
    done_ = recordings;
    if (stopped()) return;
    checkCrossLinks();
    checkFreeBlocks();
    if (!stopped()) tell(total_, true);
    closeBlockFindings("cross-link");
    closeBlockFindings("lost-recording");
  }

 private:
  void add(const char* kind, std::string text, CheckFinding facts = {}) {
    facts.kind = kind;
    facts.text = std::move(text);
    report_.findings.push_back(std::move(facts));
  }

  void addBlockFinding(const char* kind, std::string text, CheckFinding facts = {}) {
    if (++blockFindings_[kind] <= kMostBlockFindings) add(kind, std::move(text), std::move(facts));
  }

  void closeBlockFindings(const char* kind) {
    const int64_t unlisted = blockFindings_[kind] - kMostBlockFindings;
    if (unlisted > 0)
      add(kind,
          textf("%lld weitere Befunde dieser Art (%s) sind nicht einzeln aufgeführt "
                "(höchstens %lld je Art).",
                static_cast<ll>(unlisted), kind, static_cast<ll>(kMostBlockFindings)),
          {.count = unlisted});
  }

  // Notes a stop request; from then on nothing more is read.
  bool stopped() {
    if (options_.stop != nullptr && options_.stop->load(std::memory_order_relaxed))
      report_.interrupted = true;
    return report_.interrupted;
  }

  void tell(int64_t done, bool last = false) {
    constexpr int64_t kEvery = 256;
    if (options_.progress && (last || done % kEvery == 0)) options_.progress(done, total_);
  }

  void checkDirectory() {
    const auto& entries = disk_.getEntries();
    report_.announcedEntries = disk_.getNumberOfEntries();
    if (report_.announcedEntries != static_cast<int>(entries.size()))
      add("directory-count",
          textf("Verzeichnis: %d Einträge angekündigt, %zu gefunden.", report_.announcedEntries,
                entries.size()),
          {.count = static_cast<int64_t>(entries.size()), .expected = report_.announcedEntries});
    if (disk_.getUnreadableSlots() > 0)
      add("directory-unreadable",
          disk_.getUnreadableSlots() == 1
              ? std::string("Verzeichnis: 1 Platz war nicht lesbar; seine Aufnahme fehlt in der "
                            "Prüfung.")
              : textf("Verzeichnis: %d Plätze waren nicht lesbar; ihre Aufnahmen fehlen in der "
                      "Prüfung.",
                      disk_.getUnreadableSlots()),
          {.count = disk_.getUnreadableSlots()});
    std::map<int, std::vector<int>> slotsByNumber;
    std::vector<int> blank;
    for (const auto& entry : entries) {
      const int slot =
          static_cast<int>((entry->getSector() - disk_.layout().firstSlot) / kSlotSectors);
      if (entry->isBlank()) {
        blank.push_back(slot);
        continue;
      }
      slotsByNumber[entry->getEntryNumber()].push_back(slot);
      if (entry->getEntryNumber() != slot)
        add("entry-number",
            textf("Verzeichnisplatz %d: Eintragsnummer %d passt nicht zum Platz.", slot,
                  entry->getEntryNumber()),
            {.entry = entry->getEntryNumber(), .slot = slot});
    }
    if (!blank.empty())
      add("blank-slots",
          textf("Verzeichnis: %zu Plätze enthalten nur Nullen und sind keine Aufnahmen (%s).",
                blank.size(), ranges(blank).c_str()),
          {.count = static_cast<int64_t>(blank.size()), .slotNumbers = blank});
    for (const auto& [number, slots] : slotsByNumber)
      if (slots.size() > 1)
        add("duplicate-entry",
            textf("Verzeichnis: Eintragsnummer %d steht in %zu Plätzen (%s).", number, slots.size(),
                  joined(slots).c_str()),
            {.entry = number, .count = static_cast<int64_t>(slots.size()), .slotNumbers = slots});
  }

  // The A-sector of the HOJIN at `sector`; false when it cannot be read.
  bool readHead(int64_t sector) {
    ++report_.headsChecked;
    head_.setSector(sector);
    return disk_.getDrive().readSectorInto(sector, 1, head_.getData());
  }

  void checkRecording(const OwnedRecording& recording, const std::vector<int64_t>& blocks) {
    if (recording.entry != nullptr && recording.entry->isBlank()) return;  // counted as blank
    const int number = recording.entryNumber;
    if (!recording.fatInRegions) {
      add("fat-region",
          textf("Eintrag %d: Die Eintragsnummer liegt außerhalb der File-FAT-Bereiche 0 bis %d.",
                number, kMaxEntryNumber),
          {.entry = number});
      return;
    }
    if (!recording.fatRead) {
      add("fat-unreadable",
          textf("Eintrag %d: Die File-FAT ab Sektor %lld ist nicht lesbar.", number,
                static_cast<ll>(recording.fatSector)),
          {.entry = number, .sector = recording.fatSector});
      return;
    }
    if (recording.setBits < recording.blocksNeeded)
      add("fat-short",
          textf("Eintrag %d: Die File-FAT nennt %s, die Länge braucht %lld: das Ende "
                "der Aufnahme ist nicht auffindbar.",
                number, countedBlocks(recording.setBits).c_str(),
                static_cast<ll>(recording.blocksNeeded)),
          {.entry = number, .count = recording.setBits, .expected = recording.blocksNeeded});
    if (recording.namesSurplusBlocks())
      add("fat-long",
          textf("Eintrag %d: Die File-FAT nennt %s, die Länge braucht nur %lld: "
                "überzählige Blöcke.",
                number, countedBlocks(recording.setBits).c_str(),
                static_cast<ll>(recording.blocksNeeded)),
          {.entry = number, .count = recording.setBits, .expected = recording.blocksNeeded});
    if (recording.blocksBeyondEnd > 0)
      add("beyond-end",
          textf(
              "Eintrag %d: %s hinter dem Ende der Festplatte (der erste ist Block %lld).", number,
              recording.blocksBeyondEnd == 1
                  ? "1 Block liegt"
                  : textf("%lld Blöcke liegen", static_cast<ll>(recording.blocksBeyondEnd)).c_str(),
              static_cast<ll>(recording.firstBeyondEnd)),
          {.entry = number, .block = recording.firstBeyondEnd, .count = recording.blocksBeyondEnd});
    if (!blocks.empty() && onDisk(blocks.front())) checkFirstHead(number, blocks.front());
    if (options_.deep) checkEveryHead(recording, blocks);
    if (mapfile_ != nullptr) checkUnreadArea(recording, blocks);
  }

  bool onDisk(int64_t block) const { return block < blockCount_; }

  int64_t blockSector(int64_t block) const {
    return disk_.layout().dataAreaStart(disk_.heldFileFatSize()) + block * kSectorsPerBlock;
  }

  void checkFirstHead(int number, int64_t block) {
    const int64_t sector = blockSector(block);
    const char* problem = nullptr;
    if (!readHead(sector))
      problem = "ist nicht lesbar";
    else if (!head_.hasSignature())
      problem = "trägt keinen HOJIN-Kopf";
    else if (!head_.isRecordingStart())
      problem = "ist kein Aufnahmebeginn";
    if (problem != nullptr)
      add("first-head",
          textf("Eintrag %d: Der erste HOJIN (Sektor %lld) %s.", number, static_cast<ll>(sector),
                problem),
          {.entry = number, .sector = sector});
  }

  void checkEveryHead(const OwnedRecording& recording, const std::vector<int64_t>& blocks) {
    const int64_t hojins = recording.entry->getNumberOfHojins();
    int64_t bad = 0;
    int64_t firstBad = 0;
    int64_t firstBadSector = 0;
    for (int64_t k = 1; k <= hojins && !stopped(); ++k) {
      const size_t ordinal = static_cast<size_t>((k - 1) / kHojinsPerBlock);
      if (ordinal >= blocks.size() || !onDisk(blocks[ordinal])) break;  // reported above
      const int64_t sector =
          blockSector(blocks[ordinal]) + (k - 1) % kHojinsPerBlock * kSectorsPerHojin;
      if (readHead(sector) && headCarriesNumber(head_, static_cast<uint32_t>(k))) continue;
      if (bad++ == 0) {
        firstBad = k;
        firstBadSector = sector;
      }
    }
    if (bad > 0)
      add("heads",
          textf("Eintrag %d: %lld von %lld HOJIN-Köpfen %s fehlerhaft oder nicht lesbar, der "
                "erste bei HOJIN %lld (Sektor %lld).",
                recording.entryNumber, static_cast<ll>(bad), static_cast<ll>(hojins),
                bad == 1 ? "ist" : "sind", static_cast<ll>(firstBad),
                static_cast<ll>(firstBadSector)),
          {.entry = recording.entryNumber,
           .sector = firstBadSector,
           .hojin = firstBad,
           .count = bad,
           .expected = hojins});
  }

  // Sectors of the recording (up to its length) that the mapfile does not mark finished.
  void checkUnreadArea(const OwnedRecording& recording, const std::vector<int64_t>& blocks) {
    int64_t left = recording.entry->getLengthInSectors();
    int64_t unread = 0;
    for (int64_t block : blocks) {
      if (left <= 0) break;
      const int64_t first = blockSector(block);
      const int64_t count = std::min<int64_t>(left, kSectorsPerBlock);
      left -= count;
      if (mapfile_->isFinished(first * 512, (first + count) * 512)) continue;
      for (int64_t sector = first; sector < first + count; ++sector)
        if (!mapfile_->isFinished(sector * 512, (sector + 1) * 512)) ++unread;
    }
    if (unread > 0)
      add("unread",
          textf("Eintrag %d: %s der Aufnahme %s laut Mapdatei nicht gelesen.",
                recording.entryNumber,
                unread == 1 ? "1 Sektor" : textf("%lld Sektoren", static_cast<ll>(unread)).c_str(),
                unread == 1 ? "ist" : "sind"),
          {.entry = recording.entryNumber, .count = unread});
  }

  void checkCrossLinks() {
    const BlockOwnership& ownership = report_.ownership;
    for (const auto& [block, claimants] : ownership.sharedBlocks()) {
      std::vector<int> numbers;
      for (int index : claimants) numbers.push_back(ownership.recordings()[index].entryNumber);
      addBlockFinding("cross-link",
                      textf("Block %lld (Sektor %lld) gehört mehreren Aufnahmen: Einträge %s.",
                            static_cast<ll>(block), static_cast<ll>(blockSector(block)),
                            joined(numbers).c_str()),
                      {.block = block,
                       .sector = blockSector(block),
                       .count = static_cast<int64_t>(numbers.size()),
                       .entries = numbers});
    }
    // The blocks whose claimants the ownership only counted.
    blockFindings_["cross-link"] +=
        ownership.sharedBlockCount() - static_cast<int64_t>(ownership.sharedBlocks().size());
  }

  void checkFreeBlocks() {
    const BlockOwnership& ownership = report_.ownership;
    for (int64_t block = 0; block < ownership.blockCount() && !stopped(); ++block) {
      tell(done_ + block);
      if (ownership.ownerOf(block) != BlockOwnership::kFree) continue;
      const int64_t sector = blockSector(block);
      if (readHead(sector) && head_.hasSignature() && head_.isRecordingStart())
        addBlockFinding(
            "lost-recording",
            textf("Freier Block %lld (Sektor %lld) beginnt mit einem Aufnahmebeginn: "
                  "möglicherweise eine verlorene Aufnahme (%s).",
                  static_cast<ll>(block), static_cast<ll>(sector), nextStepWords().rescueLost),
            {.block = block, .sector = sector});
    }
  }

  Fsr5000Disk& disk_;
  const CheckOptions& options_;
  CheckReport& report_;
  const MapfileSource* mapfile_;
  HojinBuffer head_;
  int64_t blockCount_ = 0;  // of the data area being checked
  int64_t done_ = 0;        // progress: recordings read, then blocks looked at besides
  int64_t total_ = 0;
  std::map<std::string, int64_t> blockFindings_;  // findings of single blocks, per kind
};

}  // namespace

CheckReport checkFileSystem(Fsr5000Disk& disk, const CheckOptions& options) {
  CheckReport report;
  Checker(disk, options, report).run();
  return report;
}

std::string checkSummary(const CheckReport& report) {
  if (report.interrupted)
    return textf("Prüfung abgebrochen; %zu %s bis dahin.", report.findings.size(),
                 report.findings.size() == 1 ? "Befund" : "Befunde");
  if (report.sound()) return "Keine Befunde: das Dateisystem ist in Ordnung.";
  return textf("%zu %s.", report.findings.size(),
               report.findings.size() == 1 ? "Befund" : "Befunde");
}

}  // namespace korvelo
