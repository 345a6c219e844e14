#include "gui/file_dialog_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace korvelo {

QWidget* FileDialogChooser::parentWidget(const void* parent) {
  // The main window hands itself over as a QWidget pointer; nothing else is passed.
  return static_cast<QWidget*>(const_cast<void*>(parent));
}

QStringList FileDialogChooser::nameFilters() {
  return {QStringLiteral("Handan Audio Video (*.hav)"), QStringLiteral("Alle Dateien (*)")};
}

SaveAsAnswer FileDialogChooser::chooseSaveAs(const SaveAsRequest& request) {
  QFileDialog dialog(parentWidget(request.parent));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(nameFilters());
  dialog.setDefaultSuffix(QStringLiteral("hav"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  const QString folder = QString::fromStdString(request.initialFolder);
  if (!folder.isEmpty() && QDir(folder).exists()) dialog.setDirectory(folder);
  dialog.selectFile(QString::fromStdString(request.proposedName));

  SaveAsAnswer answer;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    answer.kind = SaveAsAnswer::Kind::Cancelled;
    return answer;
  }
  answer.kind = SaveAsAnswer::Kind::Chosen;
  answer.path = QDir::toNativeSeparators(dialog.selectedFiles().constFirst()).toStdString();
  return answer;
}

}  // namespace korvelo
