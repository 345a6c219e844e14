// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/up_down_control.h"

namespace korvelo {

namespace {

constexpr int kPauseLower = 0;
constexpr int kPauseUpper = 100;

QCheckBox* makeCheckBox(const char* text, int controlId, QWidget* parent) {
  auto* box = new QCheckBox(QString::fromUtf8(text), parent);
  box->setProperty("controlId", controlId);
  return box;
}

QLineEdit* makeDigitsEdit(int controlId, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  edit->setProperty("controlId", controlId);
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
  return edit;
}

}  // namespace

OptionsDialog::OptionsDialog(const OptionsChoice& initial, QWidget* parent)
    : QDialog(parent), choice_(initial) {
  setWindowTitle(QStringLiteral("Korvelo Optionen"));
  buildControls();
  showChoice(initial);
}

void OptionsDialog::buildControls() {
  debugInfo_ = makeCheckBox("Debug Info - Schaltet zusätzliche Ausgaben im Log an.", 1012, this);
  noFileSysCheck_ = makeCheckBox("Keine Überprüfung des \"file_system.sys\"-Sektors.", 1014, this);
  suppressWarnings_ =
      makeCheckBox("Warnungen wegen internen HOJIN-Nummern unterdrücken.", 1017, this);
  useRecordDate_ =
      makeCheckBox("Startzeit der Aufnahme als Dateierstellungszeit übernehmen.", 1016, this);
  entryNumber_ =
      makeCheckBox("Den vorgegebenen Dateinamen die Eintragsnummer voranstellen.", 1020, this);
  tevion_ = makeCheckBox("Tevion PVR 8005 HDD Anpassung", 1025, this);

  auto* layout = new QVBoxLayout(this);
  for (QCheckBox* box :
       {debugInfo_, noFileSysCheck_, suppressWarnings_, useRecordDate_, entryNumber_, tevion_}) {
    layout->addWidget(box);
  }
  layout->addSpacing(6);
  layout->addLayout(buildFatSizeArea());
  layout->addSpacing(6);
  layout->addLayout(buildPauseArea());
  layout->addStretch(1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  QPushButton* cancel =
      buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
  ok->setProperty("controlId", 1);
  cancel->setProperty("controlId", 2);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QLayout* OptionsDialog::buildFatSizeArea() {
  autoRadio_ =
      new QRadioButton(QString::fromUtf8("Automatische Bestimmung der \"File-FAT-Size\""), this);
  manualRadio_ =
      new QRadioButton(QString::fromUtf8("Vorgabewert für \"File-FAT-Size\" benutzen:"), this);
  autoRadio_->setProperty("controlId", 1010);
  manualRadio_->setProperty("controlId", 1011);
  fatSizeEdit_ = makeDigitsEdit(1013, this);
  connect(autoRadio_, &QRadioButton::clicked, this, [this] { setAutomatic(true); });
  connect(manualRadio_, &QRadioButton::clicked, this, [this] { setAutomatic(false); });

  auto* manualRow = new QHBoxLayout;
  manualRow->addWidget(manualRadio_);
  manualRow->addWidget(fatSizeEdit_);
  manualRow->addWidget(new QLabel(QStringLiteral("Sektoren"), this));
  manualRow->addStretch(1);

  auto* area = new QVBoxLayout;
  area->addWidget(autoRadio_);
  area->addLayout(manualRow);
  return area;
}

QLayout* OptionsDialog::buildPauseArea() {
  pauseSpin_ = new UpDownControl(this);
  pauseSpin_->setProperty("controlId", 1018);
  pauseEdit_ = makeDigitsEdit(1019, this);
  pauseSpin_->setFixedHeight(pauseEdit_->sizeHint().height());
  // Leaving the field holds it to the range; the arrow keys in it step like the arrows.
  pauseEdit_->installEventFilter(this);
  connect(pauseSpin_, &UpDownControl::stepped, this, &OptionsDialog::stepPause);

  auto* row = new QHBoxLayout;
  row->setSpacing(2);
  row->addWidget(pauseEdit_);
  row->addWidget(pauseSpin_);
  row->addSpacing(6);
  auto* text =
      new QLabel(QString::fromUtf8("Millisekunden nach je 130 Kilobyte Übertragung warten."), this);
  text->setWordWrap(true);
  row->addWidget(text, 1);
  return row;
}

void OptionsDialog::showChoice(const OptionsChoice& initial) {
  debugInfo_->setChecked(initial.debugInfo);
  noFileSysCheck_->setChecked(initial.noFileSysCheck);
  suppressWarnings_->setChecked(initial.suppressWarnings);
  useRecordDate_->setChecked(initial.useRecordDate);
  entryNumber_->setChecked(initial.entryNumberInFileName);
  tevion_->setChecked(initial.tevionPVR8005HDD);
  fatSizeEdit_->setText(QString::fromStdString(initial.fatSizeText));
  pauseEdit_->setText(QString::fromStdString(initial.pauseText));
  (initial.fatSizeAuto ? autoRadio_ : manualRadio_)->setChecked(true);
  setAutomatic(initial.fatSizeAuto);
  pauseSpin_->setRange(kPauseLower, kPauseUpper);
  pauseSpin_->setPosition(fieldValue(initial.pauseText));
}

void OptionsDialog::setAutomatic(bool automatic) {
  automatic_ = automatic;
  fatSizeEdit_->setEnabled(!automatic);
}

void OptionsDialog::stepPause(int delta) {
  const long long wanted =
      static_cast<long long>(fieldValue(pauseEdit_->text().toStdString())) + delta;
  const int value = static_cast<int>(std::clamp<long long>(wanted, kPauseLower, kPauseUpper));
  pauseSpin_->setPosition(value);
  pauseEdit_->setText(QString::number(value));
}

bool OptionsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pauseEdit_) {
    if (event->type() == QEvent::FocusOut) {
      stepPause(0);
    } else if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Up || key == Qt::Key_Down) {
        stepPause(key == Qt::Key_Up ? +1 : -1);
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void OptionsDialog::accept() {
  choice_.debugInfo = debugInfo_->isChecked();
  choice_.noFileSysCheck = noFileSysCheck_->isChecked();
  choice_.suppressWarnings = suppressWarnings_->isChecked();
  choice_.useRecordDate = useRecordDate_->isChecked();
  choice_.entryNumberInFileName = entryNumber_->isChecked();
  choice_.tevionPVR8005HDD = tevion_->isChecked();
  choice_.fatSizeAuto = automatic_;
  choice_.fatSizeText = fatSizeEdit_->text().toStdString();
  choice_.pauseText = pauseEdit_->text().toStdString();
  QDialog::accept();
}

}  // namespace korvelo
