// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/options_apply.h"

#include <climits>
#include <string>

namespace korvelo {

namespace {

std::string fatSizeReport(AppState& app) {
  const bool automatic = app.settings.fatSizeAuto;
  if (!app.disk) {
    if (automatic) return "Benutze jetzt automatisch ermittelten \"File-FAT-Size\"-Wert.";
    return "Benutze jetzt manuell vorgegebenen \"File-FAT-Size\"-Wert von " +
           std::to_string(app.settings.fatSizeManuel) + ".";
  }
  // After a switch to automatic this runs the determination on the disk first.
  const int size = app.disk->getSizeFileFAT();
  if (automatic) {
    return "Benutze jetzt automatisch ermittelten \"File-FAT-Size\"-Wert von " +
           std::to_string(size) + ".";
  }
  return "Benutze jetzt manuell vorgegebenen \"File-FAT-Size\"-Wert von " + std::to_string(size) +
         ".";
}

}  // namespace

OptionsChoice choiceFromSettings(const Settings& settings) {
  OptionsChoice choice;
  choice.debugInfo = settings.debugInfo;
  choice.noFileSysCheck = settings.noFileSysCheck;
  choice.suppressWarnings = settings.suppressWarnings;
  choice.useRecordDate = settings.useRecordDate;
  choice.entryNumberInFileName = settings.entryNumberInFileName;
  choice.tevionPVR8005HDD = settings.tevionPVR8005HDD;
  choice.fatSizeAuto = settings.fatSizeAuto;
  choice.fatSizeText = std::to_string(settings.fatSizeManuel);
  choice.pauseText = std::to_string(settings.millisecondsPause);
  return choice;
}

int fieldValue(const std::string& text) {
  long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return INT_MAX;  // a long run of digits must not overflow
  }
  return static_cast<int>(value);
}

void applyOptions(AppState& app, const OptionsChoice& choice) {
  Settings& settings = app.settings;
  const bool wasAuto = settings.fatSizeAuto;

  settings.debugInfo = choice.debugInfo;
  settings.entryNumberInFileName = choice.entryNumberInFileName;
  settings.noFileSysCheck = choice.noFileSysCheck;
  settings.suppressWarnings = choice.suppressWarnings;
  settings.useRecordDate = choice.useRecordDate;
  settings.tevionPVR8005HDD = choice.tevionPVR8005HDD;
  settings.fatSizeAuto = choice.fatSizeAuto;
  // A field left as the settings showed it keeps their value, even one the field could
  // not hold (-1 from the settings file): confirming unchanged changes nothing.
  if (choice.pauseText != std::to_string(settings.millisecondsPause))
    settings.millisecondsPause = fieldValue(choice.pauseText);

  bool sizeChanged = false;
  const int manual = fieldValue(choice.fatSizeText);
  if (choice.fatSizeText != std::to_string(settings.fatSizeManuel) &&
      manual != settings.fatSizeManuel) {
    settings.fatSizeManuel = manual;
    sizeChanged = true;
    if (!settings.fatSizeAuto && app.disk) app.disk->setSizeFileFAT(manual);
  }

  bool report = sizeChanged;
  if (wasAuto && !settings.fatSizeAuto) {
    if (app.disk) app.disk->setSizeFileFAT(settings.fatSizeManuel);
    report = true;
  } else if (!wasAuto && settings.fatSizeAuto) {
    // Unset, so that the next query determines the value on the disk anew.
    if (app.disk) app.disk->setSizeFileFAT(-1);
    report = true;
  }
  if (report) app.log.append(fatSizeReport(app));
}

}  // namespace korvelo
