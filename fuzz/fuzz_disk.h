// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An in-memory recorder disk for the fuzz targets: a fixed size, zeros everywhere but
// in the pieces the input lays down, and optionally one byte range whose reads fail
// with EIO. It is put into the drive table as drive "0" for the length of one input.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "disk/byte_source.h"

namespace korvelo::fuzz {

class FuzzDisk {
 public:
  explicit FuzzDisk(int64_t sizeBytes) : size_(sizeBytes) {}

  // Lays bytes down at a byte offset; pieces must not overlap. Bytes past the end of
  // the disk are kept but never read.
  void put(int64_t offset, std::span<const uint8_t> bytes);
  // Reads touching [begin, end) fail with EIO.
  void failBetween(int64_t begin, int64_t end);

  int64_t read(int64_t offset, std::span<uint8_t> buffer) const;
  int64_t size() const { return size_; }
  // How many reads reached the disk, so that a target can prove none happened.
  int64_t readCalls() const { return readCalls_; }

 private:
  int64_t size_;
  std::map<int64_t, std::vector<uint8_t>> pieces_;  // offset -> bytes
  int64_t failBegin_ = 0, failEnd_ = 0;
  mutable int64_t readCalls_ = 0;
};

// Installs `disk` as drive "0" and puts the machine's disks back when destroyed.
class InstalledDisk {
 public:
  explicit InstalledDisk(std::shared_ptr<const FuzzDisk> disk);
  ~InstalledDisk();
  InstalledDisk(const InstalledDisk&) = delete;
  InstalledDisk& operator=(const InstalledDisk&) = delete;
};

// Takes numbers off the front of a fuzz input, big-endian; zeros once it is used up.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : rest_(data, size) {}
  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  uint64_t u64();
  // Up to `count` bytes (fewer at the end of the input).
  std::span<const uint8_t> bytes(size_t count);
  std::span<const uint8_t> rest() const { return rest_; }

 private:
  std::span<const uint8_t> rest_;
};

// The A-sector of a HOJIN: signature, position field 65 (number - 1) (0 at a recording's
// start) and `second` as the number at offset 56; the rest zeros.
std::vector<uint8_t> headSector(uint32_t number, uint32_t second);

// Stops the run with a message on standard error: a broken invariant is a finding.
[[noreturn]] void fail(const char* what);
#define KORVELO_FUZZ_CHECK(condition) \
  ((condition) ? (void)0 : ::korvelo::fuzz::fail(#condition " at " __FILE__ ":" KORVELO_FUZZ_LINE))
#define KORVELO_FUZZ_STR2(x) #x
#define KORVELO_FUZZ_STR(x) KORVELO_FUZZ_STR2(x)
#define KORVELO_FUZZ_LINE KORVELO_FUZZ_STR(__LINE__)

}  // namespace korvelo::fuzz
