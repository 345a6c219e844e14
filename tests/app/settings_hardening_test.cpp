// SPDX-License-Identifier: GPL-3.0-or-later
// Settings files that no editor would write: NUL bytes, a line far longer than any
// buffer, no line break at the end, a folder in the file's place. Loading gives
// defaults where nothing usable stands, untouched lines come back byte for byte, and a
// file that cannot be written leaves no stray file behind.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "app/settings.h"
#include "app/settings_store.h"
#include "support/file_util.h"
#include "support/hardening_fixture.h"

namespace korvelo::test {
namespace {

using namespace std::string_literals;

std::string readText(const std::string& path) {
  const std::vector<uint8_t> bytes = readFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string& path, const std::string& text) {
  writeFileBytes(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TEST(SettingsHardening, BinaryAndOverlongLinesSurviveARun) {
  TempDir dir;
  const std::string longLine = "; " + std::string(100000, 'x') + "\n";
  const std::string binary = "Bin\0\xFF\x01 = \0\n"s;
  writeText(dir.file("korvelo.INI"),
            longLine + binary +
                "DebugInfo = tr\0ue\nFATSizeManuel = 9999999999999\nMillisecondsPause = -"s);
  Settings settings;
  {
    SettingsStore store(dir.file("korvelo"));
    loadSettings(store, settings);
    EXPECT_FALSE(settings.debugInfo) << "a value with a NUL byte is not \"true\"";
    EXPECT_EQ(settings.fatSizeManuel, 2147483647);
    EXPECT_EQ(settings.millisecondsPause, 0);
    EXPECT_TRUE(saveSettings(store, settings));
  }
  const std::string written = readText(dir.file("korvelo.INI"));
  EXPECT_EQ(written.substr(0, longLine.size() + binary.size()), longLine + binary);
  EXPECT_NE(written.find("\nMillisecondsPause = 0\n"), std::string::npos);
  EXPECT_NE(written.find("\nEntryNumberInFileName = true\n"), std::string::npos)
      << "a key appended after a last line without line break starts a line of its own";
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"korvelo.INI"});
}

TEST(SettingsHardening, FolderInPlaceOfTheFileGivesDefaultsAndNoStrayFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("korvelo.INI"));
  Settings settings;
  settings.fatSizeManuel = 5;
  SettingsStore store(dir.file("korvelo"));
  loadSettings(store, settings);
  EXPECT_EQ(settings.fatSizeManuel, 72);
  EXPECT_TRUE(settings.fatSizeAuto);
  EXPECT_FALSE(saveSettings(store, settings));
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"korvelo.INI"});
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("korvelo.INI")));
}

// A FIFO would block the start for ever, a huge (sparse) file would fill the memory: both
// are left unread with the reason, the settings take their defaults, and neither is
// written over.
TEST(SettingsHardening, AFifoOrAHugeFileIsLeftUnreadAndUnwritten) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* reason;
  };
  for (const Case& c :
       {Case{"fifo", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
             "ist eine benannte Pipe (FIFO), keine gewöhnliche Datei"},
        Case{"huge", [](const std::string& path) { createSparseFile(path, (int64_t{5} << 30)); },
             "ist zu groß (höchstens 1.048.576 Bytes)"}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.file("korvelo.INI");
    c.make(path);
    Settings settings;
    settings.fatSizeManuel = 5;
    SettingsStore store(dir.file("korvelo"));
    loadSettings(store, settings);
    EXPECT_EQ(settings.fatSizeManuel, 72);
    EXPECT_EQ(store.loadProblem(),
              "Die Einstellungsdatei \"" + path + "\" wird nicht gelesen: " + c.reason + ".");
    EXPECT_FALSE(saveSettings(store, settings));
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"korvelo.INI"});
    if (std::string(c.name) == "huge") {
      EXPECT_EQ(fileSize(path), int64_t{5} << 30);
    }
  }
}

}  // namespace
}  // namespace korvelo::test
