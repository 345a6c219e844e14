// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/log_view.h"

#include <QScrollBar>
#include <string>

namespace korvelo {

namespace {

// The piece without its closing CR LF and with the CR LF pairs inside made paragraph breaks.
QString linesOf(std::string_view piece) {
  if (piece.size() >= 2 && piece.substr(piece.size() - 2) == "\r\n") {
    piece.remove_suffix(2);
  }
  std::string lines;
  lines.reserve(piece.size());
  for (std::size_t i = 0; i < piece.size(); ++i) {
    if (piece[i] == '\r' && i + 1 < piece.size() && piece[i + 1] == '\n') continue;
    lines.push_back(piece[i]);
  }
  return QString::fromUtf8(lines.data(), static_cast<qsizetype>(lines.size()));
}

}  // namespace

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  // Long lines (a path, the advice for a failing disk) wrap at the control's edge: a
  // horizontal scroll bar would hide their end, where the advice stands.
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setUndoRedoEnabled(false);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void LogView::appendPiece(std::string_view piece) {
  if (piece.empty()) return;
  // Every block of the document is one log line: the first entry fills the empty first
  // block, each later one opens a new block, so an empty entry shows as an empty line.
  appendPlainText(linesOf(piece));
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->maximum());
}

}  // namespace korvelo
