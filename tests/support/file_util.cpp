// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/file_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace korvelo::test {
namespace {

class Sha256 {
 public:
  void update(const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      block_[blockUsed_++] = data[i];
      if (blockUsed_ == 64) {
        compress();
        blockUsed_ = 0;
      }
    }
    totalBytes_ += length;
  }

  std::string hexDigest() {
    const uint64_t totalBits = totalBytes_ * 8;
    const uint8_t one = 0x80, zero = 0;
    update(&one, 1);
    while (blockUsed_ != 56) update(&zero, 1);
    uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i) lengthBytes[i] = uint8_t(totalBits >> (56 - 8 * i));
    update(lengthBytes, 8);
    std::string hex;
    char digits[9];
    for (uint32_t word : state_) {
      std::snprintf(digits, sizeof digits, "%08x", word);
      hex += digits;
    }
    return hex;
  }

 private:
  static uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

  void compress() {
    static constexpr std::array<uint32_t, 64> k = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    std::array<uint32_t, 64> w{};
    for (int i = 0; i < 16; ++i) {
      w[i] = uint32_t(block_[4 * i]) << 24 | uint32_t(block_[4 * i + 1]) << 16 |
             uint32_t(block_[4 * i + 2]) << 8 | uint32_t(block_[4 * i + 3]);
    }
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::array<uint32_t, 8> v = state_;
    for (int i = 0; i < 64; ++i) {
      const uint32_t s1 = rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25);
      const uint32_t choose = (v[4] & v[5]) ^ (~v[4] & v[6]);
      const uint32_t t1 = v[7] + s1 + choose + k[i] + w[i];
      const uint32_t s0 = rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22);
      const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      const uint32_t t2 = s0 + majority;
      v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (int i = 0; i < 8; ++i) state_[i] += v[i];
  }

  std::array<uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<uint8_t, 64> block_{};
  size_t blockUsed_ = 0;
  uint64_t totalBytes_ = 0;
};

}  // namespace

std::vector<uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + path);
  return bytes;
}

void writeFileBytes(const std::string& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

int64_t fileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<int64_t>(size);
}

std::string sha256Hex(std::span<const uint8_t> bytes) {
  Sha256 hash;
  hash.update(bytes.data(), bytes.size());
  return hash.hexDigest();
}

std::string sha256OfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  Sha256 hash;
  std::vector<char> piece(1 << 20);
  while (in) {
    in.read(piece.data(), std::streamsize(piece.size()));
    hash.update(reinterpret_cast<const uint8_t*>(piece.data()), size_t(in.gcount()));
  }
  if (in.bad()) throw std::runtime_error("cannot read " + path);
  return hash.hexDigest();
}

uint64_t fnv1a64(std::span<const uint8_t> bytes) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (uint8_t byte : bytes) {
    hash ^= byte;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

namespace {

class WritableFile {
 public:
  WritableFile(const std::string& path, int flags) : path_(path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
    if (fd_ < 0) fail("cannot open");
  }
  ~WritableFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  WritableFile(const WritableFile&) = delete;
  WritableFile& operator=(const WritableFile&) = delete;
  int fd() const { return fd_; }
  [[noreturn]] void fail(const char* what) const {
    throw std::runtime_error(std::string(what) + " " + path_ + ": " + std::strerror(errno));
  }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace

void createSparseFile(const std::string& path, int64_t sizeBytes) {
  WritableFile file(path, O_CREAT | O_TRUNC);
  if (::ftruncate(file.fd(), static_cast<off_t>(sizeBytes)) != 0) file.fail("cannot size");
}

void writeBytesAt(const std::string& path, int64_t offset, std::span<const uint8_t> bytes) {
  WritableFile file(path, 0);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::pwrite(file.fd(), bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + int64_t(done)));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) file.fail("cannot write");
    done += size_t(put);
  }
}

}  // namespace korvelo::test
