// SPDX-License-Identifier: GPL-3.0-or-later
// Check sums and records after an export, and verify on good and spoiled files, run as
// the built program.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"
#include "support/file_util.h"
#include "support/sample_recordings.h"
#include "support/text_file.h"

namespace korvelo::test {
namespace {

nlohmann::json readJson(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in);
}

std::string dataHash(const std::vector<uint8_t>& file) {
  return sha256Hex(std::span<const uint8_t>(file).subspan(1624));
}

class VerifiedResultsTest : public DemoDiskTest {
 protected:
  std::string target(int entryNumber) const {
    return output_.file(expectedFileName(recording(entryNumber)));
  }
  void exportOne(int entryNumber) {
    const CliRun run =
        runCli({"--drive", image(), "export", std::to_string(entryNumber), "-o", output_.path()});
    ASSERT_EQ(run.status, 0) << run.err;
  }
  // Overwrites bytes of an exported file.
  void spoil(int entryNumber, int64_t offset, std::vector<uint8_t> bytes) {
    writeBytesAt(target(entryNumber), offset, bytes);
  }
  CliRun verify(int entryNumber, bool withDisk) {
    std::vector<std::string> arguments;
    if (withDisk) arguments = {"--drive", image()};
    arguments.push_back("verify");
    arguments.push_back("--details");
    arguments.push_back(target(entryNumber));
    return runCli(arguments);
  }
};

TEST_F(VerifiedResultsTest, ManifestAndSidecarsNameEveryFileWithItsCheckSums) {
  const CliRun run =
      runCli({"--drive", image(), "export", "--all", "--sidecar", "-o", output_.path()});
  const bool anyWrongHead = std::any_of(disk().recordings.begin(), disk().recordings.end(),
                                        [](const auto& r) { return hasWrongHead(r); });
  ASSERT_EQ(run.status, anyWrongHead ? 1 : 0) << run.err;
  const nlohmann::json manifest = readJson(output_.file("korvelo-manifest.json"));
  ASSERT_EQ(manifest["recordings"].size(), disk().recordings.size());
  // Added record by record, it reads as the whole manifest written at once.
  const std::vector<uint8_t> text = readFileBytes(output_.file("korvelo-manifest.json"));
  EXPECT_EQ(std::string(text.begin(), text.end()), manifest.dump(2) + "\n");
  for (const nlohmann::json& record : manifest["recordings"]) {
    const int number = record["entry_number"];
    SCOPED_TRACE(number);
    const sample::Recording& expected = recording(number);
    const std::vector<uint8_t> file = readFileBytes(target(number));
    EXPECT_EQ(record["file"], expectedFileName(expected));
    EXPECT_EQ(record["title"], utf8FromLatin1(expected.title));
    // The same keys as the recording list beside the older ones.
    EXPECT_EQ(record["entry"], number);
    EXPECT_EQ(record["start"], expectedStart(expected).text());
    EXPECT_EQ(record["start_iso"], expectedStart(expected).iso());
    EXPECT_EQ(record["duration_seconds"], expected.durationMs / 1000);
    EXPECT_EQ(record["duration_ms"], expected.durationMs);
    EXPECT_EQ(record["size_bytes"], uint64_t{expected.lengthSectors} * 512);
    EXPECT_EQ(record["hojins"], sample::hojinCount(expected));
    EXPECT_EQ(record["damaged_hojins"], 0);
    EXPECT_EQ(record["file_bytes"], file.size());
    EXPECT_EQ(record["sha256_file"], sha256Hex(file));
    EXPECT_EQ(record["sha256_hojin_data"], dataHash(file));
    EXPECT_EQ(record["complete"], !hasWrongHead(expected));
    EXPECT_FALSE(record.contains("doubt"));  // no file FAT of the disk names another's blocks
    // The sidecar is the record and the version of its format.
    nlohmann::json sidecar = readJson(target(number) + ".json");
    EXPECT_EQ(sidecar["schema"], 1);
    sidecar.erase("schema");
    EXPECT_EQ(sidecar, record);
  }
}

// "YYYY-MM-DDTHH:MM:SS+HH:MM" as seconds since 1970; -1 when it has no offset.
int64_t isoInstant(const std::string& iso) {
  std::tm fields{};
  int offsetHours = 0, offsetMinutes = 0;
  char sign = 0;
  if (std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d%c%d:%d", &fields.tm_year, &fields.tm_mon,
                  &fields.tm_mday, &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &sign,
                  &offsetHours, &offsetMinutes) != 9 ||
      (sign != '+' && sign != '-'))
    return -1;
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  const int64_t offset = (sign == '-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
  return static_cast<int64_t>(::timegm(&fields)) - offset;
}

// The recording's start as the list, the manifest and the file date give it is one
// instant, whatever the zone the program runs in.
TEST_F(VerifiedResultsTest, ListManifestAndFileDateNameTheSameInstantInEveryZone) {
  const int number = 4;  // started before midnight, stamped after it
  std::vector<std::string> isos;
  for (const char* zone : {"Europe/Berlin", "America/New_York"}) {
    SCOPED_TRACE(zone);
    if (!std::filesystem::exists(std::string("/usr/share/zoneinfo/") + zone))
      GTEST_SKIP() << "no time zone data";
    CliRunOptions options;
    options.environment = {std::string("TZ=") + zone};
    const CliRun listed = runCli({"--drive", image(), "list", "--json"}, options);
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::string fromList;
    const nlohmann::json list = nlohmann::json::parse(listed.out);
    for (const nlohmann::json& entry : list.at("recordings"))
      if (entry.at("entry") == number) fromList = entry.at("start_iso");
    const std::string folder = output_.file(zone[0] == 'E' ? "berlin" : "newyork");
    const CliRun saved = runCli(
        {"--drive", image(), "export", std::to_string(number), "--record-date", "-o", folder},
        options);
    ASSERT_EQ(saved.status, 0) << saved.err;
    const nlohmann::json record = readJson(folder + "/korvelo-manifest.json")["recordings"][0];
    EXPECT_EQ(record["start_iso"], fromList);
    const auto written =
        std::filesystem::last_write_time(folder + "/" + expectedFileName(recording(number)));
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::file_clock::to_sys(written).time_since_epoch())
                             .count();
    EXPECT_EQ(isoInstant(fromList), seconds) << fromList;
    isos.push_back(fromList);
  }
  // The same wall-clock reading, taken in two zones: two instants, two offsets.
  ASSERT_EQ(isos.size(), 2u);
  EXPECT_EQ(isos[0].substr(0, 19), isos[1].substr(0, 19));
  EXPECT_NE(isos[0], isos[1]);
}

TEST_F(VerifiedResultsTest, AManifestThatNamesNoFileIsNoPass) {
  const std::string manifest = output_.file("korvelo-manifest.json");
  std::ofstream(manifest) << "{\"recordings\":[]}";
  const CliRun run = runCli({"verify", "--manifest", manifest});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "Das Manifest \"" + manifest + "\" nennt keine Datei; nichts wurde geprüft.\n");
}

TEST_F(VerifiedResultsTest, SavingAgainReplacesTheRecordInsteadOfAddingOne) {
  exportOne(1);
  const CliRun again =
      runCli({"--drive", image(), "export", "1", "2", "--force", "-o", output_.path()});
  ASSERT_EQ(again.status, 0) << again.err;
  const nlohmann::json manifest = readJson(output_.file("korvelo-manifest.json"));
  ASSERT_EQ(manifest["recordings"].size(), 2u);
  EXPECT_EQ(manifest["recordings"][0]["entry_number"], 1);
  EXPECT_EQ(manifest["recordings"][1]["entry_number"], 2);
}

TEST_F(VerifiedResultsTest, ExportsIntoOneFolderAtOnceKeepEveryRecord) {
  // Runs all at once: each reads the manifest, adds its record and writes it back while
  // the others do the same, so without taking turns records are lost. One run saves three,
  // adding its later records to a manifest the others may have changed in between.
  const std::vector<std::vector<std::string>> entries = {{"0", "2", "4"}, {"1"}, {"3"}};
  std::vector<CliRun> runs(entries.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < runs.size(); ++i) {
    threads.emplace_back([&, i] {
      std::vector<std::string> arguments = {"--drive", image(), "export", "-o", output_.path()};
      arguments.insert(arguments.end(), entries[i].begin(), entries[i].end());
      runs[i] = runCli(arguments);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const CliRun& run : runs) EXPECT_EQ(run.status, 0) << run.err;
  const nlohmann::json manifest = readJson(output_.file("korvelo-manifest.json"));
  std::vector<int> numbers;
  for (const nlohmann::json& record : manifest["recordings"])
    numbers.push_back(record["entry_number"]);
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 3, 4}));
}

// A crash can leave records in the journal beside the manifest: a record that replaces the
// manifest's record of its file, a record of a file the manifest does not name, a line that
// is no record and a last line cut short. verify goes by the records as the journal leaves
// them, and the next export writes them into the manifest and keeps the damaged journal.
TEST_F(VerifiedResultsTest, AJournalLeftByACrashCountsUntilTheNextExportFoldsIt) {
  exportOne(1);
  exportOne(2);
  const std::string manifestPath = output_.file("korvelo-manifest.json");
  nlohmann::json manifest = readJson(manifestPath);
  const nlohmann::json first = manifest["recordings"][0], second = manifest["recordings"][1];
  nlohmann::json spoiled = first;
  spoiled["sha256_file"] = std::string(64, '0');
  manifest["recordings"] = nlohmann::json::array({spoiled});
  writeFileText(manifestPath, manifest.dump(2) + "\n");
  const std::string journal = output_.file("korvelo-manifest.json.journal");
  writeFileText(journal, second.dump() + "\nkaputt\n" + first.dump() + "\n{\"file\": \"x");
  const CliRun checked = runCli({"verify", "-q", "--manifest", manifestPath});
  EXPECT_EQ(checked.status, 1);
  EXPECT_EQ(checked.out, "Das Journal \"" + journal + "\" enthält 1 unlesbare Zeile.\n")
      << checked.err;  // and no word of the sums the journal's record replaced

  const CliRun run = runCli({"--drive", image(), "export", "3", "-o", output_.path()});
  EXPECT_EQ(run.status, 1) << run.err;  // a damaged file was kept aside
  EXPECT_NE(
      run.err.find("Das Journal \"" + journal + "\" enthielt 1 unlesbare Zeile; es bleibt als \"" +
                   journal + ".beschädigt-"),
      std::string::npos)
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(journal));
  const nlohmann::json folded = readJson(manifestPath);
  ASSERT_EQ(folded["recordings"].size(), 3u) << folded.dump(2);
  EXPECT_EQ(folded["recordings"][0], second);
  EXPECT_EQ(folded["recordings"][1], first);
  EXPECT_EQ(folded["recordings"][2]["entry_number"], 3);
}

TEST_F(VerifiedResultsTest, AGoodFileIsReportedGoodAloneAndAgainstTheDisk) {
  exportOne(3);  // its length is not a multiple of 65 sectors
  const std::vector<uint8_t> file = readFileBytes(target(3));
  const CliRun alone = verify(3, false);
  EXPECT_EQ(alone.status, 0) << alone.out;
  EXPECT_NE(alone.out.find("  SHA-256 der Datei:        " + sha256Hex(file) + "\n"),
            std::string::npos);
  EXPECT_NE(alone.out.find("  SHA-256 der HOJIN-Daten:  " + dataHash(file) + "\n"),
            std::string::npos);
  EXPECT_TRUE(alone.out.starts_with(target(3) + ": In Ordnung\n  Eintrag 3 ")) << alone.out;
  const CliRun withDisk = verify(3, true);
  EXPECT_EQ(withDisk.status, 0) << withDisk.out << withDisk.err;
  EXPECT_TRUE(
      withDisk.out.starts_with(target(3) + ": In Ordnung, stimmt mit der Festplatte überein\n"))
      << withDisk.out;
}

struct Spoiling {
  const char* name;
  int64_t offset;  // in the file of entry 2 (40 HOJINs)
  std::vector<uint8_t> bytes;
  const char* finding;
  bool onlyWithDisk;
};

class SpoiledFileTest : public VerifiedResultsTest,
                        public ::testing::WithParamInterface<Spoiling> {};

// The sums the export recorded catch every changed byte, also without the disk.
TEST_P(SpoiledFileTest, IsFoundAndNamed) {
  exportOne(2);
  const std::string recorded = sha256Hex(readFileBytes(target(2)));
  spoil(2, GetParam().offset, GetParam().bytes);
  const std::string found = sha256Hex(readFileBytes(target(2)));
  const CliRun alone = verify(2, false);
  const CliRun withDisk = verify(2, true);
  EXPECT_EQ(alone.status, 1) << alone.out;
  EXPECT_EQ(withDisk.status, 1) << withDisk.out;
  // The first finding stands on the file's line, the others below it.
  const std::string line = std::string(GetParam().finding) + "\n";
  EXPECT_NE(withDisk.out.find(line), std::string::npos) << withDisk.out;
  if (!GetParam().onlyWithDisk) {
    EXPECT_NE(alone.out.find(line), std::string::npos) << alone.out;
  }
  const std::string mismatch = "SHA-256 der Datei stimmt nicht mit \"" +
                               output_.file("korvelo-manifest.json") + "\" überein: erwartet " +
                               recorded + ", gefunden " + found + ".\n";
  EXPECT_NE(alone.out.find(mismatch), std::string::npos) << alone.out;
}

std::string hojinLine(int k) {
  const sample::DiskDescription disk = sample::demoDisk();
  for (const sample::Recording& recording : disk.recordings)
    if (recording.entryNumber == 2)
      return "HOJIN " + std::to_string(k) + " weicht von der Festplatte ab (ab Sektor " +
             std::to_string(sample::hojinSector(disk, recording, k)) + ").";
  return {};
}

const std::string kHojin17Differs = hojinLine(17);

INSTANTIATE_TEST_SUITE_P(
    Cases, SpoiledFileTest,
    ::testing::Values(
        Spoiling{"HeadMark", 0, {114}, "Kopf: Kennung 114 statt 113.", false},
        Spoiling{"EntryImageTitle",
                 88 + 4,
                 {'Z'},
                 "Kopf: Titel stimmt nicht mit dem Verzeichniseintrag überein.",
                 false},
        Spoiling{"HeadTitle",
                 46,
                 {'Z'},
                 "Kopf: Titel stimmt nicht mit dem Verzeichniseintrag überein.",
                 false},
        Spoiling{
            "Hojin2Signature", 1624 + 33280 + 1, {'h'}, "HOJIN 2: Signatur fehlerhaft.", false},
        Spoiling{
            "Hojin5Order", 1624 + 4 * 33280 + 59, {9}, "HOJIN 5: interne Nummern 5 und 9.", false},
        // Signed, as the export warns: 0xFFFFFFFF is -1.
        Spoiling{"Hojin5NumberAllOnes",
                 1624 + 4 * 33280 + 56,
                 {0xFF, 0xFF, 0xFF, 0xFF},
                 "HOJIN 5: interne Nummern 5 und -1.",
                 false},
        // Data after the head: only the disk can tell.
        Spoiling{"Hojin17Payload",
                 1624 + 16 * 33280 + 4000,
                 {0xAB, 0xCD},
                 kHojin17Differs.c_str(),
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

// As a checksum checker: a line per file, with -q only the failures, and their count on
// stderr.
TEST_F(VerifiedResultsTest, ManifestNamesEveryFileToCheckLikeAChecksumList) {
  ASSERT_EQ(runCli({"--drive", image(), "export", "1", "2", "3", "-o", output_.path()}).status, 0);
  const std::string manifest = output_.file("korvelo-manifest.json");
  const CliRun good = runCli({"verify", "--manifest", manifest});
  EXPECT_EQ(good.status, 0) << good.out;
  EXPECT_EQ(good.outLines(),
            (std::vector<std::string>{target(1) + ": In Ordnung", target(2) + ": In Ordnung",
                                      target(3) + ": In Ordnung"}));
  EXPECT_EQ(good.err, "");

  const std::vector<uint8_t> before = readFileBytes(target(3));
  std::filesystem::remove(target(1));
  spoil(3, 1624 + 33280 + 4000, {0x01});
  const std::vector<uint8_t> after = readFileBytes(target(3));
  const std::vector<std::string> failures = {
      target(1) + ": Die Datei fehlt.",
      target(3) + ": SHA-256 der Datei stimmt nicht mit \"" + manifest + "\" überein: erwartet " +
          sha256Hex(before) + ", gefunden " + sha256Hex(after) + ".",
      "  SHA-256 der HOJIN-Daten stimmt nicht mit \"" + manifest + "\" überein: erwartet " +
          dataHash(before) + ", gefunden " + dataHash(after) + "."};
  const CliRun bad = runCli({"verify", "--manifest", manifest});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.outLines(), (std::vector<std::string>{failures[0], target(2) + ": In Ordnung",
                                                      failures[1], failures[2]}));
  EXPECT_EQ(bad.err, "WARNUNG: 2 von 3 Dateien stimmen nicht.\n");
  const CliRun quiet = runCli({"verify", "-q", "--manifest", manifest});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.outLines(), failures);
  EXPECT_EQ(quiet.err, bad.err);
}

// A mistaken argument gets a plain sentence, not a note on file heads.
TEST_F(VerifiedResultsTest, AMissingFileAndAFolderAreNamedPlainly) {
  const CliRun run = runCli({"verify", output_.file("weg.hav"), output_.path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.outLines(),
            (std::vector<std::string>{output_.file("weg.hav") + ": Die Datei fehlt.",
                                      output_.path() + ": Ist ein Ordner, keine \".hav\"-Datei."}));
  EXPECT_EQ(run.err, "WARNUNG: 2 von 2 Dateien stimmen nicht.\n");
}

// Head, length and HOJIN heads in order say nothing of the bytes between them: without
// recorded sums a file is not called good unless the disk is there to compare with.
TEST_F(VerifiedResultsTest, WithoutRecordedSumsItSaysSoAndChecksTheFileAlone) {
  exportOne(3);
  std::filesystem::remove(output_.file("korvelo-manifest.json"));
  const CliRun run = verify(3, false);
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_TRUE(run.out.starts_with(target(3) +
                                  ": Nicht geprüft (keine aufgezeichneten Prüfsummen: nur Kopf, "
                                  "Länge und HOJIN-Köpfe stimmen; mit --drive gegen die "
                                  "Festplatte prüfen)\n  Eintrag 3"))
      << run.out;
  EXPECT_EQ(run.err, "WARNUNG: 1 von 1 Datei nicht geprüft.\n");
  EXPECT_EQ(runCli({"verify", "-q", target(3)}).out, run.out.substr(0, run.out.find('\n') + 1));
  const CliRun withDisk = verify(3, true);
  EXPECT_EQ(withDisk.status, 0) << withDisk.out;
  EXPECT_TRUE(
      withDisk.out.starts_with(target(3) + ": In Ordnung, stimmt mit der Festplatte überein\n"))
      << withDisk.out;
}

// A journal that cannot be read may hold any file's newest record: a failure of its own,
// found without reading it (a FIFO without a writer is never waited for).
struct UnreadableJournal {
  const char* name;
  void (*make)(const std::string& path);
  const char* reason;
};

class UnreadableJournalTest : public VerifiedResultsTest,
                              public ::testing::WithParamInterface<UnreadableJournal> {};

TEST_P(UnreadableJournalTest, FailsTheManifestAndEveryFileBesideIt) {
  exportOne(1);
  const std::string manifest = output_.file("korvelo-manifest.json");
  GetParam().make(manifest + ".journal");
  const std::string line = "Das Journal \"" + manifest + ".journal\" ist nicht lesbar (" +
                           GetParam().reason +
                           "); die Aufnahmen, die es verzeichnet, bleiben ungeprüft.";
  const CliRun listed = runCli({"verify", "--manifest", manifest});
  EXPECT_EQ(listed.status, 1);
  EXPECT_EQ(listed.outLines(), (std::vector<std::string>{line, target(1) + ": In Ordnung"}));
  const CliRun alone = runCli({"verify", target(1)});
  EXPECT_EQ(alone.status, 1);
  EXPECT_EQ(alone.outLines(), std::vector<std::string>{target(1) + ": " + line});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreadableJournalTest,
    ::testing::Values(
        UnreadableJournal{
            "Fifo", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
            "ist eine benannte Pipe (FIFO), keine gewöhnliche Datei"},
        UnreadableJournal{"HugeSparseFile",
                          [](const std::string& path) { createSparseFile(path, int64_t{5} << 30); },
                          "ist zu groß (höchstens 67.108.864 Bytes)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VerifiedResultsTest, ACutFileIsReportedIncomplete) {
  exportOne(2);
  const std::vector<uint8_t> file = readFileBytes(target(2));
  writeFileBytes(target(2), std::span<const uint8_t>(file).first(1624 + 3 * 33280 + 100));
  const CliRun run = verify(2, false);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(
      run.out.find(": Datei ist unvollständig: 101.564 von " + grouped(file.size()) + " Bytes.\n"),
      std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace korvelo::test
