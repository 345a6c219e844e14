// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/list_item.h"

namespace korvelo {

bool ListItem::operator<(const QTreeWidgetItem& other) const {
  const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
  const QVariant mine = data(column, kSortKeyRole);
  const QVariant theirs = other.data(column, kSortKeyRole);
  if (mine.isValid() && theirs.isValid()) return mine.toLongLong() < theirs.toLongLong();
  return QString::localeAwareCompare(text(column), other.text(column)) < 0;
}

}  // namespace korvelo
