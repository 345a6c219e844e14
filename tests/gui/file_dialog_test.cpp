// The file dialog behind the save-as question: filters, suffix, initial folder and
// proposed name, the chosen path, cancelling.

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
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
    bool confirmsOverwrite = false;
    const SaveAsAnswer answer =
        askWith({"01 Tagesschau.hav", folder, nullptr}, [&](QFileDialog& dialog) {
          filters = dialog.nameFilters().join(QLatin1Char('|'));
          suffix = dialog.defaultSuffix();
          directory = dialog.directory().absolutePath();
          name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
          confirmsOverwrite = !dialog.testOption(QFileDialog::DontConfirmOverwrite);
          dialog.reject();
        });
    QCOMPARE(filters, QStringLiteral("Handan Audio Video (*.hav)|Alle Dateien (*)"));
    QCOMPARE(suffix, QStringLiteral("hav"));
    QCOMPARE(directory, QString::fromStdString(folder));
    QCOMPARE(name, QStringLiteral("01 Tagesschau.hav"));
    QVERIFY(confirmsOverwrite);
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
};

QTEST_MAIN(FileDialogTest)
#include "file_dialog_test.moc"
