// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The log control: read-only, grows by the new lines only, wraps long lines at its width,
// and keeps the last lines in view after every entry.

#include <QPlainTextEdit>
#include <string_view>

namespace korvelo {

class LogView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit LogView(QWidget* parent = nullptr);

  // Takes one piece as the log hands it on: one or more lines, each closed by CR LF.
  void appendPiece(std::string_view piece);
};

}  // namespace korvelo
