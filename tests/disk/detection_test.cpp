// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the recorder disk among the drives: the two checks on built images and the
// exact report of a search, line by line.

#include "recfs/detection.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"
#include "recfs/open_failure.h"
#include "recfs/status_text.h"
#include "support/file_util.h"
#include "support/memory_source.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

using sample::DiskDescription;
using sample::FileSysSector;
using sample::SignatureVariant;
using test::ScopedTestDrives;

const std::string kProbe0 = " Untersuche Festplatte 0 ...";
const std::string kProbe1 = " Untersuche Festplatte 1 ...";
const std::string kProbe2 = " Untersuche Festplatte 2 ...";
const std::string kSignatureOk = "  Signatur stimmt!";
const std::string kSignatureWrong = "  Signatur stimmt nicht.";
const std::string kSignatureUnreadable = "  Konnte nicht auf die Sektoren der Signatur zugreifen.";
const std::string kFsPresent = "  \"file_system.sys\"-Sektor vorhanden.";
const std::string kFsMissing = "  \"file_system.sys\"-Sektor fehlt!";
const std::string kFsIgnored = "  \"file_system.sys\"-Sektor nicht beachtet.";
const std::string kFsExcused = "  \"file_system.sys\"-Sektor nicht beanstandet.";
const std::string kFsUnreadable = "  Konnte nicht auf \"file_system.sys\"-Sektor zugreifen.";
constexpr int64_t kFileSysSectorNumber = 307489;

class DetectionTest : public ::testing::Test {
 protected:
  void SetUp() override { fileSysCheckRelaxed = false; }
  void TearDown() override { fileSysCheckRelaxed = false; }

  std::string recorder(const std::string& name, SignatureVariant signature = SignatureVariant::Good,
                       FileSysSector fileSys = FileSysSector::Present) {
    DiskDescription disk;
    disk.signature = signature;
    disk.fileSys = fileSys;
    const std::string path = dir_.file(name);
    sample::buildDisk(disk, path);
    return path;
  }

  // A PC disk: 64 MiB of something that is not a recorder file system.
  std::string pcDisk(const std::string& name) {
    const std::string path = dir_.file(name);
    test::createSparseFile(path, 64 << 20);
    test::writeBytesAt(path, 16 * 512, std::vector<uint8_t>(16 * 512, 0xF6));
    return path;
  }

  test::TempDir dir_;
};

TEST_F(DetectionTest, SearchReportsThePcDiskThenFindsTheRecorder) {
  ScopedTestDrives drives(std::vector<std::string>{pcDisk("pc.img"), recorder("rec.img")});
  setStatus("left over");
  EXPECT_EQ(findRecorderDrive(), '1');
  EXPECT_EQ(statusText(),
            kProbe0 + kSignatureWrong + "\r\n" + kProbe1 + kSignatureOk + " - " + kFsPresent);
}

TEST_F(DetectionTest, SearchEndsAtTheFirstGapWithoutALineForIt) {
  const std::string pc = pcDisk("pc.img");
  const std::string rec = recorder("rec.img");
  ScopedTestDrives drives(
      {test::imageDrive(pc), test::imageDrive(pc), test::unopenableDrive(), test::imageDrive(rec)});
  EXPECT_EQ(findRecorderDrive(), 0);
  EXPECT_EQ(statusText(), kProbe0 + kSignatureWrong + "\r\n" + kProbe1 + kSignatureWrong);
}

TEST_F(DetectionTest, RecorderBehindAMissingDriveNumberIsNotFound) {
  const std::string pc = pcDisk("pc.img");
  ScopedTestDrives drives({test::imageDrive(pc), test::imageDrive(pc), test::imageDrive(pc),
                           test::imageDrive(dir_.file("detached.img")),
                           test::imageDrive(recorder("rec.img"))});
  EXPECT_EQ(findRecorderDrive(), 0);
  EXPECT_EQ(statusText().find("Untersuche Festplatte 3"), std::string::npos);
  EXPECT_EQ(statusText().find("Untersuche Festplatte 4"), std::string::npos);
  EXPECT_NE(statusText().find(kProbe2 + kSignatureWrong), std::string::npos);
}

// While alive, file permissions count as for an ordinary user, also when the tests run
// as root (which may open anything).
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() : dropped_(::geteuid() == 0 && ::seteuid(65534) == 0) {}
  ~AsOrdinaryUser() {
    if (dropped_) {
      EXPECT_EQ(::seteuid(0), 0);
    }
  }

 private:
  bool dropped_;
};

TEST_F(DetectionTest, RefusedPathAtTheGapSaysWhyAndHowToGetIn) {
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  const std::string writeOnly = dir_.file("writeonly.img");
  test::createSparseFile(writeOnly, 512);
  ASSERT_EQ(::chmod(writeOnly.c_str(), 0200), 0);
  const std::string fifo = dir_.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  // A device node of the group "disk": readable for the group only.
  const std::string groupDevice = dir_.file("groupdevice.img");
  test::createSparseFile(groupDevice, 512);
  const group* disk = ::getgrnam("disk");
  const bool asRoot = ::geteuid() == 0 && disk != nullptr &&
                      ::chown(groupDevice.c_str(), 0, disk->gr_gid) == 0 &&
                      ::chmod(groupDevice.c_str(), 0640) == 0;
  struct Case {
    std::string path;
    std::string reason;
    bool runs;
  };
  const Case cases[] = {
      {dir_.file("nosuch.img"), "Datei oder Gerät gibt es nicht", true},
      {writeOnly, "keine Berechtigung (als root starten)", true},
      {groupDevice, "keine Berechtigung (als root starten oder der Gruppe \"disk\" beitreten)",
       asRoot},
      {dir_.path(), "ist ein Ordner", true},
      {fifo, "ist weder ein Laufwerk noch eine Abbilddatei", true},
  };
  const std::string pc = pcDisk("pc.img");
  for (const Case& c : cases) {
    if (!c.runs) continue;
    SCOPED_TRACE(c.path);
    ScopedTestDrives drives(std::vector<std::string>{pc, c.path, pc});
    AsOrdinaryUser user;
    EXPECT_EQ(findRecorderDrive(), 0);
    EXPECT_EQ(statusText(), kProbe0 + kSignatureWrong + "\r\n Festplatte 1 \"" + c.path +
                                "\" lässt sich nicht öffnen: " + c.reason +
                                ". Die Suche endet hier; Festplatte 2 und weitere werden nicht "
                                "untersucht.");
  }
  // Refused although root (a container's device rules): no advice to start as root.
  if (::geteuid() == 0) {
    EXPECT_EQ(openFailureReason(groupDevice, EACCES),
              "keine Berechtigung (auch root darf es hier nicht öffnen)");
  }
}

TEST_F(DetectionTest, NoOpenableDriveZeroGivesZeroAndAnEmptyReport) {
  ScopedTestDrives drives({test::unopenableDrive(), test::imageDrive(recorder("rec.img"))});
  setStatus("left over");
  EXPECT_EQ(findRecorderDrive(), 0);
  EXPECT_EQ(statusText(), "");
}

TEST_F(DetectionTest, EmptyDriveTableGivesZeroAndAnEmptyReport) {
  ScopedTestDrives drives(std::vector<DriveSpec>{});
  EXPECT_EQ(findRecorderDrive(), 0);
  EXPECT_EQ(statusText(), "");
}

TEST_F(DetectionTest, DamagedFileSystemSectorIsPassedOverUnlessRelaxed) {
  const std::string damaged =
      recorder("damaged.img", SignatureVariant::Good, FileSysSector::Damaged);
  const std::string good = recorder("good.img");
  ScopedTestDrives drives(std::vector<std::string>{damaged, good});

  EXPECT_EQ(findRecorderDrive(), '1');
  EXPECT_EQ(statusText(), kProbe0 + kSignatureOk + " - " + kFsMissing + "\r\n" + kProbe1 +
                              kSignatureOk + " - " + kFsPresent);

  fileSysCheckRelaxed = true;
  EXPECT_EQ(findRecorderDrive(), '0');
  EXPECT_EQ(statusText(), kProbe0 + kSignatureOk + " - " + kFsExcused);
}

TEST_F(DetectionTest, UnreadableSignatureSectorsArePassedOver) {
  const std::string rec = recorder("rec.img");
  ScopedTestDrives drives({test::failingDrive(rec, {23}), test::imageDrive(rec)});
  EXPECT_EQ(findRecorderDrive(), '1');
  EXPECT_EQ(statusText(),
            kProbe0 + kSignatureUnreadable + "\r\n" + kProbe1 + kSignatureOk + " - " + kFsPresent);
}

TEST_F(DetectionTest, UnreadableFileSystemSectorIsPassedOverEvenWhenRelaxed) {
  const std::string rec = recorder("rec.img");
  fileSysCheckRelaxed = true;
  ScopedTestDrives drives({test::failingDrive(rec, {kFileSysSectorNumber})});
  EXPECT_EQ(findRecorderDrive(), 0);
  EXPECT_EQ(statusText(), kProbe0 + kSignatureOk + " - " + kFsUnreadable);
}

TEST_F(DetectionTest, UnopenableDriveNamesItsDesignator) {
  ScopedTestDrives drives(std::vector<DriveSpec>{});
  EXPECT_EQ(checkSignature('5'), 2);
  EXPECT_EQ(statusText(), "  Konnte nicht auf das Laufwerk 5 zugreifen.");
  EXPECT_EQ(checkFileSystemSector('7'), 2);
  EXPECT_EQ(statusText(), "  Konnte nicht auf das Laufwerk 7 zugreifen.");
}

struct SignatureCase {
  const char* name;
  SignatureVariant variant;
  int result;
  const std::string* message;
};

class SignatureVariantTest : public DetectionTest,
                             public ::testing::WithParamInterface<SignatureCase> {};

TEST_P(SignatureVariantTest, GivesCodeAndMessage) {
  ScopedTestDrives drives(std::vector<std::string>{recorder("rec.img", GetParam().variant)});
  EXPECT_EQ(checkSignature('0'), GetParam().result);
  EXPECT_EQ(statusText(), *GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, SignatureVariantTest,
    ::testing::Values(
        SignatureCase{"Good", SignatureVariant::Good, 0, &kSignatureOk},
        SignatureCase{"Missing", SignatureVariant::Missing, 1, &kSignatureWrong},
        SignatureCase{"Sector31Byte300", SignatureVariant::Sector31Byte300, 1, &kSignatureWrong},
        SignatureCase{"Offset17NotNul", SignatureVariant::Offset17NotNul, 1, &kSignatureWrong}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DetectionTest, SignatureAreaCutOffByTheEndOfTheImage) {
  // 20 sectors: the read of sectors 16..31 ends past the end, 8 sectors: it starts past
  // the end. Either way the sectors are not there to be read.
  const std::string shortImage = dir_.file("short.img");
  test::createSparseFile(shortImage, 20 * 512);
  std::vector<uint8_t> signature(512, 0);
  std::memcpy(signature.data(), "Handan HFS Vol000", 17);
  for (int s = 16; s < 20; ++s) test::writeBytesAt(shortImage, s * 512, signature);
  const std::string tiny = dir_.file("tiny.img");
  test::createSparseFile(tiny, 8 * 512);
  ScopedTestDrives drives(std::vector<std::string>{shortImage, tiny});

  EXPECT_EQ(checkSignature('0'), 3);
  EXPECT_EQ(statusText(), kSignatureUnreadable);
  EXPECT_EQ(checkSignature('1'), 3);
  EXPECT_EQ(statusText(), kSignatureUnreadable);
}

struct FileSysCase {
  const char* name;
  FileSysSector sector;
  bool relaxed;
  int result;
  const std::string* message;
};

class FileSysVariantTest : public DetectionTest,
                           public ::testing::WithParamInterface<FileSysCase> {};

TEST_P(FileSysVariantTest, GivesCodeAndMessage) {
  ScopedTestDrives drives(
      std::vector<std::string>{recorder("rec.img", SignatureVariant::Good, GetParam().sector)});
  fileSysCheckRelaxed = GetParam().relaxed;
  EXPECT_EQ(checkFileSystemSector('0'), GetParam().result);
  EXPECT_EQ(statusText(), *GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, FileSysVariantTest,
    ::testing::Values(FileSysCase{"PresentStrict", FileSysSector::Present, false, 0, &kFsPresent},
                      FileSysCase{"AbsentStrict", FileSysSector::Absent, false, 1, &kFsMissing},
                      FileSysCase{"DamagedStrict", FileSysSector::Damaged, false, 1, &kFsMissing},
                      FileSysCase{"PresentRelaxed", FileSysSector::Present, true, 0, &kFsIgnored},
                      FileSysCase{"AbsentRelaxed", FileSysSector::Absent, true, 0, &kFsExcused},
                      FileSysCase{"DamagedRelaxed", FileSysSector::Damaged, true, 0, &kFsExcused}),
    [](const auto& info) { return std::string(info.param.name); });

// The name with its NUL is what counts; a missing NUL after the 15 characters is not
// the sector, and whatever follows the NUL is never looked at.
TEST_F(DetectionTest, FileSystemSectorComparesNameAndNulOnly) {
  const std::string image = dir_.file("fs.img");
  test::createSparseFile(image, (kFileSysSectorNumber + 2) * 512);
  std::vector<uint8_t> sector(512, 0xA5);
  std::memcpy(sector.data(), "file_system.sys", 16);
  test::writeBytesAt(image, kFileSysSectorNumber * 512, sector);
  const std::string noNul = dir_.file("nonul.img");
  test::createSparseFile(noNul, (kFileSysSectorNumber + 2) * 512);
  sector[15] = '!';
  test::writeBytesAt(noNul, kFileSysSectorNumber * 512, sector);
  ScopedTestDrives drives(std::vector<std::string>{image, noNul});

  EXPECT_EQ(checkFileSystemSector('0'), 0);
  EXPECT_EQ(statusText(), kFsPresent);
  EXPECT_EQ(checkFileSystemSector('1'), 1);
  EXPECT_EQ(statusText(), kFsMissing);
}

TEST_F(DetectionTest, FileSystemSectorBeyondTheEndOfTheImageIsUnreadable) {
  const std::string image = dir_.file("small.img");
  test::createSparseFile(image, kFileSysSectorNumber * 512);
  ScopedTestDrives drives(std::vector<std::string>{image});
  EXPECT_EQ(checkFileSystemSector('0'), 3);
  EXPECT_EQ(statusText(), kFsUnreadable);
}

TEST(StatusTextTest, AddingALinePutsCrLfOnlyBetweenLines) {
  setStatus("");
  addStatusLine("eins");
  EXPECT_EQ(statusText(), "eins");
  addStatusLine("zwei");
  EXPECT_EQ(statusText(), "eins\r\nzwei");
  clearStatus();
  EXPECT_EQ(statusText(), "");
  std::string text;
  addLine(text, "");
  addLine(text, "x");
  EXPECT_EQ(text, "x");  // an empty first line leaves the text empty, so no break before x
}

}  // namespace
}  // namespace korvelo
