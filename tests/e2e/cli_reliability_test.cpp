// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-cli as the user runs it on rescued images: --mapfile after its --drive, the
// damage it reports and the exit code 1 for it (also for an image cut short, an
// unreadable directory slot, a bad sector where the File-FAT-Size is probed), a
// malformed mapfile refused with its line, and the proof that a whole export opens the
// image and the mapfile read-only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "diskbuilder/disk_builder.h"
#include "support/file_util.h"
#include "support/process_run.h"
#include "support/reliability_fixture.h"
#include "support/sample_recordings.h"
#include "support/saved_files_check.h"
#include "support/temp_dir.h"

namespace korvelo::test {
namespace {

// SHA-256 over the size, the places of the written extents and their bytes: the same as
// hashing the whole sparse image (its holes read as zeros), at the cost of its data only.
std::string imageHash(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  const off_t size = ::lseek(fd, 0, SEEK_END);
  std::vector<uint8_t> digest;
  auto note = [&](const std::string& text) {
    digest.insert(digest.end(), text.begin(), text.end());
  };
  note(std::to_string(size) + ";");
  for (off_t data = ::lseek(fd, 0, SEEK_DATA); data >= 0 && data < size;) {
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    if (hole - data > (off_t{256} << 20)) {
      ::close(fd);
      throw std::runtime_error("the image is not kept sparse on this file system");
    }
    note(std::to_string(data) + "+" + std::to_string(hole - data) + ":");
    const size_t at = digest.size();
    digest.resize(at + static_cast<size_t>(hole - data));
    if (::pread(fd, digest.data() + at, static_cast<size_t>(hole - data), data) != hole - data) {
      ::close(fd);
      throw std::runtime_error("cannot read " + path);
    }
    data = ::lseek(fd, hole, SEEK_DATA);
  }
  ::close(fd);
  return sha256Hex(digest);
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The ".hav" files in a folder (the export may put a manifest beside them).
size_t filesIn(const std::string& folder) {
  size_t count = 0;
  for (const auto& item : std::filesystem::directory_iterator(folder))
    if (item.path().extension() == ".hav") ++count;
  return count;
}

class CliReliability : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<TempDir>();
    disk_ = sample::demoDisk();
    sample::buildDisk(disk_, image());
    // Two sectors inside HOJIN 2 of the first recording, one inside HOJIN 30 of the
    // third; no A-sector, so that nothing but the data is hit.
    const int64_t a = sample::hojinSector(disk_, disk_.recordings[0], 2);
    const int64_t b = sample::hojinSector(disk_, disk_.recordings[2], 30);
    bad_ = {a + 10, a + 11, b + 40};
    std::ofstream(mapfile()) << mapfileText(static_cast<int64_t>(disk_.imageBytes), bad_);
    registerSampleDisk(image(), &disk_);
  }
  static void TearDownTestSuite() {
    forgetSampleDisk(image());
    folder_.reset();
  }

  static std::string image() { return folder_->file("platte.img"); }
  static std::string mapfile() { return folder_->file("platte.map"); }

  // The recording a file was exported from, by the entry number its name begins with.
  static const sample::Recording& recordingOfFile(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    const int number = std::stoi(name.substr(0, name.find(' ')));
    for (const sample::Recording& recording : disk_.recordings)
      if (recording.entryNumber == number) return recording;
    throw std::runtime_error("no recording for " + name);
  }

  static inline std::unique_ptr<TempDir> folder_;
  static inline sample::DiskDescription disk_;
  static inline std::set<int64_t> bad_;
  TempDir output_;
};

TEST_F(CliReliability, AnExportThroughTheMapfileZeroesOnlyTheBadSectorsAndExitsWithOne) {
  TempDir clean;
  const ProcessRun reference =
      runProgram(cliProgram(), {"--drive", image(), "export", "--all", "-o", clean.path()});
  ASSERT_LE(reference.status, 1) << reference.err;  // 1: the demo disk has a wrong head

  const ProcessRun run = runProgram(cliProgram(), {"--drive", image(), "--mapfile", mapfile(),
                                                   "export", "--all", "-o", output_.path()});
  EXPECT_EQ(run.status, 1) << run.err;
  const auto lines = run.errLines();
  EXPECT_TRUE(hasLine(
      lines, "Beschädigt: 1 Hojin mit zusammen 2 nicht lesbaren Sektoren (mit Nullen gefüllt)."))
      << run.err;
  EXPECT_TRUE(hasLine(
      lines, "Beschädigt: 1 Hojin mit zusammen 1 nicht lesbaren Sektor (mit Nullen gefüllt)."))
      << run.err;
  size_t files = 0;
  for (const auto& item : std::filesystem::directory_iterator(clean.path())) {
    if (item.path().extension() != ".hav") continue;
    const sample::Recording& recording = recordingOfFile(item.path());
    SCOPED_TRACE(item.path().filename().string());
    ++files;
    std::vector<uint8_t> expected = readFileBytes(item.path().string());
    bool damaged = false;
    const int hojins = static_cast<int>(recording.lengthSectors / 65);
    for (int k = 1; k <= hojins; ++k) {
      const int64_t first = sample::hojinSector(disk_, recording, k);
      for (int64_t sector : bad_) {
        if (sector < first || sector >= first + 65) continue;
        std::fill_n(expected.begin() + 1624 + (k - 1) * 33280 + (sector - first) * 512, 512, 0);
        damaged = true;
      }
    }
    const std::string written = output_.file(item.path().filename().string());
    EXPECT_EQ(readFileBytes(written), expected);
    // Only the undamaged files are announced as written.
    EXPECT_EQ(run.out.find(written) != std::string::npos, !damaged);
  }
  EXPECT_EQ(files, disk_.recordings.size());
}

// A file with zero-filled sectors is never called complete once its record is gone: with
// nothing to prove the part it holds, the resume reads it all again from the disk, records
// what stays unreadable, and takes what the disk gives now.
TEST_F(CliReliability, AZeroHoledFileWithoutItsRecordIsReadAgainBeforeItCounts) {
  const std::vector<std::string> throughMapfile{"--drive", image(), "--mapfile", mapfile()};
  auto exportFirst = [&](std::vector<std::string> drive, std::vector<std::string> flags) {
    drive.insert(drive.end(), {"export", "0", "-o", output_.path()});
    drive.insert(drive.end(), flags.begin(), flags.end());
    return runProgram(cliProgram(), drive);
  };
  ASSERT_EQ(exportFirst(throughMapfile, {}).status, 1);
  const std::string manifest = output_.file("korvelo-manifest.json");
  std::filesystem::remove(manifest);

  const ProcessRun stillBad = exportFirst(throughMapfile, {"--resume"});
  EXPECT_EQ(stillBad.status, 1) << stillBad.err;
  EXPECT_EQ(stillBad.err.find("bereits vollständig"), std::string::npos) << stillBad.err;
  EXPECT_NE(stillBad.err.find("ist nichts verzeichnet, das den vorhandenen Teil als unverändert "
                              "belegt; er wird erneut von der Festplatte gelesen."),
            std::string::npos)
      << stillBad.err;
  std::ifstream in(manifest);
  const nlohmann::json record = nlohmann::json::parse(in).at("recordings").at(0);
  EXPECT_FALSE(record.at("complete").get<bool>());
  EXPECT_EQ(record.at("unreadable_sectors"), 2);

  std::filesystem::remove(manifest);
  const ProcessRun healed = exportFirst({"--drive", image()}, {"--resume"});
  EXPECT_EQ(healed.status, 0) << healed.err;
  TempDir clean;
  ASSERT_EQ(
      runProgram(cliProgram(), {"--drive", image(), "export", "0", "-o", clean.path()}).status, 0);
  for (const auto& item : std::filesystem::directory_iterator(clean.path())) {
    if (item.path().extension() == ".hav") {
      EXPECT_EQ(readFileBytes(output_.file(item.path().filename().string())),
                readFileBytes(item.path().string()));
    }
  }
}

// Whatever happens to the disk's answers, the file or its record between two runs, what
// the last run calls complete is the recording's bytes (runCli checks every file it names
// against the disk); each row ends with the file exactly the recording, or not called so.
struct CompleteCase {
  const char* name;
  bool firstThroughMapfile;  // the first export reads through the mapfile's bad sectors
  // Between the runs: to the folder's file of entry 0 and its manifest.
  std::function<void(const std::string& file, const std::string& manifest,
                     const sample::DiskDescription& disk)>
      meddle;
  std::vector<std::string> again;  // the second export's flags (entry 0, the disk whole)
  int status;                      // of the second run
  const char* keyText;             // in its stderr
};

class CompleteMeansTheRecording : public CliReliability,
                                  public ::testing::WithParamInterface<CompleteCase> {};

TEST_P(CompleteMeansTheRecording, WhateverHappenedInBetween) {
  const CompleteCase& c = GetParam();
  std::vector<std::string> first{"--drive", image()};
  if (c.firstThroughMapfile) first.insert(first.end(), {"--mapfile", mapfile()});
  first.insert(first.end(), {"export", "0", "-o", output_.path()});
  ASSERT_EQ(runProgram(cliProgram(), first).status, c.firstThroughMapfile ? 1 : 0);
  std::string file;
  for (const auto& item : std::filesystem::directory_iterator(output_.path()))
    if (item.path().extension() == ".hav") file = item.path().string();
  c.meddle(file, output_.file("korvelo-manifest.json"), disk_);

  std::vector<std::string> again{"--drive", image(), "export", "0", "-o", output_.path()};
  again.insert(again.end(), c.again.begin(), c.again.end());
  const ProcessRun run = runProgram(cliProgram(), again);
  EXPECT_EQ(run.status, c.status) << run.err;
  EXPECT_NE(run.err.find(c.keyText), std::string::npos) << run.err;
  EXPECT_EQ(run.out.empty(), c.status != 0) << run.out;
  TempDir clean;
  ASSERT_EQ(
      runProgram(cliProgram(), {"--drive", image(), "export", "0", "-o", clean.path()}).status, 0);
  for (const auto& item : std::filesystem::directory_iterator(clean.path()))
    if (item.path().extension() == ".hav" && c.status == 0)
      EXPECT_TRUE(readFileBytes(file) == readFileBytes(item.path().string()));
}

void editManifest(const std::string& manifest,
                  const std::function<void(nlohmann::json& record)>& edit) {
  std::ifstream in(manifest);
  nlohmann::json document = nlohmann::json::parse(in);
  edit(document.at("recordings").at(0));
  std::ofstream(manifest) << document.dump(2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompleteMeansTheRecording,
    ::testing::Values(
        // The healed file's sums are recorded, not those of the zero-filled one.
        CompleteCase{"RetryBadAfterAMapfile",
                     true,
                     [](const std::string&, const std::string&, const sample::DiskDescription&) {},
                     {"--retry-bad"},
                     0,
                     "sind jetzt lesbar"},
        // An area naming another recording's sector is read where the file FAT says.
        CompleteCase{"RetryBadOfAForeignArea",
                     true,
                     [](const std::string&, const std::string& manifest,
                        const sample::DiskDescription& disk) {
                       editManifest(manifest, [&](nlohmann::json& record) {
                         record["damaged_areas"][0]["first_sector"] =
                             sample::hojinSector(disk, disk.recordings[2], 5);
                       });
                     },
                     {"--retry-bad"},
                     0,
                     "passt nicht zur Aufnahme"},
        // 16 bytes changed in HOJIN 50, then cut to 60 HOJINs: nothing of it is proven.
        CompleteCase{
            "ResumeOfAChangedAndCutFile",
            false,
            [](const std::string& file, const std::string&, const sample::DiskDescription&) {
              std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
              io.seekp(1624 + 49 * 33280 + 100);
              io.write("\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 16);
              io.close();
              std::filesystem::resize_file(file, 1624 + 60 * 33280);
            },
            {"--resume"},
            0,
            "belegt das Manifest keinen Hojin als unverändert"}),
    [](const ::testing::TestParamInfo<CompleteCase>& info) { return info.param.name; });

// Damage that once passed for zeros or for an empty directory: each case with its exit
// code and the line that tells the user. The cut image ends 10 sectors into HOJIN 16 of
// 16 of recording 4; its mapfile (if any) marks everything after the cut bad.
enum class Damage {
  None,
  CutImage,
  CutImageWithMapfile,
  BadInsideProbedHojin,
  BadProbedHead,
  BadSlot2,
  AnnouncesEveryEntry,  // the directory head announces 65535 entries: 1995 slots of zeros
  CrossLinkedFileFat    // entry 1's file FAT overwritten with entry 0's
};

struct DamageCase {
  const char* name;
  Damage damage;
  std::vector<std::string> command;  // "OUT" stands for the test's output folder
  int status;
  const char* keyLine;  // on stderr
  int listed;           // lines on stdout, for list
};

class CliDamage : public CliReliability, public ::testing::WithParamInterface<DamageCase> {
 protected:
  static void SetUpTestSuite() {
    CliReliability::SetUpTestSuite();
    sample::buildDisk(disk_, cutImage());
    const int64_t cut = cutSector() * 512;
    if (::truncate(cutImage().c_str(), cut) != 0) throw std::runtime_error("cannot cut the image");
    std::ofstream(folder_->file("cut.map"))
        << "0 + 1\n0 " << cut << " +\n"
        << cut << " " << static_cast<int64_t>(disk_.imageBytes) - cut << " -\n";
    sample::DiskDescription announcing = disk_;
    announcing.announcedEntries = 65535;
    sample::buildDisk(announcing, announcingImage());
    sample::buildDisk(crossLinkedDemoDisk(), crossLinkedImage());
  }
  static std::string cutImage() { return folder_->file("cut.img"); }
  static std::string announcingImage() { return folder_->file("announcing.img"); }
  static std::string crossLinkedImage() { return folder_->file("crosslinked.img"); }
  static int64_t cutSector() { return sample::hojinSector(disk_, disk_.recordings[4], 16) + 10; }

  // --drive and, where the damage comes from one, --mapfile.
  std::vector<std::string> driveArguments(Damage damage) {
    const int64_t probed = sample::dataAreaStart(disk_.model, disk_.fileFatSize);
    std::set<int64_t> bad;
    switch (damage) {
      case Damage::None:
        return {"--drive", image()};
      case Damage::CutImage:
        return {"--drive", cutImage()};
      case Damage::CutImageWithMapfile:
        return {"--drive", cutImage(), "--mapfile", folder_->file("cut.map")};
      case Damage::AnnouncesEveryEntry:
        return {"--drive", announcingImage()};
      case Damage::CrossLinkedFileFat:
        return {"--drive", crossLinkedImage()};
      case Damage::BadInsideProbedHojin:
        bad = {probed + 30};
        break;
      case Damage::BadProbedHead:
        bad = {probed};
        break;
      case Damage::BadSlot2:
        bad = {sample::slotSector(disk_.model, 2)};
        break;
    }
    const std::string map = output_.file("bad.map");
    std::ofstream(map) << mapfileText(static_cast<int64_t>(disk_.imageBytes), bad);
    return {"--drive", image(), "--mapfile", map};
  }
};

const char* const kCrossLinkDoubt =
    "Block 0 gehört auch Eintrag 0, insgesamt gehören 7 Blöcke dieser Aufnahme auch anderen; "
    "die File-FAT nennt 7 Blöcke, die Länge braucht nur 1";
const std::string kCrossLinkedLine =
    std::string("Eintrag 1 \"Tagesschau\" wurde nicht vollständig gespeichert. (") +
    kCrossLinkDoubt + ")";
const char* const kRejectedStop =
    "Abbruch: Der \"File-FAT-Size\"-Wert ist nicht gesichert (die automatische Ermittlung "
    "fand keinen Wert); ohne ihn wird keine Aufnahme gelesen. Bitte den Wert vorgeben: im "
    "Fenster über \"Optionen\", auf der Kommandozeile mit --fat-size N.";
const char* const kRejectedWarning =
    "Warnung: Der \"File-FAT-Size\"-Wert ist nicht gesichert (die automatische Ermittlung "
    "fand keinen Wert). Bitte den Wert vorgeben: im Fenster über \"Optionen\", auf der "
    "Kommandozeile mit --fat-size N.";
TEST_P(CliDamage, IsReportedWithItsExitCode) {
  const DamageCase& c = GetParam();
  std::vector<std::string> arguments = driveArguments(c.damage);
  TempDir target;
  for (const std::string& word : c.command)
    arguments.push_back(word == "OUT" ? target.path() : word);
  const ProcessRun run = runProgram(cliProgram(), arguments);
  EXPECT_EQ(run.status, c.status) << run.err;
  EXPECT_TRUE(hasLine(run.errLines(), c.keyLine)) << run.err;
  if (c.listed >= 0) {
    EXPECT_EQ(run.outLines().size(), static_cast<size_t>(c.listed)) << run.out;
  }
  if (c.command.back() == "--json" && c.command.front() == "list") {
    const nlohmann::json listed = nlohmann::json::parse(run.out);
    EXPECT_EQ(listed.at("unreadable_slots"), c.damage == Damage::BadSlot2 ? 1 : 0);
    // A size the probe did not settle is none: null, not a made-up -1.
    if (c.damage == Damage::BadProbedHead)
      EXPECT_TRUE(listed.at("file_fat_size").is_null()) << run.out;
    else
      EXPECT_EQ(listed.at("file_fat_size"), disk_.fileFatSize);
    size_t blank = 0;
    for (const nlohmann::json& recording : listed.at("recordings"))
      blank += recording.at("blank").get<bool>() ? 1 : 0;
    EXPECT_EQ(blank, c.damage == Damage::AnnouncesEveryEntry ? 1995u : 0u);
  }
  // A file for every recording, none for a slot of zeros; none at all with a rejected
  // File-FAT-Size.
  if (c.damage == Damage::AnnouncesEveryEntry && c.command.front() == "export") {
    EXPECT_EQ(filesIn(target.path()), disk_.recordings.size());
  }
  if (std::string(c.keyLine) == kRejectedStop) {
    EXPECT_EQ(filesIn(target.path()), 0u);
  }
  // A record holds a doubt exactly where the file FAT shares blocks with another's: the
  // file is written, but neither complete nor counted as saved.
  const bool crossLinked = c.damage == Damage::CrossLinkedFileFat;
  if (std::ifstream in(target.file("korvelo-manifest.json")); in) {
    const nlohmann::json manifest = nlohmann::json::parse(in);
    for (const nlohmann::json& record : manifest.at("recordings")) {
      const int number = record.at("entry_number");
      const bool inDoubt = crossLinked && number <= 1;  // entries 0 and 1 name the same blocks
      EXPECT_EQ(record.contains("doubt"), inDoubt) << record.dump(2);
      if (inDoubt) EXPECT_FALSE(record.at("complete").get<bool>());
      if (inDoubt && number == 1) EXPECT_EQ(record.at("doubt"), kCrossLinkDoubt);
    }
  }
  if (crossLinked) {
    EXPECT_EQ(filesIn(target.path()), c.command.size() - 3);  // every entry given is written
    const auto uncertain = std::count(c.command.begin(), c.command.end(), "0") +
                           std::count(c.command.begin(), c.command.end(), "1");
    EXPECT_NE(run.err.find("0 Aufnahmen gespeichert, 0 beschädigt, 0 übersprungen, " +
                           std::to_string(uncertain) + " unsicher, "),
              std::string::npos)
        << run.err;
  }
  if (c.damage == Damage::AnnouncesEveryEntry && c.command.front() == "check") {
    EXPECT_NE(run.out.find("Verzeichnis: 1995 Plätze enthalten nur Nullen und sind keine "
                           "Aufnahmen (5 bis 1999).\n"),
              std::string::npos)
        << run.out;
  }
  if (c.damage == Damage::BadSlot2 && c.command.front() == "check") {
    EXPECT_NE(run.out.find(
                  "Verzeichnis: 1 Platz war nicht lesbar; seine Aufnahme fehlt in der Prüfung.\n"),
              std::string::npos)
        << run.out;
  }
  if (c.damage != Damage::CutImage && c.damage != Damage::CutImageWithMapfile) return;
  // What the cut image lacks is no part of the disk to compare the file with.
  ASSERT_EQ(filesIn(target.path()), 1u);
  std::vector<std::string> verify = driveArguments(c.damage);
  verify.push_back("verify");
  for (const auto& item : std::filesystem::directory_iterator(target.path()))
    if (item.path().extension() == ".hav") verify.push_back(item.path().string());
  const ProcessRun check = runProgram(cliProgram(), verify);
  EXPECT_EQ(check.status, 1) << check.out << check.err;
  EXPECT_NE(check.out.find("HOJIN 16: auf der Festplatte nicht lesbar (ab Sektor"),
            std::string::npos)
      << check.out;
  // Without the disk too, the file's own record keeps it from passing: its sums match, but
  // it was never complete.
  verify.erase(verify.begin(), verify.begin() + static_cast<long>(verify.size()) - 2);
  const ProcessRun alone = runProgram(cliProgram(), verify);
  EXPECT_EQ(alone.status, 1) << alone.out;
  EXPECT_NE(alone.out.find("korvelo-manifest.json\" nicht vollständig gespeichert: 55 Sektoren "
                           "mit Nullen gefüllt in 1 Bereich (der erste ab Sektor "),
            std::string::npos)
      << alone.out;
}

const char* const kDamagedLastHojin =
    "Beschädigt: 1 Hojin mit zusammen 55 nicht lesbaren Sektoren (mit Nullen gefüllt).";

INSTANTIATE_TEST_SUITE_P(
    Cases, CliDamage,
    ::testing::Values(
        DamageCase{
            "CutImage", Damage::CutImage, {"export", "4", "-o", "OUT"}, 1, kDamagedLastHojin, -1},
        DamageCase{"CutImageWithMapfile",
                   Damage::CutImageWithMapfile,
                   {"export", "4", "-o", "OUT"},
                   1,
                   kDamagedLastHojin,
                   -1},
        DamageCase{"BadInsideProbedHojin",
                   Damage::BadInsideProbedHojin,
                   {"list"},
                   0,
                   "Überprüfung bestätigt 72 als \"File-FAT-Size\"-Wert (100%).",
                   5},
        // The probe settles on a wrong value that the verification rejects: the list is
        // shown, but nothing read through that value counts.
        DamageCase{
            "BadProbedHead",
            Damage::BadProbedHead,
            {"list"},
            1,
            "  Bitte den \"File-FAT-Size\"-Wert von Hand vorgeben: im Fenster über \"Optionen\", "
            "auf der Kommandozeile mit --fat-size N.",
            5},
        DamageCase{"BadProbedHeadJson",
                   Damage::BadProbedHead,
                   {"list", "--json"},
                   1,
                   "  Bitte den \"File-FAT-Size\"-Wert von Hand vorgeben: im Fenster über "
                   "\"Optionen\", auf der Kommandozeile mit --fat-size N.",
                   -1},
        DamageCase{
            "BadProbedHeadSearch", Damage::BadProbedHead, {"search"}, 1, kRejectedWarning, 0},
        DamageCase{"BadProbedHeadExport",
                   Damage::BadProbedHead,
                   {"export", "--all", "-o", "OUT"},
                   1,
                   kRejectedStop,
                   0},
        DamageCase{"BadProbedHeadCheck", Damage::BadProbedHead, {"check"}, 1, kRejectedStop, 0},
        // A value given by hand is tested too: the first recording's head is unreadable,
        // the next ones' starts confirm it.
        DamageCase{"BadProbedHeadGivenValue",
                   Damage::BadProbedHead,
                   {"--fat-size", "72", "list"},
                   0,
                   "Überprüfung ergab keinen gültigen \"File-FAT-Size\"-Wert unterhalb von 256.",
                   5},
        DamageCase{"WrongGivenValueSearch",
                   Damage::None,
                   {"--fat-size", "73", "search"},
                   1,
                   "Warnung: Der vorgegebene \"File-FAT-Size\"-Wert 73 besteht die Überprüfung "
                   "nicht; er wird trotzdem benutzt.",
                   0},
        // 1995 slots of zeros: listed (and marked), never saved as recordings.
        DamageCase{"AnnouncesEveryEntryList",
                   Damage::AnnouncesEveryEntry,
                   {"list", "--json"},
                   0,
                   "Warnung! Das Verzeichnis sollte 65535 Einträge haben, hat aber nur 2000.",
                   -1},
        DamageCase{"AnnouncesEveryEntryExport",
                   Damage::AnnouncesEveryEntry,
                   {"export", "--all", "-o", "OUT"},
                   1,
                   "1995 leere Verzeichnisplätze (nur Nullen) übersprungen.",
                   5},
        DamageCase{"AnnouncesEveryEntryCheck",
                   Damage::AnnouncesEveryEntry,
                   {"check"},
                   1,
                   "Warnung! Das Verzeichnis sollte 65535 Einträge haben, hat aber nur 2000.",
                   -1},
        DamageCase{"BadSlot2",
                   Damage::BadSlot2,
                   {"list"},
                   1,
                   "  Konnte Sektor 6598768l (0x0064B070) nicht lesen.",
                   4},
        DamageCase{"BadSlot2Json",
                   Damage::BadSlot2,
                   {"list", "--json"},
                   1,
                   "  Konnte Sektor 6598768l (0x0064B070) nicht lesen.",
                   -1},
        DamageCase{"BadSlot2Check",
                   Damage::BadSlot2,
                   {"check"},
                   1,
                   "  Konnte Sektor 6598768l (0x0064B070) nicht lesen.",
                   -1},
        // The recordings after the slot are saved, and the run still says something is missing.
        DamageCase{"BadSlot2Export",
                   Damage::BadSlot2,
                   {"export", "4", "-o", "OUT"},
                   1,
                   "Speichern abgeschlossen.",
                   1},
        // Every head right, but they are entry 0's: the file FAT names entry 0's blocks.
        DamageCase{"CrossLinkedFileFatExport",
                   Damage::CrossLinkedFileFat,
                   {"export", "1", "-o", "OUT"},
                   1,
                   kCrossLinkedLine.c_str(),
                   0},
        // Entry 1 offered after the pass over the file FATs that entry 0 began; entry 0
        // names the same blocks and is in doubt too.
        DamageCase{"CrossLinkedFileFatBothOfThem",
                   Damage::CrossLinkedFileFat,
                   {"export", "0", "1", "-o", "OUT"},
                   1,
                   kCrossLinkedLine.c_str(),
                   0},
        // Every head wrong: the file is not the recording's, however complete its size.
        DamageCase{
            "WrongFileFatSize",
            Damage::None,
            {"--fat-size", "71", "export", "1", "-o", "OUT"},
            1,
            "Die meisten Hojin-Köpfe sind falsch: Der \"File-FAT-Size\"-Wert ist wahrscheinlich "
            "falsch. Bitte den richtigen Wert in den Optionen (korvelo-cli: --fat-size N) "
            "einstellen.",
            0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliReliability, AMalformedMapfileIsRefusedWithItsLineBeforeAnythingIsRead) {
  const std::string broken = output_.file("kaputt.map");
  std::ofstream(broken) << "# Mapfile\n0 + 1\n0 4096 +\n2048 512 -\n";
  TempDir target;
  const ProcessRun run = runProgram(cliProgram(), {"--drive", image(), "--mapfile", broken,
                                                   "export", "--all", "-o", target.path()});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "korvelo-cli: Fehler in der Mapdatei \"" + broken +
                         "\", Zeile 4: Bereich beginnt vor dem Ende des vorigen\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(filesIn(target.path()), 0u);
}

TEST_F(CliReliability, AMapfileBeforeAnyDriveOrASecondOneForTheSameDriveIsAUsageError) {
  const ProcessRun before =
      runProgram(cliProgram(), {"--mapfile", mapfile(), "--drive", image(), "list"});
  EXPECT_EQ(before.status, 2);
  EXPECT_EQ(before.errLines().at(0), "korvelo-cli: --mapfile \"" + mapfile() +
                                         "\" muss hinter dem --drive stehen, zu dem sie gehört.");
  const ProcessRun twice = runProgram(
      cliProgram(), {"--drive", image(), "--mapfile", mapfile(), "--mapfile", mapfile(), "list"});
  EXPECT_EQ(twice.status, 2);
  EXPECT_EQ(twice.errLines().at(0),
            "korvelo-cli: Zu --drive \"" + image() + "\" gibt es zwei Mapdateien.");
}

TEST_F(CliReliability, EachMapfileBelongsToTheDriveBeforeIt) {
  // The first drive is no recorder disk; its mapfile is broken and must be the one named.
  const std::string other = output_.file("leer.img"), broken = output_.file("leer.map");
  createSparseFile(other, 1 << 20);
  std::ofstream(broken) << "0 + 1\n0 512 !\n";
  const ProcessRun run = runProgram(cliProgram(), {"--drive", other, "--mapfile", broken, "--drive",
                                                   image(), "--mapfile", mapfile(), "list"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "korvelo-cli: Fehler in der Mapdatei \"" + broken +
                         "\", Zeile 2: unbekannter Status \"!\"\n");
  const ProcessRun good =
      runProgram(cliProgram(), {"--drive", other, "--drive", image(), "--mapfile", mapfile(),
                                "export", "1", "-o", output_.path()});
  EXPECT_EQ(good.status, 0) << good.err;  // recording 1 lies outside the bad sectors
}

TEST_F(CliReliability, TheHelpShowsTheMapfileForm) {
  const ProcessRun run = runProgram(cliProgram(), {"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("--mapfile MAPDATEI"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("korvelo-cli --drive platte.img --mapfile platte.map export --all"),
            std::string::npos);
}

// Every line of the strace log that opens `path`: its flags must be plain read-only.
std::vector<std::string> opensOf(const std::string& straceLog, const std::string& path) {
  std::ifstream in(straceLog);
  std::vector<std::string> found;
  for (std::string line; std::getline(in, line);)
    if (line.find("\"" + path + "\"") != std::string::npos) found.push_back(line);
  return found;
}

bool opensReadOnly(const std::string& line) {
  if (line.find("creat(") != std::string::npos) return false;
  for (const char* writing : {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_APPEND"})
    if (line.find(writing) != std::string::npos) return false;
  return line.find("O_RDONLY") != std::string::npos;
}

TEST_F(CliReliability, AWholeExportOpensTheImageAndTheMapfileOnlyForReading) {
  if (straceProgram().empty())
    GTEST_SKIP() << "strace is not installed; the read-only proof needs it";
  const std::string before = imageHash(image()), mapBefore = sha256OfFile(mapfile());
  const std::string trace = output_.file("trace.log");
  TempDir target;
  const ProcessRun run = runProgram(
      cliProgram(),
      {"--drive", image(), "--mapfile", mapfile(), "export", "--all", "-o", target.path()}, trace);
  EXPECT_EQ(run.status, 1) << run.err;  // damaged, but written
  EXPECT_EQ(filesIn(target.path()), disk_.recordings.size());
  for (const std::string& path : {image(), mapfile()}) {
    SCOPED_TRACE(path);
    const std::vector<std::string> opens = opensOf(trace, path);
    EXPECT_FALSE(opens.empty()) << "strace saw no open of the file; the proof would be void";
    for (const std::string& line : opens) EXPECT_TRUE(opensReadOnly(line)) << line;
  }
  EXPECT_EQ(imageHash(image()), before);
  EXPECT_EQ(sha256OfFile(mapfile()), mapBefore);
}

// The file FATs of export --all are read in one pass before the copy; one that cannot be
// read there stops its recording with the line it always did, and every other file is
// the one a clean export writes.
TEST_F(CliReliability, AnUnreadableFileFatStopsOnlyItsOwnRecording) {
  const sample::Recording& broken = disk_.recordings[1];
  const int64_t fat = 6662704 + (int64_t{broken.entryNumber} + 1) * disk_.fileFatSize;
  const std::string map = output_.file("fat.map");
  std::ofstream(map) << mapfileText(static_cast<int64_t>(disk_.imageBytes), {fat + 3});
  TempDir clean, target;
  runProgram(cliProgram(), {"--drive", image(), "export", "--all", "-o", clean.path()});
  const ProcessRun run = runProgram(
      cliProgram(), {"--drive", image(), "--mapfile", map, "export", "--all", "-o", target.path()});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(hasLine(run.errLines(), "Abbruch, da Sektor des Hojin #1 (von " +
                                          std::to_string(broken.lengthSectors / 65) +
                                          ") nicht ermittelt werden konnte."))
      << run.err;
  size_t whole = 0;
  for (const auto& item : std::filesystem::directory_iterator(clean.path())) {
    if (item.path().extension() != ".hav" || &recordingOfFile(item.path()) == &broken) continue;
    ++whole;
    EXPECT_EQ(readFileBytes(target.file(item.path().filename().string())),
              readFileBytes(item.path().string()))
        << item.path();
  }
  EXPECT_EQ(whole, disk_.recordings.size() - 1);
}

TEST(ReadOnlyProof, TheFlagCheckCatchesEveryWayOfOpeningForWriting) {
  EXPECT_TRUE(opensReadOnly("12 openat(AT_FDCWD, \"/x.img\", O_RDONLY|O_CLOEXEC) = 3"));
  EXPECT_TRUE(opensReadOnly(
      "12 openat2(AT_FDCWD, \"/x.img\", {flags=O_RDONLY|O_CLOEXEC, resolve=0}, 24) = 3"));
  EXPECT_FALSE(opensReadOnly("12 openat(AT_FDCWD, \"/x.img\", O_RDWR) = 3"));
  EXPECT_FALSE(opensReadOnly("12 open(\"/x.img\", O_WRONLY|O_CREAT|O_TRUNC, 0666) = 3"));
  EXPECT_FALSE(opensReadOnly("12 openat(AT_FDCWD, \"/x.img\", O_RDONLY|O_TRUNC) = 3"));
  EXPECT_FALSE(opensReadOnly("12 creat(\"/x.img\", 0666) = 3"));
}

}  // namespace
}  // namespace korvelo::test
