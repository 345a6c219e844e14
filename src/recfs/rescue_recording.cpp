// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/rescue_recording.h"

#include "disk/physical_drive.h"
#include "disk/text.h"
#include "recfs/disk_layout.h"
#include "recfs/sector_math.h"

namespace korvelo {
namespace {

std::string blockList(const ChainAlternative& link) {
  std::string list;
  for (size_t i = 0; i < link.otherBlocks.size(); ++i) {
    const bool last = i + 1 == link.otherBlocks.size() && !link.moreBlocks;
    list += (i == 0 ? ""
             : last ? " oder "
                    : ", ") +
            std::to_string(link.otherBlocks[static_cast<size_t>(i)]);
  }
  if (link.moreBlocks) list += " und weitere";
  return list;
}

// "mehrdeutig nach Block 8: Block 10 genommen, Block 20 passt auch, Ende möglich"
std::string describeLink(const ChainAlternative& link) {
  std::string text = textf("mehrdeutig nach Block %lld: ", static_cast<long long>(link.afterBlock));
  if (link.chosenBlock >= 0) {
    text += textf("Block %lld genommen", static_cast<long long>(link.chosenBlock));
  } else {
    text += "Ende angenommen";
  }
  if (!link.otherBlocks.empty())
    text += textf(", Block %s %s auch", blockList(link).c_str(),
                  link.otherBlocks.size() > 1 || link.moreBlocks ? "passen" : "passt");
  if (link.couldEnd && link.chosenBlock >= 0) text += ", Ende möglich";
  return text;
}

// "1 unlesbarer Block könnte dazugehören", "2 unlesbare Blöcke könnten dazugehören".
std::string unreadableBlocksReason(int64_t blocks) {
  if (blocks == 1) return "1 unlesbarer Block könnte dazugehören";
  return textf("%lld unlesbare Blöcke könnten dazugehören", static_cast<long long>(blocks));
}

}  // namespace

Confidence RescuedRecording::confidence() const {
  if (!startMarked || hojins < 2 || damagedHeads > 0 || continuationFound || headsEndEarly ||
      maySplice())
    return Confidence::Uncertain;
  if (endsOnBlockBoundary) return Confidence::Probable;
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
  for (const ChainAlternative& link : alternatives) reasons.push_back(describeLink(link));
  if (unreadableBlocks > 0) reasons.push_back(unreadableBlocksReason(unreadableBlocks));
  if (endsOnBlockBoundary) reasons.push_back("Ende fällt auf ein Blockende");
  return reasons;
}

std::string RescuedRecording::spliceDoubt() const {
  if (!maySplice()) return {};
  std::string text = "Kette unsicher, die Blöcke können zu verschiedenen Aufnahmen gehören: ";
  bool first = true;
  for (const ChainAlternative& link : alternatives) {
    text += (first ? "" : "; ") + describeLink(link);
    first = false;
  }
  if (unreadableBlocks > 0) text += (first ? "" : "; ") + unreadableBlocksReason(unreadableBlocks);
  return text;
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
