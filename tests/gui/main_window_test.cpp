// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on the demo disk: start-up log, list, selection texts, menus, closing,
// the log control and a screenshot for the documentation.

#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <memory>

#include "app/udisks_access.h"
#include "disk/drive_table.h"
#include "gui/disk_map_view.h"
#include "gui/log_view.h"
#include "gui/main_dialog.h"
#include "gui/recording_list.h"
#include "gui_test_support.h"
#include "recfs/open_failure.h"
#include "support/fake_udisks.h"

using namespace korvelo;
using namespace korvelo::guitest;

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<AppState> app_;
  std::unique_ptr<MainDialog> window_;

  void openWindowOn(const std::string& image) {
    DriveTable::usePaths({image});
    app_ = std::make_unique<AppState>();
    useTestSettings(*app_, freshFolder());
    window_ = std::make_unique<MainDialog>(*app_);
    window_->show();
    QVERIFY(waitForSearch(*window_));
  }

  static QStringList texts(const QList<QAction*>& actions) {
    QStringList result;
    for (QAction* action : actions) result << action->text();
    return result;
  }

  void selectRows(std::initializer_list<int> rows,
                  QItemSelectionModel::SelectionFlags how = QItemSelectionModel::Select |
                                                            QItemSelectionModel::Rows) {
    RecordingList* list = window_->recordingList();
    list->clearSelection();
    for (const int row : rows) list->setCurrentItem(list->topLevelItem(row), 0, how);
  }

 private slots:
  void cleanup() {
    window_.reset();
    app_.reset();
    DriveTable::useMachineDisks();
  }

  void startupLogsSearchAndWaitsForUser() {
    openWindowOn(demoImage().path);
    const QStringList lines = logLines(*window_);
    QCOMPARE(lines.first(), QStringLiteral("Programm V1.30 initialisiert."));
    QCOMPARE(lines.at(1), QStringLiteral("Suche FSR-Festplatte ..."));
    QVERIFY(lines.contains(QStringLiteral("Extrahiere Filmverzeichnis...")));
    QCOMPARE(lines.last(), QStringLiteral("Warte auf Benutzer..."));
    QCOMPARE(window_->windowTitle(), QStringLiteral("Korvelo V1.30 by Quimbral"));
    QVERIFY(window_->saveButton()->isEnabled());
    // The control shows the log's text line for line.
    QCOMPARE(window_->logView()->toPlainText(), lines.join(QLatin1Char('\n')));
  }

  // Another image, by the menu's open or by a drop, replaces what the list shows.
  void openingAnImageSearchesAgain_data() {
    QTest::addColumn<bool>("dropped");
    QTest::newRow("menu") << false;
    QTest::newRow("drop") << true;
  }
  void openingAnImageSearchesAgain() {
    QFETCH(bool, dropped);
    openWindowOn(blankImage());
    QCOMPARE(window_->recordingList()->lineCount(), 0);
    QCOMPARE(window_->sourceLabel()->text(), QString::fromUtf8("Keine Festplatte geöffnet."));
    const QString image = QString::fromStdString(demoImage().path);
    if (dropped) {
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile(image)});
      QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(window_.get(), &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(window_.get(), &drop);
    } else {
      window_->openImage(demoImage().path, {});
    }
    QVERIFY(waitForSearch(*window_));
    QVERIFY2(window_->recordingList()->lineCount() == 5, qPrintable(logLines(*window_).join('\n')));
    QCOMPARE(logLines(*window_).last(), QStringLiteral("Warte auf Benutzer..."));
    QVERIFY(window_->saveButton()->isEnabled());
    QCOMPARE(window_->sourceLabel()->text(), image + QString::fromUtf8(" — 160,0 GB"));
  }

  void listShowsFourColumnsPerRecording() {
    openWindowOn(demoImage().path);
    RecordingList* list = window_->recordingList();
    QCOMPARE(list->lineCount(), 5);
    QCOMPARE(list->lineParts(0), (QStringList{"0000", QString::fromUtf8("Tatort: Schöne Grüße"),
                                              "Das Erste", " 3.328.000 Bytes"}));
    QCOMPARE(list->lineParts(1),
             (QStringList{"0001", "Tagesschau", "Das Erste", " 499.200 Bytes"}));
    QCOMPARE(list->lineParts(3), (QStringList{"0003", QString::fromUtf8("Terra X: Frühe Kulturen"),
                                              "ZDF", " 1.689.600 Bytes"}));
    QCOMPARE(list->lineParts(4),
             (QStringList{"0004", "Sportschau: Bundesliga am Sonntag",
                          QString::fromUtf8("ARD - Sport · Fußball"), " 532.480 Bytes"}));
    QCOMPARE(list->lineItem(1)->text(3), QStringLiteral("02.01.2007 20:00"));
    QCOMPARE(list->lineItem(1)->text(4), QStringLiteral("0:15:00"));
    QCOMPARE(list->lineItem(2)->text(4), QStringLiteral("1:45:00"));
    const QTreeWidgetItem* header = list->headerItem();
    QCOMPARE(
        (QStringList{header->text(0), header->text(1), header->text(2), header->text(3),
                     header->text(4), header->text(5)}),
        (QStringList{"Nr.", "Titel", "Sender", "Beginn", "Dauer", QString::fromUtf8("Größe")}));
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
  }

  void selectionDescribesCaretAndSumsSelection() {
    openWindowOn(demoImage().path);
    QCOMPARE(window_->totalLabel()->text(), QString::fromUtf8("Gesamtgröße der Zieldateien: "));
    selectRows({1});
    QCOMPARE(
        window_->descriptionLabel()->text(),
        QString::fromUtf8("Von Dienstag 2007/01/02 um 20:00 Uhr - Länge: 15 Minuten 00 Sekunden"));
    QCOMPARE(window_->totalLabel()->text(),
             QString::fromUtf8("Gesamtgröße der Zieldateien: 500.824 Bytes"));
    selectRows({1, 2}, QItemSelectionModel::Select);  // first cells only count as well
    QCOMPARE(window_->selectedLineCount(), 2);
    QCOMPARE(
        window_->descriptionLabel()->text(),
        QString::fromUtf8("Von Mittwoch 2007/01/03 um 21:00 Uhr - Länge: 105 Minuten 00 Sekunden"));
    QCOMPARE(window_->totalLabel()->text(),
             QString::fromUtf8("Gesamtgröße der Zieldateien: 1.833.648 Bytes"));
  }

  void keyboardMovesCaretAndSelection() {
    openWindowOn(demoImage().path);
    RecordingList* list = window_->recordingList();
    selectRows({0});
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(list->selectedLineCount(), 2);
    QCOMPARE(list->caretLine(), 1);
    QCOMPARE(window_->totalLabel()->text(),
             QString::fromUtf8("Gesamtgröße der Zieldateien: 3.830.448 Bytes"));
  }

  void noRecorderDiskDisablesSave() {
    openWindowOn(blankImage());
    QVERIFY(logHasLine(*window_, QStringLiteral("Keine FSR-5000-Festplatte gefunden.")));
    QCOMPARE(window_->recordingList()->lineCount(), 0);
    QVERIFY(!window_->saveButton()->isEnabled());
  }

  void menusOfferEveryCommand() {
    openWindowOn(blankImage());
    const QList<QAction*> menus = window_->menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus.at(0)->text(), QString::fromUtf8("&Menü"));
    QCOMPARE(texts(menus.at(0)->menu()->actions()),
             (QStringList{"Auswahl in Ordner &speichern...", "", "&Optionen",
                          QString::fromUtf8("&Über Korvelo"), "&Beenden"}));
    QCOMPARE(window_->saveToFolderAction()->shortcut(),
             QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    QCOMPARE(menus.at(1)->text(), QStringLiteral("&Festplatte"));
    QCOMPARE(texts(menus.at(1)->menu()->actions()),
             (QStringList{"Erneut &suchen", QString::fromUtf8("Abbild &öffnen..."),
                          QString::fromUtf8("Festplatte über &udisks öffnen…"), "",
                          QString::fromUtf8("Festplatte &prüfen"), "&Belegungsplan...",
                          "Aufnahmen &retten..."}));
    QCOMPARE(menus.at(1)->menu()->actions().value(4), window_->checkAction());
    QCOMPARE(menus.at(2)->text(), QStringLiteral("&Hilfe"));
    QCOMPARE(menus.at(2)->menu()->actions().value(0), window_->infoAction());
    QCOMPARE(window_->infoAction()->text(), QString::fromUtf8("Inf&o über Korvelo..."));
    // The window's own context menu offers it as well.
    QCOMPARE(window_->contextMenuPolicy(), Qt::ActionsContextMenu);
    QVERIFY(window_->actions().contains(window_->infoAction()));
  }

  // Alt plus a letter must reach one command: within the menu bar, within each menu and
  // within the window's context menu, no two entries share their marked letter.
  void menuAcceleratorsAreUnique() {
    openWindowOn(blankImage());
    QList<QList<QAction*>> groups{window_->menuBar()->actions(), window_->actions()};
    for (QAction* menu : window_->menuBar()->actions()) groups << menu->menu()->actions();
    for (const QList<QAction*>& group : groups) {
      QMap<QChar, QString> taken;
      for (QAction* action : group) {
        const QString text = action->text();
        const qsizetype mark = text.indexOf(QLatin1Char('&'));
        if (action->isSeparator()) continue;
        QVERIFY2(mark >= 0 && mark + 1 < text.size(), qPrintable("no letter marked: " + text));
        const QChar letter = text.at(mark + 1).toLower();
        QVERIFY2(!taken.contains(letter),
                 qPrintable(QString("Alt+%1: %2 / %3").arg(letter, taken.value(letter), text)));
        taken.insert(letter, text);
      }
    }
  }

  // "Festplatte über udisks öffnen…" offers the disks by model and size; a granted disk
  // is searched through its descriptor, a refusal leaves one line with the reason.
  void udisksMenuSearchesTheGrantedDisk_data() {
    QTest::addColumn<bool>("granted");
    QTest::newRow("granted") << true;
    QTest::newRow("refused") << false;
  }
  void udisksMenuSearchesTheGrantedDisk() {
    QFETCH(bool, granted);
    if (const std::string missing = test::FakeUdisks::missingPrerequisite(); !missing.empty())
      QSKIP(missing.c_str());
    const std::string image = demoImage().path;
    test::FakeUdisks udisks(image,
                            granted ? test::UdisksAnswer::Grant : test::UdisksAnswer::Refuse);
    udisks.apply();
    openWindowOn(blankImage());
    QVERIFY(window_->accessButton()->isHidden());  // nothing was refused for lack of rights
    QStringList offered;
    window_->setUdisksChoice([&offered](const std::vector<UdisksDisk>& disks, const std::string&) {
      for (const UdisksDisk& disk : disks)
        offered << QString::fromStdString(describeUdisksDisk(disk));
      return disks.empty() ? std::string() : disks.front().device;
    });
    window_->udisksAction()->trigger();
    const QString line = QString::fromStdString(
        granted
            ? " Festplatte \"" + image + "\" über udisks2 zum Lesen geöffnet."
            : " Festplatte \"" + image + "\" lässt sich über udisks2 nicht öffnen: Zugriff " +
                  "verweigert" + (::geteuid() == 0 ? "" : " (" + accessHint(image) + ")") + ".");
    QTRY_VERIFY_WITH_TIMEOUT(logHasLine(*window_, line), 20000);
    QVERIFY(waitForIdle(*window_));
    QCOMPARE(offered,
             QStringList{QString::fromStdString("SAMSUNG HD160JJ, 160,0 GB, USB (" + image + ")")});
    QCOMPARE(window_->recordingList()->lineCount(), granted ? 5 : 0);
    QCOMPARE(udisks.calls(), std::vector<std::string>{"OpenDevice r"});
  }

  void checkWritesFindingsAndMapNamesOwners() {
    openWindowOn(demoImage().path);
    window_->checkAction()->trigger();
    QVERIFY(waitForIdle(*window_));
    QVERIFY(logHasLine(*window_, QStringLiteral("Prüfe das Dateisystem der Festplatte ...")));
    QVERIFY(logHasLine(*window_, QStringLiteral("Keine Befunde: das Dateisystem ist in Ordnung.")));

    window_->mapAction()->trigger();
    QVERIFY(waitForIdle(*window_));
    DiskMapDialog* map = window_->diskMapDialog();
    QVERIFY(map != nullptr && map->isVisible());
    map->resize(820, 600);
    QCoreApplication::processEvents();
    // The demo's first recording begins in block 0, the first cell.
    const QStringList first = map->view()->describeAt(QPoint(1, 1)).split('\n');
    QVERIFY2(first.value(0).startsWith(QStringLiteral("Block 0 bis ")), qPrintable(first.value(0)));
    QCOMPARE(first.value(1), QString::fromUtf8("Eintrag 0 \"Tatort: Schöne Grüße\""));
    QVERIFY(map->view()->describeAt(QPoint(-1, 1)).isEmpty());
    // The legend names every recording in its colour, then the other kinds of cell.
    QCOMPARE(map->legend()->count(), 5 + 3);
    QCOMPARE(map->legend()->item(0)->text(),
             QString::fromUtf8("Eintrag 0 \"Tatort: Schöne Grüße\""));
    QCOMPARE(map->legend()->item(5)->text(), QStringLiteral("frei"));
    // Zooming in halves the blocks a cell stands for, down to one.
    const int64_t unzoomed = map->view()->blocksPerCell();
    map->zoomIn();
    QCOMPARE(map->view()->blocksPerCell(), std::max<int64_t>(1, unzoomed / 2));
    map->zoomOut();
    QCOMPARE(map->view()->blocksPerCell(), unzoomed);
    // The panel with the first recording chosen, beside the window's screenshot.
    selectRows({0});
    QCoreApplication::processEvents();
    const QString shot = QFileInfo(QStringLiteral(KORVELO_SCREENSHOT_PATH))
                             .dir()
                             .filePath(QStringLiteral("korvelo-disk-map.png"));
    QVERIFY(map->grab().save(shot, "PNG"));
  }

  void checkWithoutDiskSaysSo() {
    openWindowOn(blankImage());
    window_->checkAction()->trigger();
    QVERIFY(waitForIdle(*window_));
    QVERIFY(logHasLine(
        *window_,
        QString::fromUtf8("Keine Recorder-Festplatte geöffnet: es gibt nichts zu prüfen.")));
    window_->mapAction()->trigger();
    QVERIFY(waitForIdle(*window_));
    QVERIFY(window_->diskMapDialog() == nullptr);
  }

  void escapeCloseButtonAndQuitEndAlike_data() {
    QTest::addColumn<int>("way");
    QTest::newRow("Escape") << 0;
    QTest::newRow("Schließen") << 1;
    QTest::newRow("Beenden") << 2;
  }

  void escapeCloseButtonAndQuitEndAlike() {
    QFETCH(int, way);
    openWindowOn(blankImage());
    QSignalSpy finished(window_.get(), &QDialog::finished);
    if (way == 0) QTest::keyClick(window_.get(), Qt::Key_Escape);
    if (way == 1) QTest::mouseClick(window_->closeButton(), Qt::LeftButton);
    if (way == 2) window_->quitAction()->trigger();
    QCOMPARE(finished.size(), 1);
    QVERIFY(!window_->isVisible());
  }

  void logViewKeepsLinesAndLastLineInView() {
    LogView view;
    view.resize(300, 120);
    view.show();
    view.appendPiece("erste\r\n");
    view.appendPiece("\r\n");  // an empty entry is an empty line
    view.appendPiece("zwei\r\ndrei\r\n");
    QCOMPARE(view.toPlainText(), QStringLiteral("erste\n\nzwei\ndrei"));
    for (int i = 0; i < 200; ++i) view.appendPiece("Zeile " + std::to_string(i) + "\r\n");
    QScrollBar* bar = view.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(view.isReadOnly());
    // A line longer than the control wraps; its end is in view without scrolling sideways.
    const std::string advice =
        "Warnung: 3 langsame Lesezugriffe (länger als 2 s, der längste 31,5 s). Die Festplatte "
        "lässt nach: am besten jetzt mit GNU ddrescue ein Abbild ziehen.";
    view.appendPiece(advice + "\r\n");
    QCoreApplication::processEvents();
    QCOMPARE(view.horizontalScrollBar()->maximum(), 0);
    QVERIFY(view.toPlainText().endsWith("\n" + QString::fromStdString(advice)));
  }

  void logEntriesBeforeTheWindowAppearInIt() {
    DriveTable::usePaths({blankImage()});
    app_ = std::make_unique<AppState>();
    useTestSettings(*app_, freshFolder());
    app_->log.append("vorher");
    window_ = std::make_unique<MainDialog>(*app_);
    QVERIFY(waitForSearch(*window_));
    QVERIFY(window_->logView()->toPlainText().startsWith(
        QStringLiteral("vorher\nProgramm V1.30 initialisiert.\n")));
  }

  // The first start (no placement kept) widens the window until every column shows its
  // heading and contents in full, as far as the screen allows.
  void firstStartFitsTheColumns() {
    openWindowOn(demoImage().path);
    RecordingList* list = window_->recordingList();
    const int available = window_->screen()->availableGeometry().width();
    const int extra = window_->width() - list->viewport()->width();
    if (list->neededWidth() + extra > available) {
      QCOMPARE(window_->width(), available);
      return;
    }
    for (const int column : {1, 2, RecordingList::kColumns - 1})  // title, channel, size
      QTRY_VERIFY2(list->columnWidth(column) >= list->contentWidth(column),
                   qPrintable(QStringLiteral("column %1: %2 < %3, window %4")
                                  .arg(column)
                                  .arg(list->columnWidth(column))
                                  .arg(list->contentWidth(column))
                                  .arg(window_->width())));
  }

  // Size, position, column widths and sort order come from the settings and go back there.
  void placementIsKeptInTheSettings() {
    DriveTable::usePaths({demoImage().path});
    app_ = std::make_unique<AppState>();
    useTestSettings(*app_, freshFolder());
    app_->settings.window = {40, 30, 900, 640, false, {50, 300, 200, 130, 70, 160}, 5, true};
    window_ = std::make_unique<MainDialog>(*app_);
    window_->show();
    QVERIFY(waitForSearch(*window_));
    RecordingList* list = window_->recordingList();
    QCOMPARE(window_->size(), QSize(900, 640));
    QCOMPARE(list->header()->sortIndicatorSection(), 5);
    QCOMPARE(list->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(list->lineItem(0), list->topLevelItem(0));  // the largest recording first
    QCOMPARE(list->columnWidth(1), 300);
    window_->resize(950, 700);  // the columns stay as the user left them
    QCOMPARE(list->columnWidth(1), 300);
    list->header()->resizeSection(2, 220);
    list->sortByColumn(3, Qt::AscendingOrder);
    window_->close();
    const WindowPlacement& kept = app_->settings.window;
    QCOMPARE(kept.width, 950);
    QCOMPARE(kept.height, 700);
    QCOMPARE(kept.columnWidths, (std::vector<int>{50, 300, 220, 130, 70, 160}));
    QCOMPARE(kept.sortColumn, 3);
    QVERIFY(!kept.sortDescending);
  }

  void screenshotAfterSearch() {
    openWindowOn(demoImage().path);
    window_->resize(760, 620);
    selectRows({0, 2});
    QCoreApplication::processEvents();
    const QPixmap shot = window_->grab();
    QVERIFY(!shot.isNull());
    QVERIFY(shot.save(QStringLiteral(KORVELO_SCREENSHOT_PATH), "PNG"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
