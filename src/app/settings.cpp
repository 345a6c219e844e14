// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <optional>

#include "app/settings_store.h"

namespace korvelo {

namespace {

const char* boolText(bool value) {
  return value ? "true" : "false";
}

std::optional<std::string> presentValue(SettingsStore& store, const char* key) {
  std::optional<std::string> value = store.getValue(key);
  if (value && value->empty()) return std::nullopt;
  return value;
}

bool loadBool(SettingsStore& store, const char* key, bool fallback) {
  const std::optional<std::string> value = presentValue(store, key);
  if (!value) {
    store.setValue(key, boolText(fallback));
    return fallback;
  }
  return parseSettingsBool(*value);
}

int loadInt(SettingsStore& store, const char* key, int fallback) {
  const std::optional<std::string> value = presentValue(store, key);
  if (!value) {
    store.setValue(key, std::to_string(fallback));
    return fallback;
  }
  return parseSettingsInt(*value);
}

// "120,300,90" to numbers; a part that is no number ends the list (it is not used then).
std::vector<int> parseWidths(const std::string& text) {
  std::vector<int> widths;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string part = text.substr(start, comma - start);
    if (part.empty() || part.find_first_not_of(" 0123456789") != std::string::npos) return {};
    widths.push_back(parseSettingsInt(part));
    start = comma + 1;
  }
  return widths;
}

// The window's keys are read only when present: a first run writes none of them.
void loadPlacement(SettingsStore& store, WindowPlacement& placement) {
  const auto width = presentValue(store, "WindowWidth");
  const auto height = presentValue(store, "WindowHeight");
  if (width && height) {
    placement.width = parseSettingsInt(*width);
    placement.height = parseSettingsInt(*height);
    placement.x = parseSettingsInt(presentValue(store, "WindowX").value_or("0"));
    placement.y = parseSettingsInt(presentValue(store, "WindowY").value_or("0"));
    placement.maximized = parseSettingsBool(presentValue(store, "WindowMaximized").value_or(""));
  }
  if (const auto widths = presentValue(store, "ColumnWidths"))
    placement.columnWidths = parseWidths(*widths);
  if (const auto column = presentValue(store, "SortColumn"))
    placement.sortColumn = parseSettingsInt(*column);
  placement.sortDescending = parseSettingsBool(presentValue(store, "SortDescending").value_or(""));
}

void savePlacement(SettingsStore& store, const WindowPlacement& placement) {
  if (placement.width <= 0 || placement.height <= 0) return;
  store.setValue("WindowX", std::to_string(placement.x));
  store.setValue("WindowY", std::to_string(placement.y));
  store.setValue("WindowWidth", std::to_string(placement.width));
  store.setValue("WindowHeight", std::to_string(placement.height));
  store.setValue("WindowMaximized", boolText(placement.maximized));
  std::string widths;
  for (const int width : placement.columnWidths)
    widths += (widths.empty() ? "" : ",") + std::to_string(width);
  store.setValue("ColumnWidths", widths);
  store.setValue("SortColumn", std::to_string(placement.sortColumn));
  store.setValue("SortDescending", boolText(placement.sortDescending));
}

}  // namespace

std::string defaultHavFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return "/";
  return home;
}

bool parseSettingsBool(const std::string& value) {
  if (value.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (std::tolower(static_cast<unsigned char>(value[i])) != "true"[i]) return false;
  }
  return true;
}

int parseSettingsInt(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  long long magnitude = 0;
  for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
    magnitude = magnitude * 10 + (value[i] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) break;  // clamped below
  }
  const long long signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT_MAX) return INT_MAX;
  if (signedValue < INT_MIN) return INT_MIN;
  return static_cast<int>(signedValue);
}

void loadSettings(SettingsStore& store, Settings& settings) {
  if (const auto folder = presentValue(store, "PathToHAVs")) {
    settings.pathToHAVs = *folder;
  } else {
    settings.pathToHAVs = defaultHavFolder();
    store.setValue("PathToHAVs", settings.pathToHAVs);
  }
  settings.debugInfo = loadBool(store, "DebugInfo", false);
  settings.noFileSysCheck = loadBool(store, "NoFileSysCheck", false);
  settings.fatSizeAuto = loadBool(store, "FATSizeAuto", true);
  settings.fatSizeManuel = loadInt(store, "FATSizeManuel", 72);
  settings.useRecordDate = loadBool(store, "UseRecordDate", false);
  settings.suppressWarnings = loadBool(store, "SuppressWarnings", true);
  settings.tevionPVR8005HDD = loadBool(store, "TevionPVR8005HDD", false);
  if (settings.tevionPVR8005HDD && !settings.noFileSysCheck) {
    settings.noFileSysCheck = true;
    store.setValue("NoFileSysCheck", "true");
  }
  settings.millisecondsPause = loadInt(store, "MillisecondsPause", 0);
  settings.entryNumberInFileName = loadBool(store, "EntryNumberInFileName", true);
  loadPlacement(store, settings.window);
}

bool saveSettings(SettingsStore& store, const Settings& settings) {
  // Folders are told apart exactly: on Linux "/Data" and "/data" are two folders.
  if (store.getValue("PathToHAVs") != settings.pathToHAVs) {
    store.setValue("PathToHAVs", settings.pathToHAVs);
  }
  store.setValue("DebugInfo", boolText(settings.debugInfo));
  store.setValue("EntryNumberInFileName", boolText(settings.entryNumberInFileName));
  store.setValue("NoFileSysCheck", boolText(settings.noFileSysCheck));
  store.setValue("SuppressWarnings", boolText(settings.suppressWarnings));
  store.setValue("TevionPVR8005HDD", boolText(settings.tevionPVR8005HDD));
  store.setValue("UseRecordDate", boolText(settings.useRecordDate));
  store.setValue("FATSizeAuto", boolText(settings.fatSizeAuto));
  store.setValue("FATSizeManuel", std::to_string(settings.fatSizeManuel));
  store.setValue("MillisecondsPause", std::to_string(settings.millisecondsPause));
  savePlacement(store, settings.window);
  return store.flush();
}

}  // namespace korvelo
