// SPDX-License-Identifier: GPL-3.0-or-later
// Records of a long run go through the journal beside the manifest: every record can be
// read at once, the journal stays small, and the manifest written at the end is the one
// a single write of all records gives.

#include "app/manifest_journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "app/manifest.h"
#include "disk/target_folder.h"
#include "support/temp_dir.h"
#include "support/text_file.h"

namespace korvelo::test {
namespace {

std::vector<std::string> filesIn(const nlohmann::json& manifest) {
  std::vector<std::string> files;
  for (const nlohmann::json& record : manifest["recordings"]) files.push_back(record["file"]);
  return files;
}

TEST(ManifestJournalTest, EveryRecordCountsAtOnceAndTheJournalStaysBounded) {
  TempDir dir;
  TargetFolder folder;
  ASSERT_EQ(folder.open(dir.path()), 0);
  const std::string manifest = dir.file(kManifestName), journal = dir.file(kJournalName);
  std::vector<std::string> expected;
  int64_t largestJournal = 0;
  constexpr int kRecords = 300;  // the journal is folded on the way
  for (int i = 0; i < kRecords; ++i) {
    ManifestRecord record;
    record.entryNumber = i;
    record.title = "Aufnahme " + std::to_string(i) + std::string(1000, 'x');
    record.file = std::to_string(i) + ".hav";
    record.sha256File = std::string(64, 'a');
    if (i == 7) record.file = "3.hav";  // replaces the record of entry 3
    ASSERT_EQ(addToManifest(folder, record), "");
    std::erase(expected, record.file);
    expected.push_back(record.file);
    if (i % 10 == 0 || i == 7) {
      const JsonDocument read = readManifestDocument(manifest);
      ASSERT_EQ(read.problem, "");
      ASSERT_EQ(filesIn(read.json), expected) << "after record " << i;
    }
    if (std::filesystem::exists(journal))
      largestJournal = std::max<int64_t>(largestJournal, std::filesystem::file_size(journal));
  }
  EXPECT_GT(largestJournal, 0);
  EXPECT_LT(largestJournal, kJournalFoldBytes + 1024);
  ASSERT_TRUE(std::filesystem::exists(journal));  // the last records wait for the run's end
  EXPECT_NE(filesIn(nlohmann::json::parse(readFileText(manifest))), expected);

  EXPECT_EQ(foldManifestJournal(), "");
  EXPECT_FALSE(std::filesystem::exists(journal));
  const std::string text = readFileText(manifest);
  const nlohmann::json written = nlohmann::json::parse(text);
  EXPECT_EQ(filesIn(written), expected);
  EXPECT_EQ(text, written.dump(2) + "\n");  // the records spliced in as a whole write puts them
}

// A journal with a second name elsewhere is not appended to: the record would change the
// other file too. The record is refused with the reason, and both names keep their bytes.
TEST(ManifestJournalTest, AJournalWithASecondNameIsNotAppendedTo) {
  TempDir dir;
  TargetFolder folder;
  ASSERT_EQ(folder.open(dir.path()), 0);
  ManifestRecord record;
  record.file = "a.hav";
  ASSERT_EQ(addToManifest(folder, record), "");  // makes the manifest
  const std::string journal = dir.file(kJournalName), other = dir.file("anderswo");
  writeFileText(other, "fremd\n");
  std::filesystem::create_hard_link(other, journal);
  record.file = "b.hav";
  EXPECT_EQ(addToManifest(folder, record),
            "Konnte \"" + journal + "\" nicht schreiben: Zu viele Verweise.");
  EXPECT_EQ(readFileText(other), "fremd\n");
  EXPECT_EQ(foldManifestJournal(), "");
}

}  // namespace
}  // namespace korvelo::test
