// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line's exit codes. They are listed in the help text and turned into
// numbers in main only; everything below main returns an ExitCode.

namespace korvelo::cli {

enum class ExitCode {
  Success = 0,         // everything asked for was done
  ExportFailed = 1,    // at least one recording was not written completely, or was not
                       // listed because its directory slot could not be read
  UsageError = 2,      // the command line was wrong (unknown option, entry number, ...)
  NoRecorderDisk = 3,  // no recorder disk found, or it could not be opened
  Interrupted = 130,   // ended by Ctrl-C, SIGTERM or SIGHUP (128 + SIGINT, as shells report it)
};

inline int toProcessStatus(ExitCode code) {
  return static_cast<int>(code);
}

}  // namespace korvelo::cli
