// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/folder_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace korvelo {

FolderDialog::FolderDialog(QWidget* parent, const QString& title, const QString& start)
    : QFileDialog(parent, title) {
  setFileMode(QFileDialog::Directory);
  setOption(QFileDialog::ShowDirsOnly, true);
  // Qt's own dialog, so that a typed name reaches accept() below on every desktop.
  setOption(QFileDialog::DontUseNativeDialog, true);
  if (!start.isEmpty() && QDir(start).exists()) setDirectory(start);
  if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
    connect(edit, &QLineEdit::textChanged, this, &FolderDialog::enableAcceptForTypedName);
}

QString FolderDialog::choose(QWidget* parent, const QString& title, const QString& start) {
  FolderDialog dialog(parent, title, start);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.chosen();
}

// Connected after the dialog's own handler, so this has the last word: any name typed may
// be accepted, and accept() decides.
void FolderDialog::enableAcceptForTypedName() {
  auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  if (edit == nullptr || buttons == nullptr || edit->text().trimmed().isEmpty()) return;
  for (QAbstractButton* button : buttons->buttons())
    if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) button->setEnabled(true);
}

void FolderDialog::accept() {
  const QStringList files = selectedFiles();
  if (files.isEmpty()) return;
  const QFileInfo folder(files.constFirst());
  if (folder.exists()) {
    if (!folder.isDir()) return;  // a file's name: the dialog stays for another choice
    chosen_ = folder.absoluteFilePath();
    QFileDialog::accept();
    return;
  }
  if (!askToMakeFolder(this, folder.absoluteFilePath())) return;
  chosen_ = folder.absoluteFilePath();
  QDialog::accept();  // Qt's accept() would refuse the name that is not there yet
}

bool askToMakeFolder(QWidget* parent, const QString& folder) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Ordner anlegen"),
                  QString::fromUtf8("Den Ordner \"%1\" gibt es noch nicht.\n"
                                    "Soll er beim Speichern angelegt werden?")
                      .arg(QDir::toNativeSeparators(folder)),
                  QMessageBox::NoButton, parent);
  QPushButton* make = box.addButton(QStringLiteral("Anlegen"), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
  box.setDefaultButton(make);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == make;
}

}  // namespace korvelo
