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
  };
  const Expected expected[] = {
      {foreign, 1000000, false, nullptr},
      {image(), fileSize(image()), true, nullptr},
      {missing, 0, false, "Datei oder Gerät gibt es nicht"},
      {output_.file(""), 0, false, "ist ein Ordner"},
  };
  for (size_t i = 0; i < drives.size(); ++i) {
    SCOPED_TRACE(expected[i].path);
    EXPECT_EQ(drives[i]["designator"], std::string(1, char('0' + i)));
    EXPECT_EQ(drives[i]["path"], expected[i].path);
    EXPECT_EQ(drives[i]["size_bytes"], expected[i].size);
    EXPECT_EQ(drives[i]["recorder"], expected[i].recorder);
    EXPECT_EQ(drives[i]["error"], expected[i].error);
  }
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
