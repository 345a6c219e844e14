// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the disk through udisks2, against a stand-in daemon on a bus of the test's own:
// what the command line says and returns for each answer, that the disk is only ever
// asked for reading, and that the recordings come out byte for byte as from the path.

#include "app/udisks_access.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/export_summary.h"
#include "recfs/open_failure.h"
#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"
#include "support/fake_udisks.h"
#include "support/file_util.h"

namespace korvelo::test {
namespace {

class UdisksAccessTest : public DemoDiskTest {
 protected:
  void SetUp() override {
    if (const std::string missing = FakeUdisks::missingPrerequisite(); !missing.empty())
      GTEST_SKIP() << missing;
  }
};

struct AnswerCase {
  const char* name;
  UdisksAnswer answer;
  bool daemonGone;
  int status;
  const char* reason;  // empty: granted
  std::vector<std::string> calls;
};

TEST_F(UdisksAccessTest, EachAnswerGivesOneLineAndItsExitCodeAndOnlyReadingIsAskedFor) {
  const std::vector<AnswerCase> cases = {
      {"granted", UdisksAnswer::Grant, false, 0, "", {"OpenDevice r"}},
      {"refused", UdisksAnswer::Refuse, false, 3, "Zugriff verweigert", {"OpenDevice r"}},
      {"writable",
       UdisksAnswer::Writable,
       false,
       3,
       "udisks2 hat die Festplatte nicht nur zum Lesen geöffnet",
       {"OpenDevice r"}},
      {"no daemon", UdisksAnswer::Grant, true, 3, "udisks2 läuft nicht", {}},
  };
  const CliRun direct = runCli({"--drive", image(), "list"});
  ASSERT_EQ(direct.status, 0) << direct.err;
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUdisks udisks(image(), c.answer);
    if (c.daemonGone) udisks.stopService();
    const CliRun run =
        runCli({"--drive", "udisks:" + image(), "list"}, {.environment = {udisks.environment()}});
    // Root was not refused by the device: no word on being root after udisks2's answer.
    const std::string reason =
        std::string(c.reason) +
        (*c.reason == '\0' || ::geteuid() == 0 ? "" : " (" + accessHint(image()) + ")");
    const std::string expected =
        reason.empty() ? " Festplatte \"" + image() + "\" über udisks2 zum Lesen geöffnet."
                       : " Festplatte \"" + image() +
                             "\" lässt sich über udisks2 nicht öffnen: " + reason + ".";
    ASSERT_FALSE(run.errLines().empty());
    EXPECT_EQ(run.errLines().front(), expected);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.out, reason.empty() ? direct.out : "");
    EXPECT_EQ(udisks.calls(), c.calls);
    if (reason.empty()) continue;
    // A script gets that line as the error's message.
    const nlohmann::json error = {
        {"schema", 1}, {"error", {{"exit_code", c.status}, {"message", expected.substr(1)}}}};
    for (const char* command : {"list", "check"}) {
      const CliRun json = runCli({"--drive", "udisks:" + image(), command, "--json"},
                                 {.environment = {udisks.environment()}});
      EXPECT_EQ(json.status, c.status) << command;
      EXPECT_EQ(nlohmann::json::parse(json.out, nullptr, false), error) << command << json.out;
    }
    // drives shows the disk's row with the reason, and ends as for a path it cannot open.
    const CliRun drives = runCli({"--drive", "udisks:" + image(), "drives", "--json"},
                                 {.environment = {udisks.environment()}});
    const CliRun missing = runCli({"--drive", output_.file("none.img"), "drives", "--json"});
    EXPECT_EQ(drives.status, missing.status);
    const nlohmann::json rows = nlohmann::json::parse(drives.out, nullptr, false);
    ASSERT_TRUE(rows.is_object()) << drives.out;
    ASSERT_EQ(rows.at("drives").size(), 1u);
    EXPECT_EQ(rows["drives"][0]["path"], image());
    EXPECT_EQ(rows["drives"][0]["error"], "über udisks2: " + reason);
    const CliRun table =
        runCli({"--drive", "udisks:" + image(), "drives"}, {.environment = {udisks.environment()}});
    ASSERT_EQ(table.outLines().size(), 2u) << table.out;
    EXPECT_TRUE(table.outLines()[1].ends_with("lässt sich nicht öffnen: über udisks2: " + reason))
        << table.out;
  }
}

TEST_F(UdisksAccessTest, RecordingsExportedThroughTheHandedDescriptorAreTheDisksBytes) {
  FakeUdisks udisks(image(), UdisksAnswer::Grant);
  const CliRun run =
      runCli({"--drive", "udisks:" + image(), "export", "--all", "-o", output_.path()},
             {.environment = {udisks.environment()}});
  EXPECT_LE(run.status, 1) << run.err;
  for (const sample::Recording& recording : disk().recordings) {
    SCOPED_TRACE(recording.entryNumber);
    EXPECT_EQ(readFileBytes(output_.file(expectedFileName(recording, true))),
              expectedHavFile(image(), disk(), recording));
  }
}

TEST_F(UdisksAccessTest, DrivesTellsWhichDisksUdisksKnowsAndListsOnlyWholeDisks) {
  FakeUdisks udisks(image(), UdisksAnswer::Grant);
  const CliRun run =
      runCli({"--drive", image(), "--drive", output_.file("other.img"), "drives", "--json"},
             {.environment = {udisks.environment()}});
  const nlohmann::json rows = nlohmann::json::parse(run.out).at("drives");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["udisks"], true);
  EXPECT_EQ(rows[1]["udisks"], false);
  // The listing as the window shows it: the partition beside the disk is left out.
  udisks.apply();
  const UdisksListing listing = listUdisksDisks();
  ASSERT_EQ(listing.failure, "");
  ASSERT_EQ(listing.disks.size(), 1u);
  EXPECT_EQ(describeUdisksDisk(listing.disks[0]),
            "SAMSUNG HD160JJ, " + siSize(static_cast<uint64_t>(fileSize(image()))) + ", USB (" +
                image() + ")");
  EXPECT_TRUE(udisks.calls().empty());
}

// Against the real daemon: a loop device of the demo image, asked for as root (whom the
// usual policy lets through without a question). Skipped where no daemon runs.
using RealUdisksTest = DemoDiskTest;

TEST_F(RealUdisksTest, RealDaemonHandsOverALoopDeviceForReading) {
  if (::geteuid() != 0) GTEST_SKIP() << "attaching a loop device needs root";
  ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  if (const std::string failure = listUdisksDisks().failure; !failure.empty())
    GTEST_SKIP() << "no udisks2 daemon here: " << failure;
  const CliRun loop = runCli({"--find", "--show", "--read-only", image()}, {.program = "losetup"});
  if (loop.status != 0) GTEST_SKIP() << "losetup could not attach the image";
  const std::string device = loop.out.substr(0, loop.out.find('\n'));
  runCli({"settle", "--timeout=5"}, {.program = "udevadm"});
  const CliRun run = runCli({"--drive", "udisks:" + device, "list"});
  runCli({"--detach", device}, {.program = "losetup"});
  ASSERT_FALSE(run.errLines().empty());
  EXPECT_EQ(run.errLines().front(),
            " Festplatte \"" + device + "\" über udisks2 zum Lesen geöffnet.");
  EXPECT_EQ(run.status, 0) << run.err;
}

}  // namespace
}  // namespace korvelo::test
