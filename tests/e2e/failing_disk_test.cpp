// SPDX-License-Identifier: GPL-3.0-or-later
// Exports from a real block device whose reads fail: the image behind a loop device,
// served by a file system that fails chosen sectors or every read. Counts the reads that
// reached the device, so that a bad area's cost is checked, not only the file's bytes.
#include "support/failing_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "diskbuilder/layout.h"
#include "support/file_util.h"
#include "support/process_run.h"
#include "support/reliability_fixture.h"

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

struct DamageCase {
  const char* name;
  std::vector<std::pair<int, int>> failing;  // (HOJIN, sector in it) of recording 0
  int deadHojinsFrom = 0, deadHojins = 0;    // a wholly unreadable stretch
  int maxFailingReads;
  std::vector<std::string> lines;  // log lines that must appear
};

class DamagedAreas : public FailingDiskExport, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedAreas, ZerosExactlyWhereTheDiskFailsAtABoundedCost) {
  const DamageCase& damage = GetParam();
  DiskBehaviour behaviour;
  std::set<int64_t> zeroed;
  for (const auto& [k, offset] : damage.failing) {
    behaviour.failing.push_back({sectorOf(k, offset), 1});
    zeroed.insert(sectorOf(k, offset));
  }
  for (int k = damage.deadHojinsFrom; k < damage.deadHojinsFrom + damage.deadHojins; ++k) {
    behaviour.failing.push_back({sectorOf(k), 65});
    for (int s = 0; s < 65; ++s) zeroed.insert(sectorOf(k, s));
  }
  disk_->setBehaviour(behaviour);

  const ProcessRun run = exportFirst();
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(test::readFileBytes(exportedFile()), image_->expectedHav(image_->recording(0), zeroed));
  for (const std::string& line : damage.lines)
    EXPECT_TRUE(hasLine(run, line)) << line << "\n" << run.err;
  EXPECT_LE(disk_->failingReads(), damage.maxFailingReads);
  EXPECT_GT(disk_->failingReads(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    LoopDevice, DamagedAreas,
    ::testing::Values(
        // Three single sectors: at most two failing reads each (the HOJIN, then the sector).
        DamageCase{
            "IsolatedSectors",
            {{3, 5}, {3, 40}, {17, 30}},
            0,
            0,
            6,
            {"Warnung: 2 Sektoren des Hojin 3 (von 20) nicht lesbar, mit Nullen gefüllt.",
             "Warnung: 1 Sektoren des Hojin 17 (von 20) nicht lesbar, mit Nullen gefüllt.",
             "Beschädigt: 2 Hojins mit zusammen 3 nicht lesbaren Sektoren (mit Nullen gefüllt)."}},
        // Four dead HOJINs: the HOJIN and two sectors each, the rest not tried.
        DamageCase{"DeadStretch",
                   {},
                   5,
                   4,
                   12,
                   {"Warnung: 65 Sektoren des Hojin 5 (von 20) nicht lesbar, mit Nullen gefüllt.",
                    "  Davon 63 nach 2 Lesefehlern in Folge nicht versucht.",
                    "Beschädigt: 4 Hojins mit zusammen 260 nicht lesbaren Sektoren (mit Nullen "
                    "gefüllt)."}}),
    [](const auto& info) { return std::string(info.param.name); });

// How the drive goes: pulled (reads fail with ENODEV), or attached but failing every read.
enum class Vanishing { Detached, DeadButAttached };

class DriveGone : public FailingDiskExport, public ::testing::WithParamInterface<Vanishing> {};

TEST_P(DriveGone, TheExportStopsAfterItsWholeHojinsAndIsRepairedOnceTheDriveIsBack) {
  // A bad sector in HOJIN 3, and HOJIN 8 slow, so that the drive can go while it is read.
  DiskBehaviour damaged;
  damaged.failing = {{sectorOf(3, 20), 1}};
  damaged.slow = {{sectorOf(8), 65}};
  damaged.slowMilliseconds = 400;
  disk_->setBehaviour(damaged);
  DiskBehaviour gone;
  if (GetParam() == Vanishing::Detached)
    gone.gone = true;
  else
    gone.failing = {{0, int64_t{1} << 40}};

  ProcessRun run;
  // Quiet: what a gone drive says is an error, and errors always show.
  std::thread exporter([&] { run = exportFirst({}, {"-q"}); });
  const int64_t eighth = sectorOf(8);
  for (int waited = 0; waited < 2000; ++waited) {
    const auto reads = disk_->reads();
    if (std::any_of(reads.begin(), reads.end(),
                    [&](const auto& read) { return read.touches(eighth); }))
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  disk_->setBehaviour(gone);
  exporter.join();

  EXPECT_EQ(run.status, 1) << run.err;
  const std::string file = exportedFile();
  EXPECT_TRUE(hasLine(run,
                      "Das Laufwerk antwortet nicht mehr: Hojin 9 (von 20) ließ sich nicht lesen, "
                      "der Export ist angehalten."))
      << run.err;
  EXPECT_TRUE(
      hasLine(run, "  Die Datei \"" + file +
                       "\" enthält die Hojins 1 bis 8. Laufwerk wieder "
                       "anschließen, dann mit \"korvelo-cli export --resume\" fortsetzen."));
  EXPECT_EQ(std::filesystem::file_size(file), uint64_t(kHeadAndEntryBytes + 8 * kHojinBytes));
  EXPECT_LE(disk_->failingReads(), 50);

  // Back and healthy: the zeros of HOJIN 3 are read again, the rest copied on.
  disk_->setBehaviour({});
  disk_->clearReadLog();
  const ProcessRun resumed = exportFirst({"--resume", "--retry-bad"});
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_TRUE(hasLine(resumed, "Erneut gelesen: 1 von 1 beschädigten Sektoren in \"" + file +
                                   "\" sind jetzt lesbar."))
      << resumed.err;
  EXPECT_EQ(test::readFileBytes(file), image_->expectedHav(image_->recording(0)));
  // Nothing already in the file is read again but the last kept HOJIN, which proves the
  // file (HOJIN 1 is read by the disk search, whatever is exported).
  const auto reads = disk_->reads();
  for (int k = 2; k < 8; ++k) {
    const int64_t first = sectorOf(k), count = k == 3 ? 1 : 0;
    const auto again = std::count_if(reads.begin(), reads.end(), [&](const auto& read) {
      return read.offset >= first * 512 && read.offset < (first + 65) * 512;
    });
    EXPECT_EQ(again, count) << "HOJIN " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(LoopDevice, DriveGone,
                         ::testing::Values(Vanishing::Detached, Vanishing::DeadButAttached),
                         [](const auto& info) {
                           return info.param == Vanishing::Detached ? "Detached"
                                                                    : "DeadButAttached";
                         });

}  // namespace
}  // namespace korvelo
