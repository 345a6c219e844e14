// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the window tests: the demo disk image (built once per test program),
// a save-as chooser that answers from a script, waiting for the start-up search and for
// the end of a save, and the bytes a ".hav" file must hold.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "diskbuilder/disk_builder.h"
#include "support/scripted_chooser.h"

namespace korvelo {
class MainDialog;
}

namespace korvelo::guitest {

struct DemoImage {
  sample::DiskDescription disk;
  std::string path;
};

// The demo disk as a sparse image in a folder removed at program end.
const DemoImage& demoImage();
// A small file of zeros: a drive on which no recorder disk is found.
const std::string& blankImage();
// A fresh folder for one test's files (removed at program end).
std::string freshFolder();

using test::ScriptedChooser;

// The log's lines as the window received them from its disk thread.
QStringList logLines(const MainDialog& window);
bool logHasLine(const MainDialog& window, const QString& line);
bool logHasLineStartingWith(const MainDialog& window, const QString& start);

// Settings for a test run: defaults, files go to `folder`, no pause.
void useTestSettings(AppState& app, const std::string& folder);

// Waits (event loop running) for "Warte auf Benutzer..." as the last log line, and for the
// disk thread to have answered everything asked of it.
bool waitForSearch(const MainDialog& window);
// Waits until the save has ended (its queue worked off, its summary logged).
bool waitForSaveEnd(const MainDialog& window);
// Waits until no disk work runs and every request was answered.
bool waitForIdle(const MainDialog& window);

// The complete ".hav" file for a recording of the demo image: head, entry image, HOJINs.
std::vector<uint8_t> expectedHavFile(const DemoImage& image, const sample::Recording& recording);

// Empty when the file holds exactly `expected`; otherwise where and how it differs.
QString fileDifference(const std::string& path, const std::vector<uint8_t>& expected);

}  // namespace korvelo::guitest
