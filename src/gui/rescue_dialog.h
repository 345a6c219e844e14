// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Aufnahmen retten": finds recordings that the directory no longer leads to (by the
// file FATs, or by the HOJIN heads when those are gone too), shows how certain each
// find is, adds them to the main list marked as rescued, and saves the chosen ones
// through the main window. The scan runs on the window's disk thread with a progress bar;
// "Abbrechen" ends it after the block in hand.

#include <QDialog>
#include <vector>

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
  explicit RescueDialog(MainDialog& window);
  ~RescueDialog() override;

  void scan();
  void saveSelected();

  // What the main window passes on from the disk thread.
  void setWorkState(bool idle, bool scanning);
  void showProgress(int64_t done, int64_t total);
  void showResult(const RescueScanResult& result);
  void scanEnded();
  // The disk was searched anew: the findings belonged to the one before.
  void clearResults();

  QRadioButton* headsButton() const { return heads_; }
  QTreeWidget* resultList() const { return results_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* cancelButton() const { return cancel_; }
  const RescueScanResult& lastResult() const { return result_; }

 protected:
  void reject() override;

 private:
  MainDialog& window_;
  RescueScanResult result_;
  bool scanning_ = false;
  bool haveResults_ = false;

  QRadioButton* regions_ = nullptr;
  QRadioButton* heads_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QTreeWidget* results_ = nullptr;
  QPushButton* save_ = nullptr;
};

}  // namespace korvelo
