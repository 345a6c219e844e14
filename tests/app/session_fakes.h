#pragma once
// Stand-ins for the window around the session controller: a list with a selection,
// a scripted save-as question, progress bars that only remember, and a helper that
// builds a recorder disk and puts it into the drive table.

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "app/session_view.h"
#include "diskbuilder/disk_builder.h"
#include "export/save_as.h"
#include "export/save_driver.h"

namespace korvelo::test {

class FakeSessionView : public SessionView {
 public:
  void appendListLine(const std::string& line) override { lines.push_back(line); }
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

// Answers the save-as questions in order; a question beyond the script is cancelled.
class ScriptedChooser : public SaveAsChooser {
 public:
  // Chooses "<folder>/<proposed name>".
  void choose(const std::string& folder) {
    script.push_back({SaveAsAnswer::Kind::Chosen, folder, 0});
  }
  void cancel() { script.push_back({SaveAsAnswer::Kind::Cancelled, "", 0}); }
  void fail(int code) { script.push_back({SaveAsAnswer::Kind::Failed, "", code}); }

  SaveAsAnswer chooseSaveAs(const SaveAsRequest& request) override {
    requests.push_back(request);
    if (script.empty()) return {};
    SaveAsAnswer answer = script.front();
    script.pop_front();
    if (answer.kind == SaveAsAnswer::Kind::Chosen) answer.path += "/" + request.proposedName;
    return answer;
  }

  std::deque<SaveAsAnswer> script;
  std::vector<SaveAsRequest> requests;
};

class FakeDriverView : public SaveDriverView {
 public:
  explicit FakeDriverView(SessionView& session) : session_(session) {}
  void setReadBarRange(int, int) override {}
  void setReadBarPosition(int) override {}
  void setWriteBarRange(int, int) override {}
  void setWriteBarPosition(int) override {}
  bool isMinimized() const override { return false; }
  void setWindowTitle(const std::string&) override {}
  bool isSuppressMessagesChecked() const override { return false; }
  void uncheckSuppressMessages() override {}
  void setSaveEnabled(bool enabled) override { session_.setSaveEnabled(enabled); }

 private:
  SessionView& session_;
};

// A recording of `hojins` whole HOJINs in consecutive blocks from `firstBlock` on.
sample::Recording recording(int slot, const std::string& title, int hojins, uint32_t firstBlock);

// An FSR-5000 disk (160 GB, File-FAT-Size 72) holding the given recordings.
sample::DiskDescription fsrDisk(std::vector<sample::Recording> recordings);

// A file of zeros, 1 GiB, sparse: a drive that is no recorder disk.
std::string foreignImage(const std::string& path);

}  // namespace korvelo::test
