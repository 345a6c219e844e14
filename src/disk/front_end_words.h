// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a text of the core tells the user what to do next, it names the controls of the
// front end the user sits at: options on the command line, buttons and menus in the
// window. Each front end says once at start which it is; the texts ask here for their words.

namespace korvelo {

enum class FrontEnd { CommandLine, Window };

// The next steps a text may name, each a complete phrase in German.
struct NextStepWords {
  const char* resumeKept;        // how a kept, unfinished file is continued
  const char* overwriteSkipped;  // how a file skipped because it exists is replaced instead
  const char* rescueLost;        // where lost recordings are looked for
  const char* fatSizeSetting;    // where the File-FAT-Size value is set
};

// Called by each front end before its first text; the command line's words until then.
void speakAs(FrontEnd frontEnd);
const NextStepWords& nextStepWords();

}  // namespace korvelo
