// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line as the user wrote it: global options, the command word and the
// command's own options. Parsed with CLI11; all help and error texts are German.

#include <iosfwd>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/exit_code.h"
#include "cli/inspect_options.h"
#include "cli/workflow_options.h"

namespace korvelo::cli {

enum class Command {
  Search,
  List,
  Export,
  Rescue,
  Domain,
  MetadataImage,
  Verify,
  Check,
  Map,
  Drives
};

struct GlobalOptions {
  std::vector<std::string> drives;  // replace the machine's disks, designators 0, 1, 2 ...
  // Rescue mapfiles, one per drive after parsing (empty text: none).
  std::vector<std::string> mapfiles;
  bool tevion = false;
  bool noFileSysCheck = false;
  std::optional<int> fatSize;  // manual File-FAT-Size; none: determined on the disk
  bool quiet = false;          // stderr: only warnings, errors and summaries, no progress line
  bool verbose = false;        // the whole log (the default; stated for scripts)
};

struct ListOptions {
  bool json = false;
};

struct DrivesOptions {
  bool json = false;
};

struct ExportOptions {
  std::vector<int> entries;  // entry numbers as listed, in the order given
  bool all = false;
  std::string outputFolder = ".";
  bool force = false;
  bool resume = false;    // continue existing targets that prove to be the recording's
  bool retryBad = false;  // ... after reading their zero-filled areas again
  int pauseMs = 0;
  bool recordDate = false;
  bool noEntryNumber = false;
  bool warnings = false;
};

// rescue [export]: recordings the directory no longer leads to.
struct RescueOptions {
  std::string scan = "regions";  // "regions" (file FATs) or "heads" (HOJIN heads)
  bool json = false;
  long long scanLimit = 0;    // heads: blocks without a head after the last one; 0: no limit
  bool exportWanted = false;  // "rescue export" was given
  std::vector<int> ids;
  bool all = false;
  std::string outputFolder = ".";
  bool force = false;
  bool noEntryNumber = false;
  bool warnings = false;
};

struct Invocation {
  Command command = Command::Search;
  GlobalOptions global;
  ListOptions list;
  ExportOptions exportOptions;
  ExportResultOptions exportResults;
  DomainCommandOptions domain;
  MetadataImageCommandOptions metadataImage;
  VerifyCommandOptions verify;
  RescueOptions rescue;
  CheckCommandOptions check;
  MapCommandOptions map;
  DrivesOptions drives;
};

// Either what to run, or the exit code of a run that ends here (help, version,
// usage error); texts for the user have then been written to `out` or `err`.
using ParseResult = std::variant<Invocation, ExitCode>;

ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err);

// The command's name, as it calls itself in messages and in the manifests it makes.
inline constexpr const char* kProgramName = "korvelo-cli";

// "korvelo-cli 1.30", the first line of --version.
std::string versionLine();

}  // namespace korvelo::cli
