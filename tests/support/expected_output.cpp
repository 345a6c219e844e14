// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/expected_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace korvelo::test {

namespace {

void putLittleEndian(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The texts as the recorder stores them: up to the first NUL, printable characters only.
std::string shown(const std::string& raw) {
  std::string kept;
  for (char c : raw) {
    if (c == '\0') break;
    if ((static_cast<unsigned char>(c) & 0x7F) >= 32) kept += c;
  }
  return utf8FromLatin1(kept);
}

std::vector<uint8_t> havHead(const sample::Recording& recording) {
  std::vector<uint8_t> head(88, 0);
  const uint64_t sizeBytes = uint64_t{recording.lengthSectors} * 512;
  putLittleEndian(head, 0, 113, 4);
  putLittleEndian(head, 8, 1536 + sizeBytes, 8);
  putLittleEndian(head, 16, 1536, 4);
  putLittleEndian(head, 32, sizeBytes, 8);
  for (size_t i = 0; i < recording.title.size() && i < 33 && recording.title[i] != '\0'; ++i)
    head[46 + i] = static_cast<uint8_t>(recording.title[i]);
  putLittleEndian(head, 80, recording.durationMs / 1000, 4);
  putLittleEndian(head, 84, sizeBytes / 1024, 4);
  return head;
}

std::vector<uint8_t> readImage(int fd, int64_t sector, size_t bytes) {
  std::vector<uint8_t> data(bytes);
  size_t done = 0;
  while (done < bytes) {
    const ssize_t got = ::pread(fd, data.data() + done, bytes - done, sector * 512 + done);
    if (got <= 0) throw std::runtime_error("image read failed");
    done += static_cast<size_t>(got);
  }
  return data;
}

}  // namespace

std::string utf8FromLatin1(const std::string& latin1) {
  std::string utf8;
  for (char c : latin1) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

std::string grouped(uint64_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ".");
  return digits;
}

std::string expectedListLine(const sample::Recording& recording) {
  char number[8];
  std::snprintf(number, sizeof number, "%04d", recording.entryNumber);
  return std::string(number) + "\t" + shown(recording.title) + "\t" + shown(recording.secondText) +
         "\t " + grouped(uint64_t{recording.lengthSectors} * 512) + " Bytes";
}

std::string expectedFileName(const sample::Recording& recording, bool withEntryNumber) {
  std::string name;
  if (withEntryNumber) {
    char number[8];
    std::snprintf(number, sizeof number, "%02d ", recording.entryNumber);
    name = number;
  }
  for (char c : shown(recording.title))
    if (std::string_view(":\\?*/").find(c) == std::string_view::npos) name += c;
  return name + ".hav";
}

std::string ExpectedStart::text() const {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
  return buffer;
}

time_t ExpectedStart::localInstant() const {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

std::string ExpectedStart::iso() const {
  const time_t instant = localInstant();
  std::tm local{};
  ::localtime_r(&instant, &local);
  const long offset = local.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:00%c%02ld:%02ld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return buffer;
}

ExpectedStart expectedStart(const sample::Recording& recording) {
  const int64_t stamp = (int64_t{recording.stampDay} - 40587) * 86400 + recording.stampHour * 3600 +
                        recording.stampMinute * 60;
  const time_t start = static_cast<time_t>(stamp - recording.durationMs / 1000);
  std::tm fields{};
  ::gmtime_r(&start, &fields);
  return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
          fields.tm_hour,        fields.tm_min,     fields.tm_wday == 0 ? 7 : fields.tm_wday};
}

bool isFragmented(const sample::DiskDescription& disk, const sample::Recording& recording) {
  const int hojins = static_cast<int>(sample::hojinCount(recording));
  for (int k = 1; k < hojins; ++k)
    if (sample::hojinSector(disk, recording, k + 1) != sample::hojinSector(disk, recording, k) + 65)
      return true;
  return false;
}

std::vector<uint8_t> expectedHavFile(const std::string& imagePath,
                                     const sample::DiskDescription& disk,
                                     const sample::Recording& recording) {
  std::vector<uint8_t> file = havHead(recording);
  const std::vector<uint8_t> entry = sample::entryImage(recording);
  file.insert(file.end(), entry.begin(), entry.end());
  const int fd = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + imagePath);
  uint32_t sectorsLeft = recording.lengthSectors;
  for (int k = 1; sectorsLeft > 0; ++k) {
    const uint32_t sectors = sectorsLeft < 65 ? sectorsLeft : 65;
    const std::vector<uint8_t> part =
        readImage(fd, sample::hojinSector(disk, recording, k), size_t{sectors} * 512);
    file.insert(file.end(), part.begin(), part.end());
    sectorsLeft -= sectors;
  }
  ::close(fd);
  return file;
}

std::string fileFingerprint(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  struct stat status {};
  ::fstat(fd, &status);
  uint64_t hash = 14695981039346656037ULL;
  auto mix = [&hash](const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 1099511628211ULL;
  };
  std::vector<uint8_t> buffer(1 << 20);
  off_t position = 0;
  while ((position = ::lseek(fd, position, SEEK_DATA)) >= 0) {
    const off_t end = ::lseek(fd, position, SEEK_HOLE);
    mix(reinterpret_cast<const uint8_t*>(&position), sizeof position);
    for (off_t at = position; at < end;) {
      const size_t want = std::min<size_t>(buffer.size(), static_cast<size_t>(end - at));
      const ssize_t got = ::pread(fd, buffer.data(), want, at);
      if (got <= 0) break;
      mix(buffer.data(), static_cast<size_t>(got));
      at += got;
    }
    position = end;
  }
  ::close(fd);
  return std::to_string(status.st_size) + "/" + std::to_string(status.st_mtim.tv_sec) + "." +
         std::to_string(status.st_mtim.tv_nsec) + "/" + std::to_string(hash);
}

}  // namespace korvelo::test
