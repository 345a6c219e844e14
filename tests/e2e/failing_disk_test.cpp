// SPDX-License-Identifier: GPL-3.0-or-later
// Exports from a real block device whose reads fail: the image behind a loop device,
// served by a file system that fails chosen sectors or every read. Counts the reads that
// reached the device, so that a bad area's cost is checked, not only the file's bytes.
#include "support/failing_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <thread>

#include "diskbuilder/layout.h"
#include "support/file_util.h"
#include "support/process_run.h"
#include "support/reliability_fixture.h"
#include "support/sample_recordings.h"

namespace korvelo {
namespace {

using test::DiskBehaviour;
using test::FailingDisk;
using test::ProcessRun;
using test::runProgram;

constexpr int64_t kHeadAndEntryBytes = 88 + 1536;
constexpr int64_t kHojinBytes = 65 * 512;

class FailingDiskExport : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = FailingDisk::missingPrerequisite(); !missing.empty())
      GTEST_SKIP() << missing;
    image_ = std::make_unique<test::RecorderImage>(test::twoRecordingDisk());
    try {
      disk_ = std::make_unique<FailingDisk>(image_->imagePath());
    } catch (const std::exception& problem) {
      // A container may offer /dev/fuse and losetup but refuse the mount or the loop device.
      GTEST_SKIP() << problem.what();
    }
    output_ = image_->folder() + "/filme";
    std::filesystem::create_directory(output_);
  }

  // Disk sector `offset` of HOJIN k of the 20-HOJIN recording (entry 0).
  int64_t sectorOf(int k, int offset = 0) const {
    return sample::hojinSector(image_->description(), image_->recording(0), k) + offset;
  }

  ProcessRun exportFirst(std::vector<std::string> extra = {},
                         std::vector<std::string> global = {}) {
    std::vector<std::string> arguments = std::move(global);
    for (const char* argument :
         {"--drive", disk_->device().c_str(), "export", "0", "-o", output_.c_str()})
      arguments.emplace_back(argument);
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return runProgram(test::cliProgram(), arguments);
  }

  std::string exportedFile() const {
    for (const auto& item : std::filesystem::directory_iterator(output_))
      if (item.path().extension() == ".hav") return item.path().string();
    return {};
  }

  static bool hasLine(const ProcessRun& run, const std::string& line) {
    const std::vector<std::string> lines = run.errLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  std::unique_ptr<test::RecorderImage> image_;
  std::unique_ptr<FailingDisk> disk_;
  std::string output_;
};

// The commands that only look at the disk read through direct I/O in pieces of every size
// and alignment; with a bad sector in recording data they say what they say of the image.
TEST_F(FailingDiskExport, ListRescueAndDomainGiveWhatTheImageGives) {
  disk_->setBehaviour({.failing = {{sectorOf(5, 10), 1}}});
  const std::vector<std::vector<std::string>> commands = {
      {"list", "--json"}, {"rescue", "--json"}, {"domain", "--all", "-o"}};
  for (const auto& command : commands) {
    SCOPED_TRACE(command.front());
    std::vector<std::string> results;
    for (const std::string& drive : {image_->imagePath(), disk_->device()}) {
      std::vector<std::string> arguments = {"--drive", drive};
      arguments.insert(arguments.end(), command.begin(), command.end());
      const std::string map = output_ + "/domain-" + std::to_string(results.size()) + ".map";
      if (command.front() == "domain") arguments.push_back(map);
      const ProcessRun run = runProgram(test::cliProgram(), arguments);
      EXPECT_EQ(run.status, 0) << run.err;
      if (command.front() == "domain") {
        const std::vector<uint8_t> bytes = test::readFileBytes(map);
        results.emplace_back(bytes.begin(), bytes.end());
      } else {
        results.push_back(run.out);
      }
    }
    EXPECT_FALSE(results[0].empty());
    EXPECT_EQ(results[0], results[1]);
  }
}

// Ctrl-C or SIGTERM while a read takes long: the export stops after the HOJIN that read,
// not after the step it belongs to, and keeps HOJINs 1 and 2 for --resume.
TEST_F(FailingDiskExport, ASignalDuringAReadStopsTheExportAfterThatHojin) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    std::filesystem::remove_all(output_);
    std::filesystem::create_directory(output_);
    disk_->clearReadLog();
    disk_->setBehaviour({.slow = {{sectorOf(2), 65}}, .slowMilliseconds = 1000});
    test::CliRunOptions options;
    options.signal = signal;
    options.signalWhen = [&] {
      const auto reads = disk_->reads();
      return std::any_of(reads.begin(), reads.end(),
                         [&](const auto& read) { return read.touches(sectorOf(2)); });
    };
    const test::CliRun run =
        test::runCli({"--drive", disk_->device(), "export", "0", "-o", output_}, options);
    EXPECT_EQ(run.status, 130) << run.err;
    const std::string file = exportedFile();
    EXPECT_TRUE(hasLine(run, "Abgebrochen: \"" + file +
                                 "\" enthält Hojin 1 bis 2 (von 20) und ist gesichert; export "
                                 "--resume setzt dort fort."))
        << run.err;
    EXPECT_EQ(test::readFileBytes(file).size(), size_t(kHeadAndEntryBytes + 2 * kHojinBytes));
  }
}

// How the disk fails in one row of the table.
enum class Dying {
  No,
  Detached,         // reads fail with ENODEV, as on a disk that was pulled
  DeadButAttached,  // every read fails with EIO
};

struct DiskFault {
  const char* name;
  int entry;  // 0: 20 HOJINs, 2: 120 HOJINs
  test::LoopCache cache = test::LoopCache::Direct;
  std::vector<std::pair<int, int>> badSectors = {};  // (HOJIN, sector in it)
  int badSector10From = 0;                           // sector 10 of every HOJIN from this one
  int deadFrom = 0, deadHojins = 0;                  // wholly unreadable HOJINs
  std::vector<int> slowHojins = {};
  int slowMilliseconds = 0;
  Dying dying = Dying::No;  // from the moment HOJIN 8 is read
  int diesAfter = -1;       // >= 0: every read fails after this many good ones of the run
  int maxFailingReads = 0;
  double maxSeconds = 10;
  int status = 1;
  int slowReads = 0;                    // counted in the manifest
  std::vector<std::string> lines = {};  // log lines that must appear (prefixes with "…")
  bool zerosExactlyThere = false;       // the file has zeros exactly at the bad sectors
};

class DiskFaults : public ::testing::TestWithParam<DiskFault> {
 protected:
  void SetUp() override {
    if (const std::string missing = FailingDisk::missingPrerequisite(); !missing.empty())
      GTEST_SKIP() << missing;
    sample::DiskDescription description = test::twoRecordingDisk();
    description.recordings.push_back(
        test::numberedRecording(2, {60, 61, 62, 63, 64, 65, 66, 67}, 120 * 65, 1800000));
    image_ = std::make_unique<test::RecorderImage>(description);
    try {
      disk_ = std::make_unique<FailingDisk>(image_->imagePath(), GetParam().cache);
    } catch (const std::exception& problem) {
      GTEST_SKIP() << problem.what();
    }
    output_ = image_->folder() + "/filme";
    std::filesystem::create_directory(output_);
  }

  const sample::Recording& recording() const {
    for (const auto& recording : image_->description().recordings)
      if (recording.slot == GetParam().entry) return recording;
    throw std::runtime_error("no such recording");
  }
  int64_t sectorOf(int k, int offset = 0) const {
    return sample::hojinSector(image_->description(), recording(), k) + offset;
  }

  // `global` goes before the command, `extra` after it.
  ProcessRun exportIt(std::vector<std::string> extra = {}, std::vector<std::string> global = {}) {
    std::vector<std::string> arguments = std::move(global);
    for (const std::string& argument :
         {std::string("--drive"), disk_->device(), std::string("export"),
          std::to_string(GetParam().entry), std::string("-o"), output_})
      arguments.push_back(argument);
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return runProgram(test::cliProgram(), arguments);
  }

  std::string exportedFile() const {
    for (const auto& item : std::filesystem::directory_iterator(output_))
      if (item.path().extension() == ".hav") return item.path().string();
    return {};
  }

  // The manifest's record of the exported file.
  nlohmann::json record() const {
    std::ifstream in(output_ + "/korvelo-manifest.json");
    const nlohmann::json manifest = nlohmann::json::parse(in);
    for (const nlohmann::json& item : manifest["recordings"])
      if (output_ + "/" + item["file"].get<std::string>() == exportedFile()) return item;
    return {};
  }

  // The disk's behaviour while the fault lasts, and while the disk is not dying yet.
  DiskBehaviour behaviour() const {
    const DiskFault& fault = GetParam();
    DiskBehaviour behaviour;
    for (const auto& [k, offset] : fault.badSectors)
      behaviour.failing.push_back({sectorOf(k, offset), 1});
    for (int k = fault.badSector10From; k > 0 && k <= recording().lengthSectors / 65; ++k)
      behaviour.failing.push_back({sectorOf(k, 10), 1});
    if (fault.deadHojins > 0)
      behaviour.failing.push_back({sectorOf(fault.deadFrom), int64_t{fault.deadHojins} * 65});
    for (int k : fault.slowHojins) behaviour.slow.push_back({sectorOf(k), 65});
    behaviour.slowMilliseconds = fault.slowMilliseconds;
    behaviour.diesAfter = fault.diesAfter;
    if (fault.dying != Dying::No) {  // HOJIN 8 slow, so that the disk can die while it is read
      behaviour.slow.push_back({sectorOf(8), 65});
      behaviour.slowMilliseconds = 400;
    }
    return behaviour;
  }

  // Runs the export; a dying disk dies as soon as HOJIN 8 is asked for.
  ProcessRun exportWhileFailing() {
    disk_->setBehaviour(behaviour());
    if (GetParam().dying == Dying::No) return exportIt();
    ProcessRun run;
    // Quiet: what a dying disk makes the export say is an error, and errors always show.
    std::thread exporter([&] { run = exportIt({}, {"-q"}); });
    const int64_t eighth = sectorOf(8);
    for (int waited = 0; waited < 2000; ++waited) {
      const auto reads = disk_->reads();
      if (std::any_of(reads.begin(), reads.end(),
                      [&](const auto& read) { return read.touches(eighth); }))
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    DiskBehaviour dead;
    if (GetParam().dying == Dying::Detached)
      dead.gone = true;
    else
      dead.failing = {{0, int64_t{1} << 40}};
    disk_->setBehaviour(dead);
    exporter.join();
    return run;
  }

  static bool hasLine(const ProcessRun& run, const std::string& line) {
    const std::string prefix = line.ends_with("…") ? line.substr(0, line.size() - 3) : line;
    const std::vector<std::string> lines = run.errLines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& have) {
      return prefix.size() == line.size() ? have == line : have.starts_with(prefix);
    });
  }

  std::unique_ptr<test::RecorderImage> image_;
  std::unique_ptr<FailingDisk> disk_;
  std::string output_;
};

// Every row: the export's failing reads and time stay within the row's bound; every byte
// of the file is the healthy export's or a zero the manifest records; once the disk reads
// again, --retry-bad makes the file the healthy export byte for byte, reading nothing
// already in the file again but the damaged areas and the last kept HOJIN.
TEST_P(DiskFaults, TheExportStaysWithinItsBoundAndIsRepairedOnceTheDiskReadsAgain) {
  const DiskFault& fault = GetParam();
  const auto start = std::chrono::steady_clock::now();
  const ProcessRun run = exportWhileFailing();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.status, fault.status) << run.err;
  std::string failed;  // the device's failing reads, for the message
  for (const test::DeviceRead& read : disk_->reads())
    if (read.failed())
      failed += std::to_string(read.offset / 512) + "+" + std::to_string(read.size / 512) + " ";
  EXPECT_LE(disk_->failingReads(), fault.maxFailingReads) << failed << "\n" << run.err;
  EXPECT_LE(seconds, fault.maxSeconds);
  for (const std::string& line : fault.lines)
    EXPECT_TRUE(hasLine(run, line)) << line << "\n" << run.err;
  if (fault.diesAfter >= 0) {  // dead before the export began: nothing may be written
    EXPECT_TRUE(std::filesystem::is_empty(output_));
    return;
  }

  const std::string file = exportedFile();
  const std::vector<uint8_t> healthy = image_->expectedHav(recording());
  const std::vector<uint8_t> got = test::readFileBytes(file);
  ASSERT_LE(got.size(), healthy.size());
  EXPECT_EQ((got.size() - kHeadAndEntryBytes) % kHojinBytes == 0 || got.size() == healthy.size(),
            true)
      << "the file ends after a whole HOJIN";
  std::vector<bool> recorded(got.size(), false);
  const nlohmann::json manifestRecord = record();
  ASSERT_TRUE(manifestRecord.contains("damaged_areas")) << manifestRecord.dump();
  EXPECT_EQ(manifestRecord["slow_reads"], fault.slowReads);
  if (fault.slowReads > 0) EXPECT_GE(manifestRecord["longest_read_ms"], fault.slowMilliseconds);
  for (const nlohmann::json& area : manifestRecord["damaged_areas"]) {
    const int64_t offset = area["file_offset"], bytes = area["sectors"].get<int64_t>() * 512;
    for (int64_t at = offset; at < offset + bytes && at < int64_t(got.size()); ++at) {
      recorded[size_t(at)] = true;
      ASSERT_EQ(got[size_t(at)], 0) << "recorded byte " << at << " is no zero";
    }
  }
  for (size_t at = 0; at < got.size(); ++at)
    ASSERT_TRUE(got[at] == healthy[at] || recorded[at]) << "byte " << at << " differs unrecorded";
  if (fault.zerosExactlyThere) {
    std::set<int64_t> zeroed;
    for (const auto& [k, offset] : fault.badSectors) zeroed.insert(sectorOf(k, offset));
    EXPECT_EQ(got, image_->expectedHav(recording(), zeroed));
  }

  disk_->setBehaviour({});
  disk_->clearReadLog();
  const ProcessRun repaired = exportIt({"--retry-bad"});
  EXPECT_EQ(repaired.status, 0) << repaired.err;
  EXPECT_EQ(test::readFileBytes(file), healthy);
  if (fault.dying == Dying::No) return;
  // Nothing of HOJINs 2 ... 7 is read again but the bad sector of HOJIN 3 (HOJIN 1 is read
  // by the disk search, whatever is exported).
  const auto reads = disk_->reads();
  for (int k = 2; k < 8; ++k) {
    const int64_t first = sectorOf(k), count = k == 3 ? 1 : 0;
    const auto again = std::count_if(reads.begin(), reads.end(), [&](const auto& read) {
      return read.offset >= first * 512 && read.offset < (first + 65) * 512;
    });
    EXPECT_EQ(again, count) << "HOJIN " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    LoopDevice, DiskFaults,
    ::testing::Values(
        // Three single sectors: at most two failing reads each (the HOJIN, then the sector).
        DiskFault{.name = "IsolatedSectors",
                  .entry = 0,
                  .badSectors = {{3, 5}, {3, 40}, {17, 30}},
                  .maxFailingReads = 6,
                  .lines = {"Warnung: 2 Sektoren des Hojin 3 (von 20) nicht lesbar, mit Nullen "
                            "gefüllt.",
                            "Warnung: 1 Sektor des Hojin 17 (von 20) nicht lesbar, mit Nullen "
                            "gefüllt.",
                            "Beschädigt: 2 Hojins mit zusammen 3 nicht lesbaren Sektoren (mit "
                            "Nullen gefüllt)."},
                  .zerosExactlyThere = true},
        // One bad sector in the middle of a large request: the request fails, the HOJINs
        // before it are read sector by sector, so the sector costs the two failing reads it
        // cost when every HOJIN was a request of its own. The device may see a third: the
        // kernel, when it has split the large request, now and then retries the failed piece
        // (as in the row of every HOJIN bad below).
        DiskFault{.name = "BadSectorInTheMiddleOfALargeRequest",
                  .entry = 2,
                  .badSectors = {{20, 33}},
                  .maxFailingReads = 3,
                  .lines = {"Warnung: 1 Sektor des Hojin 20 (von 120) nicht lesbar, mit Nullen "
                            "gefüllt.",
                            "Beschädigt: 1 Hojin mit zusammen 1 nicht lesbaren Sektor (mit "
                            "Nullen gefüllt)."},
                  .zerosExactlyThere = true},
        // Four dead HOJINs: 5 is read sector by sector up to two failures, 6 jumped over, the
        // probe 7 fails, 8 and 9 jumped over, the probe 10 reads; the trim reads 9 and stops
        // at 8.
        DiskFault{.name = "DeadStretch",
                  .entry = 0,
                  .deadFrom = 5,
                  .deadHojins = 4,
                  .maxFailingReads = 5,
                  .lines = {"Warnung: 65 Sektoren des Hojin 5 (von 20) nicht lesbar, mit Nullen "
                            "gefüllt.",
                            "  Davon 63 nach 2 Lesefehlern in Folge nicht versucht.",
                            "Warnung: Hojin 6 (von 20) übersprungen …",
                            "Warnung: Hojins 8 bis 9 (von 20) übersprungen …",
                            "Übersprungene Hojins nachgelesen: 1 lesbar, 1 nicht; 3 Hojins "
                            "bleiben nicht versucht …",
                            "Beschädigt: 4 Hojins mit zusammen 260 nicht lesbaren Sektoren (mit "
                            "Nullen gefüllt)."}},
        // 40 dead HOJINs in 120: 3 failing reads for HOJIN 10, one for each of the probes
        // 12, 15, 20, 29, 46, one for the trim that reads back from 78 and stops at 49.
        DiskFault{.name = "DeadAreaOf40Hojins",
                  .entry = 2,
                  .deadFrom = 10,
                  .deadHojins = 40,
                  .maxFailingReads = 24,
                  .lines = {"Warnung: Hojins 47 bis 78 (von 120) übersprungen …",
                            "Übersprungene Hojins nachgelesen: 29 lesbar, 1 nicht; 39 Hojins "
                            "bleiben nicht versucht …",
                            "Beschädigt: 40 Hojins mit zusammen 2.600 nicht lesbaren Sektoren (mit "
                            "Nullen gefüllt)."}},
        // The disk goes while HOJIN 8 is read: pulled, or there but failing every read, read
        // past the cache or through it.
        DiskFault{.name = "Detached",
                  .entry = 0,
                  .badSectors = {{3, 20}},
                  .dying = Dying::Detached,
                  .maxFailingReads = 50,
                  .lines = {"Das Laufwerk antwortet nicht mehr: Hojin 9 (von 20) ließ sich nicht "
                            "lesen, der Export ist angehalten."}},
        DiskFault{.name = "DiesDirect",
                  .entry = 0,
                  .badSectors = {{3, 20}},
                  .dying = Dying::DeadButAttached,
                  .maxFailingReads = 50,
                  .lines = {"Das Laufwerk antwortet nicht mehr: Hojin 9 (von 20) ließ sich nicht "
                            "lesen, der Export ist angehalten."}},
        DiskFault{.name = "DiesBuffered",
                  .entry = 0,
                  .cache = test::LoopCache::Buffered,
                  .badSectors = {{3, 20}},
                  .dying = Dying::DeadButAttached,
                  .maxFailingReads = 50},
        // A bad sector in every HOJIN from 9 on: no HOJIN fails as a whole, none reads whole;
        // after 32 failing reads (the large request and sector 10 of HOJIN 9, then HOJINs
        // 10 ... 24, two each) the export stops. The device sees 34: the large request over
        // the bad area reaches it as pieces of 128 KiB, two of them fail, and one is asked
        // again below the program.
        DiskFault{.name = "BadSectorInEveryHojin",
                  .entry = 2,
                  .badSector10From = 9,
                  .maxFailingReads = 34,
                  .lines = {"Das Laufwerk antwortet nicht mehr: Hojin 24 (von 120) ließ sich "
                            "nicht lesen, der Export ist angehalten.",
                            "  Seit dem letzten ganz gelesenen Hojin sind 32 Lesezugriffe "
                            "fehlgeschlagen (zusammen …"}},
        // The disk dies while the directory is read (after the two reads of the detection, the
        // directory head and the first slot): the search stops once the failing-read budget is
        // used up (the other slots, the head again, the File-FAT-Size probe), nothing is
        // exported.
        DiskFault{.name = "DiesDuringStartUp",
                  .entry = 0,
                  .diesAfter = 4,
                  .maxFailingReads = 32,
                  .status = 3,
                  .lines = {"Das Laufwerk antwortet nicht mehr: 32 Lesezugriffe in Folge sind "
                            "fehlgeschlagen, die Suche ist angehalten. Laufwerk wieder "
                            "anschließen, dann erneut suchen."}},
        // Two slow HOJINs in one large request: one slow read, the longest told.
        DiskFault{.name = "SlowSectors",
                  .entry = 0,
                  .slowHojins = {5, 12},
                  .slowMilliseconds = 2200,
                  .maxSeconds = 15,
                  .status = 0,
                  .slowReads = 1,
                  .lines = {"Warnung: 1 langsame Lesezugriffe (länger als 2,0 s, der längste …"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvelo
