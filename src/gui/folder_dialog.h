// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's folder dialog, but a folder typed that does not exist yet is taken after
// one question: the save makes it, as the command line makes its -o folder. Qt's own
// folder dialog refuses such a name and leaves its accept button grey.

#include <QFileDialog>
#include <QString>

namespace korvelo {

class FolderDialog : public QFileDialog {
  Q_OBJECT

 public:
  FolderDialog(QWidget* parent, const QString& title, const QString& start);

  // The folder chosen, absolute; empty when the user cancelled.
  static QString choose(QWidget* parent, const QString& title, const QString& start);
  // The folder accepted, absolute; empty before accept.
  const QString& chosen() const { return chosen_; }

 public slots:
  void accept() override;

 private:
  void enableAcceptForTypedName();

  QString chosen_;
};

// Whether the user wants the missing folder `folder` made: one question, "Anlegen" or
// "Abbrechen".
bool askToMakeFolder(QWidget* parent, const QString& folder);

}  // namespace korvelo
