#include "recfs/recfs_fixture.h"

#include <cerrno>
#include <stdexcept>

#include "recfs/status_text.h"

namespace korvelo::test {

int64_t LoggingSource::readAt(int64_t offset, std::span<uint8_t> buffer) {
  log_->push_back(offset);
  const int64_t first = offset / 512;
  const int64_t last = (offset + static_cast<int64_t>(buffer.size()) - 1) / 512;
  const auto bad = bad_->lower_bound(first);
  if (bad != bad_->end() && *bad <= last) return -EIO;
  return inner_->readAt(offset, buffer);
}

sample::Recording recordingIn(int slot, std::vector<uint32_t> blocks, uint32_t hojins) {
  sample::Recording recording;
  recording.slot = slot;
  recording.entryNumber = static_cast<uint16_t>(slot);
  recording.title = "Aufnahme " + std::to_string(slot);
  recording.blocks = std::move(blocks);
  recording.lengthSectors = hojins * 65;
  recording.durationMs = 60000;
  return recording;
}

SampleDisk::SampleDisk(const sample::DiskDescription& description, BadSectors bad)
    : path_(dir_.file("recorder.img")), bad_(std::make_shared<BadSectors>(std::move(bad))) {
  sample::buildDisk(description, path_);
  DriveSpec driveSpec;
  driveSpec.path = path_;
  driveSpec.factory = [path = path_, log = log_, bad = bad_]() -> std::unique_ptr<ByteSource> {
    std::unique_ptr<ByteSource> inner = openPathSource(path);
    if (!inner) return nullptr;
    return std::make_unique<LoggingSource>(std::move(inner), log, bad);
  };
  drives_.emplace(std::vector<DriveSpec>{driveSpec});
}

int64_t SampleDisk::readsAt(int64_t sector) const {
  int64_t count = 0;
  for (int64_t offset : *log_) count += offset == sector * 512 ? 1 : 0;
  return count;
}

std::vector<std::string> statusLines() {
  std::vector<std::string> lines;
  const std::string& text = statusText();
  if (text.empty()) return lines;
  size_t begin = 0;
  for (;;) {
    const size_t end = text.find("\r\n", begin);
    lines.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
    if (end == std::string::npos) break;
    begin = end + 2;
  }
  return lines;
}

}  // namespace korvelo::test
