// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's main window: the recording list, Save, the two progress bars, the log
// and the menus. It is the window side of the session (SessionView), of the save driver
// (SaveDriverView) and of the save-as question, and forwards the user's actions to the
// session controller. The save driver runs from the event loop, one step per timer shot.

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/app_state.h"
#include "app/session_controller.h"
#include "app/session_view.h"
#include "export/save_as_chooser.h"
#include "export/save_driver.h"
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

class MainDialog : public QDialog, public SessionView, public SaveDriverView, public SaveAsChooser {
  Q_OBJECT

 public:
  // The search runs from a one-shot timer soon after construction.
  explicit MainDialog(AppState& app, QWidget* parent = nullptr);
  ~MainDialog() override;

  // Replaces the file dialog (tests answer the save-as question themselves); null restores it.
  void setSaveAsChooser(SaveAsChooser* chooser) { chooserOverride_ = chooser; }

  QString normalTitle() const;

  // SessionView
  void appendListLine(const std::string& line) override;
  void clearList() override;
  int lineCount() const override;
  int selectedLineCount() const override;
  bool isLineSelected(int index) const override;
  int caretLine() const override;
  void setDescription(const std::string& text) override;
  void setTotalText(const std::string& text) override;
  void setSaveEnabled(bool enabled) override;
  bool isSaveEnabled() const override;
  const void* parentWindow() const override;

  // SaveDriverView
  void setReadBarRange(int lower, int upper) override;
  void setReadBarPosition(int position) override;
  void setWriteBarRange(int lower, int upper) override;
  void setWriteBarPosition(int position) override;
  bool isMinimized() const override;
  void setWindowTitle(const std::string& title) override;
  bool isSuppressMessagesChecked() const override;
  void uncheckSuppressMessages() override;

  // SaveAsChooser
  SaveAsAnswer chooseSaveAs(const SaveAsRequest& request) override;

  // The handlers behind the buttons and menu commands.
  void saveSelection();
  void showOptions();
  void showAboutModeless();  // "&Über Korvelo": one window, shown again
  void showAboutModal();     // "Inf&o über Korvelo...": a new dialog each time
  void showRescue();         // "Aufnahmen &retten...": one window, kept with its rescued disks
  void checkDisk();          // "Festplatte &prüfen": the findings go to the log
  void showDiskMap();        // "&Belegungsplan...": one window, drawn anew each time it is opened
  // Opens and works off jobs that were queued outside saveSelection (rescued recordings).
  void saveQueuedJobs();
  // Reads the image (with its ddrescue mapfile, when given) instead of the machine's
  // drives and searches again; "Abbild &öffnen..." asks for both first.
  void openImage(const std::string& image, const std::string& mapfile);
  void chooseImage();
  void searchAgain();  // "Erneut &suchen"
  QLabel* sourceLabel() const { return source_; }
  QAction* openImageAction() const { return openImageAction_; }
  QAction* searchAgainAction() const { return searchAgainAction_; }
  // Stops a running save after its current step, the file kept for resuming.
  void stopSaving();
  // Tells the user that the drive stopped answering and the save was given up.
  void showDriveGone();
  void showSource();
  // Whether a save may be stopped so that the window can close.
  bool confirmStopForClosing();
  ExportWorkflow& workflow();

  RecordingList* recordingList() const { return list_; }
  LogView* logView() const { return log_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* closeButton() const { return close_; }
  QPushButton* cancelButton() const { return cancel_; }
  // Replaces the question asked when the window is closed during a save (tests answer).
  void setCloseQuestion(std::function<bool()> question) { closeQuestion_ = std::move(question); }
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
  bool isSaveStepPending() const { return stepTimer_.isActive(); }

 protected:
  void done(int result) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void buildControls();
  void buildMenus();
  QLayout* buildProgressArea();
  void onSizeChanged();
  void runSaveStep();
  void showSaveProgress();
  void scheduleSaveStep();

  AppState& app_;
  FileDialogChooser fileDialog_;
  SaveAsChooser* chooserOverride_ = nullptr;  // not owned
  std::unique_ptr<SessionController> controller_;
  SaveDriver* driver_ = nullptr;  // owned by the application state
  QTimer startupTimer_;
  QTimer stepTimer_;

  RecordingList* list_ = nullptr;
  LogView* log_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QLabel* source_ = nullptr;
  QAction* openImageAction_ = nullptr;
  QAction* searchAgainAction_ = nullptr;
  std::function<bool()> closeQuestion_;
  QPushButton* close_ = nullptr;
  QCheckBox* suppress_ = nullptr;
  QProgressBar* readBar_ = nullptr;
  QProgressBar* writeBar_ = nullptr;
  QLabel* description_ = nullptr;
  QLabel* total_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  QAction* optionsAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  QAction* infoAction_ = nullptr;
  QPointer<AboutDialog> about_;  // the modeless one, a child of this window
  QAction* rescueAction_ = nullptr;
  QPointer<RescueDialog> rescue_;  // lives as long as this window: queued jobs read through it
  QAction* checkAction_ = nullptr;
  QAction* mapAction_ = nullptr;
  QPointer<DiskMapDialog> map_;
  void highlightSelection();
};

}  // namespace korvelo
