// SPDX-License-Identifier: GPL-3.0-or-later
// The copy path in one process: a whole recording exported through HavExportJob's steps
// of 4 HOJINs (warnings off and on), against the plain copy of the same byte ranges with
// pread and write, in HOJIN-sized and in 1 MiB pieces. The sample disk (64 MiB of data in
// fragmented runs) and the copies live in a temporary folder; the image stays in the page
// cache after the first round, so this is the processor's share of an export.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "disk/drive_table.h"
#include "diskbuilder/disk_builder.h"
#include "diskbuilder/layout.h"
#include "diskbuilder/presets.h"
#include "export/hav_export_job.h"
#include "export/save_as_chooser.h"
#include "recfs/fsr5000_disk.h"

namespace {

using namespace korvelo;

constexpr uint64_t kRecordingBytes = 64ULL << 20;

struct Range {
  int64_t offset;
  int64_t length;
};

class Workspace {
 public:
  Workspace() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "korvelo-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    folder_ = pattern;
    description_ = sample::benchDisk(kRecordingBytes);
    sample::buildDisk(description_, image());
  }
  ~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  std::string image() const { return (folder_ / "bench.img").string(); }
  std::string target() const { return (folder_ / "copy.hav").string(); }
  int fileFatSize() const { return description_.fileFatSize; }

  // The recording's data as runs of touching blocks, in file-FAT order.
  std::vector<Range> ranges() const {
    const sample::Recording& recording = description_.recordings.at(0);
    std::vector<Range> runs;
    int64_t left = int64_t{recording.lengthSectors} * 512;
    for (uint32_t block : recording.blocks) {
      const int64_t offset =
          sample::blockSector(description_.model, description_.fileFatSize, block) * 512;
      const int64_t length = std::min<int64_t>(left, int64_t{sample::kSectorsPerBlock} * 512);
      left -= length;
      if (length == 0) break;
      if (!runs.empty() && runs.back().offset + runs.back().length == offset)
        runs.back().length += length;
      else
        runs.push_back({offset, length});
    }
    return runs;
  }

 private:
  std::filesystem::path folder_;
  sample::DiskDescription description_;
};

Workspace* workspace = nullptr;

class FixedChooser : public SaveAsChooser {
 public:
  explicit FixedChooser(std::string path) : path_(std::move(path)) {}
  SaveAsAnswer chooseSaveAs(const SaveAsRequest&) override {
    return SaveAsAnswer{SaveAsAnswer::Kind::Chosen, path_, 0};
  }

 private:
  std::string path_;
};

void BM_ExportJob(benchmark::State& state) {
  const bool warnings = state.range(0) != 0;
  Fsr5000Disk disk('0');
  disk.setSizeFileFAT(workspace->fileFatSize());
  if (!disk.readDirectory(false) || disk.getEntries().empty()) {
    state.SkipWithError("the sample disk has no directory");
    return;
  }
  FixedChooser chooser(workspace->target());
  uint64_t bytes = 0;
  for (auto _ : state) {
    HavExportJob job(disk);
    std::string folder = "/";
    job.prepareSave(*disk.getEntries()[0], chooser, nullptr, folder, 4, false);
    if (job.openFile() != 0) {
      state.SkipWithError("the target cannot be written");
      return;
    }
    while (!job.isFinished()) job.copyStep(!warnings);
    bytes = job.getBytesWritten();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ExportJob)->ArgName("warnings")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PlainCopy(benchmark::State& state) {
  const size_t piece = static_cast<size_t>(state.range(0));
  const std::vector<Range> ranges = workspace->ranges();
  std::vector<uint8_t> buffer(piece);
  const int in = ::open(workspace->image().c_str(), O_RDONLY | O_CLOEXEC);
  int64_t total = 0;
  for (auto _ : state) {
    const int out =
        ::open(workspace->target().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    total = 0;
    for (const Range& range : ranges) {
      for (int64_t done = 0; done < range.length;) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(piece, range.length - done));
        const ssize_t got = ::pread(in, buffer.data(), want, range.offset + done);
        if (got <= 0 || ::write(out, buffer.data(), static_cast<size_t>(got)) != got) {
          state.SkipWithError("plain copy failed");
          ::close(out);
          ::close(in);
          return;
        }
        done += got;
      }
      total += range.length;
    }
    ::fdatasync(out);
    ::close(out);
  }
  ::close(in);
  state.SetBytesProcessed(state.iterations() * total);
}
BENCHMARK(BM_PlainCopy)->ArgName("piece")->Arg(33280)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  try {
    Workspace space;
    workspace = &space;
    DriveTable::usePaths({space.image()});
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_copy_step: %s\n", failure.what());
    return 1;
  }
  return 0;
}
