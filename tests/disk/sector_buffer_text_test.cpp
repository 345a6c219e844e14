// SPDX-License-Identifier: GPL-3.0-or-later
// Byte order of the recorder's numbers, the text helpers and the system's reasons.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>

#include "disk/sector_buffer.h"
#include "disk/system_reason.h"
#include "disk/text.h"

namespace korvelo {
namespace {

TEST(SectorBufferTest, WordsAreHostOrderAndSwapGivesTheDiskValue) {
  SectorBuffer buffer(512);
  EXPECT_EQ(buffer.getSector(), -1);
  EXPECT_EQ(buffer.getSize(), 512);
  uint8_t bytes[512] = {0x00, 0x05, 0x12, 0x34, 0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_EQ(buffer.copyFrom(bytes), 512);
  EXPECT_EQ(buffer.getWord(0), 0x0500);
  EXPECT_EQ(SectorBuffer::swap16(buffer.getWord(0)), 5);
  EXPECT_EQ(buffer.getWord(1), 0x3412);
  EXPECT_EQ(SectorBuffer::swap32(0x12345678u), 0x78563412u);
  EXPECT_EQ(buffer.bigEndian16(2), 0x1234);
  EXPECT_EQ(buffer.bigEndian32(4), 0xDEADBEEFu);
  buffer.setSector(8388608);
  EXPECT_EQ(buffer.getSector(), 8388608);
}

struct GroupingCase {
  int64_t value;
  const char* text;
};

class FormatThousandsTest : public ::testing::TestWithParam<GroupingCase> {};

TEST_P(FormatThousandsTest, GroupsDigitsFromTheRight) {
  EXPECT_EQ(formatThousands(GetParam().value, '.'), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, FormatThousandsTest,
                         ::testing::Values(GroupingCase{0, "0"}, GroupingCase{7, "7"},
                                           GroupingCase{999, "999"}, GroupingCase{1000, "1.000"},
                                           GroupingCase{1000000, "1.000.000"},
                                           GroupingCase{6662704, "6.662.704"},
                                           GroupingCase{160039272960, "160.039.272.960"},
                                           GroupingCase{std::numeric_limits<int64_t>::max(),
                                                        "9.223.372.036.854.775.807"},
                                           GroupingCase{-100, "-100"},
                                           GroupingCase{-1000, "-1.000"}));

TEST(FormatThousandsTest, LargestValueHasTwentyFiveCharacters) {
  EXPECT_EQ(formatThousands(std::numeric_limits<int64_t>::max(), '.').size(), 25u);
  EXPECT_EQ(formatThousands(1234567, ' '), "1 234 567");
}

TEST(FilterPrintableTest, DropsControlCodesInBothHalves) {
  EXPECT_EQ(filterPrintable("Tagesschau\n"), "Tagesschau");
  EXPECT_EQ(filterPrintable("\x01\x02\x1f\r\n"), "");
  EXPECT_EQ(filterPrintable(""), "");
  EXPECT_EQ(filterPrintable("M\xE4rz"), "M\xE4rz");
  EXPECT_EQ(filterPrintable("a\x85"
                            "b\x9f"
                            "c\xa0"
                            "d\x7f"),
            "abc\xa0"
            "d\x7f");
  EXPECT_EQ(filterPrintable(std::string("vor\0nach", 8)), "vor");
}

TEST(FilterPrintableTest, LooksAtNoMoreThan512Characters) {
  EXPECT_EQ(filterPrintable(std::string(600, 'a')), std::string(512, 'a'));
  // Dropped characters count towards the 512 as well.
  EXPECT_EQ(filterPrintable(std::string(10, '\x01') + std::string(600, 'a')),
            std::string(502, 'a'));
}

TEST(TextTest, Latin1BecomesUtf8) {
  EXPECT_EQ(latin1ToUtf8("M\xE4rz \xDF\xFF"), "M\xC3\xA4rz \xC3\x9F\xC3\xBF");
  EXPECT_EQ(latin1ToUtf8("plain"), "plain");
}

TEST(TextTest, FormatsLikePrintf) {
  EXPECT_EQ(textf("  Konnte nicht auf das Laufwerk %c zugreifen.", '5'),
            "  Konnte nicht auf das Laufwerk 5 zugreifen.");
  EXPECT_EQ(textf("%s", std::string(5000, 'x').c_str()).size(), 5000u);
  EXPECT_EQ(textf("%s", ""), "");
}

// The reasons are German and the same on every machine, whatever locales it has.
TEST(SystemReasonTest, NamesTheErrorInGermanOrByNumber) {
  const std::pair<int, const char*> cases[] = {
      {EACCES, "Keine Berechtigung"},
      {ENOENT, "Datei oder Ordner gibt es nicht"},
      {ENOSPC, "Kein Platz mehr auf dem Gerät"},
      {EROFS, "Nur lesbares Dateisystem"},
      {EHOSTDOWN, "Systemfehler 112 (EHOSTDOWN)"},
      {9999, "Systemfehler 9999"},
  };
  for (const auto& [error, text] : cases) EXPECT_EQ(systemReason(error), text) << error;
}

}  // namespace
}  // namespace korvelo
