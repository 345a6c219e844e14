#pragma once
// The recording list without a window: the controller's list lines are kept, and the
// "selection" is whatever the command chose to save.

#include <set>
#include <string>
#include <vector>

#include "app/session_view.h"

namespace korvelo::cli {

class CliSessionView : public SessionView {
 public:
  void appendListLine(const std::string& line) override { lines_.push_back(line); }
  int lineCount() const override { return static_cast<int>(lines_.size()); }
  int selectedLineCount() const override { return static_cast<int>(selected_.size()); }
  bool isLineSelected(int index) const override { return selected_.count(index) > 0; }
  int caretLine() const override { return -1; }
  void setDescription(const std::string& text) override { description_ = text; }
  void setTotalText(const std::string& text) override { totalText_ = text; }
  void setSaveEnabled(bool enabled) override { saveEnabled_ = enabled; }
  bool isSaveEnabled() const override { return saveEnabled_; }
  const void* parentWindow() const override { return nullptr; }

  const std::vector<std::string>& lines() const { return lines_; }
  // Exactly these lines are selected from now on.
  void selectOnly(int index) { selected_ = {index}; }
  void clearSelection() { selected_.clear(); }

 private:
  std::vector<std::string> lines_;
  std::set<int> selected_;
  std::string description_;
  std::string totalText_;
  bool saveEnabled_ = true;  // as the window opens
};

}  // namespace korvelo::cli
