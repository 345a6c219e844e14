// SPDX-License-Identifier: GPL-3.0-or-later
#include "session_fakes.h"

#include "support/file_util.h"

namespace korvelo::test {

sample::Recording recording(int slot, const std::string& title, int hojins, uint32_t firstBlock) {
  sample::Recording r;
  r.slot = slot;
  r.entryNumber = static_cast<uint16_t>(slot);
  r.title = title;
  r.secondText = "Kanal " + std::to_string(slot + 1);
  r.lengthSectors = static_cast<uint32_t>(hojins) * 65;
  r.durationMs = static_cast<uint32_t>(hojins) * 1000;
  const int blocks = (hojins + 15) / 16;
  for (int b = 0; b < blocks; ++b) r.blocks.push_back(firstBlock + static_cast<uint32_t>(b));
  return r;
}

sample::DiskDescription fsrDisk(std::vector<sample::Recording> recordings) {
  sample::DiskDescription disk;
  disk.recordings = std::move(recordings);
  return disk;
}

std::string foreignImage(const std::string& path) {
  createSparseFile(path, int64_t{1} << 30);
  return path;
}

}  // namespace korvelo::test
