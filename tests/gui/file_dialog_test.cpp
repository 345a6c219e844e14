// SPDX-License-Identifier: GPL-3.0-or-later
// The file dialog behind the save-as question: filters, suffix, initial folder and
// proposed name, the chosen path, cancelling, and continuing or replacing an existing file;
// the folder dialog; a folder typed in either that does not exist yet.

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "gui/file_dialog_chooser.h"
#include "gui/folder_dialog.h"
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

// The message box answered by answerNextBox: its text, and whether to stop looking.
struct BoxWatch {
  QString text;
  bool stop = false;
};

// Clicks `button` (or, when it has none such, the escape button) in the next message box
// that opens before watch->stop is set, and notes the box's text.
void answerNextBox(const QString& button, std::shared_ptr<BoxWatch> watch) {
  QTimer::singleShot(10, [button, watch] {
    if (watch->stop) return;
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return answerNextBox(button, watch);
    watch->text = box->text();
    for (QAbstractButton* each : box->buttons())
      if (each->text() == button) return each->click();
    box->escapeButton()->click();
  });
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

  // A folder typed that is not there yet is taken after one question ("Anlegen"), and left
  // to the save to make; "Abbrechen" keeps the dialog open (the folder dialog) or ends the
  // question (the save-as dialog). A folder that is there is taken without a question.
  void aFolderTypedThatIsNotThereIsTakenAfterAsking_data() {
    QTest::addColumn<bool>("folderDialog");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("button");  // empty: no question expected
    QTest::addColumn<QString>("chosen");  // relative to the start folder; empty: none
    QTest::newRow("folder dialog, new folder") << true << "Neu/Filme"
                                               << "Anlegen"
                                               << "Neu/Filme";
    QTest::newRow("folder dialog, not made") << true << "Neu"
                                             << "Abbrechen"
                                             << "";
    QTest::newRow("folder dialog, folder there") << true << "da"
                                                 << ""
                                                 << "da";
    QTest::newRow("save-as, new folder") << false << "Neu/Film.hav"
                                         << "Anlegen"
                                         << "Neu/Film.hav";
    QTest::newRow("save-as, not made") << false << "Neu/Film.hav"
                                       << "Abbrechen"
                                       << "";
    QTest::newRow("save-as, folder there") << false << "da/Film.hav"
                                           << ""
                                           << "da/Film.hav";
  }
  void aFolderTypedThatIsNotThereIsTakenAfterAsking() {
    QFETCH(bool, folderDialog);
    QFETCH(QString, typed);
    QFETCH(QString, button);
    QFETCH(QString, chosen);
    const QString start = QString::fromStdString(freshFolder());
    QVERIFY(QDir(start).mkdir(QStringLiteral("da")));
    auto question = std::make_shared<BoxWatch>();
    bool acceptEnabled = false, stillOpen = false;
    auto use = [&](QFileDialog& dialog) {
      auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      edit->clear();
      QTest::keyClicks(edit, typed);
      for (QAbstractButton* each : dialog.findChild<QDialogButtonBox*>()->buttons())
        if (dialog.findChild<QDialogButtonBox*>()->buttonRole(each) == QDialogButtonBox::AcceptRole)
          acceptEnabled = each->isEnabled();
      answerNextBox(button, question);
      QMetaObject::invokeMethod(&dialog, "accept");
      stillOpen = dialog.isVisible();
      if (stillOpen) dialog.reject();
    };
    QString answer;
    if (folderDialog) {
      QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
          use(*dialog);
      });
      answer = FolderDialog::choose(nullptr, QStringLiteral("Ordner"), start);
      QCOMPARE(stillOpen, chosen.isEmpty());
    } else {
      answer = QString::fromStdString(askWith({"x.hav", start.toStdString(), nullptr}, use).path);
    }
    question->stop = true;
    QVERIFY(acceptEnabled);
    QCOMPARE(answer, chosen.isEmpty() ? QString() : start + "/" + chosen);
    const QString missing =
        start + "/" + typed.section(QLatin1Char('/'), 0, folderDialog ? -1 : -2);
    QCOMPARE(question->text, button.isEmpty()
                                 ? QString()
                                 : QString::fromUtf8("Den Ordner \"%1\" gibt es noch nicht.\n"
                                                     "Soll er beim Speichern angelegt werden?")
                                       .arg(missing));
    QVERIFY(!QFileInfo::exists(start + "/Neu"));  // the save makes it, not the dialog
  }
};

QTEST_MAIN(FileDialogTest)
#include "file_dialog_test.moc"
