// SPDX-License-Identifier: GPL-3.0-or-later
// Saving from the window: the save-as questions, byte-exact files, the Save button, the
// copy-message check box, double-click, and the title while minimised.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "disk/drive_table.h"
#include "gui/bar_text.h"
#include "gui/main_dialog.h"
#include "gui/recording_list.h"
#include "gui_test_support.h"
#include "support/file_util.h"
#include "support/sample_recordings.h"

using namespace korvelo;
using namespace korvelo::guitest;

class SavingTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<AppState> app_;
  std::unique_ptr<MainDialog> window_;
  ScriptedChooser chooser_;
  std::string folder_;

  void openWindow(const std::string& image = demoImage().path) {
    DriveTable::usePaths({image});
    app_ = std::make_unique<AppState>();
    folder_ = freshFolder();
    useTestSettings(*app_, folder_);
    window_ = std::make_unique<MainDialog>(*app_);
    window_->setSaveAsChooser(&chooser_);
    window_->show();
    QVERIFY(waitForSearch(*window_));
  }

  void selectRows(std::initializer_list<int> rows) {
    RecordingList* list = window_->recordingList();
    list->clearSelection();
    for (const int row : rows) {
      list->setCurrentItem(list->topLevelItem(row), 0,
                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }

  std::string target(const std::string& name) const { return folder_ + "/" + name; }

  // The manifest's records without the program line, as saved.
  static QByteArray readManifestRecords(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    return QJsonDocument(document.object().value(QStringLiteral("recordings")).toArray()).toJson();
  }

  // The program the manifest says made it.
  static QString readManifestProgram(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll())
        .object()
        .value(QStringLiteral("program"))
        .toString();
  }

  const sample::Recording& recording(int slot) const {
    return demoImage().disk.recordings.at(static_cast<size_t>(slot));
  }

 private slots:
  void init() { chooser_ = ScriptedChooser{}; }

  void cleanup() {
    window_.reset();
    app_.reset();
    DriveTable::useMachineDisks();
  }

  void saveWithoutSelectionOnlyHints() {
    openWindow();
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(waitForIdle(*window_));
    QCOMPARE(logLines(*window_).last(),
             QString::fromUtf8("Bitte einen Eintrag in obiger Liste anwählen und dann auf "
                               "\"Speichern\" drücken."));
    QVERIFY(window_->saveButton()->isEnabled());
    QVERIFY(chooser_.requests.empty());
  }

  void savesTwoRecordingsByteExact() {
    openWindow();
    chooser_.chooseNext(target("news.hav"));
    chooser_.chooseNext(target("film.hav"));
    selectRows({1, 2});
    QStringList readBarTexts;  // each recording's figures, as first shown
    connect(window_->readBar(), &QProgressBar::valueChanged, this, [&] {
      if (readBarTexts.isEmpty() || readBarTexts.last() != window_->readBar()->format())
        readBarTexts << window_->readBar()->format();
    });
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(!window_->saveButton()->isEnabled());
    QVERIFY(waitForSaveEnd(*window_));
    QVERIFY(window_->saveButton()->isEnabled());
    QCOMPARE(readBarTexts, (QStringList{QStringLiteral("Aufnahme 1 von 2 \u2013 %p %"),
                                        QStringLiteral("Aufnahme 2 von 2 \u2013 %p %")}));
    QCOMPARE(window_->readBar()->text(), QString());  // no figures once the save is over

    QCOMPARE(chooser_.requests.size(), size_t{2});
    QCOMPARE(chooser_.requests[0].proposedName, std::string("01 Tagesschau.hav"));
    QCOMPARE(chooser_.requests[1].proposedName, std::string("02 Der gro\xC3\x9F"
                                                            "e Bluff.hav"));
    QCOMPARE(chooser_.requests[0].initialFolder, folder_);
    QCOMPARE(chooser_.requests[0].parent,
             static_cast<const void*>(static_cast<QWidget*>(window_.get())));

    QCOMPARE(fileDifference(target("news.hav"), expectedHavFile(demoImage(), recording(1))),
             QString());
    QCOMPARE(fileDifference(target("film.hav"), expectedHavFile(demoImage(), recording(2))),
             QString());

    QVERIFY(logHasLine(*window_, QStringLiteral("Eintrag 1 \"Tagesschau\" ausgew\u00e4hlt.")));
    QVERIFY(logHasLine(*window_, QString::fromUtf8("Größe der Zieldatei 500.824 Bytes.")));
    QVERIFY(logHasLine(
        *window_,
        QStringLiteral("Schreibe in \"%1\"").arg(QString::fromStdString(target("film.hav")))));
    QVERIFY(logHasLine(*window_, QStringLiteral("Speichern abgeschlossen.")));
    QVERIFY(logHasLineStartingWith(
        *window_,
        QStringLiteral("Lesen der unfragmentierten Aufzeichnung abgeschlossen. Leserate: ca. ")));
    QVERIFY(logHasLineStartingWith(
        *window_,
        QStringLiteral("Lesen der fragmentierten Aufzeichnung abgeschlossen. Leserate: ca. ")));
    // Both bars back at their start once the last job is done.
    QCOMPARE(window_->readBar()->value(), window_->readBar()->minimum());
    QCOMPARE(window_->writeBar()->value(), window_->writeBar()->minimum());
    QVERIFY(window_->readBar()->maximum() > window_->readBar()->minimum());
  }

  void writeBarShowsRateAndTimeLeft_data() {
    QTest::addColumn<double>("bytesPerSecond");
    QTest::addColumn<double>("bytesLeft");
    QTest::addColumn<QString>("text");
    QTest::newRow("no rate yet") << 0.0 << 5e6 << QStringLiteral("37 %");
    QTest::newRow("seconds") << 1.25e6 << 52.5e6 << QStringLiteral("37 %  1,3 MB/s  noch 0:42");
    QTest::newRow("hours") << 2e6 << 7322e6 << QStringLiteral("37 %  2,0 MB/s  noch 1:01:01");
    QTest::newRow("nothing left") << 2e6 << 0.0 << QStringLiteral("37 %  2,0 MB/s");
  }

  void writeBarShowsRateAndTimeLeft() {
    QFETCH(double, bytesPerSecond);
    QFETCH(double, bytesLeft);
    QFETCH(QString, text);
    QProgressBar bar;
    bar.setRange(0, 200);
    bar.setValue(74);
    bar.setFormat(writeBarFormat(bytesPerSecond, bytesLeft));
    QCOMPARE(bar.text(), text);
  }

  void sortingKeepsSelectionAndWhatIsSaved() {
    openWindow();
    chooser_.chooseNext(target("news.hav"));
    chooser_.chooseNext(target("film.hav"));
    selectRows({1, 2});
    RecordingList* list = window_->recordingList();
    list->sortByColumn(RecordingList::kColumns - 1, Qt::DescendingOrder);  // largest first
    QCOMPARE(list->topLevelItem(0), list->lineItem(0));                    // 3.328.000 Bytes
    QCOMPARE(list->topLevelItem(1), list->lineItem(3));                    // 1.689.600 Bytes
    QCOMPARE(list->topLevelItem(4), list->lineItem(1));                    // 499.200 Bytes
    for (int line = 0; line < list->lineCount(); ++line)
      QCOMPARE(list->isLineSelected(line), line == 1 || line == 2);
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(waitForSaveEnd(*window_));
    QCOMPARE(fileDifference(target("news.hav"), expectedHavFile(demoImage(), recording(1))),
             QString());
    QCOMPARE(fileDifference(target("film.hav"), expectedHavFile(demoImage(), recording(2))),
             QString());
  }

  void cancelledSecondQuestionEndsTheWalk() {
    openWindow();
    chooser_.chooseNext(target("news.hav"));
    chooser_.cancel();
    selectRows({1, 2, 4});
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(waitForSaveEnd(*window_));
    QCOMPARE(chooser_.requests.size(), size_t{2});  // the third is never offered
    QVERIFY(logHasLine(*window_, QStringLiteral("Speichern abgebrochen.")));
    QCOMPARE(fileDifference(target("news.hav"), expectedHavFile(demoImage(), recording(1))),
             QString());
    QVERIFY(window_->saveButton()->isEnabled());
  }

  void suppressBoxKeepsCopyMessagesOutAndIsUntickedAtTheEnd() {
    openWindow();
    chooser_.chooseNext(target("news.hav"));
    window_->suppressMessagesBox()->setChecked(true);
    selectRows({1});
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(waitForSaveEnd(*window_));
    QVERIFY(!logHasLine(*window_, QStringLiteral("Speichern abgeschlossen.")));
    QVERIFY(logHasLineStartingWith(*window_, QStringLiteral("Schreibe in ")));
    QVERIFY(logHasLineStartingWith(*window_,
                                   QStringLiteral("Lesen der unfragmentierten Aufzeichnung")));
    QVERIFY(!window_->suppressMessagesBox()->isChecked());
    QCOMPARE(fileDifference(target("news.hav"), expectedHavFile(demoImage(), recording(1))),
             QString());
  }

  void doubleClickOnALineSaves() {
    openWindow();
    chooser_.chooseNext(target("sport.hav"));
    RecordingList* list = window_->recordingList();
    const QRect row = list->visualItemRect(list->topLevelItem(4));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QVERIFY(waitForSaveEnd(*window_));
    QCOMPARE(chooser_.requests.size(), size_t{1});
    QCOMPARE(chooser_.requests[0].proposedName,
             std::string("04 Sportschau Bundesliga am Sonntag.hav"));
    QCOMPARE(fileDifference(target("sport.hav"), expectedHavFile(demoImage(), recording(4))),
             QString());
  }

  void doubleClickWhileSavingDoesNothing() {
    openWindow();
    app_->settings.millisecondsPause = 100;  // keeps the save running for a while
    chooser_.chooseNext(target("tatort.hav"));
    selectRows({0});
    window_->saveSelection();
    QVERIFY(window_->isSaveStepPending());
    window_->saveSelection();  // what a double-click does
    QTRY_COMPARE(chooser_.requests.size(), size_t{1});
    QTest::qWait(50);
    QCOMPARE(chooser_.requests.size(), size_t{1});
    // A size change while saving leaves Save disabled, even if it was enabled meanwhile.
    window_->setSaveEnabled(true);
    window_->resize(window_->width() + 10, window_->height());
    QTRY_VERIFY(!window_->saveButton()->isEnabled());
    QVERIFY(waitForSaveEnd(*window_));
    QVERIFY(window_->saveButton()->isEnabled());
  }

  // The window keeps the same records as the command line: saved the same way, both
  // folders hold the same files and the same manifest.
  void savesWithTheManifestTheCommandLineWrites() {
    openWindow();
    const std::string news = "01 Tagesschau.hav", film =
                                                      "02 Der gro\xC3\x9F"
                                                      "e Bluff.hav";
    chooser_.chooseNext(target(news));
    chooser_.chooseNext(target(film));
    selectRows({1, 2});
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(waitForSaveEnd(*window_));

    const std::string cliFolder = freshFolder();
    QProcess cli;
    cli.start(QStringLiteral(KORVELO_BIN_DIR "/korvelo-cli"),
              {QStringLiteral("--drive"), QString::fromStdString(demoImage().path),
               QStringLiteral("export"), QStringLiteral("1"), QStringLiteral("2"),
               QStringLiteral("-o"), QString::fromStdString(cliFolder)});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    for (const std::string& name : {news, film})
      QVERIFY(test::readFileBytes(target(name)) == test::readFileBytes(cliFolder + "/" + name));
    const QByteArray windowManifest = readManifestRecords(target("korvelo-manifest.json"));
    QVERIFY(windowManifest.contains("\"sha256_file\""));
    QCOMPARE(windowManifest, readManifestRecords(cliFolder + "/korvelo-manifest.json"));
    // Each says which program made it.
    QCOMPARE(readManifestProgram(target("korvelo-manifest.json")), QStringLiteral("korvelo 1.30"));
    QCOMPARE(readManifestProgram(cliFolder + "/korvelo-manifest.json"),
             QStringLiteral("korvelo-cli 1.30"));
  }

  // A folder typed into the save-as dialog that does not exist yet is made, as the command
  // line makes its -o folder.
  void savesIntoAFolderThatIsMadeFirst() {
    openWindow();
    const std::string made = folder_ + "/neu/Filme";
    chooser_.chooseNext(made + "/news.hav");
    selectRows({1});
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(waitForSaveEnd(*window_));
    QCOMPARE(fileDifference(made + "/news.hav", expectedHavFile(demoImage(), recording(1))),
             QString());
    QVERIFY(!logHasLineStartingWith(*window_, QString::fromUtf8("Fehler beim Prüfen")));
  }

  // "Auswahl in Ordner speichern...": one folder for all, no save-as question, the files and
  // manifest that `korvelo-cli export --all -o` writes, and the same summary line.
  void savesTheSelectionIntoAFolderLikeTheCommandLine() {
    openWindow();
    const std::string folder = folder_ + "/alle";  // made by the save
    window_->setFolderQuestion([&] { return folder; });
    window_->recordingList()->selectAll();
    window_->saveToFolderAction()->trigger();
    QVERIFY(waitForSaveEnd(*window_));
    QVERIFY(chooser_.requests.empty());

    const std::string cliFolder = freshFolder();
    QProcess cli;
    cli.start(QStringLiteral(KORVELO_BIN_DIR "/korvelo-cli"),
              {QStringLiteral("--drive"), QString::fromStdString(demoImage().path),
               QStringLiteral("export"), QStringLiteral("--all"), QStringLiteral("-o"),
               QString::fromStdString(cliFolder)});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList names = QDir(QString::fromStdString(cliFolder)).entryList(QDir::Files);
    QCOMPARE(QDir(QString::fromStdString(folder)).entryList(QDir::Files), names);
    QCOMPARE(names.size(), 6);  // five recordings and the manifest
    for (const QString& name : names) {
      if (name.endsWith(QStringLiteral(".json"))) continue;
      QVERIFY2(test::readFileBytes(folder + "/" + name.toStdString()) ==
                   test::readFileBytes(cliFolder + "/" + name.toStdString()),
               qPrintable(name));
    }
    QCOMPARE(readManifestRecords(folder + "/korvelo-manifest.json"),
             readManifestRecords(cliFolder + "/korvelo-manifest.json"));
    const QString summary = QStringLiteral(
        "5 Aufnahmen gespeichert, 0 besch\u00e4digt, 0 "
        "\u00fcbersprungen, ");
    QVERIFY(logHasLineStartingWith(*window_, summary));
    QVERIFY(QString::fromUtf8(cli.readAllStandardError()).contains(summary));

    // Again into the same folder: one question for all five targets; "Fortsetzen" finds
    // every file complete and leaves it as it is.
    std::vector<std::vector<std::string>> asked;
    window_->setExistingTargetsQuestion([&](const std::vector<std::string>& existing) {
      asked.push_back(existing);
      return ExistingTargets::Resume;
    });
    window_->saveToFolderAction()->trigger();
    QVERIFY(waitForSaveEnd(*window_));
    QCOMPARE(asked.size(), size_t{1});
    QCOMPARE(asked.front().size(), size_t{5});
    QCOMPARE(logLines(*window_).filter(QString::fromUtf8("ist bereits vollständig.")).size(), 5);
    QVERIFY(logLines(*window_).last().startsWith(summary));
  }

  void refusesAMountedSourceBeforeAskingAnything() {
    openWindow();
    window_->workflow().setAdmissionQueries(
        {[](const std::string&) { return std::string("\"/dev/sdz\" ist eingeh\xC3\xA4ngt."); },
         {}});
    chooser_.chooseNext(target("news.hav"));
    selectRows({1});
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(waitForIdle(*window_));
    QVERIFY(logHasLine(*window_, QString::fromUtf8("\"/dev/sdz\" ist eingehängt.")));
    QCOMPARE(chooser_.requests.size(), size_t{0});
    QVERIFY(window_->saveButton()->isEnabled());
    QVERIFY(!QFileInfo::exists(QString::fromStdString(target("news.hav"))));
  }

  // Stopping mid-save, by "Abbrechen" or by closing the window once the user agrees, keeps
  // what was written, synced, and says where to go on; a "no" lets the save finish.
  void stoppingMidSaveKeepsTheFileForResuming_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Abbrechen") << QStringLiteral("cancel");
    QTest::newRow("Schließen, ja") << QStringLiteral("close-yes");
    QTest::newRow("Schließen, nein") << QStringLiteral("close-no");
  }
  void stoppingMidSaveKeepsTheFileForResuming() {
    QFETCH(QString, how);
    openWindow();
    app_->settings.millisecondsPause = 100;  // four steps of 100 ms: time to stop it
    int questions = 0;
    window_->setCloseQuestion([&] {
      ++questions;
      return how == QStringLiteral("close-yes");
    });
    chooser_.chooseNext(target("news.hav"));
    selectRows({1});
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(window_->isSaveStepPending());
    QVERIFY(window_->cancelButton()->isEnabled());
    // The save-as question is answered before the user can reach the window again.
    QTRY_COMPARE(chooser_.requests.size(), size_t{1});
    if (how == QStringLiteral("cancel"))
      QTest::mouseClick(window_->cancelButton(), Qt::LeftButton);
    else
      window_->close();
    QCOMPARE(questions, how == QStringLiteral("cancel") ? 0 : 1);
    const QRegularExpression kept(
        QStringLiteral(
            "^Abgebrochen: \"%1\" enth\u00e4lt Hojin 1 bis ([0-9]+) \\(von %2\\) "
            "und ist gesichert; \"Speichern\" und dann \"Fortsetzen\" setzt dort fort\\.$")
            .arg(QRegularExpression::escape(QString::fromStdString(target("news.hav"))))
            .arg(recording(1).lengthSectors / 65));
    if (how == QStringLiteral("close-no")) {
      QVERIFY(window_->isVisible());
      QVERIFY(waitForSaveEnd(*window_));
      QVERIFY(logLines(*window_).filter(kept).isEmpty());
      QCOMPARE(fileDifference(target("news.hav"), expectedHavFile(demoImage(), recording(1))),
               QString());
      return;
    }
    QVERIFY(waitForSaveEnd(*window_));
    const QStringList keptLines = logLines(*window_).filter(kept);
    QVERIFY2(keptLines.size() == 1, qPrintable(logLines(*window_).join('\n')));
    const int whole = kept.match(keptLines.front()).captured(1).toInt();
    QVERIFY(whole >= 1 && whole < 15);
    QCOMPARE(QFileInfo(QString::fromStdString(target("news.hav"))).size(),
             qint64{1624} + whole * qint64{33280});
    // The run ends with the command line's summary, and a box tells what to do next.
    QVERIFY(logHasLineStartingWith(
        *window_, QStringLiteral("0 Aufnahmen gespeichert, 0 besch\u00e4digt, 0 \u00fcbersprungen, "
                                 "1 abgebrochen, ")));
    if (how == QStringLiteral("close-yes")) {
      QVERIFY(!window_->isVisible());
      return;
    }
    QTRY_VERIFY(window_->findChild<QMessageBox*>(QStringLiteral("incompleteSaveBox")) != nullptr);
    QVERIFY(window_->saveButton()->isEnabled());
    QVERIFY(!window_->cancelButton()->isEnabled());
    // "Fortsetzen" on the kept file: the rest is appended and the whole recording results.
    chooser_.answer.kind = SaveAsAnswer::Kind::Chosen;
    chooser_.answer.path = target("news.hav");
    chooser_.answer.resume = true;
    selectRows({1});
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(waitForSaveEnd(*window_));
    QVERIFY2(
        fileDifference(target("news.hav"), expectedHavFile(demoImage(), recording(1))).isEmpty(),
        qPrintable(logLines(*window_).join('\n')));
  }

  // Entry 1's file FAT names entry 0's blocks: the file is written, but the summary and
  // the box call it uncertain, with the reason.
  void aCrossLinkedRecordingIsWrittenButCalledUncertain() {
    const std::string image = freshFolder() + "/crosslinked.img";
    sample::buildDisk(test::crossLinkedDemoDisk(), image);
    openWindow(image);
    chooser_.chooseNext(target("news.hav"));
    selectRows({1});
    QTest::mouseClick(window_->saveButton(), Qt::LeftButton);
    QVERIFY(waitForSaveEnd(*window_));
    QVERIFY(QFileInfo::exists(QString::fromStdString(target("news.hav"))));
    QVERIFY2(logHasLineStartingWith(*window_,
                                    QString::fromUtf8("0 Aufnahmen gespeichert, 0 beschädigt, 0 "
                                                      "übersprungen, 1 unsicher, ")),
             qPrintable(logLines(*window_).join('\n')));
    QMessageBox* box = nullptr;
    QTRY_VERIFY((box = window_->findChild<QMessageBox*>(QStringLiteral("incompleteSaveBox"))) !=
                nullptr);
    QVERIFY2(box->text().contains(
                 QString::fromUtf8("  Eintrag 1 \"Tagesschau\": unsicher (Block 0 gehört auch "
                                   "Eintrag 0, insgesamt gehören 7 Blöcke dieser Aufnahme auch "
                                   "anderen; die File-FAT nennt 7 Blöcke, die Länge braucht nur "
                                   "1).\n")),
             qPrintable(box->text()));
  }

  void minimisedWindowShowsPercentInTitle() {
    openWindow();
    chooser_.chooseNext(target("tatort.hav"));
    selectRows({0});
    window_->showMinimized();
    QVERIFY(QTest::qWaitFor([this] { return window_->isMinimized(); }, 5000));
    QSignalSpy titles(window_.get(), &QWidget::windowTitleChanged);
    window_->saveSelection();
    QVERIFY(waitForSaveEnd(*window_));

    const QRegularExpression percent(QStringLiteral("^Got (\\d+)% HAV$"));
    int shown = 0;
    QString previous;
    for (const QList<QVariant>& change : titles) {
      const QString title = change.at(0).toString();
      QVERIFY2(percent.match(title).hasMatch(), qPrintable(title));
      QVERIFY(title != previous);  // rewritten only when the percentage moves
      previous = title;
      ++shown;
    }
    QVERIFY(shown >= 2);
    window_->showNormal();
    QVERIFY(QTest::qWaitFor([this] { return !window_->isMinimized(); }, 5000));
    QCOMPARE(window_->windowTitle(), QStringLiteral("Korvelo V1.30 by Quimbral"));
  }
};

QTEST_MAIN(SavingTest)
#include "saving_test.moc"
