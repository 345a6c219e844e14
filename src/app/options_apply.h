// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the options dialog hands back, and how a confirmed choice takes effect: the
// settings values change at once, a new File-FAT-Size mode or value reaches the open
// recorder disk, and such a change is reported in the log. The window only shows the
// choice; the rules live here, below the front ends, and are tested without a window.

#include <string>

#include "app/app_state.h"

namespace korvelo {

struct OptionsChoice {
  bool debugInfo = false;
  bool noFileSysCheck = false;
  bool suppressWarnings = true;
  bool useRecordDate = false;
  bool entryNumberInFileName = true;
  bool tevionPVR8005HDD = false;
  bool fatSizeAuto = true;
  std::string fatSizeText;  // digits as typed; empty counts as 0
  std::string pauseText;    // digits as typed; empty counts as 0
};

// The choice that shows the settings as they stand.
OptionsChoice choiceFromSettings(const Settings& settings);

// The value of a digits-only field: its leading digits, 0 when empty, held to the int range.
int fieldValue(const std::string& text);

// Applies a confirmed choice to the settings and the open disk, logging the File-FAT-Size
// line when its mode or its manual value changed.
void applyOptions(AppState& app, const OptionsChoice& choice);

}  // namespace korvelo
