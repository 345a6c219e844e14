// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/file_dialog_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "gui/folder_dialog.h"

namespace korvelo {

QWidget* FileDialogChooser::parentWidget(const void* parent) {
  // The main window hands itself over as a QWidget pointer; nothing else is passed.
  return static_cast<QWidget*>(const_cast<void*>(parent));
}

QStringList FileDialogChooser::nameFilters() {
  return {QStringLiteral("Handan Audio Video (*.hav)"), QStringLiteral("Alle Dateien (*)")};
}

namespace {

SaveAsAnswer cancelled() {
  SaveAsAnswer answer;
  answer.kind = SaveAsAnswer::Kind::Cancelled;
  return answer;
}

}  // namespace

SaveAsAnswer FileDialogChooser::chooseSaveAs(const SaveAsRequest& request) {
  QFileDialog dialog(parentWidget(request.parent));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(nameFilters());
  dialog.setDefaultSuffix(QStringLiteral("hav"));
  // An existing target is asked about below, with continuing it as a third way.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  const QString folder = QString::fromStdString(request.initialFolder);
  if (!folder.isEmpty() && QDir(folder).exists()) dialog.setDirectory(folder);
  dialog.selectFile(QString::fromStdString(request.proposedName));

  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return cancelled();
  SaveAsAnswer answer;
  const QString chosen = dialog.selectedFiles().constFirst();
  answer.kind = SaveAsAnswer::Kind::Chosen;
  answer.path = QDir::toNativeSeparators(chosen).toStdString();
  const QFileInfo existing(chosen);
  if (!existing.dir().exists()) {
    // Typed into the name; the save makes the folder, once the user has said so.
    if (!askToMakeFolder(parentWidget(request.parent), existing.absolutePath())) return cancelled();
    return answer;
  }
  if (!existing.exists()) return answer;
  return askAboutExisting(parentWidget(request.parent), existing, answer);
}

// The export job continues a file only when its head, entry image and last whole HOJIN
// prove it to be this recording's, and logs why not otherwise; so continuing is offered
// for any file that is there and not empty.
SaveAsAnswer FileDialogChooser::askAboutExisting(QWidget* parent, const QFileInfo& existing,
                                                 SaveAsAnswer answer) {
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Question);
  box.setWindowTitle(QStringLiteral("Speichern unter"));
  QPushButton* resume = nullptr;
  if (existing.size() > 0) {
    box.setText(QString::fromUtf8("\"%1\" gibt es schon.\nEin unvollständig gespeicherter "
                                  "Film kann fortgesetzt werden; sonst wird die Datei ersetzt.")
                    .arg(existing.fileName()));
    resume = box.addButton(QStringLiteral("Fortsetzen"), QMessageBox::AcceptRole);
  } else {
    box.setText(QString::fromUtf8("\"%1\" gibt es schon. Soll die Datei ersetzt werden?")
                    .arg(existing.fileName()));
  }
  QPushButton* replace =
      box.addButton(QString::fromUtf8("Überschreiben"), QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
  box.setDefaultButton(resume != nullptr ? resume : cancel);
  box.setEscapeButton(cancel);
  box.exec();
  if (resume != nullptr && box.clickedButton() == resume) {
    answer.resume = true;
  } else if (box.clickedButton() != replace) {
    answer.kind = SaveAsAnswer::Kind::Cancelled;
    answer.path.clear();
  }
  return answer;
}

}  // namespace korvelo
