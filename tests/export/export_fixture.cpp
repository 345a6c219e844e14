// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/export_fixture.h"

#include <algorithm>
#include <stdexcept>

namespace korvelo::test {

sample::Recording recordingOf(int slot, std::vector<uint32_t> blocks, uint32_t sectors) {
  return numberedRecording(slot, std::move(blocks), sectors, 5400999);
}

ExportDisk::ExportDisk(sample::DiskDescription description, std::set<int64_t> badSectors)
    : built_(std::move(description), {.badSectors = std::move(badSectors)}),
      disk_(openRecorder(built_.description())) {}

const DirectoryEntry& ExportDisk::entry(int entryNumber) const {
  for (const auto& entry : disk_->getEntries()) {
    if (entry->getEntryNumber() == entryNumber) return *entry;
  }
  throw std::runtime_error("no entry " + std::to_string(entryNumber));
}

std::vector<uint8_t> expectedHav(const ExportDisk& disk, const sample::Recording& recording,
                                 int hojins) {
  std::vector<uint8_t> file = handMadeHead(recording);
  const std::vector<uint8_t> entry = sample::entryImage(recording);
  file.insert(file.end(), entry.begin(), entry.end());
  const int whole = hojins >= 0 ? hojins : static_cast<int>(recording.lengthSectors / 65);
  for (int k = 1; k <= whole; ++k) {
    const std::vector<uint8_t> hojin = sample::expectedHojin(disk.description(), recording, k);
    file.insert(file.end(), hojin.begin(), hojin.end());
  }
  if (const uint32_t rest = recording.lengthSectors % 65; rest > 0 && hojins < 0) {
    const std::vector<uint8_t> hojin =
        sample::expectedHojin(disk.description(), recording, whole + 1);
    file.insert(file.end(), hojin.begin(), hojin.begin() + rest * 512);
  }
  return file;
}

std::unique_ptr<HavExportJob> preparedJob(ExportDisk& disk, int entryNumber,
                                          const std::string& path, bool resume) {
  auto job = std::make_unique<HavExportJob>(disk.disk());
  job->setFreeSpaceQuery([](const std::string&) { return FreeSpace{uint64_t{1} << 50, 0}; });
  ScriptedChooser chooser = ScriptedChooser::choosing(path);
  chooser.answer.resume = resume;
  std::string folder = disk.folder();
  const int result = job->prepareSave(disk.entry(entryNumber), chooser, nullptr, folder, 4, false);
  if (result != 0) throw std::runtime_error("prepareSave gave " + std::to_string(result));
  return job;
}

int copyToEnd(HavExportJob& job, bool suppressWarnings, int limit) {
  int steps = 0;
  while (!job.isFinished() && steps < limit) {
    job.copyStep(suppressWarnings);
    ++steps;
  }
  return steps;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  for (;;) {
    const size_t end = text.find("\r\n", begin);
    lines.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
    if (end == std::string::npos) return lines;
    begin = end + 2;
  }
}

}  // namespace korvelo::test
