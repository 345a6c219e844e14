// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading back files the tests made or the program wrote, for byte-exact comparisons.
//
//   readFileBytes(path)   the whole file (throws std::runtime_error when unreadable)
//   writeFileBytes(path, bytes)  creates or replaces a small file (throws on failure)
//   fileSize(path)        size in bytes, -1 when the file does not exist
//   sha256Hex(bytes)      SHA-256 as 64 lower-case hex digits
//   sha256OfFile(path)    the same over a file's content, read in pieces (large files welcome)
//   fnv1a64(bytes)        a quick 64-bit FNV-1a hash
//   createSparseFile(path, size)      an all-zero file of that size taking no space
//   writeBytesAt(path, offset, bytes) overwrites bytes inside an existing file

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvelo::test {

std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, std::span<const uint8_t> bytes);
int64_t fileSize(const std::string& path);

std::string sha256Hex(std::span<const uint8_t> bytes);
std::string sha256OfFile(const std::string& path);
uint64_t fnv1a64(std::span<const uint8_t> bytes);

// Both throw std::runtime_error naming the path when the system refuses.
void createSparseFile(const std::string& path, int64_t sizeBytes);
void writeBytesAt(const std::string& path, int64_t offset, std::span<const uint8_t> bytes);

}  // namespace korvelo::test
