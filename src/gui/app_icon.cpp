// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace korvelo {

namespace {

const QColor kNavy(0x23, 0x41, 0x5f);
const QColor kPlatter(0xc9, 0xd3, 0xdc);
const QColor kPlatterEdge(0x85, 0x97, 0xa8);
const QColor kTrack(0xaa, 0xb8, 0xc5);
const QColor kAmber(0xf0, 0xa0, 0x30);

// The drawing of resources/korvelo.svg, in its 64 x 64 units.
void paintIcon(QPainter& painter) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(kNavy);
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

  const QPointF centre(32, 26);
  painter.setPen(QPen(kPlatterEdge, 2));
  painter.setBrush(kPlatter);
  painter.drawEllipse(centre, 18, 18);
  painter.setPen(QPen(kTrack, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(centre, 11, 11);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kNavy);
  painter.drawEllipse(centre, 5, 5);
  painter.setBrush(kPlatter);
  painter.drawEllipse(centre, 2, 2);

  painter.setPen(QPen(kAmber, 3, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(53, 7), QPointF(39, 21));

  painter.setPen(Qt::NoPen);
  painter.setBrush(kAmber);
  painter.drawRoundedRect(QRectF(9, 47, 46, 11), 1.5, 1.5);
  painter.setBrush(kNavy);
  for (int x = 12; x <= 44; x += 8) {
    painter.drawRect(QRectF(x, 49, 4, 2));
    painter.drawRect(QRectF(x, 54, 4, 2));
  }
}

QPixmap iconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);
  paintIcon(painter);
  return pixmap;
}

}  // namespace

QIcon appIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(iconPixmap(size));
  return icon;
}

}  // namespace korvelo
