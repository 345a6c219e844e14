// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/rescue_dialog.h"

#include <QCoreApplication>
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

RescueDialog::RescueDialog(AppState& app, MainDialog& window)
    : QDialog(&window), app_(app), window_(window) {
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
  connect(cancel_, &QPushButton::clicked, this, [this] { stop_ = true; });
  connect(save_, &QPushButton::clicked, this, &RescueDialog::saveSelected);
  connect(close, &QPushButton::clicked, this, &RescueDialog::reject);
}

RescueDialog::~RescueDialog() {
  stop_ = true;
}

void RescueDialog::reject() {
  stop_ = true;  // a running scan ends at its next block and reports what it found
  QDialog::reject();
}

void RescueDialog::showProgress(const ScanProgress& progress) {
  if (progress.total > 0) bar_->setValue(static_cast<int>(progress.done * 1000 / progress.total));
  // The scan runs on this thread: the window must still answer, and "Abbrechen" work.
  QCoreApplication::processEvents();
}

void RescueDialog::scan() {
  if (scanning_ || !app_.disk || !app_.disk->getDrive().isOpen()) {
    if (!scanning_) app_.log.append("Retten: keine Recorder-Festplatte geöffnet.", Severity::Error);
    return;
  }
  scanning_ = true;
  stop_ = false;
  start_->setEnabled(false);
  cancel_->setEnabled(true);
  save_->setEnabled(false);
  results_->clear();
  const bool byHeads = heads_->isChecked();
  app_.log.append(byHeads ? "Retten: durchsuche die HOJIN-Köpfe..."
                          : "Retten: durchsuche die Dateizuordnungstabellen...");
  RescueScanOptions options;
  options.stop = &stop_;
  options.progress = [this](const ScanProgress& progress) { showProgress(progress); };
  result_ = byHeads ? scanHojinHeads(*app_.disk, options) : scanFileFatRegions(*app_.disk, options);
  app_.log.append("Retten: " + result_.message);
  for (const RescuedRecording& recording : result_.recordings)
    if (const std::string doubt = recording.spliceDoubt(); !doubt.empty())
      app_.log.append(textf("Retten: Gerettet %d: %s.", recording.id, doubt.c_str()),
                      Severity::Warning);
  showResult();
  scanning_ = false;
  start_->setEnabled(true);
  cancel_->setEnabled(false);
}

void RescueDialog::showResult() {
  bar_->setValue(result_.interrupted ? bar_->value() : bar_->maximum());
  if (!result_.ok || result_.recordings.empty()) return;
  disks_.push_back(std::make_unique<RescueDisk>(*app_.disk, result_.recordings));
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
  save_->setEnabled(true);
}

void RescueDialog::saveSelected() {
  if (disks_.empty()) return;
  RescueDisk& disk = *disks_.back();
  const QList<QTreeWidgetItem*> chosen = results_->selectedItems();
  if (chosen.isEmpty()) {
    app_.log.append(
        "Bitte eine gerettete Aufnahme in der Liste anwählen und dann auf "
        "\"Speichern\" drücken.");
    return;
  }
  if (!window_.workflow().admitSource(*app_.disk)) return;
  for (int row = 0; row < results_->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = results_->topLevelItem(row);
    if (!item->isSelected()) continue;
    const int id = item->data(0, Qt::UserRole).toInt();
    const DirectoryEntry* entry = disk.entryFor(id);
    if (entry == nullptr) continue;
    const RescuedRecording* found = disk.recordingFor(id);
    const int result =
        window_.workflow().offer({&disk, entry, id, found ? found->spliceDoubt() : std::string()});
    if (result != HavExportJob::kPrepared && result != ExportWorkflow::kRefused) break;
  }
  window_.saveQueuedJobs();
}

}  // namespace korvelo
