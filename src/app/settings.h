#pragma once
// The ten settings values, their defaults, and their mapping onto the settings file.

#include <string>

namespace korvelo {

class SettingsStore;

struct Settings {
  std::string pathToHAVs;  // default: $HOME, "/" when unset
  bool debugInfo = false;
  bool noFileSysCheck = false;
  bool fatSizeAuto = true;
  int fatSizeManuel = 72;
  bool useRecordDate = false;
  bool suppressWarnings = true;
  bool tevionPVR8005HDD = false;
  int millisecondsPause = 0;
  bool entryNumberInFileName = true;
};

std::string defaultHavFolder();

// Fills `settings` from the store, storing the default of every missing key.
void loadSettings(SettingsStore& store, Settings& settings);
// Writes every value back and flushes the store.
void saveSettings(SettingsStore& store, const Settings& settings);

}  // namespace korvelo
