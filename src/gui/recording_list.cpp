// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/recording_list.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <algorithm>

#include "gui/list_item.h"

namespace korvelo {

namespace {

// The parts at the first three tabs; a stray later tab stays inside the size part.
QStringList splitAtTabs(const QString& line) {
  QStringList parts;
  qsizetype start = 0;
  for (int column = 0; column < RecordingList::kLineParts - 1; ++column) {
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
  setHeaderLabels({QStringLiteral("Nr."), QStringLiteral("Titel"), QStringLiteral("Sender"),
                   QStringLiteral("Beginn"), QStringLiteral("Dauer"), QString::fromUtf8("Größe")});
  // The list starts in the disk's order; QHeaderView would begin descending.
  header()->setSortIndicator(0, Qt::AscendingOrder);
  setSortingEnabled(true);
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
  connect(header(), &QHeaderView::sectionResized, this, [this] {
    if (!fitting_) userSized_ = true;
  });
}

namespace {

// The list's tab stops lie at 24, 170 and 226 dialog units; a dialog unit is a quarter
// of the average character width.
int dialogUnits(const QFontMetrics& metrics, int units) {
  return units * metrics.averageCharWidth() / 4;
}

}  // namespace

RecordingList::FixedWidths RecordingList::fixedWidths() const {
  const QFontMetrics metrics = fontMetrics();
  const int padding = 2 * metrics.averageCharWidth();
  FixedWidths widths;
  widths.number = std::max(dialogUnits(metrics, 24),
                           metrics.horizontalAdvance(QStringLiteral("00000")) + padding);
  widths.size = sizeColumnWidth_ + padding;
  widths.start = metrics.horizontalAdvance(QStringLiteral("00.00.0000 00:00")) + padding;
  widths.duration = metrics.horizontalAdvance(QStringLiteral("0:00:00")) + padding;
  return widths;
}

void RecordingList::fitColumns() {
  if (userSized_) return;
  fitting_ = true;
  const QFontMetrics metrics = fontMetrics();
  const auto [number, size, start, duration] = fixedWidths();
  const int rest = viewport()->width() - number - size - start - duration;
  const int titleNeed = lineCount() > 0 ? contentWidth(1) : 0;
  const int secondNeed = lineCount() > 0 ? contentWidth(2) : 0;
  const int spare = rest - titleNeed - secondNeed;
  const int shared = spare >= 0 ? titleNeed + spare * 3 / 5 : rest * 3 / 5;
  const int title = std::max(dialogUnits(metrics, 170 - 24), shared);
  const int second = std::max(dialogUnits(metrics, 226 - 170), rest - title);
  setColumnWidth(0, number);
  setColumnWidth(1, title);
  setColumnWidth(2, second);
  setColumnWidth(3, start);
  setColumnWidth(4, duration);
  setColumnWidth(5, size);
  fitting_ = false;
}

std::vector<int> RecordingList::userColumnWidths() const {
  std::vector<int> widths;
  if (!userSized_) return widths;
  for (int column = 0; column < kColumns; ++column) widths.push_back(columnWidth(column));
  return widths;
}

void RecordingList::setUserColumnWidths(const std::vector<int>& widths) {
  if (widths.size() != static_cast<size_t>(kColumns)) return;
  for (int column = 0; column < kColumns; ++column)
    setColumnWidth(column, std::max(widths[static_cast<size_t>(column)], 8));
  userSized_ = true;
}

int RecordingList::contentWidth(int column) const {
  return std::max(sizeHintForColumn(column), header()->sectionSizeHint(column));
}

int RecordingList::neededWidth() const {
  const FixedWidths fixed = fixedWidths();
  return fixed.number + fixed.size + fixed.start + fixed.duration + contentWidth(1) +
         contentWidth(2);
}

void RecordingList::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  fitColumns();
}

void RecordingList::appendLine(const std::string& line, const std::optional<RowFacts>& facts) {
  const QStringList parts = splitAtTabs(QString::fromUtf8(line.data(), qsizetype(line.size())));
  auto* item = new ListItem;
  const int columns[kLineParts] = {0, 1, 2, kColumns - 1};
  for (int part = 0; part < parts.size(); ++part) {
    item->setText(columns[part], parts[part]);
    item->setToolTip(columns[part], parts[part]);
  }
  item->setSortKey(0, lineCount());
  if (facts) {
    const StartTime& start = facts->start;
    item->setText(3, QStringLiteral("%1.%2.%3 %4:%5")
                         .arg(start.day, 2, 10, QChar('0'))
                         .arg(start.month, 2, 10, QChar('0'))
                         .arg(start.year)
                         .arg(start.hour, 2, 10, QChar('0'))
                         .arg(start.minute, 2, 10, QChar('0')));
    item->setSortKey(3, ((start.year * 100 + start.month) * 100 + start.day) * 10000LL +
                            start.hour * 100 + start.minute);
    const qint64 seconds = facts->durationMs / 1000;
    item->setText(4, QStringLiteral("%1:%2:%3")
                         .arg(seconds / 3600)
                         .arg(seconds / 60 % 60, 2, 10, QChar('0'))
                         .arg(seconds % 60, 2, 10, QChar('0')));
    item->setSortKey(4, facts->durationMs);
    item->setSortKey(kColumns - 1, static_cast<qlonglong>(facts->sizeBytes));
  }
  lines_.push_back(item);
  addTopLevelItem(item);
  if (parts.size() == kLineParts) {
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

void RecordingList::clearLines() {
  lines_.clear();
  clear();
}

QTreeWidgetItem* RecordingList::lineItem(int index) const {
  return index >= 0 && index < lineCount() ? lines_[index] : nullptr;
}

bool RecordingList::isLineSelected(int index) const {
  const QTreeWidgetItem* item = lineItem(index);
  return item != nullptr && item->isSelected();
}

int RecordingList::caretLine() const {
  QTreeWidgetItem* item = currentItem();
  return item == nullptr ? -1 : static_cast<int>(lines_.indexOf(item));
}

QStringList RecordingList::lineParts(int index) const {
  QStringList parts;
  const QTreeWidgetItem* item = lineItem(index);
  if (item == nullptr) return parts;
  for (const int column : {0, 1, 2, kColumns - 1}) parts << item->text(column);
  return parts;
}

}  // namespace korvelo
