// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/file_naming.h"

#include <gtest/gtest.h>

#include "diskbuilder/entry_image.h"
#include "export/hav_export_job.h"

namespace korvelo {
namespace {

std::unique_ptr<DirectoryEntry> entryWith(uint16_t number, const std::string& title) {
  sample::Recording recording;
  recording.entryNumber = number;
  recording.title = title;
  recording.lengthSectors = 650;
  auto entry = std::make_unique<DirectoryEntry>();
  entry->copyFrom(sample::entryImage(recording).data());
  return entry;
}

struct NameCase {
  uint16_t entryNumber;
  std::string title;
  bool withNumber;
  std::string expected;
};

class ProposedNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProposedNames, FormedFromTheFilteredTitle) {
  const NameCase& c = GetParam();
  const ProposedName proposed = proposeFileName(*entryWith(c.entryNumber, c.title), c.withNumber);
  EXPECT_EQ(proposed.name, c.expected);
  EXPECT_FALSE(proposed.tooLong);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, ProposedNames,
    ::testing::Values(NameCase{7, "Tagesschau", true, "07 Tagesschau.hav"},
                      NameCase{123, "Tagesschau", true, "123 Tagesschau.hav"},
                      NameCase{7, "Tagesschau", false, "Tagesschau.hav"},
                      NameCase{0, "A/B: C?", false, "AB C.hav"},
                      NameCase{0, "a\\b*c", false, "abc.hav"},
                      NameCase{0, "<x>|\"y\"", false, "<x>|\"y\".hav"},
                      NameCase{0,
                               "Tag\x01"
                               "es\x85schau",
                               false, "Tagesschau.hav"},
                      NameCase{0,
                               "M\xFC"
                               "nchen \xE4\xF6\xDF",
                               false, "M\xC3\xBCnchen \xC3\xA4\xC3\xB6\xC3\x9F.hav"},
                      NameCase{0, "../../etc/passwd", false, "....etcpasswd.hav"},
                      NameCase{0, "", false, ".hav"}, NameCase{65535, "x", true, "65535 x.hav"}));

TEST(ForbiddenCharacters, OnlyTheFiveAreRemoved) {
  EXPECT_EQ(removeForbiddenCharacters(":a\\b?c*d/e<>|\". "), "abcde<>|\". ");
}

TEST(FolderOf, IsThePathUpToItsLastSlash) {
  EXPECT_EQ(folderOf("/srv/filme/x.hav"), "/srv/filme");
  EXPECT_EQ(folderOf("/x.hav"), "/");
  EXPECT_EQ(folderOf("x.hav"), "");
  EXPECT_EQ(folderOf("/srv/Filme/"), "/srv/Filme");
}

TEST(FreeSpaceQuery, AnswersForAnExistingFolderAndFailsWithErrnoForAMissingOne) {
  const FreeSpace here = queryFreeSpace("/tmp/some.hav");
  ASSERT_TRUE(here.bytes.has_value());
  const FreeSpace missing = queryFreeSpace("/nonexistent-korvelo-folder/x.hav");
  EXPECT_FALSE(missing.bytes.has_value());
  EXPECT_EQ(missing.error, ENOENT);
}

}  // namespace
}  // namespace korvelo

namespace korvelo {
namespace {

TEST(ProposedNameLength, FiveHundredTenCharactersPassAndOneMoreIsTooLong) {
  const std::string title506(506, 'x');  // "%s.hav": 510 characters
  EXPECT_FALSE(proposeFileName(0, title506, false).tooLong);
  EXPECT_TRUE(proposeFileName(0, title506 + "y", false).tooLong);
  // "07 " adds three characters.
  EXPECT_FALSE(proposeFileName(7, std::string(503, 'x'), true).tooLong);
  EXPECT_TRUE(proposeFileName(7, std::string(504, 'x'), true).tooLong);
}

TEST(ProposedNameLength, CountsTheNameBeforeForbiddenCharactersAreRemoved) {
  EXPECT_TRUE(proposeFileName(0, std::string(507, '/'), false).tooLong);
}

TEST(ProposedNameLength, CountsLatinOneCharactersNotTheirUtf8Bytes) {
  const ProposedName proposed = proposeFileName(0, std::string(506, '\xE4'), false);
  EXPECT_FALSE(proposed.tooLong);
  EXPECT_EQ(proposed.name.size(), 2u * 506 + 4);
}

}  // namespace
}  // namespace korvelo
