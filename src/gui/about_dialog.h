// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Info über Korvelo": name, version, purpose and the address to turn to with questions.

#include <QDialog>
#include <string>

class QLabel;

namespace korvelo {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(const std::string& version, QWidget* parent = nullptr);

  QLabel* versionLabel() const { return version_; }
  // The address as a link that opens in the browser; it can be selected and copied.
  QLabel* addressLabel() const { return address_; }

  // The address shown in the dialog: the project's home page, fixed at build time.
  static QString homepage();

 private:
  QLabel* version_;
  QLabel* address_;
};

}  // namespace korvelo
