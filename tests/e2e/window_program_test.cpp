// SPDX-License-Identifier: GPL-3.0-or-later
// The window program's command line answers without a display, and says why it cannot
// open a window where there is none.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_runner.h"

namespace korvelo::test {
namespace {

struct NoDisplayCase {
  const char* name;
  std::vector<std::string> arguments;
  int status;
  std::string firstOut;  // the first line on stdout ("": none expected)
  std::string err;       // what stderr holds ("": nothing)
};

class WindowWithoutDisplay : public ::testing::TestWithParam<NoDisplayCase> {};

TEST_P(WindowWithoutDisplay, AnswersOrSaysWhy) {
  const NoDisplayCase& c = GetParam();
  if (!std::filesystem::exists(KORVELO_BIN_DIR "/korvelo"))
    GTEST_SKIP() << "built without the window";
  const CliRun run =
      runCli(c.arguments,
             {.program = KORVELO_BIN_DIR "/korvelo",
              .environment = {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY=", "LANG=C.UTF-8"}});
  EXPECT_EQ(run.status, c.status) << run.err;
  if (c.firstOut.empty()) {
    EXPECT_EQ(run.out, "");
  } else {
    ASSERT_FALSE(run.outLines().empty());
    EXPECT_EQ(run.outLines().front(), c.firstOut);
  }
  EXPECT_EQ(run.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowWithoutDisplay,
    ::testing::Values(
        NoDisplayCase{"Version", {"--version"}, 0, "korvelo 1.30", ""},
        NoDisplayCase{"VersionAsTheCommandLineHasIt", {"-V"}, 0, "korvelo 1.30", ""},
        NoDisplayCase{"VersionShort", {"-v"}, 0, "korvelo 1.30", ""},
        NoDisplayCase{"Help",
                      {"--help"},
                      0,
                      "Aufruf: " KORVELO_BIN_DIR "/korvelo [Optionen] [ABBILD...]",
                      ""},
        NoDisplayCase{
            "ImageWithoutDisplay",
            {"platte.img"},
            1,
            "",
            "korvelo: Keine grafische Anzeige gefunden (weder DISPLAY noch WAYLAND_DISPLAY "
            "ist gesetzt). Ohne Fenster hilft korvelo-cli.\n"},
        NoDisplayCase{
            "MapfileBeforeAnyImage",
            {"--mapfile", "platte.map"},
            2,
            "",
            "korvelo: --mapfile \"platte.map\" muss hinter dem --drive stehen, zu dem sie "
            "gehört.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvelo::test
