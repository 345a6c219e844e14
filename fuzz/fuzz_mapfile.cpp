// SPDX-License-Identifier: GPL-3.0-or-later
// Rescue mapfiles from fuzzed text: a mapfile that parses must give sorted, merged,
// non-empty finished areas, and a read through it must succeed exactly where every
// byte it touches lies in one finished area and inside the image.

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "disk/mapfile_source.h"
#include "fuzz_disk.h"

using namespace korvelo;
using korvelo::fuzz::FuzzDisk;

namespace {

class DiskSource final : public ByteSource {
 public:
  explicit DiskSource(std::shared_ptr<const FuzzDisk> disk) : disk_(std::move(disk)) {}
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override {
    return disk_->read(offset, buffer);
  }
  MediaInfo mediaInfo() const override { return MediaInfo{MediaKind::Fixed, 512, disk_->size()}; }

 private:
  std::shared_ptr<const FuzzDisk> disk_;
};

// Whether one finished area covers [begin, end), by looking at every area.
bool coveredByOneArea(const FinishedAreas& areas, int64_t begin, int64_t end) {
  if (begin >= end) return true;
  for (const auto& [first, last] : areas) {
    if (first <= begin && end <= last) return true;
  }
  return false;
}

std::vector<int64_t> probeOffsets(const FinishedAreas& areas) {
  std::vector<int64_t> offsets = {0, 1, 511, 512};
  for (const auto& [first, last] : areas) {
    for (int64_t at : {first - 1, first, first + 1, last - 513, last - 512, last - 1, last}) {
      // Callers never read beyond the largest 64-bit byte position.
      if (at >= 0 && at < INT64_MAX - 4096) offsets.push_back(at);
    }
    if (offsets.size() > 64) break;
  }
  return offsets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream text(std::string(reinterpret_cast<const char*>(data), size));
  const std::optional<FinishedAreas> parsed = parseMapfile(text);
  if (!parsed) return 0;
  const FinishedAreas& areas = *parsed;

  int64_t previousEnd = -1;
  for (const auto& [first, last] : areas) {
    KORVELO_FUZZ_CHECK(first >= 0 && first < last);
    KORVELO_FUZZ_CHECK(first > previousEnd);  // touching areas are merged into one
    previousEnd = last;
  }

  // An image that ends inside the last area (or at 1 MiB when there is none).
  const int64_t imageBytes = areas.empty() ? (1 << 20) : std::max<int64_t>(1, previousEnd - 700);
  auto disk = std::make_shared<FuzzDisk>(imageBytes);
  MapfileSource source(std::make_unique<DiskSource>(disk), areas);
  std::vector<uint8_t> buffer(1024);
  for (int64_t offset : probeOffsets(areas)) {
    for (size_t length : {size_t{1}, size_t{512}, size_t{1024}}) {
      const int64_t end = offset + static_cast<int64_t>(length);
      const int64_t got = source.readAt(offset, std::span(buffer).first(length));
      const bool readable = end <= imageBytes && coveredByOneArea(areas, offset, end);
      KORVELO_FUZZ_CHECK(source.isFinished(offset, end) == coveredByOneArea(areas, offset, end));
      KORVELO_FUZZ_CHECK(readable ? got == static_cast<int64_t>(length) : got == -EIO);
    }
  }
  return 0;
}
