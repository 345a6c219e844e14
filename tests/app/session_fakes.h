// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stand-ins for the window around the session controller: a list with a selection,
// and helpers that build a recorder disk and put it into the drive table; the save-as
// question and the progress bars come from the shared test support.

#include <set>
#include <string>
#include <vector>

#include "app/session_view.h"
#include "diskbuilder/disk_builder.h"
#include "support/fake_driver_view.h"
#include "support/scripted_chooser.h"

namespace korvelo::test {

class FakeSessionView : public SessionView {
 public:
  void appendListLine(const std::string& line) override { lines.push_back(line); }
  void clearList() override {
    lines.clear();
    selected.clear();
  }
  int lineCount() const override { return static_cast<int>(lines.size()); }
  int selectedLineCount() const override { return static_cast<int>(selected.size()); }
  bool isLineSelected(int index) const override { return selected.count(index) != 0; }
  int caretLine() const override { return caret; }
  void setDescription(const std::string& text) override { description = text; }
  void setTotalText(const std::string& text) override { total = text; }
  void setSaveEnabled(bool enabled) override { saveEnabled = enabled; }
  bool isSaveEnabled() const override { return saveEnabled; }
  const void* parentWindow() const override { return this; }

  std::vector<std::string> lines;
  std::set<int> selected;
  int caret = -1;
  std::string description = "(Vorlage)";
  std::string total = "(Vorlage)";
  bool saveEnabled = true;
};

// A recording of `hojins` whole HOJINs in consecutive blocks from `firstBlock` on.
sample::Recording recording(int slot, const std::string& title, int hojins, uint32_t firstBlock);

// An FSR-5000 disk (160 GB, File-FAT-Size 72) holding the given recordings.
sample::DiskDescription fsrDisk(std::vector<sample::Recording> recordings);

// A file of zeros, 1 GiB, sparse: a drive that is no recorder disk.
std::string foreignImage(const std::string& path);

}  // namespace korvelo::test
