// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/main_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <mutex>
#include <set>

#include "app/manifest.h"
#include "app/session_controller.h"
#include "disk/front_end_words.h"
#include "disk/pending_read.h"
#include "disk/text.h"
#include "export/hav_head.h"
#include "gui/about_dialog.h"
#include "gui/app_icon.h"
#include "gui/disk_map_view.h"
#include "gui/folder_dialog.h"
#include "gui/log_view.h"
#include "gui/options_dialog.h"
#include "gui/recording_list.h"
#include "gui/rescue_dialog.h"

namespace korvelo {

// The log's sink outlives the window (the log belongs to the application state): it posts
// to the window only while there is one.
struct LogRelay {
  std::mutex mutex;
  MainDialog* window = nullptr;
};

namespace {

constexpr int kStartupDelayMs = 13;
constexpr int kStatusIntervalMs = 250;
// A read that takes longer than this is named in the status line.
constexpr int64_t kSlowReadMs = 1000;
// The message box about incomplete saves names at most this many recordings.
constexpr size_t kListedRecordings = 15;

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

// "Warte auf die Festplatte: Sektor 123456 seit 12 s", once a read takes long.
std::optional<QString> slowReadText() {
  const std::optional<PendingRead> read = pendingRead();
  if (!read) return std::nullopt;
  const int64_t waited = pendingReadClock() - read->startedMs;
  if (waited < kSlowReadMs) return std::nullopt;
  return QStringLiteral("Warte auf die Festplatte: Sektor %1 seit %2 s")
      .arg(read->sector)
      .arg(waited / 1000);
}

const char* taskText(DiskTask task) {
  switch (task) {
    case DiskTask::Search:
      return "Suche die Recorder-Festplatte ...";
    case DiskTask::Save:
      return "Speichere ...";
    case DiskTask::Check:
      return "Prüfe die Festplatte ...";
    case DiskTask::Map:
      return "Lese die Belegung der Festplatte ...";
    case DiskTask::Scan:
      return "Durchsuche die Festplatte nach verlorenen Aufnahmen ...";
    case DiskTask::None:
      break;
  }
  return "";
}

}  // namespace

MainDialog::MainDialog(AppState& app, QWidget* parent) : QDialog(parent), app_(app) {
  // Manifests made from here say the window wrote them, not the command line.
  setManifestProgram(kWindowProgramName);
  // The core's texts name the window's buttons and menus, not command-line options.
  speakAs(FrontEnd::Window);
  buildControls();
  buildMenus();
  setWindowIcon(appIcon());
  setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
  setSizeGripEnabled(true);
  QDialog::setWindowTitle(normalTitle());
  resize(fontMetrics().averageCharWidth() * 110, fontMetrics().height() * 36);
  setMinimumSize(fontMetrics().averageCharWidth() * 60, fontMetrics().height() * 20);
  options_ = choiceFromSettings(app_.settings);

  worker_ = new DiskWorker(app_, *this);
  worker_->moveToThread(&thread_);
  thread_.setObjectName(QStringLiteral("korvelo-disk"));
  logRelay_ = std::make_shared<LogRelay>();
  logRelay_->window = this;
  app_.log.attach([relay = logRelay_](std::string_view piece, Severity) {
    const std::lock_guard<std::mutex> lock(relay->mutex);
    if (relay->window == nullptr) return;
    MainDialog* window = relay->window;
    QMetaObject::invokeMethod(
        window, [window, text = std::string(piece)] { window->onLogPiece(text); },
        Qt::QueuedConnection);
  });
  thread_.start();
  app_.log.append("Programm V" + app_.version + " initialisiert.");

  startupTimer_.setSingleShot(true);
  connect(&startupTimer_, &QTimer::timeout, this, [this] {
    request([](DiskWorker& worker) { worker.search({}, false); }, DiskTask::Search);
  });
  setAcceptDrops(true);
  startupTimer_.start(kStartupDelayMs);
  statusTimer_.setInterval(kStatusIntervalMs);
  connect(&statusTimer_, &QTimer::timeout, this, &MainDialog::updateStatus);
  restorePlacement();
}

MainDialog::~MainDialog() {
  finishWork();
  const std::lock_guard<std::mutex> lock(logRelay_->mutex);
  logRelay_->window = nullptr;
}

void MainDialog::finishWork() {
  if (worker_ == nullptr) return;
  keepPlacement();  // also when a signal ended the program without closing the window
  closing_ = true;  // a question still on its way is not put to the user any more
  worker_->stopAsking();
  worker_->requestStop();
  DiskWorker* worker = worker_;
  QMetaObject::invokeMethod(
      worker, [worker] { worker->finish(); }, Qt::QueuedConnection);
  // What the thread still sends (its last log lines) arrives meanwhile.
  while (!thread_.wait(20)) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  QCoreApplication::sendPostedEvents(this);
  delete worker_;
  worker_ = nullptr;
}

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
      "Hält die laufende Arbeit nach dem Lesevorgang an, der gerade läuft; beim Speichern "
      "behält die Datei ihre ganzen Hojins."));
  cancel_->setEnabled(false);
  close_ = new QPushButton(QString::fromUtf8("Schließen"), this);
  close_->setProperty("controlId", 2);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("statusLine"));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  connect(save_, &QPushButton::clicked, this, &MainDialog::saveSelection);
  connect(cancel_, &QPushButton::clicked, this, &MainDialog::stopSaving);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &MainDialog::saveSelection);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    showSelectionTexts();
    highlightSelection();
  });
  connect(suppress_, &QCheckBox::toggled, this, [this](bool checked) {
    if (worker_ != nullptr) worker_->setSuppressMessages(checked);
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
  bottomRow->addWidget(status_, 1);
  // Follows the log's line about a drive the user may not open, while udisks2 could.
  access_ = new QPushButton(QString::fromUtf8("Zugriff anfordern…"), this);
  access_->hide();
  connect(access_, &QPushButton::clicked, this, [this] { openThroughUdisks(refusedPath_); });
  bottomRow->addWidget(access_);
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
  saveToFolderAction_ = menu->addAction(QString::fromUtf8("Auswahl in Ordner &speichern..."));
  saveToFolderAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  addAction(saveToFolderAction_);  // the shortcut works wherever the focus is
  menu->addSeparator();
  optionsAction_ = menu->addAction(QStringLiteral("&Optionen"));
  aboutAction_ = menu->addAction(QString::fromUtf8("&Über Korvelo"));
  quitAction_ = menu->addAction(QStringLiteral("&Beenden"));
  // Everything that reads the disk as a whole, rather than the selected recordings.
  QMenu* disk = menuBar_->addMenu(QStringLiteral("&Festplatte"));
  searchAgainAction_ = disk->addAction(QStringLiteral("Erneut &suchen"));
  searchAgainAction_->setShortcut(QKeySequence::Refresh);
  openImageAction_ = disk->addAction(QString::fromUtf8("Abbild &öffnen..."));
  openImageAction_->setShortcut(QKeySequence::Open);
  udisksAction_ = disk->addAction(QString::fromUtf8("Festplatte über &udisks öffnen…"));
  disk->addSeparator();
  checkAction_ = disk->addAction(QString::fromUtf8("Festplatte &prüfen"));
  addAction(checkAction_);
  mapAction_ = disk->addAction(QString::fromUtf8("&Belegungsplan..."));
  addAction(mapAction_);
  rescueAction_ = disk->addAction(QString::fromUtf8("Aufnahmen &retten..."));
  addAction(rescueAction_);
  // Where a Linux user looks for it: a help menu, and the window's context menu.
  QMenu* help = menuBar_->addMenu(QStringLiteral("&Hilfe"));
  infoAction_ = help->addAction(QString::fromUtf8("Inf&o über Korvelo..."));
  addAction(infoAction_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  layout()->setMenuBar(menuBar_);

  quitAction_->setShortcut(QKeySequence::Quit);
  infoAction_->setShortcut(QKeySequence::HelpContents);
  connect(openImageAction_, &QAction::triggered, this, &MainDialog::chooseImage);
  connect(udisksAction_, &QAction::triggered, this, [this] { openThroughUdisks(); });
  connect(searchAgainAction_, &QAction::triggered, this, &MainDialog::searchAgain);
  connect(saveToFolderAction_, &QAction::triggered, this,
          qOverload<>(&MainDialog::saveSelectionToFolder));
  connect(optionsAction_, &QAction::triggered, this, &MainDialog::showOptions);
  connect(aboutAction_, &QAction::triggered, this, &MainDialog::showAboutModeless);
  connect(quitAction_, &QAction::triggered, this, &QWidget::close);
  connect(infoAction_, &QAction::triggered, this, &MainDialog::showAboutModal);
  connect(rescueAction_, &QAction::triggered, this, &MainDialog::showRescue);
  connect(checkAction_, &QAction::triggered, this, &MainDialog::checkDisk);
  connect(mapAction_, &QAction::triggered, this, &MainDialog::showDiskMap);
}

// ---- requests to the disk thread

void MainDialog::request(std::function<void(DiskWorker&)> work, DiskTask task) {
  if (worker_ == nullptr) return;
  if (task != DiskTask::None) {
    task_ = task;
    worker_->clearStopRequest();
    statusTimer_.start();
    updateCommands();
    updateStatus();
  }
  ++outstanding_;
  DiskWorker* worker = worker_;
  MainDialog* window = this;
  QMetaObject::invokeMethod(
      worker,
      [worker, window, work = std::move(work)] {
        work(*worker);
        QMetaObject::invokeMethod(
            window, [window] { window->onRequestDone(); }, Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
}

SelectionSnapshot MainDialog::selection() const {
  SelectionSnapshot snapshot;
  snapshot.lines = list_->lineCount();
  for (int line = 0; line < snapshot.lines; ++line)
    if (list_->isLineSelected(line)) snapshot.selected.push_back(line);
  snapshot.caret = list_->caretLine();
  return snapshot;
}

// Only one piece of disk work at a time: what would start another waits until it is done.
void MainDialog::updateCommands() {
  const bool idle = task_ == DiskTask::None && !closing_;
  save_->setEnabled(saveAllowed_ && idle);
  saveToFolderAction_->setEnabled(saveAllowed_ && idle);
  for (QAction* action :
       {openImageAction_, udisksAction_, searchAgainAction_, checkAction_, mapAction_})
    action->setEnabled(idle);
  access_->setEnabled(idle);
  cancel_->setEnabled(!closing_ && task_ != DiskTask::None && task_ != DiskTask::Search);
  if (rescue_) rescue_->setWorkState(idle, task_ == DiskTask::Scan);
}

void MainDialog::updateStatus() {
  QString text;
  if (task_ != DiskTask::None) {
    const std::optional<QString> slow = slowReadText();
    text = slow ? *slow : QString::fromUtf8(taskText(task_));
    if (closing_)
      text +=
          QString::fromUtf8(" \u2013 Korvelo endet, sobald die laufende Arbeit angehalten ist.");
  }
  if (status_->text() != text) status_->setText(text);
}

void MainDialog::resetBars() {
  readBar_->setRange(0, 100);
  readBar_->setValue(0);
  readBar_->setFormat(QString());
  writeBar_->setFormat(QString());
}

// ---- what the disk thread sends back

void MainDialog::onLogPiece(const std::string& piece) {
  logText_ += piece;
  log_->appendPiece(piece);
}

QStringList MainDialog::logLines() const {
  QStringList lines;
  std::string_view rest = logText_;
  while (!rest.empty()) {
    const size_t end = rest.find("\r\n");
    lines << utf8(std::string(rest.substr(0, end)));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 2);
  }
  return lines;
}

void MainDialog::onRowsCleared() {
  clearList();
}

void MainDialog::clearList() {
  rows_.clear();
  list_->clearLines();
}

void MainDialog::onRowAppended(const ListRow& row) {
  rows_.push_back(row);
  std::optional<RowFacts> facts;
  if (row.hasEntry) facts = RowFacts{row.start, row.durationMs, row.sizeBytes};
  list_->appendLine(row.line, facts);
}

void MainDialog::appendListLine(const std::string& line) {
  ListRow row;
  row.line = line;
  rows_.push_back(std::move(row));
  list_->appendLine(line);
}

void MainDialog::onDescription(const std::string& text) {
  description_->setText(utf8(text));
}

void MainDialog::onTotalText(const std::string& text) {
  total_->setText(utf8(text));
}

void MainDialog::onSaveAllowed(bool allowed) {
  saveAllowed_ = allowed;
  if (allowed) {
    readBar_->setFormat(QString());
    writeBar_->setFormat(QString());
  }
  updateCommands();
}

void MainDialog::setSaveEnabled(bool enabled) {
  save_->setEnabled(enabled);
}

void MainDialog::onReadBarRange(int lower, int upper, const QString& readFormat,
                                const QString& writeFormat) {
  readBar_->setRange(lower, upper);
  readBar_->setFormat(readFormat);
  writeBar_->setFormat(writeFormat);
}

void MainDialog::onReadBarPosition(int position) {
  setBarPosition(*readBar_, position);
}

void MainDialog::onWriteBarRange(int lower, int upper) {
  writeBar_->setRange(lower, upper);
}

void MainDialog::onWriteBarPosition(int position, const std::optional<QString>& format) {
  setBarPosition(*writeBar_, position);
  if (format) writeBar_->setFormat(*format);
}

void MainDialog::onWriteBarFormat(const QString& format) {
  writeBar_->setFormat(format);
}

void MainDialog::onTitle(const std::string& title) {
  QDialog::setWindowTitle(utf8(title));
  update();
}

void MainDialog::onSuppressUnchecked() {
  const QSignalBlocker quiet(suppress_);  // the thread unticked its own copy already
  suppress_->setChecked(false);
}

// Names what the list shows: the drive's path and size, as "/dev/sdb — 160,0 GB".
void MainDialog::onSource(const SourceInfo& source) {
  if (!source.open) {
    source_->setText(QString::fromUtf8("Keine Festplatte geöffnet."));
    return;
  }
  const QString path = QString::fromStdString(source.path);
  if (source.bytes < 0) {
    source_->setText(path);
    return;
  }
  source_->setText(QStringLiteral("%1 \u2014 %2 GB")
                       .arg(path, QLocale(QLocale::German).toString(source.bytes / 1e9, 'f', 1)));
}

void MainDialog::onTaskProgress(DiskTask task, int64_t done, int64_t total) {
  if (task == DiskTask::Scan) {
    if (rescue_) rescue_->showProgress(done, total);
    return;
  }
  if (total <= 0) return;
  // The bar takes an int range: large counts are shown in thousandths.
  const bool scaled = total > INT_MAX;
  const int maximum = scaled ? 1000 : static_cast<int>(total);
  const int value = scaled ? static_cast<int>(done * 1000 / total) : static_cast<int>(done);
  readBar_->setRange(0, maximum);
  readBar_->setFormat(task == DiskTask::Check ? QString::fromUtf8("Festplatte prüfen \u2013 %p %")
                                              : QString::fromUtf8("Belegungsplan \u2013 %p %"));
  setBarPosition(*readBar_, value);
}

void MainDialog::onTaskEnded(DiskTask task) {
  task_ = DiskTask::None;
  statusTimer_.stop();
  if (task == DiskTask::Check || task == DiskTask::Map) resetBars();
  if (task == DiskTask::Search) fitColumnsOnFirstStart();
  if (task == DiskTask::Scan && rescue_) rescue_->scanEnded();
  updateCommands();
  updateStatus();
  if (!closing_) return;
  closing_ = false;
  QDialog::done(closeResult_);
}

void MainDialog::onRequestDone() {
  --outstanding_;
}

void MainDialog::onDiskMap(const std::shared_ptr<BlockOwnership>& ownership) {
  if (!map_) map_ = new DiskMapDialog(this);
  map_->showOwnership(*ownership);
  highlightSelection();
  map_->show();
  map_->raise();
  map_->activateWindow();
}

void MainDialog::onScanResult(const RescueScanResult& result) {
  if (rescue_) rescue_->showResult(result);
}

void MainDialog::onRescueDisksDropped() {
  if (rescue_) rescue_->clearResults();
}

void MainDialog::onSaveReport(const SaveReport& report) {
  if (closing_ || (!report.driveGone && report.incomplete.empty())) return;
  showIncomplete(report);
}

// The log says which file holds how much; the box makes sure the user sees that not
// everything was saved, and says what to do next. Not modal: the window stays usable.
void MainDialog::showIncomplete(const SaveReport& report) {
  QString text = report.driveGone
                     ? QString::fromUtf8(
                           "Das Laufwerk antwortet nicht mehr; das Speichern ist angehalten. Was "
                           "bis dahin gelesen war, ist gesichert (siehe Log).\n\n")
                     : QString();
  if (!report.incomplete.empty()) {
    text += QString::fromUtf8("Nicht vollständig gespeichert:\n");
    for (size_t i = 0; i < report.incomplete.size() && i < kListedRecordings; ++i)
      text += QStringLiteral("  ") + utf8(report.incomplete[i]) + QLatin1Char('\n');
    if (report.incomplete.size() > kListedRecordings)
      text += QString::fromUtf8("  ... und %1 weitere (siehe Log)\n")
                  .arg(report.incomplete.size() - kListedRecordings);
    text += QLatin1Char('\n');
  }
  if (report.driveGone) text += QString::fromUtf8("Das Laufwerk wieder anschließen. ");
  text += QString::fromUtf8(
      "Fortsetzen: die Aufnahmen wieder auswählen, \u201eSpeichern\u201c wählen und "
      "\u201eFortsetzen\u201c anklicken (beim Speichern in einen Ordner ebenso "
      "\u201eFortsetzen\u201c). Eine beschädigte Aufnahme hat Nullen, wo die Festplatte nicht "
      "lesbar war; ein Abbild mit GNU ddrescue kann später mehr davon retten.");
  auto* box =
      new QMessageBox(QMessageBox::Warning, QStringLiteral("Korvelo"), text, QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setObjectName(report.driveGone ? QStringLiteral("driveGoneBox")
                                      : QStringLiteral("incompleteSaveBox"));
  box->open();
}

SaveAsAnswer MainDialog::askSaveAs(const SaveAsRequest& request) {
  if (closing_) return {};
  if (chooserOverride_ != nullptr) return chooserOverride_->chooseSaveAs(request);
  return fileDialog_.chooseSaveAs(request);
}

ExistingTargets MainDialog::askExistingTargets(const std::vector<std::string>& names) {
  if (closing_) return ExistingTargets::Cancel;
  if (existingQuestion_) return existingQuestion_(names);
  QString listed;
  for (size_t i = 0; i < names.size() && i < kListedRecordings; ++i)
    listed += QStringLiteral("\n  ") + utf8(names[i]);
  if (names.size() > kListedRecordings)
    listed += QString::fromUtf8("\n  ... und %1 weitere").arg(names.size() - kListedRecordings);
  QMessageBox box(QMessageBox::Question, QString::fromUtf8("Auswahl in Ordner speichern"),
                  QString::fromUtf8("%1 der Zieldateien gibt es im Ordner schon:%2\n\n"
                                    "Ein unvollständig gespeicherter Film kann fortgesetzt "
                                    "werden. Was soll mit diesen Dateien geschehen?")
                      .arg(names.size())
                      .arg(listed),
                  QMessageBox::NoButton, this);
  QPushButton* resume = box.addButton(QStringLiteral("Fortsetzen"), QMessageBox::AcceptRole);
  QPushButton* skip = box.addButton(QString::fromUtf8("Überspringen"), QMessageBox::AcceptRole);
  QPushButton* replace =
      box.addButton(QString::fromUtf8("Überschreiben"), QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
  box.setDefaultButton(resume);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == resume) return ExistingTargets::Resume;
  if (box.clickedButton() == skip) return ExistingTargets::Skip;
  if (box.clickedButton() == replace) return ExistingTargets::Overwrite;
  return ExistingTargets::Cancel;
}

// ---- handlers

void MainDialog::saveSelection() {
  if (!save_->isEnabled()) return;  // a save or other disk work runs, or no disk was found
  request([snapshot = selection()](DiskWorker& worker) { worker.saveSelection(snapshot); },
          DiskTask::Save);
}

void MainDialog::saveSelectionToFolder() {
  if (!saveToFolderAction_->isEnabled()) return;
  std::string folder;
  if (folderQuestion_) {
    folder = folderQuestion_();
  } else {
    folder = FolderDialog::choose(this, QString::fromUtf8("Auswahl in Ordner speichern"),
                                  QString::fromStdString(app_.settings.pathToHAVs))
                 .toStdString();
  }
  if (folder.empty()) return;
  saveSelectionTo(folder);
}

void MainDialog::saveSelectionTo(const std::string& folder) {
  if (!saveAllowed_ || task_ != DiskTask::None || closing_) return;
  request([snapshot = selection(),
           folder](DiskWorker& worker) { worker.saveSelectionToFolder(snapshot, folder); },
          DiskTask::Save);
}

void MainDialog::showRescue() {
  if (!rescue_) rescue_ = new RescueDialog(*this);
  updateCommands();
  rescue_->show();
  rescue_->raise();
  rescue_->activateWindow();
}

void MainDialog::startRescueScan(bool byHeads) {
  if (task_ != DiskTask::None || closing_) return;
  request([byHeads](DiskWorker& worker) { worker.rescueScan(byHeads); }, DiskTask::Scan);
}

void MainDialog::saveRescued(std::vector<int> ids) {
  if (task_ != DiskTask::None || closing_) return;
  request([ids = std::move(ids)](DiskWorker& worker) { worker.saveRescued(ids); }, DiskTask::Save);
}

void MainDialog::appendLogLine(const std::string& line) {
  request([line](DiskWorker& worker) { worker.appendLog(line); });
}

void MainDialog::checkDisk() {
  if (task_ != DiskTask::None || closing_) return;
  request([](DiskWorker& worker) { worker.check(); }, DiskTask::Check);
}

void MainDialog::showDiskMap() {
  if (task_ != DiskTask::None || closing_) return;
  request([](DiskWorker& worker) { worker.buildMap(); }, DiskTask::Map);
}

// The list shows the directory's entries in their order, as the model holds them.
void MainDialog::highlightSelection() {
  if (!map_) return;
  std::set<int> chosen;
  for (int line = 0; line < list_->lineCount(); ++line)
    if (list_->isLineSelected(line)) chosen.insert(line);
  map_->view()->setHighlighted(std::move(chosen));
}

// The description of the line under the caret and the total of the selection, from what
// the disk thread sent with each line.
void MainDialog::showSelectionTexts() {
  const int caret = list_->caretLine();
  if (caret >= 0 && static_cast<size_t>(caret) < rows_.size() && rows_[caret].hasEntry)
    description_->setText(utf8(rows_[caret].description));
  uint64_t total = 0;
  for (size_t line = 0; line < rows_.size(); ++line)
    if (rows_[line].hasEntry && list_->isLineSelected(static_cast<int>(line)))
      total += rows_[line].sizeBytes + kHavFrontBytes;
  total_->setText(utf8(SessionController::totalText(total)));
}

int MainDialog::selectedLineCount() const {
  return list_->selectedLineCount();
}

DiskMapDialog* MainDialog::diskMapDialog() const {
  return map_.data();
}

RescueDialog* MainDialog::rescueDialog() const {
  return rescue_.data();
}

void MainDialog::stopSaving() {
  cancel_->setEnabled(false);
  if (worker_ == nullptr || task_ == DiskTask::None) return;
  worker_->requestStop();
  DiskWorker* worker = worker_;
  // A save waiting for its next step takes it at once, as the stopping step.
  QMetaObject::invokeMethod(
      worker, [worker] { worker->stopNow(); }, Qt::QueuedConnection);
}

bool MainDialog::confirmStopForClosing() {
  if (closeQuestion_) return closeQuestion_();
  const std::optional<QString> slow = slowReadText();
  QString question;
  if (task_ == DiskTask::Save && slow) {
    question = *slow + QString::fromUtf8(
                           ".\n\nDas Speichern wird angehalten, sobald dieser Lesevorgang "
                           "zurückkehrt; erst dann endet Korvelo. Die Datei behält alle bis "
                           "dahin ganz gelesenen Hojins und lässt sich später fortsetzen.\n\n"
                           "Abbrechen und beenden?");
  } else if (task_ == DiskTask::Save) {
    question = QString::fromUtf8(
        "Es wird noch gespeichert. Abbrechen und beenden?\n\nDie Datei behält ihre ganzen "
        "Hojins und lässt sich später fortsetzen.");
  } else {
    question =
        slow.value_or(QString()) + QString::fromUtf8(
                                       ".\n\nKorvelo endet, sobald dieser Lesevorgang zurückkehrt. "
                                       "Beenden?");
  }
  return QMessageBox::question(this, QStringLiteral("Korvelo"), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void MainDialog::done(int result) {
  if (closing_) return;  // already asked; ends when the work has stopped
  if (task_ == DiskTask::None) {
    keepPlacement();
    QDialog::done(result);
    return;
  }
  // Closing ends a save the way Ctrl-C does on the command line, once the user agrees:
  // nothing half-written is left without a line saying where to go on. A read the disk is
  // stuck in cannot be cut short: the window asks, and stays until that read returns.
  if ((task_ == DiskTask::Save || slowReadText()) && !confirmStopForClosing()) return;
  keepPlacement();
  closing_ = true;
  closeResult_ = result;
  worker_->stopAsking();
  stopSaving();
  updateCommands();
  updateStatus();
}

// ---- what is read

void MainDialog::chooseImage() {
  if (task_ != DiskTask::None) return;
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
  if (task_ != DiskTask::None || closing_) return;
  // The map names the entries of the disk about to be closed.
  if (map_) {
    map_->view()->setOwnership({});
    map_->hide();
  }
  request([image, mapfile](DiskWorker& worker) { worker.openImage(image, mapfile); },
          DiskTask::Search);
}

void MainDialog::searchAgain() {
  if (task_ != DiskTask::None || closing_) return;
  if (map_) {
    map_->view()->setOwnership({});
    map_->hide();
  }
  request([](DiskWorker& worker) { worker.search({}, true); }, DiskTask::Search);
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
  OptionsDialog dialog(options_, this);
  if (dialog.exec() == QDialog::Accepted) applyOptionsChoice(dialog.choice());
}

void MainDialog::applyOptionsChoice(const OptionsChoice& choice) {
  options_ = choice;
  MainDialog* window = this;
  request([choice, window](DiskWorker& worker) {
    worker.applyOptions(choice);
    // The dialog shows next time what the settings hold now (numbers as read).
    QMetaObject::invokeMethod(
        window, [window, shown = worker.shownOptions()] { window->options_ = shown; },
        Qt::QueuedConnection);
  });
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
  if (event->type() != QEvent::WindowStateChange) return;
  if (worker_ != nullptr) worker_->setMinimized(QWidget::isMinimized());
  onSizeChanged();
}

void MainDialog::onSizeChanged() {
  QDialog::setWindowTitle(normalTitle());
  if (task_ == DiskTask::Save) save_->setEnabled(false);
}

// ---- placement

void MainDialog::restorePlacement() {
  const WindowPlacement& placement = app_.settings.window;
  if (!placement.columnWidths.empty()) list_->setUserColumnWidths(placement.columnWidths);
  if (placement.sortColumn >= 0 && placement.sortColumn < list_->columnCount())
    list_->sortByColumn(placement.sortColumn,
                        placement.sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  if (placement.width <= 0 || placement.height <= 0) return;
  placementRestored_ = true;
  resize(std::max(placement.width, minimumWidth()), std::max(placement.height, minimumHeight()));
  // Only where a screen still shows the window's top left corner (a monitor may be gone).
  const QPoint corner(placement.x, placement.y);
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().contains(corner)) {
      move(corner);
      break;
    }
  }
  if (placement.maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void MainDialog::keepPlacement() {
  WindowPlacement& placement = app_.settings.window;
  const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
  if (normal.width() <= 0 || normal.height() <= 0) return;
  placement.x = normal.x();
  placement.y = normal.y();
  placement.width = normal.width();
  placement.height = normal.height();
  placement.maximized = isMaximized();
  placement.columnWidths = list_->userColumnWidths();
  placement.sortColumn = list_->header()->sortIndicatorSection();
  placement.sortDescending = list_->header()->sortIndicatorOrder() == Qt::DescendingOrder;
}

// The first start (no size kept yet) makes the window as wide as the list needs to show
// every column in full, as far as the screen allows.
void MainDialog::fitColumnsOnFirstStart() {
  if (placementRestored_ || columnsFitted_ || list_->lineCount() == 0) return;
  columnsFitted_ = true;
  const int extra = width() - list_->viewport()->width();
  int wanted = list_->neededWidth() + extra;
  if (const QScreen* shown = screen())
    wanted = std::min(wanted, shown->availableGeometry().width());
  if (wanted > width()) resize(wanted, height());
}

}  // namespace korvelo
