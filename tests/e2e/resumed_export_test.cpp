// SPDX-License-Identifier: GPL-3.0-or-later
// Exports that are interrupted (Ctrl-C, or killed outright) and then continued with
// --resume, run as the built program against the demo disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"
#include "support/file_util.h"

namespace korvelo::test {
namespace {

constexpr int64_t kFront = 1624;
constexpr int64_t kHojinBytes = 33280;

class ResumedExportTest : public DemoDiskTest {
 protected:
  std::string target(int entryNumber) const {
    return output_.file(expectedFileName(recording(entryNumber)));
  }
  std::vector<uint8_t> expected(int entryNumber) const {
    return expectedHavFile(image(), disk(), recording(entryNumber));
  }
  // Saves slowly (100 ms after every step) and sends `signal` once the file holds at
  // least `hojins` HOJINs.
  CliRun exportInterrupted(int entryNumber, int signal, int hojins) {
    CliRunOptions options;
    const std::string path = target(entryNumber);
    options.signalWhen = [path, hojins] { return fileSize(path) >= kFront + hojins * kHojinBytes; };
    options.signal = signal;
    return runCli({"--drive", image(), "export", std::to_string(entryNumber), "--pause", "100",
                   "-o", output_.path()},
                  options);
  }
  CliRun exportAgain(int entryNumber, std::vector<std::string> flags) {
    std::vector<std::string> arguments{
        "--drive", image(), "export", std::to_string(entryNumber), "-o", output_.path()};
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    return runCli(arguments);
  }
  nlohmann::json manifestRecord() const {
    std::ifstream in(output_.file("korvelo-manifest.json"));
    return nlohmann::json::parse(in)["recordings"].at(0);
  }
};

TEST_F(ResumedExportTest, CtrlCKeepsWholeHojinsAndSaysWhereToGoOn) {
  const CliRun stopped = exportInterrupted(3, SIGINT, 8);
  ASSERT_EQ(stopped.status, 130) << stopped.err;
  EXPECT_EQ(stopped.out, "");  // no complete file to name

  // "Abgebrochen: "<file>" enthält Hojin 1 bis <n> (von 50) und ist gesichert; ..."
  const std::string before = "Abgebrochen: \"" + target(3) + "\" enthält Hojin 1 bis ";
  const std::string after = " (von 50) und ist gesichert; export --resume setzt dort fort.";
  int whole = -1;
  for (const std::string& line : stopped.errLines())
    if (line.starts_with(before) && line.ends_with(after))
      whole = std::stoi(line.substr(before.size(), line.size() - before.size() - after.size()));
  ASSERT_GE(whole, 8) << stopped.err;
  ASSERT_LT(whole, 50) << "the export ended before the signal took effect";

  // Exactly the whole HOJINs it names, and they are the recording's.
  const std::vector<uint8_t> file = readFileBytes(target(3));
  const std::vector<uint8_t> full = expected(3);
  ASSERT_EQ(static_cast<int64_t>(file.size()), kFront + whole * kHojinBytes);
  EXPECT_TRUE(std::equal(file.begin(), file.end(), full.begin()));
  const nlohmann::json partial = manifestRecord();
  EXPECT_EQ(partial["complete"], false);
  EXPECT_EQ(partial["sha256_file"], sha256Hex(file));

  const CliRun resumed = exportAgain(3, {"--resume"});
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(resumed.outLines(), std::vector<std::string>{target(3)});
  EXPECT_NE(resumed.err.find("Setze \"" + target(3) + "\" nach Hojin " + std::to_string(whole) +
                             " (von 50) fort."),
            std::string::npos)
      << resumed.err;
  EXPECT_EQ(readFileBytes(target(3)), full);
  const nlohmann::json record = manifestRecord();
  EXPECT_EQ(record["complete"], true);
  EXPECT_EQ(record["sha256_file"], sha256Hex(full));
  EXPECT_EQ(record["sha256_hojin_data"], sha256Hex(std::span<const uint8_t>(full).subspan(kFront)));
}

TEST_F(ResumedExportTest, AnExportKilledOutrightIsCompletedByteExact) {
  const CliRun killed = exportInterrupted(0, SIGKILL, 30);
  ASSERT_EQ(killed.status, -1);  // it did not exit on its own
  const int64_t left = fileSize(target(0));
  ASSERT_GE(left, kFront + 30 * kHojinBytes);
  ASSERT_LT(left, static_cast<int64_t>(expected(0).size()));

  const CliRun resumed = exportAgain(0, {"--resume"});
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(readFileBytes(target(0)), expected(0));
}

// Entry 1 ends with a whole HOJIN, entry 3 with a short one. A rerun with --resume
// leaves the file alone, its date included, and counts it as saved.
TEST_F(ResumedExportTest, ACompleteFileIsLeftAsItIs) {
  for (int number : {1, 3}) {
    SCOPED_TRACE(number);
    ASSERT_EQ(exportAgain(number, {"--record-date"}).status, 0);
    const auto dated = std::filesystem::last_write_time(target(number));
    const CliRun again = exportAgain(number, {"--resume"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.outLines(), std::vector<std::string>{target(number)});
    const auto lines = again.errLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "\"" + target(number) + "\" ist bereits vollständig."),
              lines.end())
        << again.err;
    for (const char* absent : {"Setze ", "Leserate", "Schreibe in "})
      EXPECT_EQ(again.err.find(absent), std::string::npos) << absent;
    EXPECT_EQ(readFileBytes(target(number)), expected(number));
    EXPECT_EQ(std::filesystem::last_write_time(target(number)), dated);
  }
}

// Another recording's file under this recording's name: it keeps its place, with --force
// too; the recording then takes the next free name.
TEST_F(ResumedExportTest, AnotherRecordingsFileIsNeverWrittenOver) {
  ASSERT_EQ(exportAgain(2, {}).status, 0);
  const std::vector<uint8_t> foreign = readFileBytes(target(2));
  writeFileBytes(target(4), std::span<const uint8_t>(foreign).first(kFront + 5 * kHojinBytes));
  const std::vector<uint8_t> before = readFileBytes(target(4));

  const CliRun refused = exportAgain(4, {"--resume"});
  EXPECT_EQ(refused.status, 1) << refused.err;
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(
      refused.err.find("Die Datei \"" + target(4) +
                       "\" wird nicht fortgesetzt: ihr Kopf gehört zu einer anderen Aufnahme."),
      std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("Mit --resume --force wird sie neu geschrieben, wenn sie keine "
                             "andere Aufnahme enthält; sonst wird unter dem nächsten freien "
                             "Namen gespeichert."),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(readFileBytes(target(4)), before);

  const std::string instead = target(4).substr(0, target(4).size() - 4) + " (2).hav";
  for (const std::vector<std::string>& flags :
       {std::vector<std::string>{"--force"}, std::vector<std::string>{"--resume", "--force"}}) {
    const CliRun saved = exportAgain(4, flags);
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.outLines(), std::vector<std::string>{instead});
    EXPECT_NE(saved.err.find("\"" + target(4) +
                             "\" gehört zu einer anderen Aufnahme und bleibt; gespeichert wird in "
                             "\"" +
                             instead + "\"."),
              std::string::npos)
        << saved.err;
    EXPECT_EQ(readFileBytes(target(4)), before);
    EXPECT_EQ(readFileBytes(instead), expected(4));
  }
}

// A complete file changed after it was saved: the resume refuses it, and the record keeps
// the sums that tell of the change.
TEST_F(ResumedExportTest, AFileChangedSinceItWasSavedIsNoLongerComplete) {
  ASSERT_EQ(exportAgain(1, {}).status, 0);
  std::vector<uint8_t> changed = readFileBytes(target(1));
  for (int64_t at = kFront + 3 * kHojinBytes + 100; at < kFront + 3 * kHojinBytes + 116; ++at)
    changed[at] ^= 0xFF;
  writeFileBytes(target(1), changed);
  const std::vector<uint8_t> manifest = readFileBytes(output_.file("korvelo-manifest.json"));

  const CliRun refused = exportAgain(1, {"--resume"});
  EXPECT_EQ(refused.status, 1) << refused.err;
  EXPECT_NE(refused.err.find("Die Datei \"" + target(1) +
                             "\" wird nicht fortgesetzt: sie wurde nach dem Speichern verändert "
                             "(ihre SHA-256-Prüfsumme ist nicht die verzeichnete)."),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(readFileBytes(target(1)), changed);
  EXPECT_EQ(readFileBytes(output_.file("korvelo-manifest.json")), manifest);
  EXPECT_EQ(runCli({"verify", "--manifest", output_.file("korvelo-manifest.json")}).status, 1);
}

// Cut behind the export's back while it pauses between steps: the export writes on
// after the hole, so the file reaches its length, but it is not the recording and is
// never called so.
TEST_F(ResumedExportTest, AFileCutWhileItIsWrittenIsNotCertified) {
  CliRunOptions options;
  const std::string path = target(0);
  bool cut = false;
  options.signalWhen = [&] {
    if (!cut && fileSize(path) >= int64_t{1} << 20) {
      std::filesystem::resize_file(path, 100000);
      cut = true;
    }
    return false;
  };
  const CliRun run =
      runCli({"--drive", image(), "export", "0", "--pause", "100", "-o", output_.path()}, options);
  ASSERT_TRUE(cut);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("wurde während des Speicherns von außen verändert"), std::string::npos)
      << run.err;
  EXPECT_EQ(manifestRecord()["complete"], false);
  EXPECT_NE(readFileBytes(path), expected(0));
}

TEST_F(ResumedExportTest, WithoutResumeAnExistingFileIsStillSkipped) {
  const std::vector<uint8_t> full = expected(1);
  const std::vector<uint8_t> front(full.begin(), full.begin() + kFront + kHojinBytes);
  writeFileBytes(target(1), front);
  const CliRun skipped = exportAgain(1, {});
  EXPECT_EQ(skipped.status, 1);
  EXPECT_EQ(readFileBytes(target(1)), front);
  const auto lines = skipped.errLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Eintrag 1 \"Tagesschau\" übersprungen."),
            lines.end())
      << skipped.err;
  EXPECT_EQ(skipped.err.find("nicht vollständig gespeichert"), std::string::npos);
  EXPECT_EQ(skipped.err.find("Speichern abgebrochen."), std::string::npos);
}

// A file that begins as entry 2's own, changed before the resume.
struct Leftover {
  const char* name;
  int64_t keep;     // bytes of the recording's file kept
  int64_t spoilAt;  // -1: nothing changed
  std::vector<uint8_t> appended;
  const char* refusal;  // nullptr: the resume goes on and ends byte-exact
};

class LeftoverTest : public ResumedExportTest, public ::testing::WithParamInterface<Leftover> {};

TEST_P(LeftoverTest, IsContinuedOnlyWhenItIsTheRecordingsOwn) {
  const Leftover& leftover = GetParam();
  const std::vector<uint8_t> full = expected(2);
  std::vector<uint8_t> file(full.begin(), full.begin() + leftover.keep);
  if (leftover.spoilAt >= 0) file[leftover.spoilAt] ^= 0x5A;
  file.insert(file.end(), leftover.appended.begin(), leftover.appended.end());
  writeFileBytes(target(2), file);

  const CliRun run = exportAgain(2, {"--resume"});
  if (leftover.refusal == nullptr) {
    ASSERT_EQ(run.status, 0) << run.err;
    if (leftover.keep < kFront) {
      EXPECT_NE(run.err.find("Die Datei \"" + target(2) +
                             "\" enthält noch keinen ganzen HAV-Kopf; sie wird neu geschrieben."),
                std::string::npos)
          << run.err;
    }
    EXPECT_EQ(readFileBytes(target(2)), full);
    return;
  }
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Die Datei \"" + target(2) +
                         "\" wird nicht fortgesetzt: " + leftover.refusal + "."),
            std::string::npos)
      << run.err;
  EXPECT_EQ(readFileBytes(target(2)), file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeftoverTest,
    ::testing::Values(Leftover{"Empty", 0, -1, {}, nullptr},
                      Leftover{"PartOfTheHead", 50, -1, {}, nullptr},
                      Leftover{"HeadAndEntryOnly", kFront, -1, {}, nullptr},
                      Leftover{"HalfAHojinMore", kFront + 10 * kHojinBytes + 777, -1, {}, nullptr},
                      Leftover{"HeadChanged",
                               kFront + 3 * kHojinBytes,
                               40,
                               {},
                               "ihr Kopf gehört zu einer anderen Aufnahme"},
                      Leftover{"EntryImageChanged",
                               kFront + 3 * kHojinBytes,
                               88 + 1400,
                               {},
                               "ihr Verzeichniseintrag gehört zu einer anderen Aufnahme"},
                      Leftover{"LastWholeHojinChanged",
                               kFront + 10 * kHojinBytes + 99,
                               kFront + 9 * kHojinBytes + 5000,
                               {},
                               "ihr Hojin 10 weicht von dem auf der Festplatte ab"},
                      Leftover{"LongerThanTheRecording",
                               kFront + 40 * kHojinBytes,
                               -1,
                               {0},
                               "sie ist länger als die Aufnahme"}),
    [](const ::testing::TestParamInfo<Leftover>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvelo::test
