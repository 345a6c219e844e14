// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/rescue_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "disk/text.h"
#include "gui/main_dialog.h"

namespace korvelo {

namespace {

QString utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string verdictOf(const RescuedRecording& recording) {
  std::string verdict = confidenceName(recording.confidence());
  const std::vector<std::string> doubts = recording.doubts();
  for (size_t i = 0; i < doubts.size(); ++i) verdict += (i == 0 ? " (" : ", ") + doubts[i];
  if (!doubts.empty()) verdict += ")";
  return verdict;
}

std::string whereFound(const RescuedRecording& recording) {
  if (recording.method == RescueMethod::FileFatRegions)
    return textf("FAT-Bereich %d", recording.region);
  return textf("ab Block %lld", static_cast<long long>(recording.blocks.front()));
}

}  // namespace

RescueDialog::RescueDialog(MainDialog& window) : QDialog(&window), window_(window) {
  setWindowTitle(QString::fromUtf8("Aufnahmen retten"));
  regions_ =
      new QRadioButton(QString::fromUtf8("Dateizuordnungstabellen ohne Verzeichniseintrag"), this);
  heads_ = new QRadioButton(
      QString::fromUtf8("HOJIN-Köpfe im Datenbereich (wenn auch die Tabellen zerstört sind)"),
      this);
  regions_->setChecked(true);
  start_ = new QPushButton(QStringLiteral("Suchen"), this);
  cancel_ = new QPushButton(QStringLiteral("Abbrechen"), this);
  cancel_->setEnabled(false);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 1000);
  bar_->setValue(0);
  results_ = new QTreeWidget(this);
  results_->setColumnCount(5);
  results_->setHeaderLabels({QStringLiteral("Nr."), QStringLiteral("Titel"),
                             QStringLiteral("Fundort"), QStringLiteral("Größe"),
                             QStringLiteral("Bewertung")});
  results_->setRootIsDecorated(false);
  results_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  save_ = new QPushButton(QStringLiteral("Speichern"), this);
  save_->setEnabled(false);
  auto* close = new QPushButton(QString::fromUtf8("Schließen"), this);

  auto* startRow = new QHBoxLayout;
  startRow->addWidget(bar_, 1);
  startRow->addWidget(start_);
  startRow->addWidget(cancel_);
  auto* bottomRow = new QHBoxLayout;
  bottomRow->addStretch(1);
  bottomRow->addWidget(save_);
  bottomRow->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromUtf8("Suchen in:"), this));
  layout->addWidget(regions_);
  layout->addWidget(heads_);
  layout->addLayout(startRow);
  layout->addWidget(results_, 1);
  layout->addLayout(bottomRow);
  resize(fontMetrics().averageCharWidth() * 100, fontMetrics().height() * 24);

  connect(start_, &QPushButton::clicked, this, &RescueDialog::scan);
  connect(cancel_, &QPushButton::clicked, &window_, &MainDialog::stopSaving);
  connect(save_, &QPushButton::clicked, this, &RescueDialog::saveSelected);
  connect(close, &QPushButton::clicked, this, &RescueDialog::reject);
}

RescueDialog::~RescueDialog() = default;

void RescueDialog::reject() {
  // A running scan ends at its next block and reports what it found.
  if (scanning_) window_.stopSaving();
  QDialog::reject();
}

void RescueDialog::setWorkState(bool idle, bool scanning) {
  start_->setEnabled(idle);
  cancel_->setEnabled(scanning);
  save_->setEnabled(idle && haveResults_);
}

void RescueDialog::showProgress(int64_t done, int64_t total) {
  if (total > 0) bar_->setValue(static_cast<int>(done * 1000 / total));
}

void RescueDialog::scan() {
  if (scanning_) return;
  scanning_ = true;
  haveResults_ = false;
  results_->clear();
  bar_->setValue(0);
  window_.startRescueScan(heads_->isChecked());
}

void RescueDialog::scanEnded() {
  scanning_ = false;
}

void RescueDialog::clearResults() {
  result_ = {};
  haveResults_ = false;
  results_->clear();
  bar_->setValue(0);
  save_->setEnabled(false);
}

void RescueDialog::showResult(const RescueScanResult& result) {
  result_ = result;
  bar_->setValue(result_.interrupted ? bar_->value() : bar_->maximum());
  if (!result_.ok || result_.recordings.empty()) return;
  for (const RescuedRecording& recording : result_.recordings) {
    const std::string size = formatThousands(static_cast<int64_t>(recording.sizeInBytes()), '.');
    auto* item = new QTreeWidgetItem(QStringList{
        QString::number(recording.id), utf8(textf("Gerettet %d", recording.id)),
        utf8(whereFound(recording)), utf8(size + " Bytes"), utf8(verdictOf(recording))});
    item->setData(0, Qt::UserRole, recording.id);
    results_->addTopLevelItem(item);
    // In the main list a rescued recording says so where the second text stands.
    window_.appendListLine(textf("%04d\tGerettet %d\tgerettet, %s\t %s Bytes", recording.id,
                                 recording.id, confidenceName(recording.confidence()),
                                 size.c_str()));
  }
  for (int column = 0; column < results_->columnCount(); ++column)
    results_->resizeColumnToContents(column);
  haveResults_ = true;
}

void RescueDialog::saveSelected() {
  if (!haveResults_) return;
  std::vector<int> ids;
  for (int row = 0; row < results_->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = results_->topLevelItem(row);
    if (item->isSelected()) ids.push_back(item->data(0, Qt::UserRole).toInt());
  }
  if (ids.empty()) {
    window_.appendLogLine(
        "Bitte eine gerettete Aufnahme in der Liste anwählen und dann auf "
        "\"Speichern\" drücken.");
    return;
  }
  window_.saveRescued(std::move(ids));
}

}  // namespace korvelo
