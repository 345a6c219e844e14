// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/up_down_control.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace korvelo {

namespace {

QToolButton* makeArrow(Qt::ArrowType arrow, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setArrowType(arrow);
  button->setAutoRepeat(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  return button;
}

}  // namespace

UpDownControl::UpDownControl(QWidget* parent)
    : QWidget(parent), up_(makeArrow(Qt::UpArrow, this)), down_(makeArrow(Qt::DownArrow, this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(up_);
  layout->addWidget(down_);
  setFocusPolicy(Qt::StrongFocus);
  connect(up_, &QToolButton::clicked, this, [this] { emit stepped(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { emit stepped(-1); });
}

void UpDownControl::setRange(int lower, int upper) {
  lower_ = std::min(lower, upper);
  upper_ = std::max(lower, upper);
  setPosition(position_);
}

void UpDownControl::setPosition(int position) {
  position_ = std::clamp(position, lower_, upper_);
}

void UpDownControl::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Up) {
    emit stepped(+1);
  } else if (event->key() == Qt::Key_Down) {
    emit stepped(-1);
  } else {
    QWidget::keyPressEvent(event);
  }
}

}  // namespace korvelo
