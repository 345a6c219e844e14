// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/session_controller.h"

#include <memory>

#include "disk/text.h"
#include "export/hav_head.h"
#include "recfs/detection.h"
#include "recfs/fat_confirmation.h"
#include "recfs/fat_geometry.h"
#include "recfs/status_text.h"

namespace korvelo {

namespace {

const char* weekdayName(int weekday) {
  static constexpr const char* kNames[] = {"Montag",  "Dienstag", "Mittwoch", "Donnerstag",
                                           "Freitag", "Samstag",  "Sonntag"};
  if (weekday < 1 || weekday > 7) return "?";
  return kNames[weekday - 1];
}

// The recorder's texts are Latin-1 and may hold control bytes.
std::string shownText(const std::string& raw) {
  return latin1ToUtf8(filterPrintable(raw));
}

std::string grouped(uint64_t bytes) {
  return formatThousands(static_cast<int64_t>(bytes), '.');
}

}  // namespace

SessionController::SessionController(AppState& app, SessionView& view, SaveAsChooser& chooser)
    : app_(app), view_(view), chooser_(chooser), workflow_(app, chooser) {
  workflow_.setParentWindow(view.parentWindow());
}

void SessionController::logStatus(Severity severity) {
  app_.log.append(statusText(), severity);
}

void SessionController::searchDisk() {
  Log& log = app_.log;
  const Settings& settings = app_.settings;
  log.append("Suche FSR-Festplatte ...");
  recorderIsEmpty_ = false;
  fileSysCheckRelaxed = settings.tevionPVR8005HDD || settings.noFileSysCheck;
  const char drive = findRecorderDrive();
  logStatus(drive == 0 ? Severity::Error : Severity::Info);
  if (drive == 0) {
    log.append(settings.tevionPVR8005HDD ? "Keine PVR-8005-Festplatte gefunden."
                                         : "Keine FSR-5000-Festplatte gefunden.",
               Severity::Error);
    view_.setSaveEnabled(false);
    log.append("Warte auf Benutzer...");
    return;
  }
  if (settings.tevionPVR8005HDD) {
    app_.disk = std::make_unique<Pvr8005Disk>(drive);
  } else {
    app_.disk = std::make_unique<Fsr5000Disk>(drive);
  }
  if (!statusText().empty()) {
    logStatus(Severity::Error);  // the drive did not open
    log.append("Warte auf Benutzer...");
    return;
  }
  app_.disk->readDirectory(false);
  logStatus(app_.disk->getUnreadableSlots() > 0 ? Severity::Warning : Severity::Info);
  if (stopAsDriveGone()) return;
  fillList();
  const int announced = app_.disk->getNumberOfEntries();
  const auto listed = static_cast<int>(app_.disk->getEntries().size());
  if (announced != listed) {
    log.append(textf("Warnung! Das Verzeichnis sollte %d Einträge haben, hat aber nur %d.",
                     announced, listed),
               Severity::Warning);
  }
  recorderIsEmpty_ = listed == 0 && announced == 0 && app_.disk->getUnreadableSlots() == 0;
  settleFileFatSize();
  if (stopAsDriveGone()) return;
  log.append("Warte auf Benutzer...");
}

bool SessionController::stopAsDriveGone() {
  const PhysicalDrive& drive = app_.disk->getDrive();
  if (!drive.answersNoMore()) return false;
  app_.log.append(textf("Das Laufwerk antwortet nicht mehr: %d Lesezugriffe in Folge sind "
                        "fehlgeschlagen, die Suche ist angehalten. Laufwerk wieder anschließen, "
                        "dann erneut suchen.",
                        drive.failingRun().failingReads),
                  Severity::Error);
  // Nothing read from it may be offered: no list, no saving, no stub files.
  app_.disk.reset();
  view_.clearList();
  view_.setDescription("");
  view_.setSaveEnabled(false);
  app_.log.append("Warte auf Benutzer...");
  return true;
}

void SessionController::searchAgain(const std::vector<DriveSpec>& drives) {
  if (workflow_.isActive() || workflow_.hasQueuedJobs()) {
    app_.log.append("Während gespeichert wird, wird nicht neu gesucht.", Severity::Warning);
    return;
  }
  // The jobs' disk is gone with the queue; only now may the table change under it.
  if (!drives.empty()) DriveTable::useDrives(drives);
  app_.disk.reset();
  view_.clearList();
  view_.setDescription("");
  showTotalSize();
  view_.setSaveEnabled(true);
  searchDisk();
}

void SessionController::settleFileFatSize() {
  Fsr5000Disk& disk = *app_.disk;
  const Settings& settings = app_.settings;
  const int estimate = calcFAT(disk.getDriveChar());
  fileFatSizeDoubt_.clear();
  givenFileFatSizeFailed_ = false;
  if (!settings.fatSizeAuto) {
    disk.setSizeFileFAT(settings.fatSizeManuel);
    app_.log.append(textf("  Geschätzter \"File-FAT-Size\"-Wert: %d -- benutzter Vorgabewert: %d",
                          estimate, settings.fatSizeManuel));
    // The value given is tested all the same; it is kept even when it fails.
    if (disk.verifySizeFileFAT() < 0 && !firstHeadsConfirmFileFatSize(disk)) {
      logStatus(Severity::Warning);
      givenFileFatSizeFailed_ = true;
      app_.log.append(
          textf("Warnung: Der vorgegebene \"File-FAT-Size\"-Wert %d besteht die Überprüfung "
                "nicht; er wird trotzdem benutzt.",
                settings.fatSizeManuel),
          Severity::Warning);
    } else {
      logStatus();
    }
    return;
  }
  const int found = disk.getSizeFileFAT();
  if (disk.getDrive().answersNoMore()) return;
  app_.log.append(
      textf("  Geschätzter \"File-FAT-Size\"-Wert: %d -- %s", estimate, statusText().c_str()));
  const int confirmed = disk.verifySizeFileFAT();
  // Without recordings the probe finds no recording's start and nothing can be tested;
  // there is nothing to save either, so the user is not asked for a value.
  const bool inDoubt = (found <= 0 || confirmed < 0) && !recorderIsEmpty_;
  logStatus(inDoubt ? Severity::Warning : Severity::Info);
  if (found <= 0) {
    fileFatSizeDoubt_ = "die automatische Ermittlung fand keinen Wert";
  } else if (confirmed < 0 && !firstHeadsConfirmFileFatSize(disk)) {
    // The verification goes by list position; only when no recording start is found
    // where the entries' own numbers put one is the value rejected.
    fileFatSizeDoubt_ = textf("die Überprüfung verwirft den ermittelten Wert %d", found);
  }
  if (inDoubt) {
    // One line for both front ends: the disk gave no value that can be trusted.
    app_.log.append(
        "  Bitte den \"File-FAT-Size\"-Wert von Hand vorgeben: im Fenster über \"Optionen\", "
        "auf der Kommandozeile mit --fat-size N.",
        Severity::Error);
  }
  if (found < confirmed) {
    app_.log.append(textf(
        "  Zum schnelleren Programmstart bitte den Wert %d in den Optionen als Vorgabe einstellen.",
        confirmed));
  }
}

bool SessionController::admitFileFatSize(bool stops) {
  if (fileFatSizeDoubt_.empty()) return true;
  app_.log.append(textf("%s: Der \"File-FAT-Size\"-Wert ist nicht gesichert (%s)%s. Bitte den "
                        "Wert vorgeben: im Fenster über \"Optionen\", auf der Kommandozeile mit "
                        "--fat-size N.",
                        stops ? "Abbruch" : "Warnung", fileFatSizeDoubt_.c_str(),
                        stops ? "; ohne ihn wird keine Aufnahme gelesen" : ""),
                  stops ? Severity::Error : Severity::Warning);
  return false;
}

void SessionController::fillList() {
  app_.log.append("Extrahiere Filmverzeichnis...");
  if (!app_.disk) return;
  for (const auto& entry : app_.disk->getEntries()) view_.appendListLine(listLine(*entry));
}

std::string SessionController::listLine(const DirectoryEntry& entry) {
  return textf("%04d\t%s\t%s\t %s Bytes", entry.getEntryNumber(),
               shownText(entry.getTitle()).c_str(), shownText(entry.getSecondText()).c_str(),
               grouped(entry.getSizeInBytes()).c_str());
}

std::string SessionController::describe(const DirectoryEntry& entry) {
  const StartTime start = entry.getStartTime();
  const uint32_t durationMs = entry.getDurationMs();
  const auto minutes = static_cast<int>(durationMs / 60000);
  const auto seconds = static_cast<int>((durationMs / 1000) % 60);
  return textf("Von %s %d/%02d/%02d um %d:%02d Uhr - Länge: %d Minut%s %02d Sekund%s",
               weekdayName(start.weekday), start.year, start.month, start.day, start.hour,
               start.minute, minutes, minutes == 1 ? "e" : "en", seconds,
               seconds == 1 ? "e" : "en");
}

const DirectoryEntry* SessionController::entryAt(int index) const {
  if (!app_.disk || index < 0) return nullptr;
  const auto& entries = app_.disk->getEntries();
  if (static_cast<size_t>(index) >= entries.size()) return nullptr;
  return entries[static_cast<size_t>(index)].get();
}

void SessionController::showSelection() {
  if (const DirectoryEntry* entry = entryAt(view_.caretLine())) {
    view_.setDescription(describe(*entry));
  }
  showTotalSize();
}

void SessionController::showTotalSize() {
  uint64_t total = 0;
  const int lines = view_.lineCount();
  for (int i = 0; i < lines; ++i) {
    if (!view_.isLineSelected(i)) continue;
    if (const DirectoryEntry* entry = entryAt(i)) total += entry->getSizeInBytes() + kHavFrontBytes;
  }
  app_.totalSize = total;
  view_.setTotalText(totalText(total));
}

std::string SessionController::totalText(uint64_t bytes) {
  return textf("Gesamtgröße der Zieldateien: %s Bytes", grouped(bytes).c_str());
}

}  // namespace korvelo
