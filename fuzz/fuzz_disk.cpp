// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz_disk.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "disk/drive_table.h"

namespace korvelo::fuzz {
namespace {

class FuzzSource final : public ByteSource {
 public:
  explicit FuzzSource(std::shared_ptr<const FuzzDisk> disk) : disk_(std::move(disk)) {}
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override {
    return disk_->read(offset, buffer);
  }
  MediaInfo mediaInfo() const override { return MediaInfo{MediaKind::Fixed, 512, disk_->size()}; }

 private:
  std::shared_ptr<const FuzzDisk> disk_;
};

}  // namespace

void FuzzDisk::put(int64_t offset, std::span<const uint8_t> bytes) {
  if (bytes.empty() || offset < 0) return;
  pieces_[offset] = std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void FuzzDisk::failBetween(int64_t begin, int64_t end) {
  failBegin_ = begin;
  failEnd_ = end;
}

int64_t FuzzDisk::read(int64_t offset, std::span<uint8_t> buffer) const {
  ++readCalls_;
  if (offset < 0) return -EINVAL;
  if (offset >= size_) return 0;
  const int64_t length = std::min<int64_t>(static_cast<int64_t>(buffer.size()), size_ - offset);
  const int64_t end = offset + length;
  if (offset < failEnd_ && failBegin_ < end) return -EIO;
  std::memset(buffer.data(), 0, static_cast<size_t>(length));
  // Only the piece reaching into the range from before it and those starting inside it.
  auto piece = pieces_.upper_bound(offset);
  if (piece != pieces_.begin()) --piece;
  for (; piece != pieces_.end() && piece->first < end; ++piece) {
    const auto& [pieceOffset, bytes] = *piece;
    const int64_t from = std::max(offset, pieceOffset);
    const int64_t to = std::min(end, pieceOffset + static_cast<int64_t>(bytes.size()));
    if (from >= to) continue;
    std::memcpy(buffer.data() + (from - offset), bytes.data() + (from - pieceOffset),
                static_cast<size_t>(to - from));
  }
  return length;
}

InstalledDisk::InstalledDisk(std::shared_ptr<const FuzzDisk> disk) {
  DriveSpec driveSpec;
  driveSpec.path = "fuzz";
  driveSpec.factory = [disk]() -> std::unique_ptr<ByteSource> {
    return std::make_unique<FuzzSource>(disk);
  };
  DriveTable::useDrives({driveSpec});
}

InstalledDisk::~InstalledDisk() {
  DriveTable::useMachineDisks();
}

uint8_t InputReader::u8() {
  if (rest_.empty()) return 0;
  const uint8_t value = rest_[0];
  rest_ = rest_.subspan(1);
  return value;
}

// The operands of | are unsequenced, so each half is taken in its own statement.
uint16_t InputReader::u16() {
  const unsigned high = u8();
  return static_cast<uint16_t>((high << 8) | u8());
}

uint32_t InputReader::u32() {
  const uint32_t high = u16();
  return (high << 16) | u16();
}

uint64_t InputReader::u64() {
  const uint64_t high = u32();
  return (high << 32) | u32();
}

std::span<const uint8_t> InputReader::bytes(size_t count) {
  const std::span<const uint8_t> taken = rest_.first(std::min(count, rest_.size()));
  rest_ = rest_.subspan(taken.size());
  return taken;
}

std::vector<uint8_t> headSector(uint32_t number, uint32_t second) {
  static constexpr uint8_t kSignature[20] = {'[', 'H', 'O', 'J', 'I', 'N', ' ', 'A', 0,    0,
                                             2,   0,   0,   0,   0,   0,   0,   0,   0x80, 0};
  std::vector<uint8_t> sector(512, 0);
  std::memcpy(sector.data(), kSignature, sizeof kSignature);
  const uint32_t position = (number - 1) * 65;
  for (int i = 0; i < 4; ++i) {
    sector[size_t(32 + i)] = static_cast<uint8_t>(position >> (24 - 8 * i));
    sector[size_t(56 + i)] = static_cast<uint8_t>(second >> (24 - 8 * i));
  }
  return sector;
}

void fail(const char* what) {
  std::fprintf(stderr, "korvelo fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace korvelo::fuzz
