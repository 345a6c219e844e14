// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/front_end_words.h"

#include <atomic>

namespace korvelo {

namespace {

constexpr NextStepWords kCommandLine{
    .resumeKept = "export --resume setzt dort fort.",
    .overwriteSkipped = "mit --force überschreiben",
    .rescueLost = "siehe \"korvelo-cli rescue\"",
    .fatSizeSetting = "in den Optionen (korvelo-cli: --fat-size N)",
};

constexpr NextStepWords kWindow{
    .resumeKept = "\"Speichern\" und dann \"Fortsetzen\" setzt dort fort.",
    .overwriteSkipped = "in der Rückfrage \"Überschreiben\" wählen, um sie zu ersetzen",
    .rescueLost = "siehe \"Festplatte\" > \"Aufnahmen retten...\"",
    .fatSizeSetting = "unter \"Menü\" > \"Optionen\"",
};

// Set once at start, read by the disk thread's texts.
std::atomic<FrontEnd> speaker{FrontEnd::CommandLine};

}  // namespace

void speakAs(FrontEnd frontEnd) {
  speaker.store(frontEnd);
}

const NextStepWords& nextStepWords() {
  return speaker.load() == FrontEnd::Window ? kWindow : kCommandLine;
}

}  // namespace korvelo
