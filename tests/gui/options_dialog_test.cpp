// SPDX-License-Identifier: GPL-3.0-or-later
// The options dialog: the pause field with its arrows and clamp, the File-FAT-Size mode
// and field, OK and cancel, and the report lines with and without a recorder disk.

#include "gui/options_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "disk/drive_table.h"
#include "gui/main_dialog.h"
#include "gui/up_down_control.h"
#include "gui_test_support.h"

using namespace korvelo;
using namespace korvelo::guitest;

namespace {

QPushButton* buttonWithText(QWidget* dialog, const QString& text) {
  for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
    if (button->text() == text) return button;
  }
  return nullptr;
}

// Runs the window's options command; `use` works the modal dialog and ends it.
void useOptionsOf(MainDialog& window, std::function<void(OptionsDialog&)> use) {
  bool used = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<OptionsDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    used = true;
    use(*dialog);
  });
  window.showOptions();
  QVERIFY(used);
  // The choice takes effect on the disk thread.
  QVERIFY(waitForIdle(window));
}

}  // namespace

class OptionsDialogTest : public QObject {
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

  static OptionsChoice choiceWithPause(const char* pause) {
    OptionsChoice choice = choiceFromSettings(Settings{});
    choice.pauseText = pause;
    return choice;
  }

 private slots:
  void cleanup() {
    window_.reset();
    app_.reset();
    DriveTable::useMachineDisks();
  }

  void showsTheSettings() {
    Settings settings;
    settings.debugInfo = true;
    settings.fatSizeAuto = false;
    settings.fatSizeManuel = 80;
    settings.millisecondsPause = 25;
    settings.suppressWarnings = false;
    OptionsDialog dialog(choiceFromSettings(settings));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Korvelo Optionen"));
    QVERIFY(dialog.debugInfoBox()->isChecked());
    QVERIFY(!dialog.suppressWarningsBox()->isChecked());
    QVERIFY(dialog.entryNumberBox()->isChecked());
    QVERIFY(dialog.manualRadio()->isChecked());
    QVERIFY(dialog.fatSizeEdit()->isEnabled());
    QCOMPARE(dialog.fatSizeEdit()->text(), QStringLiteral("80"));
    QCOMPARE(dialog.pauseEdit()->text(), QStringLiteral("25"));
    QCOMPARE(dialog.pauseSpin()->position(), 25);
    QCOMPARE(dialog.tevionBox()->text(), QStringLiteral("Tevion PVR 8005 HDD Anpassung"));
  }

  void upArrowStopsAtHundred() {
    OptionsDialog dialog(choiceWithPause("99"));
    QTest::mouseClick(dialog.pauseSpin()->upButton(), Qt::LeftButton);
    QCOMPARE(dialog.pauseEdit()->text(), QStringLiteral("100"));
    QTest::mouseClick(dialog.pauseSpin()->upButton(), Qt::LeftButton);
    QCOMPARE(dialog.pauseEdit()->text(), QStringLiteral("100"));
    QCOMPARE(dialog.pauseSpin()->position(), 100);
  }

  void downArrowStopsAtZeroAndEmptyCountsAsZero() {
    OptionsDialog dialog(choiceWithPause(""));
    QTest::mouseClick(dialog.pauseSpin()->downButton(), Qt::LeftButton);
    QCOMPARE(dialog.pauseEdit()->text(), QStringLiteral("0"));
    QTest::mouseClick(dialog.pauseSpin()->upButton(), Qt::LeftButton);
    QCOMPARE(dialog.pauseEdit()->text(), QStringLiteral("1"));
  }

  void arrowKeysInTheFieldStep() {
    OptionsDialog dialog(choiceWithPause("7"));
    dialog.show();
    QTest::keyClick(dialog.pauseEdit(), Qt::Key_Up);
    QTest::keyClick(dialog.pauseEdit(), Qt::Key_Up);
    QTest::keyClick(dialog.pauseEdit(), Qt::Key_Down);
    QCOMPARE(dialog.pauseEdit()->text(), QStringLiteral("8"));
    QCOMPARE(dialog.pauseSpin()->position(), 8);
  }

  void leavingTheFieldClampsIt() {
    OptionsDialog dialog(choiceWithPause("5"));
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    dialog.pauseEdit()->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return dialog.pauseEdit()->hasFocus(); }, 5000));
    dialog.pauseEdit()->selectAll();
    QTest::keyClicks(dialog.pauseEdit(), QStringLiteral("250x"));  // the letter is refused
    QCOMPARE(dialog.pauseEdit()->text(), QStringLiteral("250"));
    dialog.debugInfoBox()->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return !dialog.pauseEdit()->hasFocus(); }, 5000));
    QCOMPARE(dialog.pauseEdit()->text(), QStringLiteral("100"));
    QCOMPARE(dialog.pauseSpin()->position(), 100);
  }

  void arrowsLeaveTheCheckBoxesAlone() {
    OptionsDialog dialog(choiceWithPause("10"));
    dialog.debugInfoBox()->setChecked(true);
    dialog.tevionBox()->setChecked(true);
    dialog.entryNumberBox()->setChecked(false);
    QTest::mouseClick(dialog.pauseSpin()->upButton(), Qt::LeftButton);
    QVERIFY(dialog.debugInfoBox()->isChecked());
    QVERIFY(dialog.tevionBox()->isChecked());
    QVERIFY(!dialog.entryNumberBox()->isChecked());
    QCOMPARE(dialog.pauseEdit()->text(), QStringLiteral("11"));
  }

  void fatSizeFieldOnlyInManualMode() {
    OptionsDialog dialog(choiceFromSettings(Settings{}));
    QVERIFY(dialog.autoRadio()->isChecked());
    QVERIFY(!dialog.fatSizeEdit()->isEnabled());
    QTest::mouseClick(dialog.manualRadio(), Qt::LeftButton);
    QVERIFY(dialog.fatSizeEdit()->isEnabled());
    QTest::mouseClick(dialog.autoRadio(), Qt::LeftButton);
    QVERIFY(!dialog.fatSizeEdit()->isEnabled());
  }

  void confirmingWithoutChangesLogsNothing() {
    openWindowOn(demoImage().path);
    const QStringList before = logLines(*window_);
    useOptionsOf(*window_, [](OptionsDialog& dialog) {
      QTest::mouseClick(buttonWithText(&dialog, "OK"), Qt::LeftButton);
    });
    QCOMPARE(logLines(*window_), before);
  }

  void cancelAppliesNothing() {
    openWindowOn(demoImage().path);
    const QStringList before = logLines(*window_);
    const std::string folder = app_->settings.pathToHAVs;
    useOptionsOf(*window_, [](OptionsDialog& dialog) {
      dialog.debugInfoBox()->setChecked(true);
      dialog.useRecordDateBox()->setChecked(true);
      QTest::mouseClick(dialog.manualRadio(), Qt::LeftButton);
      dialog.fatSizeEdit()->setText("90");
      dialog.pauseEdit()->setText("50");
      QTest::mouseClick(buttonWithText(&dialog, "Abbrechen"), Qt::LeftButton);
    });
    QCOMPARE(logLines(*window_), before);
    QVERIFY(!app_->settings.debugInfo);
    QVERIFY(!app_->settings.useRecordDate);
    QVERIFY(app_->settings.fatSizeAuto);
    QCOMPARE(app_->settings.fatSizeManuel, 72);
    QCOMPARE(app_->settings.millisecondsPause, 0);
    QCOMPARE(app_->disk->getSizeFileFAT(), 72);
  }

  void okAppliesEveryValue() {
    openWindowOn(demoImage().path);
    useOptionsOf(*window_, [](OptionsDialog& dialog) {
      dialog.debugInfoBox()->setChecked(true);
      dialog.noFileSysCheckBox()->setChecked(true);
      dialog.suppressWarningsBox()->setChecked(false);
      dialog.useRecordDateBox()->setChecked(true);
      dialog.entryNumberBox()->setChecked(false);
      dialog.tevionBox()->setChecked(true);
      dialog.pauseEdit()->setText("42");
      QTest::mouseClick(buttonWithText(&dialog, "OK"), Qt::LeftButton);
    });
    const Settings& settings = app_->settings;
    QVERIFY(settings.debugInfo && settings.noFileSysCheck && settings.useRecordDate);
    QVERIFY(!settings.suppressWarnings && !settings.entryNumberInFileName);
    QVERIFY(settings.tevionPVR8005HDD);
    QCOMPARE(settings.millisecondsPause, 42);
    QVERIFY(settings.fatSizeAuto);
  }

  void manualValueReachesTheDiskAtOnce() {
    DriveTable::usePaths({demoImage().path});
    app_ = std::make_unique<AppState>();
    useTestSettings(*app_, freshFolder());
    app_->settings.fatSizeAuto = false;
    window_ = std::make_unique<MainDialog>(*app_);
    QVERIFY(waitForSearch(*window_));
    QVERIFY(logHasLineStartingWith(*window_,
                                   QString::fromUtf8("  Geschätzter \"File-FAT-Size\"-Wert: ")));
    useOptionsOf(*window_, [](OptionsDialog& dialog) {
      dialog.fatSizeEdit()->setText("80");
      QTest::mouseClick(buttonWithText(&dialog, "OK"), Qt::LeftButton);
    });
    QCOMPARE(logLines(*window_).last(),
             QStringLiteral("Benutze jetzt manuell vorgegebenen \"File-FAT-Size\"-Wert von 80."));
    QCOMPARE(app_->settings.fatSizeManuel, 80);
    QCOMPARE(app_->disk->getSizeFileFAT(), 80);
  }

  void switchToAutomaticDeterminesOnTheDisk() {
    DriveTable::usePaths({demoImage().path});
    app_ = std::make_unique<AppState>();
    useTestSettings(*app_, freshFolder());
    app_->settings.fatSizeAuto = false;
    app_->settings.fatSizeManuel = 60;
    window_ = std::make_unique<MainDialog>(*app_);
    QVERIFY(waitForSearch(*window_));
    QCOMPARE(app_->disk->getSizeFileFAT(), 60);
    useOptionsOf(*window_, [](OptionsDialog& dialog) {
      QTest::mouseClick(dialog.autoRadio(), Qt::LeftButton);
      QTest::mouseClick(buttonWithText(&dialog, "OK"), Qt::LeftButton);
    });
    QCOMPARE(
        logLines(*window_).last(),
        QStringLiteral("Benutze jetzt automatisch ermittelten \"File-FAT-Size\"-Wert von 72."));
    QVERIFY(app_->settings.fatSizeAuto);
  }

  void switchToManualWithDiskUsesTheManualValue() {
    openWindowOn(demoImage().path);
    useOptionsOf(*window_, [](OptionsDialog& dialog) {
      QTest::mouseClick(dialog.manualRadio(), Qt::LeftButton);
      dialog.fatSizeEdit()->setText("64");
      QTest::mouseClick(buttonWithText(&dialog, "OK"), Qt::LeftButton);
    });
    QCOMPARE(logLines(*window_).last(),
             QStringLiteral("Benutze jetzt manuell vorgegebenen \"File-FAT-Size\"-Wert von 64."));
    QCOMPARE(logLines(*window_).count(QStringLiteral(
                 "Benutze jetzt manuell vorgegebenen \"File-FAT-Size\"-Wert von 64.")),
             1);
    QCOMPARE(app_->disk->getSizeFileFAT(), 64);
  }

  void modeSwitchWithoutDiskLogsWithoutNumber() {
    openWindowOn(blankImage());
    QVERIFY(!app_->disk);
    useOptionsOf(*window_, [](OptionsDialog& dialog) {
      QTest::mouseClick(dialog.manualRadio(), Qt::LeftButton);
      QTest::mouseClick(buttonWithText(&dialog, "OK"), Qt::LeftButton);
    });
    QCOMPARE(logLines(*window_).last(),
             QStringLiteral("Benutze jetzt manuell vorgegebenen \"File-FAT-Size\"-Wert von 72."));
    useOptionsOf(*window_, [](OptionsDialog& dialog) {
      QTest::mouseClick(dialog.autoRadio(), Qt::LeftButton);
      QTest::mouseClick(buttonWithText(&dialog, "OK"), Qt::LeftButton);
    });
    QCOMPARE(logLines(*window_).last(),
             QStringLiteral("Benutze jetzt automatisch ermittelten \"File-FAT-Size\"-Wert."));
  }
};

QTEST_MAIN(OptionsDialogTest)
#include "options_dialog_test.moc"
