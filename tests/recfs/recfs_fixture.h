#pragma once
// What the recorder file-system tests share: sample disks built into a temporary
// folder and installed as drive "0", a source that records where every read began,
// and the status text split into its lines.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "disk/byte_source.h"
#include "disk/drive_table.h"
#include "diskbuilder/disk_builder.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo::test {

// Byte offsets at which reads began, in order.
using ReadLog = std::vector<int64_t>;

// Sectors whose reads fail; the test may change the set while a drive is open.
using BadSectors = std::set<int64_t>;

// Reads through to another source, notes the offset of every read in a shared log,
// and fails (-EIO) every read that touches one of the shared bad sectors.
class LoggingSource final : public ByteSource {
 public:
  LoggingSource(std::unique_ptr<ByteSource> inner, std::shared_ptr<ReadLog> log,
                std::shared_ptr<const BadSectors> bad)
      : inner_(std::move(inner)), log_(std::move(log)), bad_(std::move(bad)) {}
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override;
  MediaInfo mediaInfo() const override { return inner_->mediaInfo(); }

 private:
  std::unique_ptr<ByteSource> inner_;
  std::shared_ptr<ReadLog> log_;
  std::shared_ptr<const BadSectors> bad_;
};

// A recording of `hojins` whole HOJINs in the given blocks, numbered like its slot.
sample::Recording recordingIn(int slot, std::vector<uint32_t> blocks, uint32_t hojins = 16);

// Builds a sample disk in a temporary folder and installs it as drive "0" for the life
// of the object, with a read log and sectors that can be made to fail.
class SampleDisk {
 public:
  explicit SampleDisk(const sample::DiskDescription& description, BadSectors bad = {});
  const std::string& path() const { return path_; }
  // Every read that reached the image since construction (or the last clearReads).
  const ReadLog& reads() const { return *log_; }
  void clearReads() { log_->clear(); }
  // Reads counted as starting at one sector (the drive may split a read only at the end).
  int64_t readsAt(int64_t sector) const;
  BadSectors& badSectors() { return *bad_; }

 private:
  TempDir dir_;
  std::string path_;
  std::shared_ptr<ReadLog> log_ = std::make_shared<ReadLog>();
  std::shared_ptr<BadSectors> bad_;
  std::optional<ScopedTestDrives> drives_;
};

// The status text cut at its CR LF pairs; empty text gives no line.
std::vector<std::string> statusLines();

}  // namespace korvelo::test
