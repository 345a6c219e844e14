// SPDX-License-Identifier: GPL-3.0-or-later
// The file dialog behind the save-as question: filters, suffix, initial folder and
// proposed name, the chosen path, cancelling, and continuing or replacing an existing file.

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "gui/file_dialog_chooser.h"
#include "gui_test_support.h"

using namespace korvelo;
using namespace korvelo::guitest;

namespace {

// Asks the chooser; `use` works the dialog while it is open and ends it.
SaveAsAnswer askWith(const SaveAsRequest& request, std::function<void(QFileDialog&)> use) {
  QTimer::singleShot(0, [use] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog != nullptr) use(*dialog);
  });
  FileDialogChooser chooser;
  return chooser.chooseSaveAs(request);
}

}  // namespace

class FileDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void offersHavFilesInTheFolderWithTheProposedName() {
    const std::string folder = freshFolder();
    QString filters, suffix, directory, name;
    bool confirmsOverwrite = true;
    const SaveAsAnswer answer =
        askWith({"01 Tagesschau.hav", folder, nullptr}, [&](QFileDialog& dialog) {
          filters = dialog.nameFilters().join(QLatin1Char('|'));
          suffix = dialog.defaultSuffix();
          directory = dialog.directory().absolutePath();
          name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
          // The chooser asks itself, with continuing as a third way.
          confirmsOverwrite = !dialog.testOption(QFileDialog::DontConfirmOverwrite);
          dialog.reject();
        });
    QCOMPARE(filters, QStringLiteral("Handan Audio Video (*.hav)|Alle Dateien (*)"));
    QCOMPARE(suffix, QStringLiteral("hav"));
    QCOMPARE(directory, QString::fromStdString(folder));
    QCOMPARE(name, QStringLiteral("01 Tagesschau.hav"));
    QVERIFY(!confirmsOverwrite);
    QVERIFY(answer.kind == SaveAsAnswer::Kind::Cancelled);
    QVERIFY(answer.path.empty());
  }

  void aNameWithoutSuffixGetsHav() {
    const std::string folder = freshFolder();
    const SaveAsAnswer answer = askWith({"02 Film.hav", folder, nullptr}, [](QFileDialog& dialog) {
      dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
          ->setText(QStringLiteral("Abendfilm"));
      QMetaObject::invokeMethod(&dialog, "accept");  // as the Save button does
    });
    QVERIFY(answer.kind == SaveAsAnswer::Kind::Chosen);
    QCOMPARE(QString::fromStdString(answer.path),
             QString::fromStdString(folder + "/Abendfilm.hav"));
  }

  void anExistingFileIsContinuedReplacedOrLeft_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<bool>("resume");
    const QStringList all{"Fortsetzen", QString::fromUtf8("Überschreiben"), "Abbrechen"};
    const QStringList noResume{QString::fromUtf8("Überschreiben"), "Abbrechen"};
    QTest::newRow("continue") << QByteArray("HAV") << "Fortsetzen" << all << true << true;
    QTest::newRow("replace") << QByteArray("HAV") << QString::fromUtf8("Überschreiben") << all
                             << true << false;
    QTest::newRow("cancel") << QByteArray("HAV") << "Abbrechen" << all << false << false;
    QTest::newRow("empty file") << QByteArray() << QString::fromUtf8("Überschreiben") << noResume
                                << true << false;
  }
  void anExistingFileIsContinuedReplacedOrLeft() {
    QFETCH(QByteArray, content);
    QFETCH(QString, button);
    QFETCH(QStringList, offered);
    QFETCH(bool, chosen);
    QFETCH(bool, resume);
    const std::string folder = freshFolder();
    QFile file(QString::fromStdString(folder + "/01 Tagesschau.hav"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QStringList buttons;
    const SaveAsAnswer answer =
        askWith({"01 Tagesschau.hav", folder, nullptr}, [&](QFileDialog& dialog) {
          QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            for (QAbstractButton* each : box->buttons()) buttons << each->text();
            for (QAbstractButton* each : box->buttons())
              if (each->text() == button) each->click();
          });
          QMetaObject::invokeMethod(&dialog, "accept");
        });
    QCOMPARE(buttons.size(), offered.size());
    for (const QString& each : offered) QVERIFY2(buttons.contains(each), qPrintable(each));
    QCOMPARE(answer.kind == SaveAsAnswer::Kind::Chosen, chosen);
    QCOMPARE(answer.resume, resume);
    QCOMPARE(answer.path, chosen ? folder + "/01 Tagesschau.hav" : std::string());
  }
};

QTEST_MAIN(FileDialogTest)
#include "file_dialog_test.moc"
