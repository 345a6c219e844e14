// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/file_fat_doubt.h"

#include <vector>

#include "disk/text.h"

namespace korvelo {
namespace {

using ll = long long;

// "Block 7 gehört auch Eintrag 0": the lowest shared block and the others that name it,
// where the ownership kept them.
std::string crossLinkReason(const BlockOwnership& ownership, size_t index) {
  const OwnedRecording& recording = ownership.recordings()[index];
  const int64_t block = recording.firstCrossLinkedBlock;
  std::vector<int> others;
  if (const auto named = ownership.sharedBlocks().find(block);
      named != ownership.sharedBlocks().end())
    for (int claimant : named->second)
      if (claimant != static_cast<int>(index))
        others.push_back(ownership.recordings()[static_cast<size_t>(claimant)].entryNumber);
  std::string text = textf("Block %lld gehört auch ", static_cast<ll>(block));
  if (others.empty()) {
    text += "einer anderen Aufnahme";
  } else {
    text += others.size() == 1 ? "Eintrag " : "den Einträgen ";
    for (size_t i = 0; i < others.size(); ++i)
      text += (i == 0 ? "" : ", ") + std::to_string(others[i]);
  }
  if (recording.crossLinkedBlocks > 1)
    text += textf(", insgesamt gehören %lld Blöcke dieser Aufnahme auch anderen",
                  static_cast<ll>(recording.crossLinkedBlocks));
  return text;
}

}  // namespace

std::string countedBlocks(int64_t count) {
  return count == 1 ? "1 Block" : textf("%lld Blöcke", static_cast<ll>(count));
}

std::string fileFatDoubt(const BlockOwnership& ownership, size_t index) {
  const OwnedRecording& recording = ownership.recordings()[index];
  std::vector<std::string> reasons;
  if (recording.crossLinkedBlocks > 0) reasons.push_back(crossLinkReason(ownership, index));
  if (recording.namesSurplusBlocks())
    reasons.push_back(textf("die File-FAT nennt %s, die Länge braucht nur %lld",
                            countedBlocks(recording.setBits).c_str(),
                            static_cast<ll>(recording.blocksNeeded)));
  if (recording.blocksOffDisk == 1)
    reasons.push_back(textf("Block %lld liegt hinter dem Ende der Festplatte",
                            static_cast<ll>(recording.firstOffDisk)));
  if (recording.blocksOffDisk > 1)
    reasons.push_back(
        textf("%lld Blöcke liegen hinter dem Ende der Festplatte, der erste ist "
              "Block %lld",
              static_cast<ll>(recording.blocksOffDisk), static_cast<ll>(recording.firstOffDisk)));
  std::string joined;
  for (const std::string& reason : reasons) joined += (joined.empty() ? "" : "; ") + reason;
  return joined;
}

std::map<const DirectoryEntry*, std::string> fileFatDoubts(const BlockOwnership& ownership) {
  std::map<const DirectoryEntry*, std::string> doubts;
  for (size_t index = 0; index < ownership.recordings().size(); ++index)
    if (std::string doubt = fileFatDoubt(ownership, index); !doubt.empty())
      doubts[ownership.recordings()[index].entry] = std::move(doubt);
  return doubts;
}

}  // namespace korvelo
