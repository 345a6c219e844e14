// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window around the save driver, reduced to what it was told: progress ranges and
// positions, titles, the state of Save and of "Kopiermeldungen unterdrücken".
//
//   FakeDriverView view;                 // remembers only
//   FakeDriverView view(sessionView);    // also passes Save's state on to another view

#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "export/save_driver.h"

namespace korvelo::test {

class FakeDriverView : public SaveDriverView {
 public:
  FakeDriverView() = default;
  template <class View>
  requires(!std::is_same_v<View, FakeDriverView>) explicit FakeDriverView(View& saveButtonOwner)
      : onSaveEnabled(
            [&saveButtonOwner](bool enabled) { saveButtonOwner.setSaveEnabled(enabled); }) {}

  void setReadBarRange(int lower, int upper) override { readRange = {lower, upper}; }
  void setReadBarPosition(int position) override { readPosition = position; }
  void setWriteBarRange(int lower, int upper) override { writeRange = {lower, upper}; }
  void setWriteBarPosition(int position) override { writePositions.push_back(position); }
  bool isMinimized() const override { return minimized; }
  void setWindowTitle(const std::string& title) override { titles.push_back(title); }
  bool isSuppressMessagesChecked() const override { return suppressChecked; }
  void uncheckSuppressMessages() override { suppressChecked = false; }
  void setSaveEnabled(bool enabled) override {
    saveEnabled = enabled;
    if (onSaveEnabled) onSaveEnabled(enabled);
  }

  std::pair<int, int> readRange{-1, -1};
  std::pair<int, int> writeRange{-1, -1};
  int readPosition = -1;
  std::vector<int> writePositions;
  std::vector<std::string> titles;
  bool minimized = false;
  bool suppressChecked = false;
  bool saveEnabled = false;
  std::function<void(bool)> onSaveEnabled;
};

}  // namespace korvelo::test
