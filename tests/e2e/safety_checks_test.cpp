// SPDX-License-Identifier: GPL-3.0-or-later
// The checks made before anything is written: a FAT target too small for a recording's
// file, a mounted source device, and a symbolic link in the place of any file the
// program writes (run as the built program).

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "export/mount_and_fat_checks.h"
#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"
#include "support/file_util.h"

namespace korvelo {
namespace {

constexpr uint64_t kFiveGiB = uint64_t{5} << 30;

FileSystemTypeQuery answering(std::optional<long> type, std::string* askedFolder = nullptr) {
  return [type, askedFolder](const std::string& folder) {
    if (askedFolder) *askedFolder = folder;
    return type;
  };
}

TEST(FileSizeLimit, AFiveGiBRecordingIsRefusedOnFatWithTheFolderAndSizeNamed) {
  std::string asked;
  const std::string problem = fileSizeLimitProblem("/media/stick/Filme", kFiveGiB + 1624,
                                                   answering(kMsdosSuperMagic, &asked));
  EXPECT_EQ(asked, "/media/stick/Filme");
  EXPECT_EQ(
      problem,
      "Der Zielordner \"/media/stick/Filme\" liegt auf einem FAT-Dateisystem, das keine Datei "
      "ab 4 GiB aufnimmt; die Datei bräuchte 5.368.710.744 Bytes. Bitte einen Ordner auf "
      "einem anderen Dateisystem wählen (etwa ext4, NTFS oder exFAT).");
}

struct LimitCase {
  const char* name;
  uint64_t bytes;
  std::optional<long> type;
  bool refused;
};

class FileSizeLimitCases : public ::testing::TestWithParam<LimitCase> {};

TEST_P(FileSizeLimitCases, RefusesOnlyWhatFatCannotHold) {
  const LimitCase& c = GetParam();
  EXPECT_EQ(!fileSizeLimitProblem("/ziel", c.bytes, answering(c.type)).empty(), c.refused);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileSizeLimitCases,
    ::testing::Values(LimitCase{"LargestFatFile", 0xFFFFFFFFull, kMsdosSuperMagic, false},
                      LimitCase{"OneByteMore", 0x100000000ull, kMsdosSuperMagic, true},
                      LimitCase{"Ext4", kFiveGiB, 0xEF53, false},
                      LimitCase{"QueryFailed", kFiveGiB, std::nullopt, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mountinfo, FieldsAndEscapedBlanksAreRead) {
  const std::vector<Mount> mounts = parseMountinfo(
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "40 22 8:17 / /media/Mein\\040Stick rw - vfat /dev/sdb1 rw\n"
      "kaputt\n");
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[1].major, 8u);
  EXPECT_EQ(mounts[1].minor, 17u);
  EXPECT_EQ(mounts[1].mountPoint, "/media/Mein Stick");
}

TEST(Mountinfo, TheDeviceItselfOrItsPartitionsCountAsMounted) {
  const std::vector<Mount> mounts = parseMountinfo(
      "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 22 8:18 / /mnt/aufnahmen rw - ext4 /dev/sdb2 rw\n"
      "41 22 8:16 / /mnt/ganz rw - ext4 /dev/sdb rw\n");
  // 8:17 and 8:18 are the partitions of 8:16 here.
  const PartitionQuery partitions = [](unsigned major, unsigned minor, unsigned diskMajor,
                                       unsigned diskMinor) {
    return major == diskMajor && diskMinor == 16 && (minor == 17 || minor == 18);
  };
  EXPECT_EQ(mountPointsOf(makedev(8, 16), mounts, partitions),
            (std::vector<std::string>{"/mnt/aufnahmen", "/mnt/ganz"}));
  EXPECT_TRUE(mountPointsOf(makedev(8, 32), mounts, partitions).empty());
}

TEST(Mountinfo, AnImageFileIsNoMountedDevice) {
  EXPECT_EQ(mountedSourceProblem("/proc/self/mountinfo"), "");
}

struct LinkedOutput {
  const char* name;
  std::vector<std::string> command;  // after "--drive IMAGE"; "{out}" is the output folder
  std::string linkName;              // the output file a link takes the place of
  bool dangling;                     // the link leads nowhere; else to an existing file
};

class LinkedOutputTest : public test::DemoDiskTest,
                         public ::testing::WithParamInterface<LinkedOutput> {};

// The program often runs as root: a link placed where it writes must never carry the
// writing out of the folder, not even with --force.
TEST_P(LinkedOutputTest, IsRefusedAndNothingOutsideChanges) {
  const LinkedOutput& c = GetParam();
  test::TempDir outside;
  const std::vector<uint8_t> victim = {'b', 'l', 'e', 'i', 'b', 't'};
  if (!c.dangling) test::writeFileBytes(outside.file("victim"), victim);
  std::string linkName = c.linkName;
  if (linkName.starts_with("{hav}"))
    linkName = test::expectedFileName(recording(1)) + linkName.substr(5);
  const std::string link = output_.file(linkName);
  std::filesystem::create_symlink(outside.file("victim"), link);
  std::vector<std::string> arguments = {"--drive", image()};
  for (const std::string& argument : c.command)
    arguments.push_back(argument.starts_with("{out}") ? output_.path() + argument.substr(5)
                                                      : argument);

  const test::CliRun run = test::runCli(arguments);
  EXPECT_EQ(run.status, 1) << run.err;
  const auto lines = run.errLines();
  EXPECT_NE(
      std::find(lines.begin(), lines.end(),
                "\"" + link + "\" ist ein symbolischer Verweis; Korvelo schreibt nicht hindurch."),
      lines.end())
      << run.err;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  if (c.dangling)
    EXPECT_TRUE(std::filesystem::is_empty(outside.path()));
  else
    EXPECT_EQ(test::readFileBytes(outside.file("victim")), victim);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinkedOutputTest, ::testing::ValuesIn([] {
      const std::vector<LinkedOutput> kinds = {
          {"Hav", {"export", "1", "--force", "-o", "{out}"}, "{hav}", false},
          {"Manifest", {"export", "1", "-o", "{out}"}, "korvelo-manifest.json", false},
          {"Sidecar", {"export", "1", "--sidecar", "-o", "{out}"}, "{hav}.json", false},
          {"DomainMapfile",
           {"domain", "1", "--force", "-o", "{out}/bereich.map"},
           "bereich.map",
           false},
          {"MetadataImage",
           {"metadata-image", "--force", "-o", "{out}/meta.img"},
           "meta.img",
           false},
          {"MetadataMapfile",
           {"metadata-image", "--force", "-o", "{out}/meta.img"},
           "meta.img.map",
           false}};
      std::vector<LinkedOutput> cases;
      for (LinkedOutput kind : kinds) {
        cases.push_back(kind);
        kind.dangling = true;
        cases.push_back(kind);
      }
      return cases;
    }()),
    [](const auto& info) {
      return std::string(info.param.name) + (info.param.dangling ? "Dangling" : "ToAFile");
    });

}  // namespace
}  // namespace korvelo
