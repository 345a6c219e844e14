// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskbuilder/disk_builder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>

#include "diskbuilder/description_check.h"
#include "diskbuilder/hojin_image.h"
#include "diskbuilder/image_writer.h"

namespace korvelo::sample {

namespace {

// Blocks written with one pwrite at most: 16 blocks, about 8 MiB.
constexpr size_t kBlocksPerWrite = 16;

constexpr char kVolumeSignature[] = "Handan HFS Vol000";
constexpr char kFileSysName[] = "file_system.sys";

using Sector = std::vector<uint8_t>;

void writeSignature(const DiskDescription& disk, ImageWriter& image) {
  if (disk.signature == SignatureVariant::Missing) return;
  for (int64_t s = kFirstSignatureSector; s <= kLastSignatureSector; ++s) {
    Sector sector(kSectorBytes, 0);
    std::memcpy(sector.data(), kVolumeSignature, 17);
    if (disk.signature == SignatureVariant::Offset17NotNul) sector[17] = ' ';
    if (disk.signature == SignatureVariant::Sector31Byte300 && s == kLastSignatureSector) {
      sector[300] = 0x01;
    }
    image.write(s, sector.data(), sector.size(), "signature sector");
  }
}

void writeFileSysSector(const DiskDescription& disk, ImageWriter& image) {
  if (disk.fileSys == FileSysSector::Absent) return;
  Sector sector(kSectorBytes);
  // Bytes 16.. carry payload: nothing may depend on them.
  fillPayload(kFileSysSector, sector.data());
  std::memcpy(sector.data(), kFileSysName, 16);  // with its NUL
  if (disk.fileSys == FileSysSector::Damaged) sector[14] = 'S';
  image.write(kFileSysSector, sector.data(), sector.size(), "file_system.sys sector");
}

void writeDirectory(const DiskDescription& disk, ImageWriter& image) {
  if (disk.directoryHeadPresent) {
    const int announced = disk.announcedEntries >= 0 ? disk.announcedEntries
                                                     : static_cast<int>(disk.recordings.size());
    const uint8_t head[2] = {static_cast<uint8_t>(announced >> 8), static_cast<uint8_t>(announced)};
    image.write(directoryHeadSector(disk.model), head, sizeof head, "directory head");
  }
  for (const Recording& recording : disk.recordings) {
    const std::vector<uint8_t> entry = entryImage(recording);
    image.write(slotSector(disk.model, recording.slot), entry.data(), entry.size(), "entry image");
  }
  for (int slot : disk.emptySlots) {
    const std::vector<uint8_t> entry = emptySlotImage(slot);
    image.write(slotSector(disk.model, slot), entry.data(), entry.size(), "empty slot");
  }
}

void writeFileFat(const DiskDescription& disk, const Recording& recording, ImageWriter& image) {
  const std::vector<uint8_t> fat = fileFatImage(disk, recording);
  const auto first = std::find_if(fat.begin(), fat.end(), [](uint8_t b) { return b != 0; });
  if (first == fat.end()) return;
  const auto last = std::find_if(fat.rbegin(), fat.rend(), [](uint8_t b) { return b != 0; }).base();
  const int64_t firstByte = first - fat.begin();
  const int64_t firstSector = firstByte / kSectorBytes;
  const auto from = fat.begin() + firstSector * kSectorBytes;
  image.write(fileFatSector(disk.model, disk.fileFatSize, recording.entryNumber) + firstSector,
              &*from, static_cast<uint64_t>(last - from), "file FAT");
}

std::map<int, HeadDefect> defectsByHojin(const Recording& recording) {
  std::map<int, HeadDefect> defects;
  for (const HojinDefect& defect : recording.defects) defects[defect.hojin] = defect.defect;
  return defects;
}

// Writes the recording's HOJINs, one pwrite per run of neighbouring blocks.
void writeRecordingData(const DiskDescription& disk, const Recording& recording,
                        ImageWriter& image) {
  std::vector<uint32_t> blocks = recording.blocks;
  std::sort(blocks.begin(), blocks.end());
  const int written = static_cast<int>(writtenHojinCount(recording));
  const std::map<int, HeadDefect> defects = defectsByHojin(recording);
  std::vector<uint8_t> buffer;
  size_t ordinal = 0;
  while (ordinal < blocks.size() && static_cast<int>(ordinal) * kHojinsPerBlock < written) {
    size_t end = ordinal + 1;
    while (end < blocks.size() && end - ordinal < kBlocksPerWrite &&
           blocks[end] == blocks[end - 1] + 1 &&
           static_cast<int>(end) * kHojinsPerBlock < written) {
      ++end;
    }
    const int firstK = static_cast<int>(ordinal) * kHojinsPerBlock + 1;
    const int lastK = std::min(written, static_cast<int>(end) * kHojinsPerBlock);
    const int64_t firstSector = hojinSector(disk, recording, firstK);
    buffer.resize(static_cast<size_t>(lastK - firstK + 1) * kHojinBytes);
    for (int k = firstK; k <= lastK; ++k) {
      const auto found = defects.find(k);
      fillHojin(firstSector + int64_t{kSectorsPerHojin} * (k - firstK), k,
                found == defects.end() ? HeadDefect::None : found->second,
                buffer.data() + static_cast<size_t>(k - firstK) * kHojinBytes);
    }
    image.write(firstSector, buffer.data(), buffer.size(), "recording data");
    ordinal = end;
  }
}

bool someoneOwnsBlockZero(const DiskDescription& disk) {
  return std::any_of(disk.recordings.begin(), disk.recordings.end(), [](const Recording& r) {
    return std::find(r.blocks.begin(), r.blocks.end(), 0u) != r.blocks.end();
  });
}

void writeProbeMarker(const DiskDescription& disk, ImageWriter& image) {
  if (!disk.probeMarker || someoneOwnsBlockZero(disk)) return;
  std::vector<uint8_t> hojin(kHojinBytes);
  const int64_t sector = dataAreaStart(disk.model, disk.fileFatSize);
  fillHojin(sector, 1, HeadDefect::None, hojin.data());
  image.write(sector, hojin.data(), kSectorBytes, "probe marker");
}

// Closes the descriptor on every way out.
struct ReadOnlyFile {
  explicit ReadOnlyFile(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~ReadOnlyFile() {
    if (fd >= 0) ::close(fd);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  int fd;
};

std::vector<uint8_t> readAt(const std::string& path, int64_t sector, size_t bytes) {
  const ReadOnlyFile file(path);
  if (file.fd < 0) {
    throw std::runtime_error("disk image " + path + ": cannot open: " + std::strerror(errno));
  }
  std::vector<uint8_t> data(bytes);
  size_t done = 0;
  while (done < bytes) {
    const ssize_t got = ::pread(file.fd, data.data() + done, bytes - done,
                                static_cast<off_t>(sector * kSectorBytes + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      const std::string why = got < 0 ? std::strerror(errno) : "ends too early";
      throw std::runtime_error("disk image " + path + ": cannot read sector " +
                               std::to_string(sector) + ": " + why);
    }
    done += static_cast<size_t>(got);
  }
  return data;
}

int64_t requireHojinSector(const DiskDescription& disk, const Recording& recording, int k) {
  const int64_t sector = hojinSector(disk, recording, k);
  if (sector < 0) {
    throw std::runtime_error("recording in slot " + std::to_string(recording.slot) +
                             " has no block for HOJIN " + std::to_string(k));
  }
  return sector;
}

}  // namespace

std::vector<uint8_t> fileFatImage(const DiskDescription& disk, const Recording& recording) {
  std::vector<uint8_t> fat(static_cast<size_t>(disk.fileFatSize) * kSectorBytes, 0);
  for (uint32_t block : recording.blocks) {
    if (block / 8 < fat.size()) fat[block / 8] |= static_cast<uint8_t>(0x80u >> (block % 8));
  }
  return fat;
}

void buildDisk(const DiskDescription& disk, const std::string& path) {
  checkDescription(disk);
  ImageWriter image(path, disk.imageBytes);
  try {
    writeSignature(disk, image);
    writeFileSysSector(disk, image);
    writeDirectory(disk, image);
    writeProbeMarker(disk, image);
    for (const Recording& recording : disk.recordings) {
      if (recording.writeFileFat) writeFileFat(disk, recording, image);
      writeRecordingData(disk, recording, image);
    }
    for (const auto& [sector, bytes] : disk.rawSectors) {
      image.write(sector, bytes.data(), bytes.size(), "raw sector");
    }
    image.close();
  } catch (...) {
    // A half-written image would pass for a disk; it was ours to write, so it goes.
    ::unlink(path.c_str());
    throw;
  }
}

std::vector<uint8_t> expectedHojin(const DiskDescription& disk, const Recording& recording, int k) {
  const int64_t sector = requireHojinSector(disk, recording, k);
  HeadDefect defect = HeadDefect::None;
  for (const HojinDefect& d : recording.defects) {
    if (d.hojin == k) defect = d.defect;
  }
  std::vector<uint8_t> hojin(kHojinBytes);
  fillHojin(sector, k, defect, hojin.data());
  return hojin;
}

std::vector<uint8_t> readHojinFromImage(const std::string& imagePath, const DiskDescription& disk,
                                        const Recording& recording, int k) {
  return readAt(imagePath, requireHojinSector(disk, recording, k), kHojinBytes);
}

std::vector<uint8_t> readRecordingFromImage(const std::string& imagePath,
                                            const DiskDescription& disk, const Recording& recording,
                                            int hojins) {
  const int count = hojins < 0 ? static_cast<int>(hojinCount(recording)) : hojins;
  std::vector<uint8_t> data;
  data.reserve(static_cast<size_t>(count) * kHojinBytes);
  for (int k = 1; k <= count; ++k) {
    const std::vector<uint8_t> hojin = readHojinFromImage(imagePath, disk, recording, k);
    data.insert(data.end(), hojin.begin(), hojin.end());
  }
  return data;
}

}  // namespace korvelo::sample
