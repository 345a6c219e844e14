// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Korvelo Optionen": every setting but the HAV folder. Shows a choice, lets the user
// change it and hands it back after OK; applying it is the caller's business
// (applyOptions), so cancelling changes nothing.

#include <QDialog>

#include "app/options_apply.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace korvelo {

class UpDownControl;

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OptionsDialog(const OptionsChoice& initial, QWidget* parent = nullptr);

  // The controls' states as taken at OK.
  const OptionsChoice& choice() const { return choice_; }

  QCheckBox* debugInfoBox() const { return debugInfo_; }
  QCheckBox* noFileSysCheckBox() const { return noFileSysCheck_; }
  QCheckBox* suppressWarningsBox() const { return suppressWarnings_; }
  QCheckBox* useRecordDateBox() const { return useRecordDate_; }
  QCheckBox* entryNumberBox() const { return entryNumber_; }
  QCheckBox* tevionBox() const { return tevion_; }
  QRadioButton* autoRadio() const { return autoRadio_; }
  QRadioButton* manualRadio() const { return manualRadio_; }
  QLineEdit* fatSizeEdit() const { return fatSizeEdit_; }
  QLineEdit* pauseEdit() const { return pauseEdit_; }
  UpDownControl* pauseSpin() const { return pauseSpin_; }

  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  QLayout* buildFatSizeArea();
  QLayout* buildPauseArea();
  void showChoice(const OptionsChoice& initial);
  void setAutomatic(bool automatic);
  // The pause field moved by delta (0: only held to the range) and written back.
  void stepPause(int delta);

  OptionsChoice choice_;
  bool automatic_ = true;
  QCheckBox* debugInfo_ = nullptr;
  QCheckBox* noFileSysCheck_ = nullptr;
  QCheckBox* suppressWarnings_ = nullptr;
  QCheckBox* useRecordDate_ = nullptr;
  QCheckBox* entryNumber_ = nullptr;
  QCheckBox* tevion_ = nullptr;
  QRadioButton* autoRadio_ = nullptr;
  QRadioButton* manualRadio_ = nullptr;
  QLineEdit* fatSizeEdit_ = nullptr;
  QLineEdit* pauseEdit_ = nullptr;
  UpDownControl* pauseSpin_ = nullptr;
};

}  // namespace korvelo
