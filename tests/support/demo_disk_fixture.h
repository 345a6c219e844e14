#pragma once
// The demo disk (five recordings, one fragmented, one with a partial last HOJIN,
// Latin-1 titles), built once for all tests of a suite into a temporary folder.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "diskbuilder/disk_builder.h"
#include "support/temp_dir.h"

namespace korvelo::test {

class DemoDiskTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<TempDir>();
    disk_ = sample::demoDisk();
    image_ = folder_->file("demo.img");
    sample::buildDisk(disk_, image_);
  }
  static void TearDownTestSuite() { folder_.reset(); }

  static const sample::DiskDescription& disk() { return disk_; }
  static const std::string& image() { return image_; }
  static const sample::Recording& recording(int entryNumber) {
    for (const sample::Recording& recording : disk_.recordings)
      if (recording.entryNumber == entryNumber) return recording;
    throw std::out_of_range("no such recording in the demo disk");
  }

  TempDir output_;  // a fresh folder per test for exported files

 private:
  static inline std::unique_ptr<TempDir> folder_;
  static inline sample::DiskDescription disk_;
  static inline std::string image_;
};

}  // namespace korvelo::test
