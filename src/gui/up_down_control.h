// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pair of arrow buttons that is not tied to a field: it only reports steps of +1 or
// -1 (buttons, or the Up and Down keys while it has the focus) and keeps a position in
// its range that its owner sets. The owner decides what a step does to its field.

#include <QWidget>

class QToolButton;

namespace korvelo {

class UpDownControl : public QWidget {
  Q_OBJECT

 public:
  explicit UpDownControl(QWidget* parent = nullptr);

  void setRange(int lower, int upper);
  void setPosition(int position);  // held to the range
  int position() const { return position_; }
  int lower() const { return lower_; }
  int upper() const { return upper_; }

  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 signals:
  void stepped(int delta);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QToolButton* up_;
  QToolButton* down_;
  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
};

}  // namespace korvelo
