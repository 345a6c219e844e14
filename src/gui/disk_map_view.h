// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Belegungsplan": the data area drawn live from the block-ownership model, as the SVG
// map draws it, with the selected recordings' blocks highlighted and each cell's owners
// and sector range shown when the mouse rests on it.

#include <QDialog>
#include <QWidget>
#include <set>

class QLabel;
class QListWidget;

#include "app/disk_map_svg.h"
#include "recfs/block_ownership.h"

namespace korvelo {

class DiskMapView : public QWidget {
  Q_OBJECT

 public:
  explicit DiskMapView(QWidget* parent = nullptr);

  // Takes the model; the view draws nothing until it has one.
  void setOwnership(BlockOwnership ownership);
  // Recordings (indices into the model's list) whose blocks stand out.
  void setHighlighted(std::set<int> recordings);
  // The text the tooltip of the cell at `position` shows; empty outside the grid.
  QString describeAt(QPoint position) const;
  int64_t blocksPerCell() const { return perCell_; }
  // 1: the whole area fits the visible part; 2, 4 ... 64: each step halves the blocks per
  // cell (the view grows taller, to be scrolled).
  void setZoom(int zoom);
  int zoom() const { return zoom_; }
  const BlockOwnership& ownership() const { return ownership_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void layoutGrid();
  int64_t cellAt(QPoint position) const;  // -1: none

  BlockOwnership ownership_;
  DiskMapInput input_;
  std::set<int> highlighted_;
  int columns_ = 1;
  int64_t perCell_ = 1;
  int64_t cells_ = 0;
  int zoom_ = 1;
};

// The modeless window around the view, opened from the menu.
class DiskMapDialog : public QDialog {
  Q_OBJECT

 public:
  explicit DiskMapDialog(QWidget* parent = nullptr);
  DiskMapView* view() const { return view_; }
  // Draws the model and lists what its colours stand for beside it.
  void showOwnership(BlockOwnership ownership);
  QListWidget* legend() const { return legend_; }
  void zoomIn();
  void zoomOut();

 private:
  void showZoom();

  DiskMapView* view_ = nullptr;
  QListWidget* legend_ = nullptr;
  QLabel* zoomText_ = nullptr;
};

}  // namespace korvelo
