// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/hav_head.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace korvelo {
namespace {

uint64_t littleAt(const HavHead& head, int offset, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | head.getData()[offset + i];
  return value;
}

std::vector<uint8_t> bytesOf(const HavHead& head, int from, int to) {
  return std::vector<uint8_t>(head.getData() + from, head.getData() + to);
}

TEST(HavHead, TemplateHoldsOnlyTheTwoFixedNumbers) {
  const HavHead head;
  std::vector<uint8_t> expected(88, 0);
  expected[0] = 0x71;
  expected[17] = 0x06;
  EXPECT_EQ(head.getSize(), 88);
  EXPECT_EQ(bytesOf(head, 0, 88), expected);
}

TEST(HavHead, SizesOfAHundredHojinRecording) {
  HavHead head;
  ASSERT_TRUE(head.setSizes(1536 + 6500 * 512));
  EXPECT_EQ(littleAt(head, 8, 8), 3329536u);
  EXPECT_EQ(littleAt(head, 32, 8), 3328000u);
  EXPECT_EQ(littleAt(head, 84, 4), 3250u);
  EXPECT_EQ(littleAt(head, 16, 4), 1536u);
}

TEST(HavHead, KilobytesAreTruncatedAndSizesBeyondFourGigabytesKeepTheirHighBytes) {
  HavHead head;
  const int64_t data = (int64_t{5} << 32) + 1023;
  ASSERT_TRUE(head.setSizes(1536 + data));
  EXPECT_EQ(littleAt(head, 32, 8), static_cast<uint64_t>(data));
  EXPECT_EQ(littleAt(head, 84, 4), static_cast<uint64_t>(data / 1024) & 0xFFFFFFFFu);
}

TEST(HavHead, LongTitleIsCutToThirtyThreeBytesAndStaysTerminated) {
  HavHead head;
  const std::string title = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";  // 40 characters
  ASSERT_TRUE(head.setTitle(title));
  std::vector<uint8_t> expected(title.begin(), title.begin() + 33);
  expected.push_back(0);
  EXPECT_EQ(bytesOf(head, 46, 80), expected);
}

TEST(HavHead, ShortTitleIsFollowedByZerosAndReplacesALongerOne) {
  HavHead head;
  ASSERT_TRUE(head.setTitle("a much longer title than the next one"));
  ASSERT_TRUE(head.setTitle("Krimi"));
  std::vector<uint8_t> expected(34, 0);
  std::memcpy(expected.data(), "Krimi", 5);
  EXPECT_EQ(bytesOf(head, 46, 80), expected);
  EXPECT_EQ(head.getData()[45], 0);
  EXPECT_EQ(head.getData()[80], 0);
}

TEST(HavHead, DurationInWholeSeconds) {
  HavHead head;
  ASSERT_TRUE(head.setDuration(5400999 / 1000));
  EXPECT_EQ(littleAt(head, 80, 4), 5400u);
}

}  // namespace
}  // namespace korvelo
