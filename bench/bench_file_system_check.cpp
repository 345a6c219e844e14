// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system check on a full-size disk: 2000 recordings on 160 GB (F = 72, about
// 294,000 blocks). Reports the time of one whole check and the peak memory of the
// process, which must stay bounded by the one-owner-per-block model (a few MiB), not
// grow with the recordings' lengths. Builds a sparse sample disk in a temporary folder.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "disk/drive_table.h"
#include "diskbuilder/disk_builder.h"
#include "recfs/file_system_check.h"
#include "sample_disk_run.h"

namespace {

constexpr int kRecordings = 2000;
constexpr int kFileFatSize = 72;

// Every recording one HOJIN long in a block of its own, spread over the whole disk.
korvelo::sample::DiskDescription fullDisk() {
  korvelo::sample::DiskDescription disk;
  disk.fileFatSize = kFileFatSize;
  for (int slot = 0; slot < kRecordings; ++slot) {
    korvelo::sample::Recording recording;
    recording.slot = slot;
    recording.entryNumber = static_cast<uint16_t>(slot);
    recording.title = "Messung " + std::to_string(slot);
    recording.lengthSectors = 65;
    recording.blocks = {static_cast<uint32_t>(slot * 140)};
    disk.recordings.push_back(recording);
  }
  return disk;
}

double peakMemoryMiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_CheckFullDisk(benchmark::State& state) {
  korvelo::Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kFileFatSize);
  if (!disk.readDirectory(false) || disk.getEntries().size() != kRecordings) {
    state.SkipWithError("the sample disk's directory cannot be read");
    return;
  }
  int64_t blocks = 0;
  for (auto _ : state) {
    const korvelo::CheckReport report = korvelo::checkFileSystem(disk, {.deep = true});
    blocks = report.ownership.blockCount();
    benchmark::DoNotOptimize(report.findings.size());
  }
  state.counters["blocks"] = static_cast<double>(blocks);
  state.counters["peak_MiB"] = peakMemoryMiB();
}
BENCHMARK(BM_CheckFullDisk)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  return korvelo::bench::runOnSampleDisk(argc, argv, fullDisk(), "bench_file_system_check");
}
