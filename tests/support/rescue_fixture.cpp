// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/rescue_fixture.h"

#include <cstring>
#include <stdexcept>

#include "support/file_util.h"
#include "support/scripted_chooser.h"

namespace korvelo::test {
namespace {

void putLittle(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void putBig(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
}

}  // namespace

sample::Recording rescueRecording(int slot, std::vector<uint32_t> blocks, int hojins) {
  sample::Recording recording;
  recording.slot = slot;
  recording.entryNumber = static_cast<uint16_t>(slot);
  recording.title = "Film " + std::to_string(slot);
  recording.blocks = std::move(blocks);
  recording.lengthSectors = static_cast<uint32_t>(hojins) * sample::kSectorsPerHojin;
  recording.durationMs = 60000;
  return recording;
}

sample::DiskDescription smallDisk(std::vector<sample::Recording> recordings, int64_t blocks) {
  sample::DiskDescription disk;
  disk.fileFatSize = kSmallFatSize;
  disk.recordings = std::move(recordings);
  const int64_t end =
      sample::dataAreaStart(disk.model, disk.fileFatSize) + blocks * sample::kSectorsPerBlock;
  disk.imageBytes = static_cast<uint64_t>(end) * sample::kSectorBytes;
  return disk;
}

int64_t blockSectorOf(const sample::DiskDescription& disk, int64_t block) {
  return 6662704 + 2001LL * disk.fileFatSize + 1040 * block;
}

std::vector<uint8_t> headSector(uint32_t k) {
  std::vector<uint8_t> sector(512, 0x5A);
  const uint8_t signature[20] = {'[', 'H', 'O', 'J', 'I', 'N', ' ', 'A', 0,    0,
                                 2,   0,   0,   0,   0,   0,   0,   0,   0x80, 0};
  std::memcpy(sector.data(), signature, sizeof signature);
  putBig(sector, 32, 65 * (k - 1), 4);
  putBig(sector, 56, k, 4);
  return sector;
}

RescueImage::RescueImage(sample::DiskDescription description, std::set<int64_t> badSectors)
    : built_(std::move(description), {.badSectors = std::move(badSectors)}),
      disk_(openRecorder(built_.description(), false)) {}

std::vector<uint8_t> RescueImage::dataOf(int recordingIndex, int hojins) const {
  return sample::readRecordingFromImage(imagePath(), description(),
                                        description().recordings.at(recordingIndex), hojins);
}

std::vector<uint8_t> expectedRescuedHav(int id, int hojins, const std::vector<uint8_t>& data) {
  const uint64_t size = uint64_t{static_cast<uint64_t>(hojins)} * 33280;
  const std::string title = "Gerettet " + std::to_string(id);
  std::vector<uint8_t> file(88 + 1536, 0);
  putLittle(file, 0, 113, 4);
  putLittle(file, 8, 1536 + size, 8);
  putLittle(file, 16, 1536, 4);
  putLittle(file, 32, size, 8);
  std::memcpy(file.data() + 46, title.data(), title.size());
  putLittle(file, 84, size / 1024, 4);
  putBig(file, 88 + 0, static_cast<uint64_t>(id), 2);
  std::memcpy(file.data() + 88 + 4, title.data(), title.size());
  putBig(file, 88 + 148, static_cast<uint64_t>(hojins) * 65, 4);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

ExportOutcome exportRescued(RescueDisk& disk, int id, const std::string& path) {
  ExportOutcome outcome;
  const DirectoryEntry* entry = disk.entryFor(id);
  if (entry == nullptr) throw std::runtime_error("no rescued recording " + std::to_string(id));
  HavExportJob job(disk);
  job.setFreeSpaceQuery([](const std::string&) { return FreeSpace{uint64_t{1} << 40, 0}; });
  ScriptedChooser chooser = ScriptedChooser::choosing(path);
  std::string folder = "/";
  outcome.prepareResult = job.prepareSave(*entry, chooser, nullptr, folder, 4, true);
  if (!chooser.requests.empty()) outcome.proposedName = chooser.requests.back().proposedName;
  if (outcome.prepareResult != 0) return outcome;
  job.openFile();
  for (int steps = 0; !job.isFinished() && steps < 100000; ++steps) {
    job.copyStep(false);
    outcome.messages += job.getMessages();
  }
  outcome.errorCode = job.getErrorCode();
  job.closeFile();
  outcome.bytes = readFileBytes(path);
  return outcome;
}

}  // namespace korvelo::test
