// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A list row that sorts by a number where a column has one (sizes, dates, durations
// written for people do not sort as text) and by its text elsewhere.

#include <QTreeWidgetItem>

namespace korvelo {

class ListItem : public QTreeWidgetItem {
 public:
  void setSortKey(int column, qlonglong key) { setData(column, kSortKeyRole, key); }
  bool operator<(const QTreeWidgetItem& other) const override;

 private:
  static constexpr int kSortKeyRole = Qt::UserRole + 1;
};

}  // namespace korvelo
