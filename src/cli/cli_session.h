// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One run of the session logic behind the command line: the settings taken from the
// options (no settings file is read or written), the log on stderr, the drives given
// with --drive, the controller and, for saving, the save driver.

#include <memory>
#include <vector>

#include "app/app_state.h"
#include "app/session_controller.h"
#include "cli/cli_options.h"
#include "cli/cli_session_view.h"
#include "cli/terminal.h"
#include "disk/drive_table.h"
#include "export/save_as_chooser.h"

namespace korvelo::cli {

// The chooser the controller was built with, pointing at the command's real chooser
// once that exists; until then every question is answered with "cancelled".
class ChooserSlot : public SaveAsChooser {
 public:
  void use(SaveAsChooser& chooser) { chooser_ = &chooser; }
  SaveAsAnswer chooseSaveAs(const SaveAsRequest& request) override;

 private:
  SaveAsChooser* chooser_ = nullptr;  // not owned
};

// The settings as the command line gives them: defaults, changed by the options.
Settings settingsFor(const Invocation& invocation);

// The drives given with --drive, each with the mapfile that followed it.
std::vector<DriveSpec> drivesOf(const GlobalOptions& global);

class CliSession {
 public:
  CliSession(const Invocation& invocation, Terminal& terminal);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  // The start-up sequence. True when a recorder disk was found and its drive opened.
  bool searchDisk();
  // After searchDisk: false, with the reason and the way to give the value logged, when
  // the File-FAT-Size is in doubt and no recording may be read.
  bool admitFileFatSize(bool stops = true) { return controller_.admitFileFatSize(stops); }
  // Whether the File-FAT-Size held is trusted: settled by the verification, or given by
  // hand and passing it. A command that only shows what it found ends with 1 otherwise.
  bool fileFatSizeConfirmed() const {
    return controller_.fileFatSizeDoubt().empty() && !controller_.givenFileFatSizeFailed();
  }

  AppState& app() { return app_; }
  CliSessionView& view() { return view_; }
  SessionController& controller() { return controller_; }
  ChooserSlot& chooser() { return chooser_; }
  Terminal& terminal() { return terminal_; }

 private:
  Terminal& terminal_;
  AppState app_;
  CliSessionView view_;
  ChooserSlot chooser_;
  SessionController controller_;
};

}  // namespace korvelo::cli
