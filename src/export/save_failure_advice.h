// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line that follows an error code of a save that could not begin: in German, what the
// code means and what the user can do, so that "Fehler 2 ..." is never the last word.

#include <string>

namespace korvelo {

// After "Fehler %d ist beim Speichern aufgetreten.": the codes of HavExportJob::openFile.
// Empty for a code without advice (0).
std::string adviceAfterOpenFailure(int code);

// After a job whose file could not be written on (HavExportJob::kDataNotWritten once the
// copy had begun): the reason is the job's own message; this says what to do.
std::string adviceAfterWriteFailure();

// After "Fehler %d ist beim Vorbereiten des Speicherns aufgetreten.": the codes of
// HavExportJob::prepareSave that end a save. Empty for a code without advice.
std::string adviceAfterPrepareFailure(int code);

}  // namespace korvelo
