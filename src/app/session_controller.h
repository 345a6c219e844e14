#pragma once
// The logic behind the main window: the start-up search, the list, the description
// of the recording under the caret, the total of the selection, and saving it.

#include <string>

#include "app/app_state.h"
#include "app/session_view.h"
#include "export/save_as.h"

namespace korvelo {

inline constexpr uint64_t kTargetFileOverhead = 1624;

class SessionController {
 public:
  SessionController(AppState& app, SessionView& view, SaveAsChooser& chooser);

  void searchDisk();
  void fillList();
  void showSelection();
  void showTotalSize();
  void saveSelection();

  // "Von %s %d/%02d/%02d um %d:%02d Uhr - Länge: ..." for one entry.
  static std::string describe(const DirectoryEntry& entry);
  // The list line of one entry.
  static std::string listLine(const DirectoryEntry& entry);

 private:
  AppState& app_;
  SessionView& view_;
  SaveAsChooser& chooser_;
};

}  // namespace korvelo
