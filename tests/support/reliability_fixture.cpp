// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/reliability_fixture.h"

#include <sys/mount.h>

#include <algorithm>
#include <stdexcept>

#include "support/sample_recordings.h"
#include "support/scripted_chooser.h"

namespace korvelo::test {
namespace {

constexpr size_t kHeadAndEntryBytes = 88 + 1536;
constexpr size_t kHojinBytes = 65 * 512;

sample::Recording recordingOf(int slot, std::vector<uint32_t> blocks, uint32_t sectors) {
  return numberedRecording(slot, std::move(blocks), sectors, 1800000);
}

}  // namespace

sample::DiskDescription twoRecordingDisk() {
  sample::DiskDescription disk;
  disk.fileFatSize = 1;
  disk.imageBytes = uint64_t{8} << 30;
  disk.recordings = {recordingOf(0, {3, 4}, 20 * 65), recordingOf(1, {40}, 10 * 65)};
  return disk;
}

RecorderImage::RecorderImage(sample::DiskDescription description, std::set<int64_t> badSectors,
                             BadSectorsVia via)
    : built_(std::move(description), {.badSectors = std::move(badSectors), .via = via}),
      disk_(openRecorder(built_.description())) {}

RecorderImage::~RecorderImage() {
  disk_.reset();  // the drive is released before the table goes back to the machine's disks
}

std::unique_ptr<HavExportJob> RecorderImage::preparedJob(int entryNumber, const std::string& path) {
  for (const auto& entry : disk_->getEntries()) {
    if (entry->getEntryNumber() != entryNumber) continue;
    auto job = std::make_unique<HavExportJob>(*disk_);
    ScriptedChooser chooser = ScriptedChooser::choosing(path);
    std::string folder = built_.folder();
    const int result = job->prepareSave(*entry, chooser, nullptr, folder, 4, false);
    if (result != 0) throw std::runtime_error("prepareSave gave " + std::to_string(result));
    return job;
  }
  throw std::runtime_error("no entry " + std::to_string(entryNumber));
}

std::vector<uint8_t> RecorderImage::expectedHav(const sample::Recording& recording,
                                                const std::set<int64_t>& zeroedSectors) const {
  std::vector<uint8_t> file = handMadeHead(recording);
  const std::vector<uint8_t> entry = sample::entryImage(recording);
  file.insert(file.end(), entry.begin(), entry.end());
  const int hojins = static_cast<int>(recording.lengthSectors / 65);
  for (int k = 1; k <= hojins; ++k) {
    const std::vector<uint8_t> hojin = sample::expectedHojin(built_.description(), recording, k);
    file.insert(file.end(), hojin.begin(), hojin.end());
    const int64_t first = sample::hojinSector(built_.description(), recording, k);
    for (int64_t sector : zeroedSectors) {
      if (sector < first || sector >= first + 65) continue;
      const size_t at = kHeadAndEntryBytes + (k - 1) * kHojinBytes + (sector - first) * 512;
      std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(at), 512, 0);
    }
  }
  return file;
}

void driveToEnd(SaveDriver& driver, const std::function<void(int)>& between, int limit) {
  for (int steps = 1; driver.isSavingActive() && steps <= limit; ++steps) {
    driver.saveStep();
    if (between) between(steps);
  }
}

ScopedTmpfs::ScopedTmpfs(const std::string& options, bool readOnly) {
  mounted_ = ::mount("korvelo-test", holder_.path().c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
                     options.c_str()) == 0;
}

ScopedTmpfs::~ScopedTmpfs() {
  if (mounted_) ::umount2(holder_.path().c_str(), MNT_DETACH);
}

}  // namespace korvelo::test
