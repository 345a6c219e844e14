// Saving the selected recordings: one save-as question per recording in list order;
// a cancelled or failed preparation ends the walk, what was accepted before is saved.

#include <memory>

#include "app/session_controller.h"
#include "disk/text.h"
#include "export/hav_export_job.h"

namespace korvelo {

namespace {
constexpr int kPrepared = 0;
constexpr int kCancelled = 10;
}  // namespace

void SessionController::saveSelection() {
  if (!view_.isSaveEnabled()) return;  // a save runs, or no recorder disk was found
  if (view_.selectedLineCount() == 0) {
    app_.log.append(
        "Bitte einen Eintrag in obiger Liste anwählen und dann auf \"Speichern\" drücken.");
    return;
  }
  view_.setSaveEnabled(false);
  const int lines = view_.lineCount();
  int result = kPrepared;
  for (int i = 0; i < lines && result == kPrepared; ++i) {
    const DirectoryEntry* entry = entryAt(i);
    if (entry == nullptr) break;  // no entry behind this line or any later one
    if (view_.isLineSelected(i)) result = offerEntry(*entry);
  }
  SaveDriver* driver = app_.saveDriver();
  if (!app_.jobs.empty() && driver != nullptr) {
    driver->startSaving();  // the driver enables Save once the queue is worked off
  } else {
    view_.setSaveEnabled(true);
  }
}

int SessionController::offerEntry(const DirectoryEntry& entry) {
  Log& log = app_.log;
  const Settings& settings = app_.settings;
  log.append(textf("Eintrag %d \"%s\" ausgewählt.", entry.getEntryNumber(),
                   latin1ToUtf8(filterPrintable(entry.getTitle())).c_str()));
  auto job = std::make_unique<HavExportJob>(*app_.disk);
  if (freeSpaceQuery_) job->setFreeSpaceQuery(freeSpaceQuery_);
  if (app_.digestExports) job->digestWhileWriting();
  const int result =
      job->prepareSave(entry, chooser_, view_.parentWindow(), app_.settings.pathToHAVs,
                       app_.hojinsPerStep, settings.entryNumberInFileName);
  const std::string messages = job->getMessages();
  if (!messages.empty()) log.append(messages);
  const std::string size = formatThousands(static_cast<int64_t>(job->getExpectedSize()), '.');
  if (settings.debugInfo) {
    log.append(textf("Insgesamt %d HOJINs sollen kopiert werden: Größe der Zieldatei %s Bytes.",
                     job->getNumberOfHojins(), size.c_str()));
  } else {
    log.append(textf("Größe der Zieldatei %s Bytes.", size.c_str()));
  }
  if (result == kPrepared) {
    app_.jobs.push_back(std::move(job));
  } else if (result == kCancelled) {
    log.append("Speichern abgebrochen.");
  } else {
    log.append(textf("Fehler %d ist beim Vorbereiten des Speicherns aufgetreten.", result));
  }
  return result;
}

}  // namespace korvelo
