// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Options of the commands for failing disks: the rescue domain for an imaging tool, the
// metadata image for bug reports, and the check of a written ".hav" file.

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace korvelo::cli {

// domain [ENTRY ... | --all] -o MAPFILE
struct DomainCommandOptions {
  std::vector<int> entries;  // entry numbers as listed
  bool all = false;
  std::string mapfile;
  bool force = false;
};

// metadata-image -o FILE
struct MetadataImageCommandOptions {
  std::string imagePath;
  bool force = false;
};

// verify FILE.hav ...
struct VerifyCommandOptions {
  std::vector<std::string> files;
  std::string manifest;  // --manifest: every file it names, against its sums
  bool details = false;  // the entry and the sums below each file's line
};

// export additions: a JSON file beside each ".hav".
struct ExportResultOptions {
  bool sidecar = false;
};

CLI::App* addDomainCommand(CLI::App& app, DomainCommandOptions& options);
CLI::App* addMetadataImageCommand(CLI::App& app, MetadataImageCommandOptions& options);
CLI::App* addVerifyCommand(CLI::App& app, VerifyCommandOptions& options);

}  // namespace korvelo::cli
