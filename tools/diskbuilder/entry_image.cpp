// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskbuilder/entry_image.h"

#include <algorithm>
#include <string>

#include "diskbuilder/layout.h"

namespace korvelo::sample {

namespace {

constexpr size_t kTitleOffset = 4;
constexpr size_t kTitleBytes = 36;
constexpr size_t kStampDayOffset = 40;
constexpr size_t kStampHourOffset = 44;
constexpr size_t kStampMinuteOffset = 46;
constexpr size_t kLengthOffset = 148;
constexpr size_t kDurationOffset = 152;
constexpr size_t kSecondTextOffset = 180;

void putBig16(std::vector<uint8_t>& image, size_t offset, uint16_t value) {
  image[offset] = static_cast<uint8_t>(value >> 8);
  image[offset + 1] = static_cast<uint8_t>(value);
}

void putBig32(std::vector<uint8_t>& image, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) image[offset + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// Never zero, never 0xFF, and shifted by the seed so neighbouring entries differ.
std::vector<uint8_t> patternImage(unsigned seed) {
  std::vector<uint8_t> image(kEntryImageBytes);
  for (size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<uint8_t>((i * 29 + seed * 7 + 0x41) % 253 + 1);
  }
  return image;
}

// Copies text into the field; a NUL follows when there is room for it.
void putText(std::vector<uint8_t>& image, size_t offset, size_t fieldBytes,
             const std::string& text) {
  const size_t count = std::min(text.size(), fieldBytes);
  std::copy_n(text.begin(), count, image.begin() + offset);
  if (count < fieldBytes) image[offset + count] = 0;
}

}  // namespace

std::vector<uint8_t> entryImage(const Recording& recording) {
  std::vector<uint8_t> image = patternImage(recording.entryNumber);
  putBig16(image, 0, recording.entryNumber);
  putText(image, kTitleOffset, kTitleBytes, recording.title);
  putBig32(image, kStampDayOffset, recording.stampDay);
  putBig16(image, kStampHourOffset, recording.stampHour);
  putBig16(image, kStampMinuteOffset, recording.stampMinute);
  putBig32(image, kLengthOffset, recording.lengthSectors);
  putBig32(image, kDurationOffset, recording.durationMs);
  putText(image, kSecondTextOffset, kEntryImageBytes - kSecondTextOffset, recording.secondText);
  return image;
}

std::vector<uint8_t> emptySlotImage(int slot) {
  std::vector<uint8_t> image = patternImage(static_cast<unsigned>(slot) + 0x5000);
  image[0] = 0xFF;
  image[1] = 0xFF;
  return image;
}

}  // namespace korvelo::sample
