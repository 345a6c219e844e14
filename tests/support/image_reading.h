// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain reads of a built image for the builder's own tests: no builder helper is used to read.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvelo::sample::testing {

inline std::vector<uint8_t> readBytes(const std::string& path, int64_t sector, size_t bytes) {
  std::vector<uint8_t> data(bytes);
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return {};
  const ssize_t got = ::pread(fd, data.data(), bytes, static_cast<off_t>(sector * 512));
  ::close(fd);
  if (got != static_cast<ssize_t>(bytes)) return {};
  return data;
}

inline std::vector<uint8_t> readSector(const std::string& path, int64_t sector) {
  return readBytes(path, sector, 512);
}

inline uint32_t big32(const std::vector<uint8_t>& data, size_t offset) {
  return uint32_t{data[offset]} << 24 | uint32_t{data[offset + 1]} << 16 |
         uint32_t{data[offset + 2]} << 8 | data[offset + 3];
}

inline uint16_t big16(const std::vector<uint8_t>& data, size_t offset) {
  return static_cast<uint16_t>(data[offset] << 8 | data[offset + 1]);
}

// A scratch image path, removed again with the object.
class ScratchImage {
 public:
  explicit ScratchImage(const std::string& name)
      : path_(std::string(::testing::TempDir()) + "korvelo_builder_" + name + "_" +
              std::to_string(::getpid()) + ".img") {}
  ~ScratchImage() { ::unlink(path_.c_str()); }
  ScratchImage(const ScratchImage&) = delete;
  ScratchImage& operator=(const ScratchImage&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace korvelo::sample::testing
