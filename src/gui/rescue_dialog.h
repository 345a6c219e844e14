// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Aufnahmen retten": finds recordings that the directory no longer leads to (by the
// file FATs, or by the HOJIN heads when those are gone too), shows how certain each
// find is, adds them to the main list marked as rescued, and queues the chosen ones
// for saving through the main window's save driver. The scan runs on the window's
// thread with a progress bar; "Abbrechen" ends it early.

#include <QDialog>
#include <atomic>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "recfs/rescue_disk.h"
#include "recfs/rescue_scan.h"

class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace korvelo {

class MainDialog;

class RescueDialog : public QDialog {
  Q_OBJECT

 public:
  RescueDialog(AppState& app, MainDialog& window);
  ~RescueDialog() override;

  void scan();
  void saveSelected();

  QRadioButton* headsButton() const { return heads_; }
  QTreeWidget* resultList() const { return results_; }
  QPushButton* saveButton() const { return save_; }
  const RescueScanResult& lastResult() const { return result_; }

 protected:
  void reject() override;

 private:
  void showProgress(const ScanProgress& progress);
  void showResult();

  AppState& app_;
  MainDialog& window_;
  std::atomic<bool> stop_{false};
  bool scanning_ = false;
  RescueScanResult result_;
  // Every disk a scan made stays: queued jobs may still read through it.
  std::vector<std::unique_ptr<RescueDisk>> disks_;

  QRadioButton* regions_ = nullptr;
  QRadioButton* heads_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QTreeWidget* results_ = nullptr;
  QPushButton* save_ = nullptr;
};

}  // namespace korvelo
