// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/disk_map_view.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QShortcut>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

#include "disk/text.h"

namespace korvelo {
namespace {

constexpr int kCell = 8;
constexpr int kMostZoom = 64;

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

void DiskMapView::setZoom(int zoom) {
  zoom_ = std::clamp(zoom, 1, kMostZoom);
  layoutGrid();
  update();
}

void DiskMapView::layoutGrid() {
  columns_ = std::max(1, width() / kCell);
  // Unzoomed, the grid fills the visible part (the scroll area's, when in one) and leaves a
  // line below it for the scale; zoomed, it grows taller than that.
  const int textHeight = fontMetrics().height() + 8;
  const int visible = parentWidget() != nullptr ? parentWidget()->height() : height();
  const int rows = std::max(1, (visible - textHeight) / kCell);
  perCell_ =
      std::max<int64_t>(1, korvelo::blocksPerCell(ownership_.blockCount(), columns_, rows) / zoom_);
  cells_ = (ownership_.blockCount() + perCell_ - 1) / perCell_;
  const int64_t gridRows = (cells_ + columns_ - 1) / columns_;
  setMinimumHeight(static_cast<int>(std::min<int64_t>(gridRows * kCell + textHeight, 1 << 20)));
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
  auto* scroll = new QScrollArea(this);
  view_ = new DiskMapView;
  view_->setMinimumSize(200, 100);
  scroll->setWidget(view_);
  scroll->setWidgetResizable(true);
  legend_ = new QListWidget(this);
  legend_->setMaximumWidth(280);
  zoomText_ = new QLabel(this);
  auto* zoomOutButton = new QToolButton(this);
  zoomOutButton->setText(QString::fromUtf8("−"));
  zoomOutButton->setToolTip(QStringLiteral("Verkleinern (Strg+-)"));
  auto* zoomInButton = new QToolButton(this);
  zoomInButton->setText(QStringLiteral("+"));
  zoomInButton->setToolTip(QString::fromUtf8("Vergrößern (Strg++)"));
  connect(zoomOutButton, &QToolButton::clicked, this, &DiskMapDialog::zoomOut);
  connect(zoomInButton, &QToolButton::clicked, this, &DiskMapDialog::zoomIn);
  new QShortcut(QKeySequence::ZoomIn, this, this, &DiskMapDialog::zoomIn);
  new QShortcut(QKeySequence::ZoomOut, this, this, &DiskMapDialog::zoomOut);

  auto* zoomRow = new QHBoxLayout;
  zoomRow->addWidget(zoomOutButton);
  zoomRow->addWidget(zoomText_, 1, Qt::AlignCenter);
  zoomRow->addWidget(zoomInButton);
  auto* side = new QVBoxLayout;
  side->addWidget(legend_, 1);
  side->addLayout(zoomRow);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(scroll, 1);
  layout->addLayout(side);
  showZoom();
  resize(1000, 600);
}

namespace {

QListWidgetItem* legendItem(const char* colour, const QString& text) {
  QPixmap swatch(12, 12);
  swatch.fill(QColor(colour));
  auto* item = new QListWidgetItem(QIcon(swatch), text);
  item->setToolTip(text);
  return item;
}

}  // namespace

// Every recording in the list with its colour (the list scrolls), then the other kinds of cell.
void DiskMapDialog::showOwnership(BlockOwnership ownership) {
  view_->setOwnership(std::move(ownership));
  legend_->clear();
  for (const OwnedRecording& recording : view_->ownership().recordings())
    legend_->addItem(legendItem(mapColourOfEntry(recording.entryNumber), ownerName(recording)));
  legend_->addItem(legendItem(mapColourOf(CellKind::Free), QStringLiteral("frei")));
  legend_->addItem(legendItem(mapColourOf(CellKind::CrossLinked),
                              QString::fromUtf8("mehreren Aufnahmen zugeordnet")));
  legend_->addItem(
      legendItem(mapColourOf(CellKind::Unread), QStringLiteral("laut Mapdatei nicht gelesen")));
}

void DiskMapDialog::zoomIn() {
  view_->setZoom(view_->zoom() * 2);
  showZoom();
}

void DiskMapDialog::zoomOut() {
  view_->setZoom(view_->zoom() / 2);
  showZoom();
}

void DiskMapDialog::showZoom() {
  zoomText_->setText(QString::fromUtf8("Zoom %1×").arg(view_->zoom()));
}

}  // namespace korvelo
