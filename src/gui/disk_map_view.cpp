// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/disk_map_view.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

#include "disk/text.h"

namespace korvelo {
namespace {

constexpr int kCell = 8;

QColor fillOf(const BlockOwnership& ownership, const MapCell& cell) {
  if (cell.kind != CellKind::Owned) return QColor(mapColourOf(cell.kind));
  return QColor(
      mapColourOfEntry(ownership.recordings()[static_cast<size_t>(cell.recording)].entryNumber));
}

QString ownerName(const OwnedRecording& recording) {
  return QString::fromUtf8(textf("Eintrag %d \"%s\"", recording.entryNumber,
                                 latin1ToUtf8(filterPrintable(recording.entry->getTitle())).c_str())
                               .c_str());
}

}  // namespace

DiskMapView::DiskMapView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(400, 200);
  setMouseTracking(true);
}

void DiskMapView::setOwnership(BlockOwnership ownership) {
  ownership_ = std::move(ownership);
  input_.ownership = &ownership_;
  layoutGrid();
  update();
}

void DiskMapView::setHighlighted(std::set<int> recordings) {
  highlighted_ = std::move(recordings);
  update();
}

void DiskMapView::layoutGrid() {
  columns_ = std::max(1, width() / kCell);
  // The grid fills the view and leaves a line below it for the scale.
  const int rows = std::max(1, (height() - fontMetrics().height() - 8) / kCell);
  perCell_ = korvelo::blocksPerCell(ownership_.blockCount(), columns_, rows);
  cells_ = (ownership_.blockCount() + perCell_ - 1) / perCell_;
}

void DiskMapView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutGrid();
}

int64_t DiskMapView::cellAt(QPoint position) const {
  if (position.x() < 0 || position.y() < 0 || position.x() >= columns_ * kCell) return -1;
  const int64_t cell = int64_t{position.y() / kCell} * columns_ + position.x() / kCell;
  return cell < cells_ ? cell : -1;
}

QString DiskMapView::describeAt(QPoint position) const {
  const int64_t cell = cellAt(position);
  if (cell < 0) return {};
  const int64_t first = cell * perCell_;
  const int64_t count = std::min(perCell_, ownership_.blockCount() - first);
  std::set<int> owners;
  for (int64_t block = first; block < first + count; ++block) {
    const uint16_t owner = ownership_.ownerOf(block);
    if (owner < BlockOwnership::kShared) owners.insert(owner);
    if (const auto shared = ownership_.sharedBlocks().find(block);
        shared != ownership_.sharedBlocks().end())
      owners.insert(shared->second.begin(), shared->second.end());
  }
  QString text = QString::fromUtf8(
      textf("Block %lld bis %lld, Sektor %lld bis %lld", static_cast<long long>(first),
            static_cast<long long>(first + count - 1),
            static_cast<long long>(ownership_.blockSector(first)),
            static_cast<long long>(ownership_.blockSector(first + count) - 1))
          .c_str());
  if (owners.empty()) text += QStringLiteral("\nfrei");
  for (int owner : owners)
    text += QStringLiteral("\n") + ownerName(ownership_.recordings()[static_cast<size_t>(owner)]);
  return text;
}

void DiskMapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (input_.ownership == nullptr) return;
  for (int64_t cell = 0; cell < cells_; ++cell) {
    const int64_t first = cell * perCell_;
    const MapCell shown =
        cellFor(input_, first, std::min(perCell_, ownership_.blockCount() - first));
    QColor fill = fillOf(ownership_, shown);
    // With a selection, everything else steps back so that the chosen blocks stand out.
    if (!highlighted_.empty() && shown.kind == CellKind::Owned &&
        !highlighted_.contains(shown.recording))
      fill = fill.lighter(160);
    const int x = static_cast<int>(cell % columns_) * kCell;
    const int y = static_cast<int>(cell / columns_) * kCell;
    painter.fillRect(x, y, kCell - 1, kCell - 1, fill);
  }
  const int rows = static_cast<int>((cells_ + columns_ - 1) / columns_);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(
      0, rows * kCell + fontMetrics().ascent() + 4,
      QString::fromUtf8(textf("1 Feld = %s (%s Sektoren); %s Blöcke, davon %s frei",
                              perCell_ == 1
                                  ? "1 Block"
                                  : textf("%lld Blöcke", static_cast<long long>(perCell_)).c_str(),
                              formatThousands(perCell_ * kSectorsPerBlock, '.').c_str(),
                              formatThousands(ownership_.blockCount(), '.').c_str(),
                              formatThousands(ownership_.freeBlocks(), '.').c_str())
                            .c_str()));
}

bool DiskMapView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = describeAt(help->pos());
    if (text.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), text, this);
    return true;
  }
  return QWidget::event(event);
}

DiskMapDialog::DiskMapDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Belegungsplan"));
  view_ = new DiskMapView(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_);
  resize(820, 600);
}

}  // namespace korvelo
