// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/settings_store.h"
#include "support/temp_dir.h"

namespace korvelo {
namespace {

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Runs one start and one end of the program against the settings file of `base`.
Settings runOnce(const std::string& base, void (*change)(Settings&) = nullptr) {
  SettingsStore store(base);
  Settings settings;
  loadSettings(store, settings);
  if (change) change(settings);
  saveSettings(store, settings);
  return settings;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* home = std::getenv("HOME");
    if (home) savedHome_ = home;
    hadHome_ = home != nullptr;
    setenv("HOME", "/home/rescuer", 1);
  }
  void TearDown() override {
    if (hadHome_)
      setenv("HOME", savedHome_.c_str(), 1);
    else
      unsetenv("HOME");
  }
  std::string base() const { return dir_.file("korvelo"); }
  std::string ini() const { return dir_.file("korvelo.INI"); }

  test::TempDir dir_;

 private:
  std::string savedHome_;
  bool hadHome_ = false;
};

TEST(SettingsFileName, DerivedFromTheBasePath) {
  const struct {
    const char* base;
    const char* file;
  } cases[] = {
      {"/w/korvelo", "/w/korvelo.INI"},
      {"/w/korvelo.exe", "/w/korvelo.INI"},
      {"/w/korvelo.x", "/w/korvelo.INI"},
      {"/w/korvelo.long", "/w/korvelo.long.INI"},        // four characters are no extension
      {"/w/tools.d/korvelo", "/w/tools.d/korvelo.INI"},  // a folder's dot does not count
      {"/w/.kv", "/w/.kv.INI"},  // a leading dot names a hidden file, not an extension
      {"korvelo", "korvelo.INI"},
  };
  for (const auto& c : cases) EXPECT_EQ(settingsFileNameFor(c.base), c.file) << c.base;
}

TEST_F(SettingsFileTest, FirstRunWritesTheTenKeysInOrder) {
  const Settings settings = runOnce(base());
  EXPECT_EQ(settings.pathToHAVs, "/home/rescuer");
  EXPECT_EQ(readText(ini()),
            "PathToHAVs = /home/rescuer\n"
            "DebugInfo = false\n"
            "NoFileSysCheck = false\n"
            "FATSizeAuto = true\n"
            "FATSizeManuel = 72\n"
            "UseRecordDate = false\n"
            "SuppressWarnings = true\n"
            "TevionPVR8005HDD = false\n"
            "MillisecondsPause = 0\n"
            "EntryNumberInFileName = true\n");
}

// The window's place and list are kept after the ten option keys, and come back.
TEST_F(SettingsFileTest, WindowPlacementGoesAfterTheSpecifiedKeysAndComesBack) {
  runOnce(base(), [](Settings& s) {
    s.window = {12, 34, 900, 640, true, {50, 300, 200, 130, 70, 160}, 5, true};
  });
  const std::string text = readText(ini());
  EXPECT_EQ(text.substr(text.find("EntryNumberInFileName = true\n")),
            "EntryNumberInFileName = true\n"
            "WindowX = 12\n"
            "WindowY = 34\n"
            "WindowWidth = 900\n"
            "WindowHeight = 640\n"
            "WindowMaximized = true\n"
            "ColumnWidths = 50,300,200,130,70,160\n"
            "SortColumn = 5\n"
            "SortDescending = true\n");
  const Settings again = runOnce(base());
  EXPECT_EQ(again.window.x, 12);
  EXPECT_EQ(again.window.height, 640);
  EXPECT_TRUE(again.window.maximized);
  EXPECT_EQ(again.window.columnWidths, (std::vector<int>{50, 300, 200, 130, 70, 160}));
  EXPECT_EQ(again.window.sortColumn, 5);
  EXPECT_TRUE(again.window.sortDescending);
  EXPECT_EQ(readText(ini()), text);  // read and written back unchanged
}

TEST_F(SettingsFileTest, ColumnWidthsThatAreNoNumbersAreNotUsed) {
  writeText(ini(), "WindowWidth = 800\nWindowHeight = 600\nColumnWidths = 50,abc,3\n");
  const Settings settings = runOnce(base());
  EXPECT_EQ(settings.window.width, 800);
  EXPECT_TRUE(settings.window.columnWidths.empty());
}

TEST_F(SettingsFileTest, HomeUnsetGivesTheRootFolder) {
  unsetenv("HOME");
  EXPECT_EQ(runOnce(base()).pathToHAVs, "/");
  EXPECT_NE(readText(ini()).find("PathToHAVs = /\n"), std::string::npos);
}

TEST_F(SettingsFileTest, KeySpellingAndLeadingBlanksAreKept) {
  writeText(ini(), "  debuginfo=TRUE\n");
  EXPECT_TRUE(runOnce(base()).debugInfo);
  const std::string text = readText(ini());
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), "  debuginfo= true\n");
  EXPECT_EQ(text.find("DebugInfo"), std::string::npos);
}

TEST_F(SettingsFileTest, ForeignLinesStayInTheirPlaces) {
  writeText(ini(),
            "; rescued from the living-room recorder\n"
            "\n"
            "Foo = 1\n"
            "FATSizeManuel = 80\n"
            "no equals sign here\n");
  const Settings settings = runOnce(base());
  EXPECT_EQ(settings.fatSizeManuel, 80);
  const std::string text = readText(ini());
  EXPECT_EQ(text.rfind("; rescued from the living-room recorder\n\nFoo = 1\nFATSizeManuel = 80\n"
                       "no equals sign here\nPathToHAVs = /home/rescuer\n",
                       0),
            0u)
      << text;
}

TEST_F(SettingsFileTest, OnlyTheFirstOfTwoEqualKeysCountsAndIsRewritten) {
  writeText(ini(), "DebugInfo = true\nDebugInfo = true\n");
  runOnce(base(), [](Settings& s) { s.debugInfo = false; });
  const std::string text = readText(ini());
  EXPECT_EQ(text.rfind("DebugInfo = false\nDebugInfo = true\n", 0), 0u) << text;

  writeText(ini(), "DebugInfo = true\nDebugInfo = false\n");
  EXPECT_TRUE(runOnce(base()).debugInfo);
  EXPECT_EQ(readText(ini()).rfind("DebugInfo = true\nDebugInfo = false\n", 0), 0u);
}

TEST_F(SettingsFileTest, TevionForcesTheRelaxedFileSystemCheck) {
  writeText(ini(), "TevionPVR8005HDD = true\nNoFileSysCheck = false\n");
  const Settings settings = runOnce(base());
  EXPECT_TRUE(settings.tevionPVR8005HDD);
  EXPECT_TRUE(settings.noFileSysCheck);
  EXPECT_EQ(readText(ini()).rfind("TevionPVR8005HDD = true\nNoFileSysCheck = true\n", 0), 0u);
}

TEST_F(SettingsFileTest, EmptyAndOddValues) {
  writeText(ini(),
            "FATSizeManuel =\n"
            "MillisecondsPause = 500\n"
            "DebugInfo = 1\n"
            "UseRecordDate = TrUe\n"
            "SuppressWarnings = yes\n");
  const Settings settings = runOnce(base());
  EXPECT_EQ(settings.fatSizeManuel, 72);
  EXPECT_EQ(settings.millisecondsPause, 500);
  EXPECT_FALSE(settings.debugInfo);
  EXPECT_TRUE(settings.useRecordDate);
  EXPECT_FALSE(settings.suppressWarnings);
  EXPECT_EQ(readText(ini()).rfind("FATSizeManuel = 72\nMillisecondsPause = 500\n"
                                  "DebugInfo = false\nUseRecordDate = true\n"
                                  "SuppressWarnings = false\n",
                                  0),
            0u);
}

TEST(SettingsValues, IntegersReadLikeLeadingDigits) {
  EXPECT_EQ(parseSettingsInt("72"), 72);
  EXPECT_EQ(parseSettingsInt("-5x"), -5);
  EXPECT_EQ(parseSettingsInt("+12 sectors"), 12);
  EXPECT_EQ(parseSettingsInt("abc"), 0);
  EXPECT_EQ(parseSettingsInt("99999999999999999999"), 2147483647);
  EXPECT_EQ(parseSettingsInt("-99999999999999999999"), -2147483647 - 1);
}

TEST_F(SettingsFileTest, WindowsLineEndsAreReadAndWrittenBackAsLf) {
  writeText(ini(), "; note\r\nFATSizeAuto = false\r\nFATSizeManuel = 70\r\n");
  const Settings settings = runOnce(base());
  EXPECT_FALSE(settings.fatSizeAuto);
  EXPECT_EQ(settings.fatSizeManuel, 70);
  const std::string text = readText(ini());
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.rfind("; note\nFATSizeAuto = false\nFATSizeManuel = 70\n", 0), 0u);
}

TEST_F(SettingsFileTest, LastLineWithoutLineBreakKeepsItsOwnLine) {
  writeText(ini(), "Foo = 1");
  runOnce(base());
  EXPECT_EQ(readText(ini()).rfind("Foo = 1\nPathToHAVs = /home/rescuer\n", 0), 0u);
}

TEST_F(SettingsFileTest, VeryLongForeignLineSurvivesWhole) {
  const std::string comment = "; " + std::string(3000, 'x') + " DebugInfo = true";
  writeText(ini(), comment + "\n");
  EXPECT_FALSE(runOnce(base()).debugInfo);
  EXPECT_EQ(readText(ini()).rfind(comment + "\nPathToHAVs", 0), 0u);
}

TEST_F(SettingsFileTest, FolderOfTheRunIsStoredExactly) {
  runOnce(base(), [](Settings& s) { s.pathToHAVs = "/media/Archiv"; });
  runOnce(base(), [](Settings& s) { s.pathToHAVs = "/media/archiv"; });
  EXPECT_EQ(runOnce(base()).pathToHAVs, "/media/archiv");
}

TEST_F(SettingsFileTest, FolderWithLineBreakCannotInjectKeys) {
  runOnce(base(), [](Settings& s) { s.pathToHAVs = "/tmp/x\nDebugInfo = true"; });
  const Settings again = runOnce(base());
  EXPECT_EQ(again.pathToHAVs, "/home/rescuer");
  EXPECT_FALSE(again.debugInfo);
}

TEST_F(SettingsFileTest, NothingIsWrittenBeforeTheEnd) {
  SettingsStore store(base());
  Settings settings;
  loadSettings(store, settings);
  EXPECT_EQ(access(ini().c_str(), F_OK), -1);
  EXPECT_TRUE(saveSettings(store, settings));
  EXPECT_EQ(access(ini().c_str(), F_OK), 0);
}

TEST_F(SettingsFileTest, SaveReplacesTheFileWithoutLeavingTemporaries) {
  writeText(ini(), "Foo = 1\n");
  chmod(ini().c_str(), 0640);
  runOnce(base());
  struct stat info {};
  ASSERT_EQ(stat(ini().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(dir_.path())) {
    names.push_back(item.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"korvelo.INI"});
}

TEST_F(SettingsFileTest, TargetThatCannotBeReplacedIsLeftAloneAndReported) {
  // A folder where the file should be: rename refuses even for root.
  std::filesystem::create_directory(ini());
  writeText(ini() + "/keep", "x");
  SettingsStore store(base());
  Settings settings;
  loadSettings(store, settings);
  EXPECT_FALSE(saveSettings(store, settings));
  EXPECT_EQ(readText(ini() + "/keep"), "x");
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(dir_.path())) {
    names.push_back(item.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"korvelo.INI"});  // no temporary left behind
}

TEST_F(SettingsFileTest, MissingFolderFailsQuietly) {
  SettingsStore store(dir_.file("gone/korvelo"));
  Settings settings;
  loadSettings(store, settings);
  EXPECT_EQ(settings.fatSizeManuel, 72);
  EXPECT_FALSE(saveSettings(store, settings));
}

TEST_F(SettingsFileTest, SettingsFileBehindASymlinkKeepsTheLink) {
  writeText(dir_.file("real.INI"), "Foo = 1\n");
  std::filesystem::create_symlink(dir_.file("real.INI"), ini());
  runOnce(base());
  EXPECT_TRUE(std::filesystem::is_symlink(ini()));
  EXPECT_EQ(readText(dir_.file("real.INI")).rfind("Foo = 1\nPathToHAVs", 0), 0u);
}

struct ForeignLink {
  const char* name;
  bool linkForeign;    // the link belongs to another user
  bool targetForeign;  // the file behind it belongs to another user
  bool dangling;       // there is no file behind it
  const char* line;    // the one log line, %s the settings file
};

class ForeignLinkTest : public SettingsFileTest,
                        public ::testing::WithParamInterface<ForeignLink> {};

// Run as root in someone else's folder, a link there must not decide what is overwritten.
TEST_P(ForeignLinkTest, SettingsStayUnsavedAndTheLogSaysWhy) {
  const ForeignLink& c = GetParam();
  constexpr uid_t kOtherUser = 65534;
  if ((c.linkForeign || c.targetForeign) && geteuid() != 0)
    GTEST_SKIP() << "only root can give a file to another user";
  const std::string real = dir_.file("real.INI");
  if (!c.dangling) writeText(real, "Foo = 1\n");
  std::filesystem::create_symlink(real, ini());
  if (c.linkForeign) {
    ASSERT_EQ(lchown(ini().c_str(), kOtherUser, kOtherUser), 0);
  }
  if (c.targetForeign) {
    ASSERT_EQ(chown(real.c_str(), kOtherUser, kOtherUser), 0);
  }
  {
    AppState app;
    app.loadSettingsFrom(base());
    app.settings.debugInfo = true;
    app.shutdown();
    char line[512];
    std::snprintf(line, sizeof line, c.line, ini().c_str());
    EXPECT_EQ(app.log.lines(), std::vector<std::string>{line});
  }
  EXPECT_TRUE(std::filesystem::is_symlink(ini()));
  if (c.dangling)
    EXPECT_FALSE(std::filesystem::exists(real));
  else
    EXPECT_EQ(readText(real), "Foo = 1\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}),
            c.dangling ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ForeignLinkTest,
    ::testing::Values(
        ForeignLink{"LinkOfAnotherUser", true, false, false,
                    "Einstellungen nicht gespeichert: der symbolische Verweis \"%s\" gehört nicht "
                    "dem Benutzer, unter dem Korvelo läuft."},
        ForeignLink{"FileOfAnotherUser", false, true, false,
                    "Einstellungen nicht gespeichert: das Ziel des symbolischen Verweises \"%s\" "
                    "gehört nicht dem Benutzer, unter dem Korvelo läuft."},
        ForeignLink{"Dangling", false, false, true,
                    "Einstellungen nicht gespeichert: der symbolische Verweis \"%s\" führt zu "
                    "keiner Datei."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, StoreWithoutFileAnswersNothingUntilSet) {
  SettingsStore store(base());
  EXPECT_FALSE(store.getValue("DebugInfo").has_value());
  EXPECT_TRUE(store.flush());  // nothing set: nothing to write
  EXPECT_EQ(access(ini().c_str(), F_OK), -1);
  store.setValue("debugINFO", "true");
  EXPECT_EQ(store.getValue("DebugInfo"), "true");
}

TEST_F(SettingsFileTest, ValueMayHoldEqualsSigns) {
  writeText(ini(), "PathToHAVs = /srv/a=b \n");
  EXPECT_EQ(runOnce(base()).pathToHAVs, "/srv/a=b");
}

}  // namespace
}  // namespace korvelo
