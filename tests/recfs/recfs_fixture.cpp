// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/recfs_fixture.h"

#include <stdexcept>

#include "recfs/status_text.h"

namespace korvelo::test {

sample::Recording recordingIn(int slot, std::vector<uint32_t> blocks, uint32_t hojins) {
  sample::Recording recording;
  recording.slot = slot;
  recording.entryNumber = static_cast<uint16_t>(slot);
  recording.title = "Aufnahme " + std::to_string(slot);
  recording.blocks = std::move(blocks);
  recording.lengthSectors = hojins * 65;
  recording.durationMs = 60000;
  return recording;
}

int64_t SampleDisk::readsAt(int64_t sector) const {
  int64_t count = 0;
  for (int64_t offset : reads()) count += offset == sector * 512 ? 1 : 0;
  return count;
}

std::vector<std::string> statusLines() {
  std::vector<std::string> lines;
  const std::string& text = statusText();
  if (text.empty()) return lines;
  size_t begin = 0;
  for (;;) {
    const size_t end = text.find("\r\n", begin);
    lines.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
    if (end == std::string::npos) break;
    begin = end + 2;
  }
  return lines;
}

}  // namespace korvelo::test
