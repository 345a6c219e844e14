// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's main window: the recording list, Save, the two progress bars, the log
// and the menus. It never reads the disk itself: every piece of disk work goes as a request
// to the disk thread (DiskWorker), which sends back list lines, log lines, progress and
// results. While a read takes long the window keeps painting and answering, and its status
// line says what it waits for.

#include <QDialog>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/options_apply.h"
#include "disk/udisks_client.h"
#include "export/save_as_chooser.h"
#include "gui/disk_worker.h"
#include "gui/file_dialog_chooser.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenuBar;
class QProgressBar;
class QPushButton;

namespace korvelo {

class AboutDialog;
class DiskMapDialog;
class RescueDialog;
class LogView;
class RecordingList;

// The window's program, as the desktop and the manifests it makes know it.
inline constexpr const char* kWindowProgramName = "korvelo";

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // The disk thread starts at once; the search is asked for from a one-shot timer soon
  // after construction.
  explicit MainDialog(AppState& app, QWidget* parent = nullptr);
  // Ends the disk thread (after the read in progress) before the window goes.
  ~MainDialog() override;

  // Replaces the file dialog (tests answer the save-as question themselves); null restores it.
  void setSaveAsChooser(SaveAsChooser* chooser) { chooserOverride_ = chooser; }
  // Replace the folder dialog of "Auswahl in Ordner speichern..." (an empty answer
  // cancels) and the question about targets that exist (tests answer them).
  void setFolderQuestion(std::function<std::string()> question) {
    folderQuestion_ = std::move(question);
  }
  void setExistingTargetsQuestion(
      std::function<ExistingTargets(const std::vector<std::string>&)> question) {
    existingQuestion_ = std::move(question);
  }
  // Replaces the question asked when the window is closed during a save or while a read is
  // stuck (tests answer).
  void setCloseQuestion(std::function<bool()> question) { closeQuestion_ = std::move(question); }

  QString normalTitle() const;

  // ---- commands
  void saveSelection();          // "Speichern", a double-click
  void saveSelectionToFolder();  // "Auswahl in Ordner speichern...": asks for the folder
  void saveSelectionTo(const std::string& folder);
  void showOptions();
  void applyOptionsChoice(const OptionsChoice& choice);
  void showAboutModeless();  // "&Über Korvelo": one window, shown again
  void showAboutModal();     // "Inf&o über Korvelo...": a new dialog each time
  void showRescue();         // "Aufnahmen &retten...": one window, kept with its findings
  void checkDisk();          // "Festplatte &prüfen": the findings go to the log
  void showDiskMap();        // "&Belegungsplan...": drawn anew each time it is opened
  // Reads the image (with its ddrescue mapfile, when given) instead of the machine's
  // drives and searches again; "Abbild &öffnen..." asks for both first.
  void openImage(const std::string& image, const std::string& mapfile);
  void chooseImage();
  void searchAgain();  // "Erneut &suchen"
  // "Abbrechen": the work in hand stops after the read in progress (a save after its
  // current step, the file kept for resuming).
  void stopSaving();
  // Waits for the disk thread to end (what runs is stopped first; a save keeps its file).
  // The program calls it once its loop has ended; the destructor does it too.
  void finishWork();

  // ---- for the rescue window
  void startRescueScan(bool byHeads);
  void saveRescued(std::vector<int> ids);
  void appendLogLine(const std::string& line);
  // A list line of the window's own (a rescued recording), without an entry behind it.
  void appendListLine(const std::string& line);
  void clearList();

  // ---- state, mostly for tests
  DiskTask currentTask() const { return task_; }
  // No task runs and every request was answered.
  bool isIdle() const { return task_ == DiskTask::None && outstanding_ == 0; }
  bool isSaveStepPending() const { return task_ == DiskTask::Save; }
  // The log as this window received it, one entry per line.
  QStringList logLines() const;
  int selectedLineCount() const;
  void setSaveEnabled(bool enabled);
  bool confirmStopForClosing();
  // The admission queries of the disk thread's workflow; only while it is idle (tests).
  ExportWorkflow& workflow() { return worker_->workflow(); }

  QLabel* sourceLabel() const { return source_; }
  QLabel* statusLabel() const { return status_; }
  QAction* openImageAction() const { return openImageAction_; }
  QAction* udisksAction() const { return udisksAction_; }
  QPushButton* accessButton() const { return access_; }
  // Replaces the choice among udisks2's disks (tests answer); empty answer: cancelled.
  void setUdisksChoice(
      std::function<std::string(const std::vector<UdisksDisk>&, const std::string&)> choice) {
    udisksChoice_ = std::move(choice);
  }
  // "Festplatte über udisks öffnen…": the disks udisks2 offers, the chosen one asked for.
  void openThroughUdisks(const std::string& preselect = {});
  QAction* searchAgainAction() const { return searchAgainAction_; }
  QAction* saveToFolderAction() const { return saveToFolderAction_; }
  RecordingList* recordingList() const { return list_; }
  LogView* logView() const { return log_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* closeButton() const { return close_; }
  QPushButton* cancelButton() const { return cancel_; }
  QCheckBox* suppressMessagesBox() const { return suppress_; }
  QProgressBar* readBar() const { return readBar_; }
  QProgressBar* writeBar() const { return writeBar_; }
  QLabel* descriptionLabel() const { return description_; }
  QLabel* totalLabel() const { return total_; }
  QMenuBar* menuBar() const { return menuBar_; }
  QAction* optionsAction() const { return optionsAction_; }
  QAction* aboutAction() const { return aboutAction_; }
  QAction* quitAction() const { return quitAction_; }
  QAction* infoAction() const { return infoAction_; }
  QAction* rescueAction() const { return rescueAction_; }
  QAction* checkAction() const { return checkAction_; }
  QAction* mapAction() const { return mapAction_; }
  DiskMapDialog* diskMapDialog() const;
  RescueDialog* rescueDialog() const;
  AboutDialog* modelessAbout() const;

 protected:
  void done(int result) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // What the disk thread sends back, on this thread.
  friend class DiskWorker;
  void onLogPiece(const std::string& piece);
  void onRowsCleared();
  void onRowAppended(const ListRow& row);
  void onDescription(const std::string& text);
  void onTotalText(const std::string& text);
  void onSaveAllowed(bool allowed);
  void onReadBarRange(int lower, int upper, const QString& readFormat, const QString& writeFormat);
  void onReadBarPosition(int position);
  void onWriteBarRange(int lower, int upper);
  void onWriteBarPosition(int position, const std::optional<QString>& format);
  void onWriteBarFormat(const QString& format);
  void onTitle(const std::string& title);
  void onSuppressUnchecked();
  void onSource(const SourceInfo& source);
  // "Zugriff anfordern…" shown for the refused drive's path; hidden for an empty one.
  void onAccessRequestable(const std::string& path);
  void onUdisksDisks(const std::vector<UdisksDisk>& disks, const std::string& preselect);
  void onTaskProgress(DiskTask task, int64_t done, int64_t total);
  void onTaskEnded(DiskTask task);
  void onRequestDone();
  void onDiskMap(const std::shared_ptr<BlockOwnership>& ownership);
  void onScanResult(const RescueScanResult& result);
  void onRescueDisksDropped();
  void onSaveReport(const SaveReport& report);
  SaveAsAnswer askSaveAs(const SaveAsRequest& request);
  ExistingTargets askExistingTargets(const std::vector<std::string>& names);

  // Sends a request to the disk thread; `task` marks it as a long piece of work.
  void request(std::function<void(DiskWorker&)> work, DiskTask task = DiskTask::None);
  SelectionSnapshot selection() const;
  void updateCommands();
  void updateStatus();
  void resetBars();
  void showIncomplete(const SaveReport& report);
  void buildControls();
  void buildMenus();
  QLayout* buildProgressArea();
  void onSizeChanged();
  void highlightSelection();
  void showSelectionTexts();
  // Window placement, column widths and sort order: from the settings, and back.
  void restorePlacement();
  void keepPlacement();
  void fitColumnsOnFirstStart();

  AppState& app_;
  FileDialogChooser fileDialog_;
  SaveAsChooser* chooserOverride_ = nullptr;  // not owned
  std::function<std::string()> folderQuestion_;
  std::function<ExistingTargets(const std::vector<std::string>&)> existingQuestion_;
  std::function<bool()> closeQuestion_;
  QThread thread_;
  DiskWorker* worker_ = nullptr;  // lives on thread_; deleted by finishWork
  std::shared_ptr<struct LogRelay> logRelay_;
  QTimer startupTimer_;
  QTimer statusTimer_;
  OptionsChoice options_;  // the options as last confirmed (the settings belong to the thread)

  DiskTask task_ = DiskTask::None;
  int outstanding_ = 0;      // requests sent and not yet answered
  bool saveAllowed_ = true;  // as the session and the save driver say
  bool closing_ = false;     // closed while work ran: ends when it has stopped
  int closeResult_ = 0;
  bool placementRestored_ = false;
  bool columnsFitted_ = false;
  std::string logText_;
  std::vector<ListRow> rows_;  // line i of the list

  RecordingList* list_ = nullptr;
  LogView* log_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QLabel* source_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* close_ = nullptr;
  QCheckBox* suppress_ = nullptr;
  QProgressBar* readBar_ = nullptr;
  QProgressBar* writeBar_ = nullptr;
  QLabel* description_ = nullptr;
  QLabel* total_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  QAction* openImageAction_ = nullptr;
  QAction* udisksAction_ = nullptr;
  QPushButton* access_ = nullptr;
  std::string refusedPath_;  // the drive "Zugriff anfordern…" asks for
  std::function<std::string(const std::vector<UdisksDisk>&, const std::string&)> udisksChoice_;
  QAction* searchAgainAction_ = nullptr;
  QAction* saveToFolderAction_ = nullptr;
  QAction* optionsAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  QAction* infoAction_ = nullptr;
  QAction* rescueAction_ = nullptr;
  QAction* checkAction_ = nullptr;
  QAction* mapAction_ = nullptr;
  QPointer<AboutDialog> about_;  // the modeless one, a child of this window
  QPointer<RescueDialog> rescue_;
  QPointer<DiskMapDialog> map_;
};

}  // namespace korvelo
