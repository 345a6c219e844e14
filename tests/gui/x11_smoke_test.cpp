// SPDX-License-Identifier: GPL-3.0-or-later
// The window on a real X server: started, an image opened, one recording saved and the
// screen grabbed. The offscreen tests cover the behaviour; this one catches what only a
// display shows (the platform plugin, mapping the window, painting it). Half-way through
// the save it also grabs the window for the README (korvelo-main-window-x11.png beside
// the offscreen screenshot; docs/korvelo-main-window.png is a copy of it).

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "disk/drive_table.h"
#include "gui/main_dialog.h"
#include "gui/recording_list.h"
#include "gui_test_support.h"

using namespace korvelo;
using namespace korvelo::guitest;

namespace {

bool isOneColour(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != image.pixel(0, 0)) return false;
    }
  }
  return true;
}

}  // namespace

class X11SmokeTest : public QObject {
  Q_OBJECT

 private slots:
  void startOpenSaveAndGrab() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QApplication::setStyle(QStringLiteral("Fusion"));
    DriveTable::usePaths({blankImage()});
    AppState app;
    const std::string folder = freshFolder();
    useTestSettings(app, folder);
    ScriptedChooser chooser;
    chooser.choose(folder);
    MainDialog window(app);
    window.setSaveAsChooser(&chooser);
    window.resize(900, 680);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(waitForSearch(window));

    window.openImage(demoImage().path, {});
    QVERIFY(waitForSearch(window));
    QCOMPARE(window.recordingList()->lineCount(), 5);
    window.recordingList()->setCurrentItem(window.recordingList()->topLevelItem(0), 0,
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QImage halfWay;
    connect(window.readBar(), &QProgressBar::valueChanged, this, [&](int value) {
      if (halfWay.isNull() && value * 2 >= window.readBar()->maximum())
        halfWay = window.grab().toImage();
    });
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    QVERIFY(waitForSaveEnd(window));
    QCOMPARE(fileDifference(folder + "/" + chooser.requests.at(0).proposedName,
                            expectedHavFile(demoImage(), demoImage().disk.recordings.at(0))),
             QString());
    QVERIFY(!halfWay.isNull());
    QVERIFY(halfWay.save(QFileInfo(QStringLiteral(KORVELO_SCREENSHOT_PATH))
                             .dir()
                             .filePath(QStringLiteral("korvelo-main-window-x11.png")),
                         "PNG"));

    // What the X server holds is the whole window as painted, not an empty or black area.
    QCoreApplication::processEvents();
    const QImage screen =
        window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(screen.size(), window.size() * window.devicePixelRatio());
    const QImage painted = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(screen == painted);
    QVERIFY(!isOneColour(screen));
  }

  void cleanupTestCase() { DriveTable::useMachineDisks(); }
};

QTEST_MAIN(X11SmokeTest)
#include "x11_smoke_test.moc"
