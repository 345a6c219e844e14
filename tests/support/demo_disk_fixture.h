// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The demo disk (five recordings, one fragmented, one with a partial last HOJIN,
// Latin-1 titles), built once for all tests of a suite into a temporary folder.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "diskbuilder/disk_builder.h"
#include "support/built_disk.h"
#include "support/temp_dir.h"

namespace korvelo::test {

class DemoDiskTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    built_ = std::make_unique<BuiltDisk>(sample::demoDisk(),
                                         BuiltDiskOptions{.badSectors = {},
                                                          .via = BadSectorsVia::FailingReads,
                                                          .cutAtByte = -1,
                                                          .installAsDrive = false});
  }
  static void TearDownTestSuite() { built_.reset(); }

  static const sample::DiskDescription& disk() { return built_->description(); }
  static const std::string& image() { return built_->imagePath(); }
  static const sample::Recording& recording(int entryNumber) {
    for (const sample::Recording& recording : disk().recordings)
      if (recording.entryNumber == entryNumber) return recording;
    throw std::out_of_range("no such recording in the demo disk");
  }

  TempDir output_;  // a fresh folder per test for exported files

 private:
  static inline std::unique_ptr<BuiltDisk> built_;
};

}  // namespace korvelo::test
