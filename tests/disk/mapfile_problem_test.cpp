// SPDX-License-Identifier: GPL-3.0-or-later
// A mapfile that is not well formed is refused with the line and the reason, so that
// the user can mend it; a well-formed one gives the same areas as before.
#include <gtest/gtest.h>

#include <sstream>

#include "disk/mapfile_source.h"
#include "support/file_util.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

struct BadMapfile {
  const char* name;
  const char* text;
  int line;
  const char* reason;
};

const BadMapfile kBadMapfiles[] = {
    {"ZeroSize", "# ddrescue\n0 + 1\n0 512 +\n512 0 -\n", 4, "Bereich der Größe 0"},
    {"UnknownBlockStatus", "0 + 1\n0 512 x\n", 2, "unbekannter Status \"x\""},
    {"Overlap", "0 + 1\n\n0 1024 +\n512 512 -\n", 4, "Bereich beginnt vor dem Ende des vorigen"},
    {"UnknownCurrentStatus", "0 Q\n", 1, "unbekannter Status \"Q\""},
    {"StatusLineWithoutNumber", "zz + 1\n", 1, "Position \"zz\" ist keine Zahl"},
    {"PassNotANumber", "0 + eins\n", 1, "Durchgang \"eins\" ist keine Zahl"},
    {"StatusLineTooShort", "# c\n0\n", 2,
     "Statuszeile erwartet (Position, Status und wahlweise Durchgang)"},
    {"BlockLineTooShort", "0 + 1\n0 512\n", 2, "erwartet werden Position, Größe und Status"},
    {"BareHexPrefix", "0 + 1\n0x 512 +\n", 2, "Position \"0x\" ist keine Zahl"},
    {"NegativeSize", "0 + 1\n0 -512 +\n", 2, "Größe \"-512\" ist keine Zahl"},
    {"BeyondTheLargestPosition", "0 + 1\n0x7FFFFFFFFFFFFF00 0x200 +\n", 2,
     "Bereich reicht über die größte Position hinaus"},
    {"OnlyComments", "# nichts\n\n", 0, "keine Statuszeile, die Datei ist leer oder nur Kommentar"},
};

class MapfileProblemTest : public ::testing::TestWithParam<BadMapfile> {};

TEST_P(MapfileProblemTest, NamesTheLineAndTheReason) {
  std::istringstream text(GetParam().text);
  MapfileProblem problem;
  EXPECT_FALSE(parseMapfile(text, &problem).has_value());
  EXPECT_EQ(problem.line, GetParam().line);
  EXPECT_EQ(problem.reason, GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(Faults, MapfileProblemTest, ::testing::ValuesIn(kBadMapfiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MapfileProblem, AWellFormedMapfileHasNoProblemAndItsAreasAreMerged) {
  std::istringstream text(
      "# Mapfile\n0x0 + 1\n0 0x400 +\n0x400 0x200 +\n0x600 0x200 -\n0x800 0x200 +\n");
  MapfileProblem problem{7, "unverändert"};
  const auto areas = parseMapfile(text, &problem);
  ASSERT_TRUE(areas.has_value());
  EXPECT_EQ(*areas, (FinishedAreas{{0, 0x600}, {0x800, 0xA00}}));
  EXPECT_EQ(problem.line, 7);  // untouched when nothing is wrong
}

TEST(MapfileProblem, CheckingAFileReadsItLikeOpeningADriveDoes) {
  test::TempDir dir;
  const std::string good = dir.file("good.map"), bad = dir.file("bad.map");
  const std::string goodText = "0 + 1\n0 4096 +\n",
                    badText = "0 + 1\n0 4096 +\n4096 512 ?\n100 1 +\n";
  test::writeFileBytes(good, std::vector<uint8_t>(goodText.begin(), goodText.end()));
  test::writeFileBytes(bad, std::vector<uint8_t>(badText.begin(), badText.end()));
  EXPECT_FALSE(checkMapfile(good).has_value());
  const auto problem = checkMapfile(bad);
  ASSERT_TRUE(problem.has_value());
  EXPECT_EQ(
      describeMapfileProblem(bad, *problem),
      "Fehler in der Mapdatei \"" + bad + "\", Zeile 4: Bereich beginnt vor dem Ende des vorigen");
}

TEST(MapfileProblem, AMissingFileIsNamedWithTheSystemsReason) {
  test::TempDir dir;
  const std::string missing = dir.file("fehlt.map");
  const auto problem = checkMapfile(missing);
  ASSERT_TRUE(problem.has_value());
  EXPECT_EQ(describeMapfileProblem(missing, *problem),
            "Fehler in der Mapdatei \"" + missing + "\": die Datei gibt es nicht");
}

}  // namespace
}  // namespace korvelo
