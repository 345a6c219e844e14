// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/main_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "app/disk_check_log.h"
#include "app/options_apply.h"
#include "disk/drive_table.h"
#include "disk/mapfile_source.h"
#include "gui/about_dialog.h"
#include "gui/app_icon.h"
#include "gui/bar_text.h"
#include "gui/disk_map_view.h"
#include "gui/log_view.h"
#include "gui/options_dialog.h"
#include "gui/recording_list.h"
#include "gui/rescue_dialog.h"

namespace korvelo {

namespace {

constexpr int kStartupDelayMs = 13;

QString utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* makeLabel(const char* text, QWidget* parent) {
  return new QLabel(QString::fromUtf8(text), parent);
}

QProgressBar* makeBar(int controlId, QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setProperty("controlId", controlId);
  bar->setFormat(QString());  // figures only while saving
  bar->setRange(0, 100);
  bar->setValue(0);
  return bar;
}

// A position outside the range shows as the nearer end (QProgressBar would ignore it,
// and the bars are set to 0 below a range that starts at 1 when a job ends).
void setBarPosition(QProgressBar& bar, int position) {
  bar.setValue(std::clamp(position, bar.minimum(), bar.maximum()));
}

}  // namespace

MainDialog::MainDialog(AppState& app, QWidget* parent) : QDialog(parent), app_(app) {
  buildControls();
  buildMenus();
  setWindowIcon(appIcon());
  setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
  setSizeGripEnabled(true);
  QDialog::setWindowTitle(normalTitle());
  resize(fontMetrics().averageCharWidth() * 110, fontMetrics().height() * 36);
  setMinimumSize(fontMetrics().averageCharWidth() * 60, fontMetrics().height() * 20);

  controller_ = std::make_unique<SessionController>(app_, *this, *this);
  driver_ = &app_.makeSaveDriver(*this);
  // The window keeps the same records as the command line: check sums and the manifest.
  controller_->workflow().configure({.checksums = true, .sidecar = false});

  QPointer<LogView> logView(log_);
  app_.log.attach([logView](std::string_view piece, Severity) {
    if (logView) logView->appendPiece(piece);
  });
  app_.log.append("Programm V" + app_.version + " initialisiert.");

  startupTimer_.setSingleShot(true);
  connect(&startupTimer_, &QTimer::timeout, this, [this] {
    controller_->searchDisk();
    showSource();
  });
  setAcceptDrops(true);
  startupTimer_.start(kStartupDelayMs);

  stepTimer_.setSingleShot(true);
  connect(&stepTimer_, &QTimer::timeout, this, &MainDialog::runSaveStep);
}

MainDialog::~MainDialog() = default;

QString MainDialog::normalTitle() const {
  return QStringLiteral("Korvelo V%1 by Quimbral").arg(utf8(app_.version));
}

void MainDialog::buildControls() {
  list_ = new RecordingList(this);
  list_->setProperty("controlId", 1001);
  total_ = makeLabel("Gesamtgröße der Zieldateien: ", this);
  total_->setProperty("controlId", 1021);
  save_ = new QPushButton(QStringLiteral("Speichern"), this);
  save_->setProperty("controlId", 1002);
  log_ = new LogView(this);
  log_->setProperty("controlId", 1007);
  suppress_ = new QCheckBox(QString::fromUtf8("Kopiermeldungen unterdrücken"), this);
  suppress_->setProperty("controlId", 1024);
  suppress_->setLayoutDirection(Qt::RightToLeft);  // the text stands left of the box
  description_ = new QLabel(this);
  description_->setProperty("controlId", 1006);
  description_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setProperty("controlId", 1);
  ok->setEnabled(false);
  ok->hide();
  cancel_ = new QPushButton(QStringLiteral("Abbrechen"), this);
  cancel_->setToolTip(QString::fromUtf8(
      "Hält das Speichern nach dem laufenden Schritt an; die Datei behält ihre ganzen Hojins."));
  cancel_->setEnabled(false);
  close_ = new QPushButton(QString::fromUtf8("Schließen"), this);
  close_->setProperty("controlId", 2);

  connect(save_, &QPushButton::clicked, this, &MainDialog::saveSelection);
  connect(cancel_, &QPushButton::clicked, this, &MainDialog::stopSaving);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &MainDialog::saveSelection);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    controller_->showSelection();
    highlightSelection();
  });

  auto* saveRow = new QHBoxLayout;
  saveRow->addWidget(total_, 1);
  saveRow->addWidget(save_);
  saveRow->addWidget(cancel_);

  auto* logHeading = new QHBoxLayout;
  logHeading->addWidget(makeLabel("Log:", this));
  logHeading->addStretch(1);
  logHeading->addWidget(suppress_);

  auto* bottomRow = new QHBoxLayout;
  bottomRow->addWidget(ok);
  bottomRow->addStretch(1);
  bottomRow->addWidget(close_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(makeLabel("Filmverzeichnis der FSR-Festplatte", this));
  source_ = new QLabel(this);
  source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(source_);
  layout->addWidget(list_, 3);
  layout->addWidget(description_);
  layout->addLayout(saveRow);
  layout->addLayout(buildProgressArea());
  layout->addLayout(logHeading);
  layout->addWidget(log_, 2);
  layout->addLayout(bottomRow);

  setTabOrder(list_, save_);
  setTabOrder(save_, log_);
  setTabOrder(log_, suppress_);
  setTabOrder(suppress_, close_);
  list_->setFocus();
}

QLayout* MainDialog::buildProgressArea() {
  // One two-line label; each bar is as high as one of its lines, so they pair up.
  auto* labels = makeLabel("Lesen\nSchreiben", this);
  readBar_ = makeBar(1005, this);
  writeBar_ = makeBar(1009, this);
  const int lineHeight = labels->fontMetrics().lineSpacing();
  readBar_->setFixedHeight(lineHeight - 2);
  writeBar_->setFixedHeight(lineHeight - 2);

  auto* bars = new QVBoxLayout;
  bars->setSpacing(2);
  bars->setContentsMargins(0, 1, 0, 1);
  bars->addWidget(readBar_);
  bars->addWidget(writeBar_);

  auto* area = new QHBoxLayout;
  area->addWidget(labels);
  area->addLayout(bars, 1);
  return area;
}

void MainDialog::buildMenus() {
  menuBar_ = new QMenuBar(this);
  QMenu* menu = menuBar_->addMenu(QString::fromUtf8("&Menü"));
  openImageAction_ = menu->addAction(QString::fromUtf8("Abbild &öffnen..."));
  openImageAction_->setShortcut(QKeySequence::Open);
  searchAgainAction_ = menu->addAction(QStringLiteral("Erneut &suchen"));
  searchAgainAction_->setShortcut(QKeySequence::Refresh);
  menu->addSeparator();
  optionsAction_ = menu->addAction(QStringLiteral("&Optionen"));
  aboutAction_ = menu->addAction(QString::fromUtf8("&Über Korvelo"));
  quitAction_ = menu->addAction(QStringLiteral("&Beenden"));
  // Where a Linux user looks for it: a help menu, and the window's context menu.
  QMenu* help = menuBar_->addMenu(QStringLiteral("&Hilfe"));
  infoAction_ = help->addAction(QString::fromUtf8("Inf&o über Korvelo..."));
  addAction(infoAction_);
  // Rescuing lost recordings goes beyond the recorder's own menu: it sits with the help.
  rescueAction_ = help->addAction(QString::fromUtf8("Aufnahmen &retten..."));
  addAction(rescueAction_);
  checkAction_ = help->addAction(QString::fromUtf8("Festplatte &prüfen"));
  addAction(checkAction_);
  mapAction_ = help->addAction(QString::fromUtf8("&Belegungsplan..."));
  addAction(mapAction_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  layout()->setMenuBar(menuBar_);

  quitAction_->setShortcut(QKeySequence::Quit);
  infoAction_->setShortcut(QKeySequence::HelpContents);
  connect(openImageAction_, &QAction::triggered, this, &MainDialog::chooseImage);
  connect(searchAgainAction_, &QAction::triggered, this, &MainDialog::searchAgain);
  connect(optionsAction_, &QAction::triggered, this, &MainDialog::showOptions);
  connect(aboutAction_, &QAction::triggered, this, &MainDialog::showAboutModeless);
  connect(quitAction_, &QAction::triggered, this, &QWidget::close);
  connect(infoAction_, &QAction::triggered, this, &MainDialog::showAboutModal);
  connect(rescueAction_, &QAction::triggered, this, &MainDialog::showRescue);
  connect(checkAction_, &QAction::triggered, this, &MainDialog::checkDisk);
  connect(mapAction_, &QAction::triggered, this, &MainDialog::showDiskMap);
}

// ---- SessionView

void MainDialog::appendListLine(const std::string& line) {
  const auto* entries = app_.disk ? &app_.disk->getEntries() : nullptr;
  const auto index = static_cast<size_t>(list_->lineCount());
  list_->appendLine(line, entries && index < entries->size() ? (*entries)[index].get() : nullptr);
}
void MainDialog::clearList() {
  list_->clearLines();
}
int MainDialog::lineCount() const {
  return list_->lineCount();
}
int MainDialog::selectedLineCount() const {
  return list_->selectedLineCount();
}
bool MainDialog::isLineSelected(int index) const {
  return list_->isLineSelected(index);
}
int MainDialog::caretLine() const {
  return list_->caretLine();
}
void MainDialog::setDescription(const std::string& text) {
  description_->setText(utf8(text));
}
void MainDialog::setTotalText(const std::string& text) {
  total_->setText(utf8(text));
}
void MainDialog::setSaveEnabled(bool enabled) {
  save_->setEnabled(enabled);
  if (!enabled) return;
  // The save is over: the next one counts its recordings afresh.
  readBar_->setFormat(QString());
  writeBar_->setFormat(QString());
}
bool MainDialog::isSaveEnabled() const {
  return save_->isEnabled();
}

const void* MainDialog::parentWindow() const {
  // FileDialogChooser::parentWidget turns this back into the QWidget.
  return static_cast<const QWidget*>(this);
}

// ---- SaveDriverView

// The driver sets the ranges on each job's first step: a new recording begins here.
void MainDialog::setReadBarRange(int lower, int upper) {
  readBar_->setRange(lower, upper);
  const ExportProgress progress = workflow().progress();
  readBar_->setFormat(readBarFormat(progress.recording, progress.recordings));
  writeBar_->setFormat(writeBarFormat(0, 0));
}
void MainDialog::setReadBarPosition(int position) {
  setBarPosition(*readBar_, position);
}
void MainDialog::setWriteBarRange(int lower, int upper) {
  writeBar_->setRange(lower, upper);
}
void MainDialog::setWriteBarPosition(int position) {
  setBarPosition(*writeBar_, position);
}

// After each step: the rate and what is left, from the run's progress.
void MainDialog::showSaveProgress() {
  const ExportProgress progress = workflow().progress();
  if (const std::optional<double> rate = progress.bytesPerSecond())
    writeBar_->setFormat(
        writeBarFormat(*rate, static_cast<double>(progress.expectedBytes - progress.fileBytes)));
}
bool MainDialog::isMinimized() const {
  return QWidget::isMinimized();
}

void MainDialog::setWindowTitle(const std::string& title) {
  QDialog::setWindowTitle(utf8(title));
  update();
}

bool MainDialog::isSuppressMessagesChecked() const {
  return suppress_->isChecked();
}
void MainDialog::uncheckSuppressMessages() {
  suppress_->setChecked(false);
}

// ---- SaveAsChooser

SaveAsAnswer MainDialog::chooseSaveAs(const SaveAsRequest& request) {
  if (chooserOverride_ != nullptr) return chooserOverride_->chooseSaveAs(request);
  return fileDialog_.chooseSaveAs(request);
}

// ---- handlers

void MainDialog::saveSelection() {
  controller_->saveSelection();
  scheduleSaveStep();
}

void MainDialog::showRescue() {
  if (!rescue_) rescue_ = new RescueDialog(app_, *this);
  rescue_->show();
  rescue_->raise();
  rescue_->activateWindow();
}

void MainDialog::checkDisk() {
  checkDiskIntoLog(app_.disk.get(), app_.log);
}

void MainDialog::showDiskMap() {
  Fsr5000Disk* disk = app_.disk.get();
  if (disk == nullptr || !disk->isDirectoryRead() || disk->heldFileFatSize() <= 0) {
    app_.log.append(
        "Der Belegungsplan braucht eine geöffnete Festplatte mit bekannter File-FAT-Size.",
        Severity::Error);
    return;
  }
  if (!map_) map_ = new DiskMapDialog(this);
  map_->view()->setOwnership(buildBlockOwnership(*disk));
  highlightSelection();
  map_->show();
  map_->raise();
  map_->activateWindow();
}

// The list shows the directory's entries in their order, as the model holds them.
void MainDialog::highlightSelection() {
  if (!map_) return;
  std::set<int> chosen;
  for (int line = 0; line < list_->lineCount(); ++line)
    if (list_->isLineSelected(line)) chosen.insert(line);
  map_->view()->setHighlighted(std::move(chosen));
}

DiskMapDialog* MainDialog::diskMapDialog() const {
  return map_.data();
}

RescueDialog* MainDialog::rescueDialog() const {
  return rescue_.data();
}

ExportWorkflow& MainDialog::workflow() {
  return controller_->workflow();
}

void MainDialog::saveQueuedJobs() {
  if (!workflow().hasQueuedJobs()) return;
  setSaveEnabled(false);  // the driver enables Save again once the queue is worked off
  workflow().start();
  scheduleSaveStep();
}

void MainDialog::scheduleSaveStep() {
  if (workflow().isActive() && !stepTimer_.isActive()) stepTimer_.start(0);
  cancel_->setEnabled(workflow().isActive());
}

void MainDialog::runSaveStep() {
  // The pause lies between the steps, in the event loop, so the window keeps answering.
  if (workflow().step()) {
    showSaveProgress();
    stepTimer_.start(workflow().pauseAfterStep());
    return;
  }
  cancel_->setEnabled(false);
  if (workflow().driveGone()) showDriveGone();
}

// The log says which file holds how much; the box makes sure the user sees that the
// save stopped. Not modal: the window stays usable behind it.
void MainDialog::showDriveGone() {
  auto* box = new QMessageBox(
      QMessageBox::Warning, QStringLiteral("Korvelo"),
      QString::fromUtf8("Das Laufwerk antwortet nicht mehr; das Speichern ist angehalten.\n\n"
                        "Was bis dahin gelesen war, ist gesichert (siehe Log). Das Laufwerk "
                        "wieder anschließen; fortsetzen lässt sich die Datei mit "
                        "\"korvelo-cli export --resume\"."),
      QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setObjectName(QStringLiteral("driveGoneBox"));
  box->open();
}

void MainDialog::stopSaving() {
  cancel_->setEnabled(false);
  if (!workflow().isActive()) return;
  stepTimer_.stop();
  workflow().requestStop();
  workflow().step();              // keeps what the file being written holds, synced, for resuming
  workflow().clearStopRequest();  // the next save starts afresh
}

bool MainDialog::confirmStopForClosing() {
  if (closeQuestion_) return closeQuestion_();
  return QMessageBox::question(
             this, QStringLiteral("Korvelo"),
             QString::fromUtf8("Es wird noch gespeichert. Abbrechen und beenden?"),
             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void MainDialog::done(int result) {
  // Closing ends a save the way Ctrl-C does on the command line, once the user agrees:
  // nothing half-written is left without a line saying where to go on.
  if (workflow().isActive() && !confirmStopForClosing()) return;
  stopSaving();
  QDialog::done(result);
}

// ---- what is read

void MainDialog::chooseImage() {
  const QString image = QFileDialog::getOpenFileName(
      this, QString::fromUtf8("Abbild öffnen"), QString(),
      QString::fromUtf8("Abbilder (*.img *.dd *.raw *.bin *.image);;Alle Dateien (*)"));
  if (image.isEmpty()) return;
  std::string mapfile;
  const QFileInfo info(image);
  const QString beside = info.dir().filePath(info.completeBaseName() + QStringLiteral(".map"));
  if (QFileInfo::exists(beside) &&
      QMessageBox::question(
          this, QString::fromUtf8("Abbild öffnen"),
          QString::fromUtf8("Neben dem Abbild liegt die Mapdatei \"%1\". Mit ihr lesen? (Nur als "
                            "gerettet markierte Bereiche gelten dann als lesbar.)")
              .arg(beside)) == QMessageBox::Yes)
    mapfile = beside.toStdString();
  openImage(image.toStdString(), mapfile);
}

void MainDialog::openImage(const std::string& image, const std::string& mapfile) {
  if (!mapfile.empty()) {
    if (const auto problem = checkMapfile(mapfile)) {
      app_.log.append(describeMapfileProblem(mapfile, *problem), Severity::Error);
      return;
    }
  }
  controller_->searchAgain({DriveSpec{image, mapfile, {}}});
  showSource();
}

void MainDialog::searchAgain() {
  controller_->searchAgain();
  showSource();
}

// Names what the list shows: the drive's path and size, as "/dev/sdb — 160,0 GB".
void MainDialog::showSource() {
  if (!app_.disk || !app_.disk->getDrive().isOpen()) {
    source_->setText(QString::fromUtf8("Keine Festplatte geöffnet."));
    return;
  }
  const std::optional<DriveSpec> drive = DriveTable::lookup(app_.disk->getDriveChar());
  const QString path = drive ? QString::fromStdString(drive->path) : QStringLiteral("?");
  const ByteSource* source = app_.disk->getDrive().source();
  const int64_t bytes = source ? source->mediaInfo().sizeBytes : -1;
  if (bytes < 0) {
    source_->setText(path);
    return;
  }
  source_->setText(QStringLiteral("%1 \u2014 %2 GB")
                       .arg(path, QLocale(QLocale::German).toString(bytes / 1e9, 'f', 1)));
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void MainDialog::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return;
  event->acceptProposedAction();
  openImage(urls.front().toLocalFile().toStdString(), {});
}

void MainDialog::showOptions() {
  OptionsDialog dialog(choiceFromSettings(app_.settings), this);
  if (dialog.exec() == QDialog::Accepted) applyOptions(app_, dialog.choice());
}

void MainDialog::showAboutModeless() {
  if (about_.isNull()) about_ = new AboutDialog(app_.version, this);
  about_->show();
  about_->raise();
  about_->activateWindow();
}

AboutDialog* MainDialog::modelessAbout() const {
  return about_.data();
}

void MainDialog::showAboutModal() {
  AboutDialog dialog(app_.version, this);
  dialog.exec();
}

void MainDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  onSizeChanged();
}

void MainDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) onSizeChanged();
}

void MainDialog::onSizeChanged() {
  QDialog::setWindowTitle(normalTitle());
  if (driver_ != nullptr && driver_->isSavingActive()) save_->setEnabled(false);
}

}  // namespace korvelo
