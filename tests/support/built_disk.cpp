// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/built_disk.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "support/saved_files_check.h"

namespace korvelo::test {
namespace {

// Notes where every read began, then fails it when it touches one of the bad sectors
// (transferring nothing), else reads through.
class WatchedSource final : public ByteSource {
 public:
  WatchedSource(std::unique_ptr<ByteSource> inner, std::shared_ptr<std::vector<int64_t>> reads,
                std::shared_ptr<const std::set<int64_t>> bad, bool costly)
      : inner_(std::move(inner)), reads_(std::move(reads)), bad_(std::move(bad)), costly_(costly) {}

  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override {
    reads_->push_back(offset);
    if (!buffer.empty() && offset >= 0) {
      const int64_t first = offset / 512;
      const int64_t last = (offset + static_cast<int64_t>(buffer.size()) - 1) / 512;
      const auto bad = bad_->lower_bound(first);
      if (bad != bad_->end() && *bad <= last) return -EIO;
    }
    return inner_->readAt(offset, buffer);
  }
  MediaInfo mediaInfo() const override { return inner_->mediaInfo(); }
  std::optional<FileIdentity> identity() const override { return inner_->identity(); }
  bool failuresAreCostly() const override { return costly_; }

 private:
  std::unique_ptr<ByteSource> inner_;
  std::shared_ptr<std::vector<int64_t>> reads_;
  std::shared_ptr<const std::set<int64_t>> bad_;
  bool costly_;
};

}  // namespace

BuiltDisk::BuiltDisk(sample::DiskDescription description, BuiltDiskOptions options)
    : image_(dir_.file("recorder.img")), description_(std::move(description)) {
  sample::buildDisk(description_, image_);
  registerSampleDisk(image_, &description_);
  if (options.cutAtByte >= 0 && ::truncate(image_.c_str(), options.cutAtByte) != 0) {
    throw std::runtime_error("cannot cut " + image_ + ": " + std::strerror(errno));
  }
  if (!options.installAsDrive) return;
  DriveSpec drive;
  drive.path = image_;
  if (options.via == BadSectorsVia::Mapfile) {
    drive.mapfile = dir_.file("recorder.map");
    std::ofstream(drive.mapfile) << mapfileText(static_cast<int64_t>(description_.imageBytes),
                                                options.badSectors);
  } else {
    *bad_ = std::move(options.badSectors);
  }
  drive.factory = [path = image_, reads = reads_, bad = bad_,
                   costly = options.via ==
                            BadSectorsVia::CostlyFailingReads]() -> std::unique_ptr<ByteSource> {
    std::unique_ptr<ByteSource> inner = openPathSource(path);
    if (!inner) return nullptr;  // opens like a missing drive
    return std::make_unique<WatchedSource>(std::move(inner), reads, bad, costly);
  };
  drives_.emplace(std::vector<DriveSpec>{drive});
}

BuiltDisk::~BuiltDisk() {
  forgetSampleDisk(image_);
}

std::string mapfileText(int64_t imageBytes, const std::set<int64_t>& badSectors) {
  std::string text =
      "# Mapfile. Created by GNU ddrescue version 1.27\n"
      "# current_pos  current_status  current_pass\n"
      "0x00000000     +               1\n"
      "#      pos        size  status\n";
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

}  // namespace korvelo::test
