// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sample disk of a test: built from its description into a folder of its own and,
// unless told otherwise, installed as drive "0" for the life of the object. Every read
// that reaches the image is noted (its byte offset); reads that touch a bad sector fail
// with EIO, or, read through a ddrescue mapfile written beside the image, the bad
// sectors are the areas that mapfile leaves unrescued. The image may be cut short.
//
//   BuiltDisk built(description, {.badSectors = {307489}});
//   std::unique_ptr<Fsr5000Disk> recorder = openRecorder(built.description());

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"
#include "recfs/fsr5000_disk.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo::test {

// CostlyFailingReads: failing reads from a source that says its failures cost time, as a
// disk's do (the copy then jumps over dead areas and keeps its budget of failing reads).
enum class BadSectorsVia { FailingReads, Mapfile, CostlyFailingReads };

struct BuiltDiskOptions {
  std::set<int64_t> badSectors;
  BadSectorsVia via = BadSectorsVia::FailingReads;
  int64_t cutAtByte = -1;      // >= 0: the image file is cut to that size after building
  bool installAsDrive = true;  // false: only the image file (for runs of the programs)
};

class BuiltDisk {
 public:
  explicit BuiltDisk(sample::DiskDescription description, BuiltDiskOptions options = {});
  ~BuiltDisk();
  BuiltDisk(const BuiltDisk&) = delete;
  BuiltDisk& operator=(const BuiltDisk&) = delete;

  const sample::DiskDescription& description() const { return description_; }
  const std::string& imagePath() const { return image_; }
  // The folder holding the image; tests may put their files there too.
  const std::string& folder() const { return dir_.path(); }
  std::string file(const std::string& name) const { return dir_.file(name); }

  // Byte offsets at which reads of the image began, in order, failed reads included.
  const std::vector<int64_t>& reads() const { return *reads_; }
  void clearReads() { reads_->clear(); }
  // The sectors whose reads fail; a test may change them while the drive is open.
  std::set<int64_t>& badSectors() { return *bad_; }

 private:
  TempDir dir_;
  std::string image_;
  sample::DiskDescription description_;
  std::shared_ptr<std::vector<int64_t>> reads_ = std::make_shared<std::vector<int64_t>>();
  std::shared_ptr<std::set<int64_t>> bad_ = std::make_shared<std::set<int64_t>>();
  std::optional<ScopedTestDrives> drives_;
};

// The recorder disk on drive "0" as the description says (model, File-FAT-Size) with
// its directory read; throws std::runtime_error when the directory cannot be read,
// unless `requireDirectory` is false.
std::unique_ptr<Fsr5000Disk> openRecorder(const sample::DiskDescription& description,
                                          bool requireDirectory = true);

// The mapfile text a rescue of `imageBytes` bytes leaves when exactly `badSectors`
// stayed unreadable: finished areas between them, bad areas over them.
std::string mapfileText(int64_t imageBytes, const std::set<int64_t>& badSectors);

}  // namespace korvelo::test
