// SPDX-License-Identifier: GPL-3.0-or-later
// The options' rules without a window: digits-only fields and the File-FAT-Size report
// a confirmed choice leaves in the log when no recorder disk is open.

#include "app/options_apply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"

namespace korvelo {
namespace {

TEST(OptionsApply, FieldValueTakesLeadingDigitsAndSaturates) {
  struct Case {
    const char* text;
    int value;
  };
  for (const Case& c : std::vector<Case>{{"", 0},
                                         {"0072", 72},
                                         {"12a3", 12},
                                         {"x12", 0},
                                         {"2147483647", 2147483647},
                                         {"2147483648", 2147483647},
                                         {"99999999999999999999", 2147483647}}) {
    EXPECT_EQ(fieldValue(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(OptionsApply, ReportsFatSizeChangesWithoutDisk) {
  struct Case {
    const char* name;
    bool fatSizeAuto;
    const char* fatSizeText;
    std::vector<std::string> newLines;
  };
  const std::vector<Case> cases = {
      {"unchanged", true, "72", {}},
      {"manual mode",
       false,
       "72",
       {"Benutze jetzt manuell vorgegebenen \"File-FAT-Size\"-Wert von 72."}},
      {"manual value while automatic",
       true,
       "80",
       {"Benutze jetzt automatisch ermittelten \"File-FAT-Size\"-Wert."}},
      {"manual mode and value",
       false,
       "0090",
       {"Benutze jetzt manuell vorgegebenen \"File-FAT-Size\"-Wert von 90."}},
  };
  for (const Case& c : cases) {
    AppState app;
    OptionsChoice choice = choiceFromSettings(app.settings);
    choice.fatSizeAuto = c.fatSizeAuto;
    choice.fatSizeText = c.fatSizeText;
    const size_t before = app.log.lines().size();
    applyOptions(app, choice);
    const std::vector<std::string> lines = app.log.lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + before, lines.end()), c.newLines) << c.name;
    EXPECT_EQ(app.settings.fatSizeAuto, c.fatSizeAuto) << c.name;
  }
}

// Values from the settings file that the digits-only fields cannot hold stay as they are
// when the dialog is confirmed unchanged, and nothing is logged.
TEST(OptionsApply, ConfirmingUnchangedChangesAndLogsNothing) {
  AppState app;
  app.settings.fatSizeAuto = false;
  app.settings.fatSizeManuel = -1;
  app.settings.millisecondsPause = -5;
  const size_t before = app.log.lines().size();
  applyOptions(app, choiceFromSettings(app.settings));
  EXPECT_EQ(app.log.lines().size(), before);
  EXPECT_FALSE(app.settings.fatSizeAuto);
  EXPECT_EQ(app.settings.fatSizeManuel, -1);
  EXPECT_EQ(app.settings.millisecondsPause, -5);
}

}  // namespace
}  // namespace korvelo
