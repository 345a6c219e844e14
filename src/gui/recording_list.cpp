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

  header()->setStretchLastSection(false);
  sizeColumnWidth_ = fontMetrics().horizontalAdvance(QStringLiteral(" 000.000.000.000 Bytes"));
  fitColumns();
}

namespace {

// The list's tab stops lie at 24, 170 and 226 dialog units; a dialog unit is a quarter
// of the average character width.
int dialogUnits(const QFontMetrics& metrics, int units) {
  return units * metrics.averageCharWidth() / 4;
}

}  // namespace

void RecordingList::fitColumns() {
  const QFontMetrics metrics = fontMetrics();
  const int padding = 2 * metrics.averageCharWidth();
  const int number = std::max(dialogUnits(metrics, 24),
                              metrics.horizontalAdvance(QStringLiteral("00000")) + padding);
  const int size = sizeColumnWidth_ + padding;
  const int rest = viewport()->width() - number - size;
  const int title = std::max(dialogUnits(metrics, 170 - 24), rest * 3 / 5);
  const int second = std::max(dialogUnits(metrics, 226 - 170), rest - title);
  setColumnWidth(0, number);
  setColumnWidth(1, title);
  setColumnWidth(2, second);
  setColumnWidth(3, size);
}

void RecordingList::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  fitColumns();
}

void RecordingList::appendLine(const std::string& line) {
  const QStringList parts = splitAtTabs(QString::fromUtf8(line.data(), qsizetype(line.size())));
  auto* item = new QTreeWidgetItem(this, parts);
  for (int column = 0; column < parts.size(); ++column) item->setToolTip(column, parts[column]);
  if (parts.size() == kColumns) {
    item->setTextAlignment(kColumns - 1, Qt::AlignRight | Qt::AlignVCenter);
    const int width = fontMetrics().horizontalAdvance(parts.last());
    if (width > sizeColumnWidth_) {
      sizeColumnWidth_ = width;
      fitColumns();
    }
  }
}

int RecordingList::selectedLineCount() const {
  // A line counts as selected as soon as its first cell is, as isLineSelected sees it.
  int count = 0;
  for (int index = 0; index < lineCount(); ++index) count += isLineSelected(index) ? 1 : 0;
  return count;
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
