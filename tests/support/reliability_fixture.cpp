#include "support/reliability_fixture.h"

#include <sys/mount.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "support/sample_recordings.h"

namespace korvelo::test {
namespace {

constexpr size_t kHeadAndEntryBytes = 88 + 1536;
constexpr size_t kHojinBytes = 65 * 512;

class ChoosingPath : public SaveAsChooser {
 public:
  explicit ChoosingPath(std::string path) : path_(std::move(path)) {}
  SaveAsAnswer chooseSaveAs(const SaveAsRequest&) override {
    return SaveAsAnswer{SaveAsAnswer::Kind::Chosen, path_, 0};
  }

 private:
  std::string path_;
};

sample::Recording recordingOf(int slot, std::vector<uint32_t> blocks, uint32_t sectors) {
  return numberedRecording(slot, std::move(blocks), sectors, 1800000);
}

}  // namespace

size_t RecordingLog::find(const std::string& text, size_t from) const {
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i] == text) return i;
  return lines.size();
}

size_t RecordingLog::count(const std::string& text) const {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

sample::DiskDescription twoRecordingDisk() {
  sample::DiskDescription disk;
  disk.fileFatSize = 1;
  disk.imageBytes = uint64_t{8} << 30;
  disk.recordings = {recordingOf(0, {3, 4}, 20 * 65), recordingOf(1, {40}, 10 * 65)};
  return disk;
}

std::string mapfileText(int64_t imageBytes, const std::set<int64_t>& badSectors) {
  std::string text = "# Mapfile. Created by GNU ddrescue version 1.27\n# current_pos  current_status  current_pass\n0x00000000     +               1\n#      pos        size  status\n";
  int64_t position = 0;
  auto area = [&](int64_t begin, int64_t end, char status) {
    if (end > begin)
      text += std::to_string(begin) + "  " + std::to_string(end - begin) + "  " + status + "\n";
  };
  for (int64_t sector : badSectors) {
    area(position, sector * 512, '+');
    area(sector * 512, sector * 512 + 512, '-');
    position = sector * 512 + 512;
  }
  area(position, imageBytes, '+');
  return text;
}

RecorderImage::RecorderImage(sample::DiskDescription description, std::set<int64_t> badSectors,
                             BadSectorsVia via)
    : image_(dir_.file("recorder.img")), description_(std::move(description)) {
  sample::buildDisk(description_, image_);
  DriveSpec drive = imageDrive(image_);
  if (via == BadSectorsVia::Mapfile) {
    drive.mapfile = dir_.file("recorder.map");
    std::ofstream(drive.mapfile) << mapfileText(static_cast<int64_t>(description_.imageBytes), badSectors);
  } else {
    drive = failingDrive(image_, std::move(badSectors));
  }
  drives_ = std::make_unique<ScopedTestDrives>(std::vector<DriveSpec>{drive});
  disk_ = std::make_unique<Fsr5000Disk>('0');
  disk_->setSizeFileFAT(description_.fileFatSize);
  if (!disk_->readDirectory(false)) throw std::runtime_error("directory of the sample disk not read");
}

RecorderImage::~RecorderImage() {
  disk_.reset();  // the drive is released before the table goes back to the machine's disks
  drives_.reset();
}

std::unique_ptr<HavExportJob> RecorderImage::preparedJob(int entryNumber, const std::string& path) {
  for (const auto& entry : disk_->getEntries()) {
    if (entry->getEntryNumber() != entryNumber) continue;
    auto job = std::make_unique<HavExportJob>(*disk_);
    ChoosingPath chooser(path);
    std::string folder = dir_.path();
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
    const std::vector<uint8_t> hojin = sample::expectedHojin(description_, recording, k);
    file.insert(file.end(), hojin.begin(), hojin.end());
    const int64_t first = sample::hojinSector(description_, recording, k);
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
