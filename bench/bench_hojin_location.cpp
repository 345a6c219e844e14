// SPDX-License-Identifier: GPL-3.0-or-later
// How long locating a recording's HOJINs takes per HOJIN, for a short recording and
// for a long one with a large file FAT, and how cheap the HOJIN head checks are.
// Builds a sparse sample disk in a temporary folder and removes it afterwards.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "disk/drive_table.h"
#include "diskbuilder/disk_builder.h"
#include "recfs/fsr5000_disk.h"
#include "recfs/hojin_buffer.h"
#include "sample_disk_run.h"

namespace {

using korvelo::Fsr5000Disk;
using korvelo::HojinBuffer;

constexpr int kFileFatSize = 114;
constexpr int kLongEntry = 0;
constexpr int kShortEntry = 1;

// A recording's blocks in runs of seven with a one-block gap, from `firstBlock` on.
korvelo::sample::Recording fragmentedRecording(int slot, uint32_t hojins, uint32_t firstBlock) {
  korvelo::sample::Recording recording;
  recording.slot = slot;
  recording.entryNumber = static_cast<uint16_t>(slot);
  recording.title = "Messung " + std::to_string(slot);
  // Only the first HOJIN's data is written; the location needs the file FAT only.
  recording.lengthSectors = 65;
  const uint32_t blocks = (hojins + 15) / 16;
  for (uint32_t i = 0; i < blocks; ++i) recording.blocks.push_back(firstBlock + i + i / 7);
  return recording;
}

korvelo::sample::DiskDescription benchmarkDisk() {
  korvelo::sample::DiskDescription disk;
  disk.fileFatSize = kFileFatSize;
  disk.recordings.push_back(fragmentedRecording(kLongEntry, 60000, 0));
  disk.recordings.push_back(fragmentedRecording(kShortEntry, 16, 10000));
  return disk;
}

void locateEveryHojin(benchmark::State& state, int entryNumber) {
  const int hojins = static_cast<int>(state.range(0));
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kFileFatSize);
  if (disk.getSectorNumberOfHojin(entryNumber, hojins) < 0) {
    state.SkipWithError("the sample disk does not hold the recording");
    return;
  }
  for (auto _ : state) {
    for (int k = 1; k <= hojins; ++k) {
      benchmark::DoNotOptimize(disk.getSectorNumberOfHojin(entryNumber, k));
    }
  }
  state.SetItemsProcessed(state.iterations() * hojins);
}

void BM_LocateShortRecording(benchmark::State& state) {
  locateEveryHojin(state, kShortEntry);
}
BENCHMARK(BM_LocateShortRecording)->Arg(16);

void BM_LocateLongRecording(benchmark::State& state) {
  locateEveryHojin(state, kLongEntry);
}
BENCHMARK(BM_LocateLongRecording)->Arg(60000)->Unit(benchmark::kMillisecond);

// The last HOJIN of the long recording alone: the worst place for a bit scan.
void BM_LocateLastHojinOfLongRecording(benchmark::State& state) {
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(kFileFatSize);
  for (auto _ : state) benchmark::DoNotOptimize(disk.getSectorNumberOfHojin(kLongEntry, 60000));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LocateLastHojinOfLongRecording);

void fillGoodHead(HojinBuffer& hojin) {
  static const uint8_t head[20] = {'[', 'H', 'O', 'J', 'I', 'N', ' ', 'A', 0,    0,
                                   2,   0,   0,   0,   0,   0,   0,   0,   0x80, 0};
  std::memset(hojin.getData(), 0x5A, hojin.getSize());
  std::memcpy(hojin.getData(), head, sizeof head);
  std::memset(hojin.getData() + 32, 0, 4);
}

void BM_HojinHeadChecks(benchmark::State& state) {
  HojinBuffer hojin;
  fillGoodHead(hojin);
  for (auto _ : state) {
    benchmark::DoNotOptimize(hojin.hasSignature());
    benchmark::DoNotOptimize(hojin.isRecordingStart());
    benchmark::DoNotOptimize(hojin.getInternalNumber());
    benchmark::DoNotOptimize(hojin.getInternalNumber2());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HojinHeadChecks);

void BM_HojinHeadDump(benchmark::State& state) {
  HojinBuffer hojin;
  fillGoodHead(hojin);
  hojin.setSector(6664705);
  for (auto _ : state) benchmark::DoNotOptimize(hojin.dumpHead());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HojinHeadDump);

}  // namespace

int main(int argc, char** argv) {
  return korvelo::bench::runOnSampleDisk(argc, argv, benchmarkDisk(), "bench_hojin_location");
}
