// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recording list: one row per list line, the line's tab-separated parts (number,
// title, second text, size) in their columns with the start and the duration between,
// several rows selectable, sortable by any column. Lines are counted in the order they
// were appended, whatever the sort shows, so that line i stays entry i.

#include <QTreeWidget>
#include <QVector>
#include <string>

#include "recfs/directory_entry.h"

namespace korvelo {

class RecordingList : public QTreeWidget {
  Q_OBJECT

 public:
  static constexpr int kColumns = 6;
  static constexpr int kLineParts = 4;  // number, title, second text, size

  explicit RecordingList(QWidget* parent = nullptr);

  // The line's parts, and the start and duration of its entry when it has one.
  void appendLine(const std::string& line, const DirectoryEntry* entry = nullptr);
  void clearLines();
  int lineCount() const { return static_cast<int>(lines_.size()); }
  QTreeWidgetItem* lineItem(int index) const;
  int selectedLineCount() const;
  bool isLineSelected(int index) const;
  int caretLine() const;  // -1: none
  // The line's own parts as they stand in the columns.
  QStringList lineParts(int index) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Number and size as wide as they need; title and second text share the rest 3 : 2,
  // never narrower than the list's tab stops give them.
  void fitColumns();

  int sizeColumnWidth_ = 0;
  QVector<QTreeWidgetItem*> lines_;  // in the order appended; owned by the tree
};

}  // namespace korvelo
