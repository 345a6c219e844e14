// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logic behind the main window: the start-up search, the list, the description
// of the recording under the caret, the total of the selection, and saving it.
// Front ends call it from their handlers and see it only through SessionView.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/export_workflow.h"
#include "app/session_view.h"
#include "disk/drive_table.h"
#include "export/hav_export_job.h"
#include "export/save_as_chooser.h"
#include "recfs/directory_entry.h"

namespace korvelo {

class SessionController {
 public:
  // Saving needs the save driver: app.makeSaveDriver must have been called before
  // the first saveSelection.
  SessionController(AppState& app, SessionView& view, SaveAsChooser& chooser);

  // Finds the recorder disk, reads its directory, fills the list and settles the
  // File-FAT-Size; every step reported into the log. Meant to run once per run.
  void searchDisk();
  // Forgets the disk found and searches the drive table again (after a disk was attached),
  // or these drives instead (an image chosen). Not while a save runs: that is logged and
  // nothing changes.
  void searchAgain(const std::vector<DriveSpec>& drives = {});
  void fillList();
  // Describes the entry under the caret, then shows the total of the selection.
  void showSelection();
  void showTotalSize();
  // Offers the selected recordings one after the other and queues the accepted ones.
  void saveSelection();

  // Replaces the free-space query of every job this controller prepares (tests, or a
  // front end that knows better than statvfs).
  void setFreeSpaceQuery(FreeSpaceQuery query) { workflow_.setFreeSpaceQuery(std::move(query)); }

  // Empty when the File-FAT-Size held was confirmed by the verification or given by
  // hand; else why it cannot be trusted (the probe found none, or the verification
  // rejected the value found). Nothing read through it may count.
  const std::string& fileFatSizeDoubt() const { return fileFatSizeDoubt_; }
  // The value given by hand did not pass the verification (it is used all the same).
  bool givenFileFatSizeFailed() const { return givenFileFatSizeFailed_; }
  // False, with one log line saying why and how to give the value, when recordings must
  // not be read: the File-FAT-Size is in doubt. `stops`: the line says that nothing is
  // read ("Abbruch: ..."); else it only warns ("Warnung: ...").
  bool admitFileFatSize(bool stops = true);
  // The last search found a recorder whose directory lists no recording and announces
  // none, every slot read: nothing there is read through the File-FAT-Size, so a value in
  // doubt asks nothing of the user until something looks beyond the directory.
  bool recorderIsEmpty() const { return recorderIsEmpty_; }

  // Saving: what is admitted, queued, stepped and recorded, for every front end.
  ExportWorkflow& workflow() { return workflow_; }

  // "Von %s %d/%02d/%02d um %d:%02d Uhr - Länge: ..." for one entry.
  static std::string describe(const DirectoryEntry& entry);
  // The list line of one entry: "%04d\t%s\t%s\t %s Bytes", texts made printable and UTF-8.
  static std::string listLine(const DirectoryEntry& entry);
  // "Gesamtgröße der Zieldateien: %s Bytes" for the files' bytes (recordings and front).
  static std::string totalText(uint64_t bytes);

 private:
  void settleFileFatSize();
  // True, with the drive-gone line logged and the disk let go, when the start-up's reads
  // found the drive no longer answering.
  bool stopAsDriveGone();
  // The entry behind list line `index`, or null when the line has none.
  const DirectoryEntry* entryAt(int index) const;
  void logStatus(Severity severity = Severity::Info);

  AppState& app_;
  SessionView& view_;
  SaveAsChooser& chooser_;
  ExportWorkflow workflow_;
  std::string fileFatSizeDoubt_;
  bool givenFileFatSizeFailed_ = false;
  bool recorderIsEmpty_ = false;
};

}  // namespace korvelo
