// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/hardening_fixture.h"

#include <algorithm>
#include <filesystem>

#include "support/sample_recordings.h"

namespace korvelo::test {

SectorLog HardeningDisk::reads() const {
  SectorLog sectors;
  for (int64_t offset : built_.reads()) sectors.push_back(offset / 512);
  return sectors;
}

sample::Recording recordingAt(int slot, std::vector<uint32_t> blocks, uint32_t sectors) {
  return numberedRecording(slot, std::move(blocks), sectors, 600000);
}

std::pair<int64_t, std::vector<uint8_t>> slotPoke(int slot, std::vector<uint8_t> image) {
  return {sample::slotSector(sample::Model::Fsr5000, slot), std::move(image)};
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace korvelo::test
