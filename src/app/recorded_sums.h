// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The check sums an export recorded for a file (in the folder's manifest and in the
// ".hav.json" beside it), held against the sums the file has now.

#include <optional>
#include <string>
#include <vector>

#include "export/hav_digests.h"

namespace korvelo {

struct RecordedSums {
  std::string source;  // the file that recorded them, as named to the user
  std::string sha256File;
  std::string sha256HojinData;
};

// What the manifest at `manifestPath` and the sidecar "<havPath>.json" record for the
// file; a source that is missing, unreadable or silent about the file gives nothing.
std::vector<RecordedSums> recordedSumsFor(const std::string& havPath,
                                          const std::string& manifestPath);

// The manifest beside the file: "<folder>/korvelo-manifest.json".
std::string manifestBeside(const std::string& havPath);

// The files a manifest names, as paths beside the manifest, in its order; nothing when
// the manifest cannot be read.
std::optional<std::vector<std::string>> filesInManifest(const std::string& manifestPath);

// One German line per recorded sum that differs from the file's: which sum, from where,
// expected and found.
std::vector<std::string> sumMismatches(const HavDigests& found,
                                       const std::vector<RecordedSums>& recorded);

}  // namespace korvelo
