// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's disk thread. Every read of the recorder disk that the window causes runs
// here, on one thread that owns the open drives, the session controller, the export
// workflow and the save driver: the search at start and on F5, the list, the File-FAT-Size
// probe, the save steps, the check, the map and the rescue scan. A disk that keeps one
// read for half a minute then keeps this thread, never the one that paints.
//
// The window posts requests (each runs to its end here, in the order posted) and gets
// back, as queued calls on its own thread, the list lines, log lines, progress and results.
// The two questions a save asks on the way (the save-as dialog, what to do with targets that
// exist) are put to the window, and this thread waits for the answer.
//
// Threads: the requests, SessionView, SaveDriverView and SaveAsChooser run on the disk
// thread; requestStop(), setMinimized() and setSuppressMessages() may be called from any.

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/folder_chooser.h"
#include "app/options_apply.h"
#include "app/session_controller.h"
#include "app/session_view.h"
#include "disk/drive_table.h"
#include "export/save_as_chooser.h"
#include "export/save_driver.h"
#include "recfs/block_ownership.h"
#include "recfs/directory_entry.h"
#include "recfs/rescue_disk.h"
#include "recfs/rescue_scan.h"

namespace korvelo {

class MainDialog;

// The long pieces of work; one runs at a time.
enum class DiskTask { None, Search, Save, Check, Map, Scan };

// What the window shows of one list line; it never touches the disk's entries itself.
struct ListRow {
  std::string line;  // "%04d\t%s\t%s\t %s Bytes"
  bool hasEntry = false;
  StartTime start;
  uint32_t durationMs = 0;
  uint64_t sizeBytes = 0;   // of the recording
  std::string description;  // "Von ... Uhr - Länge: ..."
};

// The line above the list: the drive's path and size.
struct SourceInfo {
  bool open = false;
  std::string path;
  int64_t bytes = -1;
};

// The list's selection as the window had it when it asked.
struct SelectionSnapshot {
  int lines = 0;
  std::vector<int> selected;  // line indices, ascending
  int caret = -1;
};

// What to do with the targets of a folder save that exist already (asked once for all).
enum class ExistingTargets { Skip, Resume, Overwrite, Cancel };

// How a save run ended, for the window's message boxes.
struct SaveReport {
  std::vector<std::string> incomplete;  // one line per recording not saved completely
  bool stopped = false;                 // ended by "Abbrechen" or by closing
  bool driveGone = false;
};

class DiskWorker : public QObject, public SessionView, public SaveDriverView, public SaveAsChooser {
  Q_OBJECT

 public:
  // Made on the window's thread, then moved to the disk thread.
  DiskWorker(AppState& app, MainDialog& window);
  ~DiskWorker() override;

  // ---- requests (disk thread)
  // The start-up search (again = false) or a new one, on these drives when given.
  void search(std::vector<DriveSpec> drives, bool again);
  // An image, with its mapfile (checked first), instead of the machine's drives.
  void openImage(std::string image, std::string mapfile);
  // The disks udisks2 offers, for the window's choice; a missing daemon is logged instead.
  void listUdisks(std::string preselect);
  // Asks udisks2 (and through it polkit) for the disk and searches it when granted.
  void openThroughUdisks(std::string device);
  // "Speichern": one save-as question per selected recording, then the save.
  void saveSelection(SelectionSnapshot selection);
  // "Auswahl in Ordner speichern...": every selected recording into `folder`, named and
  // judged as `korvelo-cli export -o` does.
  void saveSelectionToFolder(SelectionSnapshot selection, std::string folder);
  // The rescued recordings with these ids, from the last rescue scan.
  void saveRescued(std::vector<int> ids);
  void check();
  void buildMap();
  void rescueScan(bool byHeads);
  void applyOptions(OptionsChoice choice);
  void appendLog(std::string line);
  // The window closes: whatever runs is stopped (a save keeps its file for resuming), and
  // the thread's loop ends.
  void finish();
  // After requestStop(): a save waiting for its next step takes it now.
  void stopNow();

  // ---- from any thread
  // "Abbrechen": the save stops after its current step, the check, map or scan after the
  // block in hand; the read in progress always ends first.
  void requestStop();
  // Set when a new task is requested, on the window's thread, so that a stop meant for the
  // last task never ends the next one.
  void clearStopRequest();
  void setMinimized(bool minimized) { minimized_.store(minimized); }
  void setSuppressMessages(bool suppress) { suppress_.store(suppress); }
  // From then on no question is put to the window (it is closing): a save-as question is
  // answered "cancelled".
  void stopAsking() { askWindow_.store(false); }

  // Tests set their admission queries before they ask for a save; only while no task runs.
  ExportWorkflow& workflow() { return controller_->workflow(); }
  // The options dialog's view of the settings as they stand (disk thread).
  OptionsChoice shownOptions() const { return choiceFromSettings(app_.settings); }

  // ---- SessionView (disk thread)
  void appendListLine(const std::string& line) override;
  void clearList() override;
  int lineCount() const override { return selection_.lines; }
  int selectedLineCount() const override;
  bool isLineSelected(int index) const override;
  int caretLine() const override { return selection_.caret; }
  void setDescription(const std::string& text) override;
  void setTotalText(const std::string& text) override;
  void setSaveEnabled(bool enabled) override;
  bool isSaveEnabled() const override { return saveEnabled_; }
  const void* parentWindow() const override { return parent_; }

  // ---- SaveDriverView (disk thread)
  void setReadBarRange(int lower, int upper) override;
  void setReadBarPosition(int position) override;
  void setWriteBarRange(int lower, int upper) override;
  void setWriteBarPosition(int position) override;
  bool isMinimized() const override { return minimized_.load(); }
  void setWindowTitle(const std::string& title) override;
  bool isSuppressMessagesChecked() const override { return suppress_.load(); }
  void uncheckSuppressMessages() override;

  // ---- SaveAsChooser (disk thread): the window's dialog, or the folder of a folder save
  SaveAsAnswer chooseSaveAs(const SaveAsRequest& request) override;

 private:
  using Clock = std::chrono::steady_clock;

  // Queued to the window's thread; dropped when the window is gone.
  void post(std::function<void(MainDialog&)> call);
  // Runs on the window's thread while this one waits.
  void ask(const std::function<void(MainDialog&)>& call);
  void beginTask(DiskTask task);
  // After a search: offers udisks2 when a drive was refused for lack of permission.
  void offerUdisks();
  void endTask(DiskTask task);
  // Progress of the check, map or scan, at most ten times a second (and the last).
  void reportProgress(DiskTask task, int64_t done, int64_t total, bool last = false);
  SourceInfo sourceInfo() const;

  void beginSave();
  void continueSaving();
  void runSaveStep();
  void postSaveProgress();
  void endSave();
  std::vector<ExportItem> selectedItems() const;
  ExistingTargets askAboutExisting(const std::vector<ExportItem>& items, const std::string& folder);

  AppState& app_;
  MainDialog* window_;
  const void* parent_;  // the window as the save-as request names it
  std::unique_ptr<SessionController> controller_;
  QTimer stepTimer_;

  std::atomic<bool> stop_{false};
  std::atomic<bool> minimized_{false};
  std::atomic<bool> suppress_{false};
  std::atomic<bool> askWindow_{true};

  SelectionSnapshot selection_;
  bool saveEnabled_ = true;
  DiskTask task_ = DiskTask::None;
  Clock::time_point lastProgress_{};

  // The save run in hand.
  size_t runFirstOutcome_ = 0;
  Clock::time_point runStart_{};
  FolderChooser* folderChooser_ = nullptr;  // during a folder save's walk; not owned

  // Every disk a rescue scan made: queued jobs may read through it. Dropped with the disk.
  std::vector<std::unique_ptr<RescueDisk>> rescueDisks_;
};

}  // namespace korvelo
