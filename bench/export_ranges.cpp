// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-bench-ranges: the byte ranges that the reference copies of bench/export_ratio.sh
// read, worked out from a disk description with the sample-disk builder's own layout (not
// the core's), and a plain in-process copy of such ranges as the strictest reference.
//
//   korvelo-bench-ranges recording (--preset bench|full [--bench-bytes N] [--full-bytes N] |
//                                   --json FILE) [--entry E]
//       one line "offset length" (bytes) per run of contiguous data in the recording's order
//   korvelo-bench-ranges recordings (the same description options)
//       the same for every recording, one after the other in entry order (what export --all reads)
//   korvelo-bench-ranges slots (the same description options)
//       the directory head sector, then the entry image (three sectors) of every slot in use
//   korvelo-bench-ranges probe [--json FILE]
//       the 255 A-sectors that a File-FAT-Size probe reads, one line each
//   korvelo-bench-ranges fat255 [--json FILE]
//       the description (demo preset unless --json) as JSON with File-FAT-Size 255
//   korvelo-bench-ranges copy IMAGE OUTPUT < ranges
//       appends each range of IMAGE to OUTPUT in 1 MiB pieces, then syncs OUTPUT's data

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "diskbuilder/description_json.h"
#include "diskbuilder/layout.h"
#include "diskbuilder/presets.h"

namespace {

using korvelo::sample::DiskDescription;
using korvelo::sample::Recording;

struct Range {
  int64_t offset = 0;
  int64_t length = 0;
};

struct Arguments {
  std::string mode;
  std::string preset = "demo";
  uint64_t benchBytes = 1ULL << 30;
  uint64_t fullBytes = 256ULL << 20;
  std::string jsonPath;
  int entry = 0;
  std::vector<std::string> positional;
};

Arguments parse(int argc, char** argv) {
  if (argc < 2)
    throw std::runtime_error("no mode given (recording, recordings, slots, probe, fat255, copy)");
  Arguments args;
  args.mode = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(word + " needs a value");
      return argv[++i];
    };
    if (word == "--preset")
      args.preset = value();
    else if (word == "--bench-bytes")
      args.benchBytes = std::stoull(value());
    else if (word == "--full-bytes")
      args.fullBytes = std::stoull(value());
    else if (word == "--json")
      args.jsonPath = value();
    else if (word == "--entry")
      args.entry = std::stoi(value());
    else
      args.positional.push_back(word);
  }
  return args;
}

DiskDescription description(const Arguments& args) {
  if (!args.jsonPath.empty()) {
    std::ifstream in(args.jsonPath, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + args.jsonPath);
    std::ostringstream text;
    text << in.rdbuf();
    return korvelo::sample::descriptionFromJson(text.str());
  }
  if (args.preset == "bench") return korvelo::sample::benchDisk(args.benchBytes);
  if (args.preset == "full") return korvelo::sample::fullDisk(args.fullBytes);
  return korvelo::sample::demoDisk();
}

// The recording's sectors in file-FAT order (ascending blocks), merged where blocks touch,
// cut at its length: exactly the bytes an export appends after head and entry image.
std::vector<Range> recordingRanges(const DiskDescription& disk, const Recording& recording) {
  using namespace korvelo::sample;
  std::vector<uint32_t> blocks = recording.blocks;
  std::sort(blocks.begin(), blocks.end());
  std::vector<Range> ranges;
  int64_t sectorsLeft = recording.lengthSectors;
  for (uint32_t block : blocks) {
    if (sectorsLeft <= 0) break;
    const int64_t sectors = std::min<int64_t>(sectorsLeft, kSectorsPerBlock);
    const int64_t offset = blockSector(disk.model, disk.fileFatSize, block) * kSectorBytes;
    sectorsLeft -= sectors;
    if (!ranges.empty() && ranges.back().offset + ranges.back().length == offset) {
      ranges.back().length += sectors * kSectorBytes;
    } else {
      ranges.push_back(Range{offset, sectors * kSectorBytes});
    }
  }
  return ranges;
}

const Recording& recordingOf(const DiskDescription& disk, int entry) {
  for (const Recording& recording : disk.recordings)
    if (recording.entryNumber == entry) return recording;
  throw std::runtime_error("no recording with entry number " + std::to_string(entry));
}

std::vector<Range> allRecordingRanges(const DiskDescription& disk) {
  std::vector<const Recording*> recordings;
  for (const Recording& recording : disk.recordings) recordings.push_back(&recording);
  std::sort(recordings.begin(), recordings.end(),
            [](const Recording* a, const Recording* b) { return a->entryNumber < b->entryNumber; });
  std::vector<Range> ranges;
  for (const Recording* recording : recordings) {
    const std::vector<Range> own = recordingRanges(disk, *recording);
    ranges.insert(ranges.end(), own.begin(), own.end());
  }
  return ranges;
}

// What reading the directory cannot do with less: the head and the slots' entry images.
std::vector<Range> slotRanges(const DiskDescription& disk) {
  using namespace korvelo::sample;
  std::vector<int> slots;
  for (const Recording& recording : disk.recordings) slots.push_back(recording.slot);
  slots.insert(slots.end(), disk.emptySlots.begin(), disk.emptySlots.end());
  std::sort(slots.begin(), slots.end());
  std::vector<Range> ranges{{directoryHeadSector(disk.model) * kSectorBytes, kSectorBytes}};
  for (int slot : slots)
    ranges.push_back(Range{slotSector(disk.model, slot) * kSectorBytes, kEntryImageBytes});
  return ranges;
}

// The probe tries F = 1 ... 255 and reads the A-sector where each F puts the data area.
std::vector<Range> probeRanges(const DiskDescription& disk) {
  using namespace korvelo::sample;
  std::vector<Range> ranges;
  for (int size = 1; size <= 255; ++size)
    ranges.push_back(Range{dataAreaStart(disk.model, size) * kSectorBytes, kSectorBytes});
  return ranges;
}

void print(const std::vector<Range>& ranges) {
  for (const Range& range : ranges)
    std::printf("%lld %lld\n", static_cast<long long>(range.offset),
                static_cast<long long>(range.length));
}

void writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw std::runtime_error(std::string("write: ") + std::strerror(errno));
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void copyRanges(const std::string& imagePath, const std::string& outputPath) {
  const int in = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw std::runtime_error("cannot open " + imagePath);
  const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) throw std::runtime_error("cannot create " + outputPath);
  std::vector<uint8_t> buffer(1 << 20);
  long long offset = 0;
  long long length = 0;
  while (std::cin >> offset >> length) {
    while (length > 0) {
      const size_t piece = static_cast<size_t>(std::min<long long>(length, buffer.size()));
      const ssize_t got = ::pread(in, buffer.data(), piece, offset);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) throw std::runtime_error("read failed or ended early");
      writeAll(out, buffer.data(), static_cast<size_t>(got));
      offset += got;
      length -= got;
    }
  }
  // A character device such as /dev/null has nothing to sync.
  if (::fdatasync(out) != 0 && errno != EINVAL) throw std::runtime_error("fdatasync failed");
  ::close(out);
  ::close(in);
}

int run(const Arguments& args) {
  if (args.mode == "recording") {
    const DiskDescription disk = description(args);
    print(recordingRanges(disk, recordingOf(disk, args.entry)));
  } else if (args.mode == "recordings") {
    print(allRecordingRanges(description(args)));
  } else if (args.mode == "slots") {
    print(slotRanges(description(args)));
  } else if (args.mode == "probe") {
    print(probeRanges(description(args)));
  } else if (args.mode == "fat255") {
    DiskDescription disk = description(args);
    disk.fileFatSize = 255;
    std::cout << korvelo::sample::descriptionToJson(disk) << "\n";
  } else if (args.mode == "copy") {
    if (args.positional.size() != 2) throw std::runtime_error("copy needs IMAGE and OUTPUT");
    copyRanges(args.positional[0], args.positional[1]);
  } else {
    throw std::runtime_error("unknown mode " + args.mode);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(parse(argc, argv));
  } catch (const std::exception& error) {
    std::cerr << "korvelo-bench-ranges: " << error.what() << "\n";
    return 1;
  }
}
