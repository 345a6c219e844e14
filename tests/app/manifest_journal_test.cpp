// SPDX-License-Identifier: GPL-3.0-or-later
// Records of a long run go through the journal beside the manifest: every record can be
// read at once, the journal stays small, and the manifest written at the end is the one
// a single write of all records gives.

#include "app/manifest_journal.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "app/manifest.h"
#include "app/manifest_lock.h"
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

// One byte through a pipe, for runs in child processes that wait for each other.
class Signal {
 public:
  Signal() { (void)!::pipe(ends_); }
  ~Signal() {
    ::close(ends_[0]);
    ::close(ends_[1]);
  }
  void give() { (void)!::write(ends_[1], "x", 1); }
  void await() {
    char byte;
    (void)!::read(ends_[0], &byte, 1);
  }
  // Whether it was given within `millis`.
  bool given(int millis) {
    pollfd end{ends_[0], POLLIN, 0};
    return ::poll(&end, 1, millis) == 1;
  }

 private:
  int ends_[2] = {-1, -1};
};

Signal* foldStopped = nullptr;
Signal* foldGoesOn = nullptr;

// A run that is stopped after its fold has put the new manifest in place and before the
// journal goes holds the folder's lock: another run's record waits for it. Were the lock
// on the manifest, the other run would lock the new one, append its record to the journal,
// and that record would go with the journal.
TEST(ManifestJournalTest, ARecordWaitsWhileAnotherRunFolds) {
  TempDir dir;
  Signal stopped, goOn, added, finish;
  foldStopped = &stopped;
  foldGoesOn = &goOn;
  const auto run = [&](std::vector<std::string> files, bool stopInFold) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    TargetFolder folder;
    bool written = folder.open(dir.path()) == 0;
    for (const std::string& file : files) {
      ManifestRecord record;
      record.file = file;
      written = written && addToManifest(folder, record).empty();
    }
    if (stopInFold) {
      setAfterManifestReplaced([] {
        foldStopped->give();
        foldGoesOn->await();
      });
    } else {
      added.give();
      finish.await();
    }
    ::_exit(written && foldManifestJournal().empty() ? 0 : 1);
  };
  const pid_t folding = run({"a.hav", "b.hav"}, true);  // b waits in the journal
  ASSERT_GT(folding, 0);
  stopped.await();
  const pid_t adding = run({"c.hav"}, false);
  ASSERT_GT(adding, 0);
  EXPECT_FALSE(added.given(300)) << "a record was added while another run folded";
  goOn.give();
  finish.give();
  for (const pid_t child : {folding, adding}) {
    int status = -1;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file(kJournalName)));
  EXPECT_EQ(filesIn(nlohmann::json::parse(readFileText(dir.file(kManifestName)))),
            (std::vector<std::string>{"a.hav", "b.hav", "c.hav"}));
}

// A run killed before its rename leaves its temporary; the next run that writes the manifest
// removes it, but not that of a run still going. The lock file is never replaced.
TEST(ManifestJournalTest, TheTemporaryOfAKilledRunGoesAndTheLockFileStays) {
  TempDir dir;
  const pid_t killed = ::fork();
  if (killed == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(killed, nullptr, 0), killed);
  const auto temporaryOf = [&](pid_t pid) {
    return dir.file(std::string(".") + kManifestName + "." + std::to_string(pid) + ".tmp");
  };
  writeFileText(temporaryOf(killed), "{\"recordings\": [");
  writeFileText(temporaryOf(::getppid()), "{\"recordings\": [");
  TargetFolder folder;
  ASSERT_EQ(folder.open(dir.path()), 0);
  ManifestRecord record;
  record.file = "a.hav";
  ASSERT_EQ(addToManifest(folder, record), "");  // makes the manifest
  EXPECT_FALSE(std::filesystem::exists(temporaryOf(killed)));
  EXPECT_TRUE(std::filesystem::exists(temporaryOf(::getppid())));
  struct stat before {
  }, after{};
  ASSERT_EQ(::stat(dir.file(kManifestLockName).c_str(), &before), 0);
  record.file = "b.hav";
  ASSERT_EQ(addToManifest(folder, record), "");
  ASSERT_EQ(foldManifestJournal(), "");
  ASSERT_EQ(::stat(dir.file(kManifestLockName).c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

}  // namespace
}  // namespace korvelo::test
