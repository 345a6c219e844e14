// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ten settings values, their defaults, and their mapping onto the settings file; and
// where the window stood, kept after them.

#include <string>
#include <vector>

namespace korvelo {

class SettingsStore;

// Where the window stood and how its list looked when it was last closed, kept in the file
// after the ten option keys (which keep their order and meaning). A width of 0: not known
// yet (a first start), and nothing is written.
struct WindowPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool maximized = false;
  std::vector<int> columnWidths;  // empty: the list fits its columns to its width
  int sortColumn = 0;
  bool sortDescending = false;
};

struct Settings {
  std::string pathToHAVs;  // default: $HOME, "/" when unset
  bool debugInfo = false;
  bool noFileSysCheck = false;
  bool fatSizeAuto = true;
  int fatSizeManuel = 72;
  bool useRecordDate = false;
  bool suppressWarnings = true;
  bool tevionPVR8005HDD = false;
  int millisecondsPause = 0;  // only 1 ... 100 pause; other values are kept as they stand
  bool entryNumberInFileName = true;
  WindowPlacement window;
};

// The folder the file dialog starts in on a first run: the user's home folder.
std::string defaultHavFolder();

// Fills `settings` from the store, storing the default of every missing or empty key
// (so a first run ends with one line per key). The Tevion switch forces NoFileSysCheck.
void loadSettings(SettingsStore& store, Settings& settings);
// Writes every value back and flushes the store; false when the file could not be written.
bool saveSettings(SettingsStore& store, const Settings& settings);

// "true" in any letter case is true, everything else false.
bool parseSettingsBool(const std::string& value);
// Leading decimal digits after optional blanks and sign; 0 when there are none,
// clamped to the int range.
int parseSettingsInt(const std::string& value);

}  // namespace korvelo
