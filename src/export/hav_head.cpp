// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/hav_head.h"

#include <algorithm>

namespace korvelo {
namespace {

constexpr int kMagicOffset = 0;
constexpr int kTotalOffset = 8;
constexpr int kEntrySizeOffset = 16;
constexpr int kRecordingSizeOffset = 32;
constexpr int kTitleOffset = 46;
constexpr int kTitleBytes = 33;  // byte 79 stays zero, so the title is always terminated
constexpr int kTitleFieldBytes = 34;
constexpr int kDurationOffset = 80;
constexpr int kKilobytesOffset = 84;

constexpr uint32_t kMagic = 113;

template <typename T>
void putLittleEndian(std::array<uint8_t, HavHead::kSize>& bytes, int offset, T value) {
  auto bits = static_cast<std::make_unsigned_t<T>>(value);
  for (size_t i = 0; i < sizeof(T); ++i) {
    bytes[offset + i] = static_cast<uint8_t>(bits & 0xFF);
    bits = static_cast<decltype(bits)>(bits >> 8);
  }
}

uint32_t getLittleEndian32(const std::array<uint8_t, HavHead::kSize>& bytes, int offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[offset + i];
  return value;
}

}  // namespace

HavHead::HavHead() {
  bytes_.fill(0);
  putLittleEndian(bytes_, kMagicOffset, kMagic);
  putLittleEndian(bytes_, kEntrySizeOffset, static_cast<uint32_t>(kEntryImageBytes));
}

bool HavHead::setSizes(int64_t total) {
  putLittleEndian(bytes_, kTotalOffset, total);
  const int64_t recordingBytes = total - getLittleEndian32(bytes_, kEntrySizeOffset);
  putLittleEndian(bytes_, kRecordingSizeOffset, recordingBytes);
  putLittleEndian(bytes_, kKilobytesOffset, static_cast<uint32_t>(recordingBytes / 1024));
  return true;
}

bool HavHead::setTitle(std::string_view title) {
  const size_t untilNul = std::min(title.find('\0'), title.size());
  const size_t copied = std::min<size_t>(untilNul, kTitleBytes);
  std::fill_n(bytes_.begin() + kTitleOffset, kTitleFieldBytes, 0);
  std::copy_n(title.begin(), copied, bytes_.begin() + kTitleOffset);
  return true;
}

bool HavHead::setDuration(uint32_t seconds) {
  putLittleEndian(bytes_, kDurationOffset, seconds);
  return true;
}

}  // namespace korvelo
