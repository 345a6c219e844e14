// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/directory_entry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace korvelo {
namespace {

void putBigEndian(uint8_t* at, uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i, value >>= 8) at[i] = static_cast<uint8_t>(value);
}

class DirectoryEntryTest : public ::testing::Test {
 protected:
  DirectoryEntryTest() { std::memset(entry.getData(), 0, entry.getSize()); }
  uint8_t* image() { return entry.getData(); }
  void stamp(uint32_t day, uint16_t hour, uint16_t minute, uint32_t durationMs) {
    putBigEndian(image() + 40, day, 4);
    putBigEndian(image() + 44, hour, 2);
    putBigEndian(image() + 46, minute, 2);
    putBigEndian(image() + 152, durationMs, 4);
  }
  StartTime start() const { return entry.getStartTime(); }
  DirectoryEntry entry;
};

void expectStart(const StartTime& s, int year, int month, int day, int hour, int minute,
                 int weekday) {
  EXPECT_EQ(s.year, year);
  EXPECT_EQ(s.month, month);
  EXPECT_EQ(s.day, day);
  EXPECT_EQ(s.hour, hour);
  EXPECT_EQ(s.minute, minute);
  EXPECT_EQ(s.weekday, weekday);
}

TEST_F(DirectoryEntryTest, HoldsTheImageAndNoSectorYet) {
  EXPECT_EQ(entry.getSize(), 1536);
  EXPECT_EQ(entry.getSector(), -1);
}

TEST_F(DirectoryEntryTest, EntryNumberIsBigEndian) {
  image()[0] = 0x01;
  image()[1] = 0x02;
  EXPECT_EQ(entry.getEntryNumber(), 0x0102);
}

TEST_F(DirectoryEntryTest, StampAndStartOfAnEveningRecording) {
  stamp(54101, 20, 15, 5400000);
  EXPECT_EQ(entry.getStampTime(), 1167682500);
  expectStart(start(), 2007, 1, 1, 18, 45, 1);
  EXPECT_EQ(entry.getDurationMs() / 60000, 90u);
  EXPECT_EQ(entry.getDurationMs() / 1000 % 60, 0u);
}

TEST_F(DirectoryEntryTest, StartOnTheDayBeforeTheStamp) {
  stamp(54104, 0, 10, 1800000);
  expectStart(start(), 2007, 1, 3, 23, 40, 3);
}

TEST_F(DirectoryEntryTest, StampAtTheEpoch) {
  stamp(40587, 0, 0, 0);
  EXPECT_EQ(entry.getStampTime(), 0);
  expectStart(start(), 1970, 1, 1, 0, 0, 4);
}

TEST_F(DirectoryEntryTest, StartBeforeTheEpoch) {
  stamp(40587, 0, 0, 1800000);
  expectStart(start(), 1969, 12, 31, 23, 30, 3);
}

TEST_F(DirectoryEntryTest, EarliestStartIn1901) {
  // 1901-12-13 20:45:52 UTC is the smallest signed 32-bit second count (a Friday).
  stamp(15731, 20, 46, 8000);
  EXPECT_EQ(entry.getStampTime(), -2147483640);
  expectStart(start(), 1901, 12, 13, 20, 45, 5);
}

TEST_F(DirectoryEntryTest, LatestStartIn2038) {
  // 2038-01-19 03:14 UTC, a Tuesday, just below the largest signed 32-bit count.
  stamp(65442, 3, 14, 0);
  EXPECT_EQ(entry.getStampTime(), 2147483640);
  expectStart(start(), 2038, 1, 19, 3, 14, 2);
}

TEST_F(DirectoryEntryTest, StampsPast2038WrapTo1901) {
  // The stamp counts seconds modulo 2^32: one minute past 03:14 in 2038 is 1901.
  stamp(65442, 3, 15, 0);
  EXPECT_LT(entry.getStampTime(), 0);
  expectStart(start(), 1901, 12, 13, 20, 46, 5);
}

TEST_F(DirectoryEntryTest, StartBefore1901WrapsTo2038) {
  stamp(15731, 20, 46, 60000);
  expectStart(start(), 2038, 1, 19, 3, 13, 2);
}

TEST_F(DirectoryEntryTest, SizeAndWholeHojins) {
  putBigEndian(image() + 148, 6500, 4);
  EXPECT_EQ(entry.getSizeInBytes(), 3328000u);
  EXPECT_EQ(entry.getNumberOfHojins(), 100u);
  putBigEndian(image() + 148, 6564, 4);
  EXPECT_EQ(entry.getNumberOfHojins(), 100u);
}

TEST_F(DirectoryEntryTest, SizeIsComputedIn64Bits) {
  putBigEndian(image() + 148, 0xFFFFFFFFu, 4);
  EXPECT_EQ(entry.getSizeInBytes(), 0xFFFFFFFFull * 512);
}

TEST_F(DirectoryEntryTest, TitleEndsAtItsNul) {
  std::memcpy(image() + 4, "Tatort\0Rest", 11);
  EXPECT_EQ(entry.getTitle(), "Tatort");
}

TEST_F(DirectoryEntryTest, TitleWithoutNulEndsWithItsField) {
  std::memset(image() + 4, 'A', 36);
  putBigEndian(image() + 40, 0x41414141, 4);  // the stamp follows without a NUL
  EXPECT_EQ(entry.getTitle(), std::string(36, 'A'));
}

TEST_F(DirectoryEntryTest, TitleKeepsLatin1AndControlBytes) {
  std::memcpy(image() + 4, "M\xE4rz\n", 6);
  EXPECT_EQ(entry.getTitle(), "M\xE4rz\n");
}

TEST_F(DirectoryEntryTest, SecondTextEndsAtItsNul) {
  std::memcpy(image() + 180, "Krimi\0x", 7);
  EXPECT_EQ(entry.getSecondText(), "Krimi");
}

TEST_F(DirectoryEntryTest, SecondTextWithoutNulEndsWithTheImage) {
  std::memset(image() + 180, 'b', 1536 - 180);
  EXPECT_EQ(entry.getSecondText(), std::string(1356, 'b'));
}

}  // namespace
}  // namespace korvelo
