// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recording list without a window: the controller's list lines are kept; nothing is
// ever selected (the commands offer recordings to the export workflow directly).

#include <string>
#include <vector>

#include "app/session_view.h"

namespace korvelo::cli {

class CliSessionView : public SessionView {
 public:
  void appendListLine(const std::string& line) override { lines_.push_back(line); }
  void clearList() override { lines_.clear(); }
  int lineCount() const override { return static_cast<int>(lines_.size()); }
  int selectedLineCount() const override { return 0; }
  bool isLineSelected(int) const override { return false; }
  int caretLine() const override { return -1; }
  void setDescription(const std::string& text) override { description_ = text; }
  void setTotalText(const std::string& text) override { totalText_ = text; }
  void setSaveEnabled(bool enabled) override { saveEnabled_ = enabled; }
  bool isSaveEnabled() const override { return saveEnabled_; }
  const void* parentWindow() const override { return nullptr; }

  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  std::string description_;
  std::string totalText_;
  bool saveEnabled_ = true;  // as the window opens
};

}  // namespace korvelo::cli
