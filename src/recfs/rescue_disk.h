// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recorder disk as the export job sees rescued recordings: opened anew, read-only,
// on the same drive and layout as the disk they were found on, its entry list holding
// one made-up entry per rescued recording ("Gerettet %d", the chain's length, the rest
// zero), and its HOJIN location answering from the rescued blocks instead of a file FAT.

#include <map>
#include <vector>

#include "recfs/block_ownership.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/rescue_recording.h"

namespace korvelo {

class RescueDisk : public Fsr5000Disk {
 public:
  // Opens `original`'s drive again and takes over its File-FAT-Size. The ids of the
  // recordings become the entry numbers; ids outside 0 ... 65535 are left out.
  RescueDisk(const Fsr5000Disk& original, std::vector<RescuedRecording> recordings);
  ~RescueDisk() override;

  // No directory is read: the list is what was rescued.
  bool readDirectory(bool force) override;
  int64_t getSectorNumberOfHojin(int entryNumber, int hojinNumber) override;
  // Rescued recordings have no file FAT: there is nothing to read ahead, and nothing to
  // hold them against (their chains carry doubts of their own).
  BlockOwnership readFileFatsAhead(
      const std::vector<const DirectoryEntry*>& /*recordings*/) override {
    return {};
  }

  // The made-up entry of a rescued recording, or null for an unknown id.
  const DirectoryEntry* entryFor(int id) const;
  const RescuedRecording* recordingFor(int id) const;

 private:
  std::map<int, RescuedRecording> byId_;
};

// The 1536-byte entry image of a rescued recording: entry number, title "Gerettet %d"
// and length in sectors; every other byte zero.
void fillRescuedEntry(const RescuedRecording& recording, DirectoryEntry& entry);

}  // namespace korvelo
