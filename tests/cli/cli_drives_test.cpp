// SPDX-License-Identifier: GPL-3.0-or-later
// drives, run as the built program on a recorder image, a foreign image and paths that
// cannot be opened.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/file_util.h"

namespace korvelo::test {
namespace {

using DrivesTest = DemoDiskTest;

TEST_F(DrivesTest, JsonNamesEachDriveWithSignatureOrReason) {
  const std::string foreign = output_.file("fremd.img");
  writeFileBytes(foreign, std::vector<uint8_t>(1000000, 0));
  const std::string missing = output_.file("fehlt.img");
  const CliRun run = runCli({"--drive", foreign, "--drive", image(), "--drive", missing, "--drive",
                             output_.file(""), "drives", "--json"});
  EXPECT_EQ(run.status, 0);
  const nlohmann::json drives = nlohmann::json::parse(run.out).at("drives");
  ASSERT_EQ(drives.size(), 4u);
  struct Expected {
    std::string path;
    int64_t size;
    bool recorder;
    nlohmann::json error;
    bool searched;
  };
  const Expected expected[] = {
      {foreign, 1000000, false, nullptr, true},
      {image(), fileSize(image()), true, nullptr, true},
      {missing, 0, false, "Datei oder Gerät gibt es nicht", true},
      {output_.file(""), 0, false, "ist ein Ordner", false},
  };
  for (size_t i = 0; i < drives.size(); ++i) {
    SCOPED_TRACE(expected[i].path);
    EXPECT_EQ(drives[i]["designator"], i);
    EXPECT_EQ(drives[i]["path"], expected[i].path);
    EXPECT_EQ(drives[i]["size_bytes"], expected[i].size);
    EXPECT_EQ(drives[i]["recorder"], expected[i].recorder);
    EXPECT_EQ(drives[i]["error"], expected[i].error);
    EXPECT_EQ(drives[i]["searched"], expected[i].searched);
  }
}

// A named path that cannot be opened ends the search as a gap among the machine's disks
// does: list finds nothing behind it, its log says so, and drives gives the same verdict.
TEST_F(DrivesTest, RecorderBehindAPathThatCannotBeOpenedIsNotFoundByListOrDrives) {
  const std::string missing = output_.file("nope.img");
  const CliRun list = runCli({"--drive", missing, "--drive", image(), "list"});
  EXPECT_EQ(list.status, 3);
  EXPECT_NE(list.err.find(" Festplatte 0 \"" + missing +
                          "\" lässt sich nicht öffnen: Datei oder Gerät gibt es nicht. Die Suche "
                          "endet hier; Festplatte 1 und weitere werden nicht untersucht."),
            std::string::npos)
      << list.err;

  const CliRun drives = runCli({"--drive", missing, "--drive", image(), "drives", "--json"});
  EXPECT_EQ(drives.status, 3);
  const nlohmann::json rows = nlohmann::json::parse(drives.out).at("drives");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1]["recorder"], true);
  EXPECT_EQ(rows[1]["searched"], false);
  const CliRun table = runCli({"--drive", missing, "--drive", image(), "drives"});
  EXPECT_EQ(table.status, 3);
  EXPECT_NE(table.out.find("ja        wird nicht durchsucht: die Suche endet bei Nr. 0"),
            std::string::npos)
      << table.out;
}

TEST_F(DrivesTest, TableHasGermanColumnsAndExitsThreeWithoutRecorderDisk) {
  const std::string foreign = output_.file("fremd.img");
  writeFileBytes(foreign, std::vector<uint8_t>(1500000, 0));
  const std::string missing = output_.file("x.img");
  const CliRun run = runCli({"--drive", foreign, "--drive", missing, "drives"});
  EXPECT_EQ(run.status, 3);
  const std::string pad(foreign.size() - missing.size(), ' ');
  EXPECT_EQ(run.outLines(),
            (std::vector<std::string>{
                "Nr.  Pfad" + std::string(foreign.size() - 2, ' ') +
                    "Modell  Größe   Bus  Recorder  Hinweis",
                "0    " + foreign + "  " + std::string(8, ' ') + "1,5 MB       nein",
                "1    " + missing + pad + "  " + std::string(8 + 8 + 5 + 10, ' ') +
                    "lässt sich nicht öffnen: Datei oder Gerät gibt es nicht",
            }));
}

}  // namespace
}  // namespace korvelo::test
