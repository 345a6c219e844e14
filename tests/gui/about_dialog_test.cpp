// SPDX-License-Identifier: GPL-3.0-or-later
// The About dialog: its texts, the address as a link, one modeless window reused from the
// menu, and a new modal one from "Inf&o über Korvelo...".

#include "gui/about_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "disk/drive_table.h"
#include "gui/main_dialog.h"
#include "gui_test_support.h"

using namespace korvelo;
using namespace korvelo::guitest;

class AboutDialogTest : public QObject {
  Q_OBJECT

 public slots:
  // Stands in for the browser.
  void openUrl(const QUrl& url) { opened_ = url; }

 private:
  QUrl opened_;
  std::unique_ptr<AppState> app_;
  std::unique_ptr<MainDialog> window_;

 private slots:
  void init() {
    DriveTable::usePaths({blankImage()});
    app_ = std::make_unique<AppState>();
    useTestSettings(*app_, freshFolder());
    window_ = std::make_unique<MainDialog>(*app_);
    window_->show();
    QVERIFY(waitForSearch(*window_));
  }

  void cleanup() {
    window_.reset();
    app_.reset();
    DriveTable::useMachineDisks();
  }

  void showsNameVersionPurposeAndAddress() {
    AboutDialog dialog("1.30");
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Info über Korvelo"));
    QCOMPARE(dialog.versionLabel()->text(), QStringLiteral("Korvelo Version 1.30"));
    QStringList texts;
    for (QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
    QVERIFY(texts.contains(QString::fromUtf8(
        "Lizenz: GPL-3.0-or-later (GNU General Public License, Version 3 oder später); ohne jede "
        "Gewährleistung.")));
    QVERIFY(texts.contains(QString::fromUtf8(
        "Dieses Programm dient dazu, Aufzeichnungen (Filme) von einer aus einem Finepass "
        "FSR-5000 TDR stammende Festplatte auszulesen. ")));
    QVERIFY(texts.contains(QString::fromUtf8("Besuchen sie dazu oder für Fragen: ")));
    QVERIFY(texts.contains(QString::fromUtf8(
        "Eine .hav-Datei enthält einen Kopf von 88 Bytes, das 1536 Bytes große Abbild des "
        "Verzeichniseintrags und danach die Hojins des Receivers unverändert; ob sie noch so ist "
        "wie gespeichert, prüft \"korvelo-cli verify\" mit ihrer SHA-256-Summe aus dem "
        "Manifest.")));
  }

  // Shown whole, opened in the browser by a click, selected and copied but never edited.
  void addressIsWholeLinkThatCanBeCopied() {
    AboutDialog dialog("1.30");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLabel* address = dialog.addressLabel();
    const QString homepage = QStringLiteral(KORVELO_HOMEPAGE);
    QVERIFY(address->contentsRect().width() >= address->fontMetrics().horizontalAdvance(homepage));
    address->setFocus();
    QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(address, QStringLiteral("xyz"));
    QCOMPARE(address->selectedText(), homepage);
    QTest::keyClick(address, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), homepage);

    const QString scheme = QUrl(homepage).scheme();
    QDesktopServices::setUrlHandler(scheme, this, "openUrl");
    QTest::mouseClick(address, Qt::LeftButton, {},
                      QPoint(address->contentsRect().left() + 5, address->height() / 2));
    QDesktopServices::unsetUrlHandler(scheme);
    QCOMPARE(opened_, QUrl(homepage));
  }

  void menuCommandReusesOneModelessWindow() {
    window_->aboutAction()->trigger();
    AboutDialog* first = window_->modelessAbout();
    QVERIFY(first != nullptr);
    QVERIFY(first->isVisible());
    QVERIFY(!first->isModal());
    QTest::mouseClick(first->findChild<QPushButton*>(), Qt::LeftButton);  // "OK" hides it
    QVERIFY(!first->isVisible());
    window_->aboutAction()->trigger();
    window_->aboutAction()->trigger();
    QCOMPARE(window_->modelessAbout(), first);
    QVERIFY(first->isVisible());
    QCOMPARE(window_->findChildren<AboutDialog*>().size(), 1);
  }

  void infoEntryOpensANewModalDialog() {
    window_->aboutAction()->trigger();
    AboutDialog* modeless = window_->modelessAbout();
    AboutDialog* seen = nullptr;
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
      seen = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
      if (seen == nullptr) return;
      wasModal = seen->isModal();
      QTest::mouseClick(seen->findChild<QPushButton*>(), Qt::LeftButton);
    });
    window_->infoAction()->trigger();
    QVERIFY(seen != nullptr);
    QVERIFY(seen != modeless);
    QVERIFY(wasModal);
    // Made for this use only: the modeless one is the only About window left.
    QCOMPARE(window_->findChildren<AboutDialog*>().size(), 1);
  }
};

QTEST_MAIN(AboutDialogTest)
#include "about_dialog_test.moc"
