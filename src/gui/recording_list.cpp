#include "gui/recording_list.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <algorithm>

namespace korvelo {

namespace {

// The parts at the first three tabs; a stray later tab stays inside the size part.
QStringList splitAtTabs(const QString& line) {
  QStringList parts;
  qsizetype start = 0;
  for (int column = 0; column < RecordingList::kColumns - 1; ++column) {
    const qsizetype tab = line.indexOf(QLatin1Char('\t'), start);
    if (tab < 0) break;
    parts << line.mid(start, tab - start);
    start = tab + 1;
  }
  parts << line.mid(start);
  return parts;
}

}  // namespace

RecordingList::RecordingList(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(kColumns);
  setHeaderHidden(true);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  // Column edges at the list's tab stops 24, 170 and 226 dialog units (a quarter of
  // the average character width each).
  const int charWidth = fontMetrics().averageCharWidth();
  const auto units = [charWidth](int dialogUnits) { return dialogUnits * charWidth / 4; };
  setColumnWidth(0, std::max(units(24), fontMetrics().horizontalAdvance(QStringLiteral("00000"))));
  setColumnWidth(1, units(170 - 24));
  setColumnWidth(2, units(226 - 170));
  header()->setStretchLastSection(true);
}

void RecordingList::appendLine(const std::string& line) {
  const QStringList parts = splitAtTabs(QString::fromUtf8(line.data(), qsizetype(line.size())));
  auto* item = new QTreeWidgetItem(this, parts);
  for (int column = 0; column < parts.size(); ++column) item->setToolTip(column, parts[column]);
  if (parts.size() == kColumns) item->setTextAlignment(kColumns - 1, Qt::AlignRight | Qt::AlignVCenter);
}

int RecordingList::selectedLineCount() const {
  return static_cast<int>(selectionModel()->selectedRows().size());
}

bool RecordingList::isLineSelected(int index) const {
  const QTreeWidgetItem* item = topLevelItem(index);
  return item != nullptr && item->isSelected();
}

int RecordingList::caretLine() const {
  QTreeWidgetItem* item = currentItem();
  return item == nullptr ? -1 : indexOfTopLevelItem(item);
}

QStringList RecordingList::lineParts(int index) const {
  QStringList parts;
  const QTreeWidgetItem* item = topLevelItem(index);
  if (item == nullptr) return parts;
  for (int column = 0; column < item->columnCount(); ++column) parts << item->text(column);
  return parts;
}

}  // namespace korvelo
