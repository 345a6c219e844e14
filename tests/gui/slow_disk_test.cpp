// SPDX-License-Identifier: GPL-3.0-or-later
// The window on a disk that keeps single reads for seconds (the failing-disk harness: a FUSE
// file behind a loop device with direct I/O, some sectors answering only after 3 s), on a real
// X server. While a save, a check and a search each wait for such a read, the window's own
// event loop keeps running (a 10 ms timer never waits 100 ms), its status line names the
// sector, "Abbrechen" ends the work after that read, and the saved file is byte-exact; closed
// during such a read, the window ends once the read has returned, the file kept.
// Needs root, /dev/fuse, losetup and python3-fusepy; skipped where they are missing.

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "disk/drive_table.h"
#include "gui/main_dialog.h"
#include "gui/recording_list.h"
#include "gui_test_support.h"
#include "recfs/disk_layout.h"
#include "support/failing_disk.h"

using namespace korvelo;
using namespace korvelo::guitest;

namespace {

constexpr int kSlowMs = 3000;
constexpr double kLongestGapMs = 100;

// The longest time the window's event loop let a 10 ms timer wait, from start() on.
class LoopWatch {
 public:
  LoopWatch() {
    ticker_.setTimerType(Qt::PreciseTimer);
    ticker_.setInterval(10);
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
      longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
  }
  void start() {
    clock_.start();
    last_ = 0;
    longest_ = 0;
    ticker_.start();
  }
  double stop() {
    ticker_.stop();
    return longest_;
  }

 private:
  QTimer ticker_;
  QElapsedTimer clock_;
  double last_ = 0;
  double longest_ = 0;
};

}  // namespace

class SlowDiskTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::FailingDisk> disk_;
  std::unique_ptr<AppState> app_;
  std::unique_ptr<MainDialog> window_;
  ScriptedChooser chooser_;
  std::string folder_;

  // Waits until the status line says the window waits for the disk.
  bool waitForStuckRead() {
    return QTest::qWaitFor(
        [this] {
          return window_->statusLabel()->text().startsWith(
              QStringLiteral("Warte auf die Festplatte: Sektor "));
        },
        kSlowMs * 2);
  }

  int64_t dataAreaSector(int64_t block) const {
    return app_->disk->layout().dataAreaStart(app_->disk->heldFileFatSize()) +
           block * kSectorsPerBlock;
  }

 private slots:
  void initTestCase() {
    if (const std::string missing = test::FailingDisk::missingPrerequisite(); !missing.empty())
      QSKIP(missing.c_str());
    disk_ = std::make_unique<test::FailingDisk>(demoImage().path);
    DriveTable::usePaths({disk_->device()});
    app_ = std::make_unique<AppState>();
    folder_ = freshFolder();
    useTestSettings(*app_, folder_);
    window_ = std::make_unique<MainDialog>(*app_);
    window_->setSaveAsChooser(&chooser_);
    window_->resize(900, 680);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QVERIFY(waitForSearch(*window_));
    QCOMPARE(window_->recordingList()->lineCount(), 5);
  }

  void cleanupTestCase() {
    window_.reset();
    app_.reset();
    disk_.reset();
    DriveTable::useMachineDisks();
  }

  // Recording 0 lies in blocks 0 ... 6; its 20th HOJIN (block 1) is slow. "Abbrechen" during
  // that read stops the save once the read has returned, the file keeping its whole HOJINs;
  // continuing it gives the whole recording, byte for byte.
  void saveAnswersWhileAReadIsStuckAndStopsAfterIt() {
    const int64_t slow = dataAreaSector(1) + 3 * kSectorsPerHojin;  // HOJIN 20
    disk_->setBehaviour({.slow = {{slow, 1}}, .slowMilliseconds = kSlowMs});
    chooser_.chooseNext(folder_ + "/tatort.hav");
    window_->recordingList()->setCurrentItem(
        window_->recordingList()->topLevelItem(0), 0,
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    LoopWatch watch;
    watch.start();
    window_->saveSelection();
    QVERIFY(waitForStuckRead());
    // The read under way is the large request that holds the slow HOJIN.
    const QRegularExpressionMatch waiting =
        QRegularExpression(QStringLiteral("Sektor (\\d+)")).match(window_->statusLabel()->text());
    QVERIFY2(waiting.hasMatch(), qPrintable(window_->statusLabel()->text()));
    const int64_t first = waiting.captured(1).toLongLong();
    QVERIFY2(first <= slow && slow < first + 31 * kSectorsPerHojin,
             qPrintable(window_->statusLabel()->text()));
    QVERIFY(window_->cancelButton()->isEnabled());
    QTest::mouseClick(window_->cancelButton(), Qt::LeftButton);
    QVERIFY(waitForSaveEnd(*window_));
    const double longest = watch.stop();
    QVERIFY2(longest < kLongestGapMs, qPrintable(QString::number(longest)));
    QVERIFY2(logHasLineStartingWith(*window_, QStringLiteral("Abgebrochen: \"%1/tatort.hav\" enth")
                                                  .arg(QString::fromStdString(folder_))),
             qPrintable(logLines(*window_).join('\n')));

    disk_->setBehaviour({});
    chooser_.answer = {SaveAsAnswer::Kind::Chosen, folder_ + "/tatort.hav", 0, true};
    window_->saveSelection();
    QVERIFY(waitForSaveEnd(*window_));
    QCOMPARE(fileDifference(folder_ + "/tatort.hav",
                            expectedHavFile(demoImage(), demoImage().disk.recordings.at(0))),
             QString());
  }

  // The check reads the head of every free block; the first one after the recordings is slow.
  void checkAnswersWhileAReadIsStuckAndStopsAfterIt() {
    disk_->setBehaviour({.slow = {{dataAreaSector(14), 1}}, .slowMilliseconds = kSlowMs});
    LoopWatch watch;
    watch.start();
    window_->checkAction()->trigger();
    QVERIFY(waitForStuckRead());
    QTest::mouseClick(window_->cancelButton(), Qt::LeftButton);
    QVERIFY(waitForIdle(*window_));
    const double longest = watch.stop();
    QVERIFY2(longest < kLongestGapMs, qPrintable(QString::number(longest)));
    QVERIFY(logHasLineStartingWith(*window_, QStringLiteral("Pr\u00fcfung abgebrochen")));
    disk_->setBehaviour({});
  }

  // The search again waits for the first directory slot.
  void searchAnswersWhileAReadIsStuck() {
    disk_->setBehaviour(
        {.slow = {{app_->disk->layout().firstSlot, 1}}, .slowMilliseconds = kSlowMs});
    LoopWatch watch;
    watch.start();
    window_->searchAgain();
    QVERIFY(waitForStuckRead());
    QVERIFY(waitForSearch(*window_));
    const double longest = watch.stop();
    QVERIFY2(longest < kLongestGapMs, qPrintable(QString::number(longest)));
    QCOMPARE(window_->recordingList()->lineCount(), 5);
    disk_->setBehaviour({});
  }

  // Closed while a save waits for a slow read: asked, still there until the read returns,
  // then gone, with the file kept for resuming.
  void closingWaitsForTheReadAndKeepsTheFile() {
    const int64_t slow = dataAreaSector(2) + 5 * kSectorsPerHojin;  // HOJIN 38
    disk_->setBehaviour({.slow = {{slow, 1}}, .slowMilliseconds = kSlowMs});
    int questions = 0;
    window_->setCloseQuestion([&] {
      ++questions;
      return true;
    });
    chooser_.chooseNext(folder_ + "/closed.hav");
    window_->recordingList()->setCurrentItem(
        window_->recordingList()->topLevelItem(0), 0,
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    window_->saveSelection();
    QVERIFY(waitForStuckRead());
    window_->close();
    QCOMPARE(questions, 1);
    QVERIFY(window_->isVisible());
    QVERIFY(window_->statusLabel()->text().contains(QStringLiteral("Korvelo endet")));
    QTRY_VERIFY_WITH_TIMEOUT(!window_->isVisible(), kSlowMs * 2);
    QVERIFY(logHasLineStartingWith(*window_, QStringLiteral("Abgebrochen: \"%1/closed.hav\" enth")
                                                 .arg(QString::fromStdString(folder_))));
    disk_->setBehaviour({});
  }
};

QTEST_MAIN(SlowDiskTest)
#include "slow_disk_test.moc"
