// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/rescue_recording.h"

#include "disk/physical_drive.h"
#include "disk/text.h"
#include "recfs/disk_layout.h"
#include "recfs/sector_math.h"

namespace korvelo {

Confidence RescuedRecording::confidence() const {
  if (!startMarked || hojins < 2 || damagedHeads > 0 || continuationFound || headsEndEarly)
    return Confidence::Uncertain;
  if (ambiguousChoices > 0 || endsOnBlockBoundary) return Confidence::Probable;
  return Confidence::Certain;
}

std::vector<std::string> RescuedRecording::doubts() const {
  std::vector<std::string> reasons;
  if (!startMarked) reasons.push_back("kein Aufzeichnungsanfang");
  if (hojins == 0) reasons.push_back("kein gültiger HOJIN");
  if (hojins == 1) reasons.push_back("nur ein HOJIN");
  if (damagedHeads > 0) reasons.push_back(textf("%d HOJIN-Köpfe fehlerhaft", damagedHeads));
  if (headsEndEarly)
    reasons.push_back(textf("HOJIN-Köpfe enden nach HOJIN %d vor dem letzten Block", hojins));
  if (continuationFound) reasons.push_back("Lücke: eine Fortsetzung liegt weiter hinten");
  if (ambiguousChoices > 0)
    reasons.push_back(textf("%d mehrdeutige Blockwahl(en)", ambiguousChoices));
  if (endsOnBlockBoundary) reasons.push_back("Ende fällt auf ein Blockende");
  return reasons;
}

int64_t RescuedRecording::sectorOfHojin(int64_t k) const {
  if (k < 1 || k > hojins) return -1;
  const size_t ordinal = static_cast<size_t>((k - 1) / kHojinsPerBlock);
  if (ordinal >= blocks.size()) return -1;
  const int64_t offset = (k - 1) % kHojinsPerBlock;
  const std::optional<int64_t> blockStart =
      checkedOffset(dataAreaStart, kSectorsPerBlock, blocks[ordinal]);
  if (!blockStart) return -1;
  return checkedOffset(*blockStart, kSectorsPerHojin, offset).value_or(-1);
}

uint32_t RescuedRecording::lengthInSectors() const {
  return static_cast<uint32_t>(hojins) * kSectorsPerHojin;
}

uint64_t RescuedRecording::sizeInBytes() const {
  return uint64_t{lengthInSectors()} * kSectorSize;
}

const char* confidenceId(Confidence confidence) {
  switch (confidence) {
    case Confidence::Certain:
      return "certain";
    case Confidence::Probable:
      return "probable";
    case Confidence::Uncertain:
      break;
  }
  return "uncertain";
}

const char* confidenceName(Confidence confidence) {
  switch (confidence) {
    case Confidence::Certain:
      return "sicher";
    case Confidence::Probable:
      return "wahrscheinlich";
    case Confidence::Uncertain:
      break;
  }
  return "unsicher";
}

}  // namespace korvelo
