// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recording list: one row per list line, the line's tab-separated parts (number,
// title, second text, size) in their columns with the start and the duration between,
// several rows selectable, sortable by any column. Lines are counted in the order they
// were appended, whatever the sort shows, so that line i stays entry i. The columns fit the
// list's width until the user sets a width by hand (or one is restored from the settings).

#include <QTreeWidget>
#include <QVector>
#include <optional>
#include <string>
#include <vector>

#include "recfs/directory_entry.h"

namespace korvelo {

// What the start and duration columns show, and the size to sort by.
struct RowFacts {
  StartTime start;
  uint32_t durationMs = 0;
  uint64_t sizeBytes = 0;
};

class RecordingList : public QTreeWidget {
  Q_OBJECT

 public:
  static constexpr int kColumns = 6;
  static constexpr int kLineParts = 4;  // number, title, second text, size

  explicit RecordingList(QWidget* parent = nullptr);

  // The line's parts, and the start and duration of its entry when it has one.
  void appendLine(const std::string& line, const std::optional<RowFacts>& facts = std::nullopt);
  void clearLines();
  int lineCount() const { return static_cast<int>(lines_.size()); }
  QTreeWidgetItem* lineItem(int index) const;
  int selectedLineCount() const;
  bool isLineSelected(int index) const;
  int caretLine() const;  // -1: none
  // The line's own parts as they stand in the columns.
  QStringList lineParts(int index) const;

  // The widths the user gave the columns; empty while they fit the list's width.
  std::vector<int> userColumnWidths() const;
  // Fixes the columns at these widths (those kept from an earlier run).
  void setUserColumnWidths(const std::vector<int>& widths);
  // The width that shows a column's heading and contents in full.
  int contentWidth(int column) const;
  // The viewport width that shows every column's heading and contents in full.
  int neededWidth() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Number and size as wide as they need; title and second text share the rest, each
  // first as wide as its contents when the rest allows (else 3 : 2), never narrower than
  // the list's tab stops give them.
  void fitColumns();
  // The columns whose width follows from the font alone.
  struct FixedWidths {
    int number, size, start, duration;
  };
  FixedWidths fixedWidths() const;

  int sizeColumnWidth_ = 0;
  bool fitting_ = false;             // the widths being set are the list's own
  bool userSized_ = false;           // a width was set by hand: the columns stay as they are
  QVector<QTreeWidgetItem*> lines_;  // in the order appended; owned by the tree
};

}  // namespace korvelo
