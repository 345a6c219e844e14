// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Google Benchmark programs on a sample disk share: the disk built as a sparse
// image in a temporary folder of its own (removed afterwards), drive 0 pointed at it,
// then every benchmark run.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "disk/drive_table.h"
#include "diskbuilder/disk_builder.h"

namespace korvelo::bench {

class SampleDiskFolder {
 public:
  SampleDiskFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "korvelo-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    folder_ = pattern;
  }
  ~SampleDiskFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  SampleDiskFolder(const SampleDiskFolder&) = delete;
  SampleDiskFolder& operator=(const SampleDiskFolder&) = delete;
  std::string image() const { return (folder_ / "bench.img").string(); }

 private:
  std::filesystem::path folder_;
};

// The body of main(): 0 when every benchmark ran, 1 on bad arguments or a failure,
// which is named after `program`.
inline int runOnSampleDisk(int argc, char** argv, const sample::DiskDescription& disk,
                           const char* program) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  try {
    const SampleDiskFolder folder;
    sample::buildDisk(disk, folder.image());
    DriveTable::usePaths({folder.image()});
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s: %s\n", program, failure.what());
    return 1;
  }
  return 0;
}

}  // namespace korvelo::bench
