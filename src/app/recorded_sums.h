// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The check sums an export recorded for a file (in the folder's manifest and in the
// ".hav.json" beside it), held against the sums the file has now.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/hav_digests.h"

namespace korvelo {

struct RecordedSums {
  std::string source;  // the file that recorded them, as named to the user
  std::string sha256File;
  std::string sha256HojinData;
  // What the record says of the file beyond its sums: it was not saved completely.
  bool incomplete = false;
  int64_t unreadableSectors = 0;  // filled with zeros
  int64_t damagedAreas = 0;
  int64_t firstDamagedSector = -1;
  std::string doubt;  // why it is not complete although nothing was unreadable
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

// One German line per record that calls its file not complete: the zero-filled sectors
// and areas it names, or its doubt. Matching sums never make such a file good.
std::vector<std::string> recordedDamage(const std::vector<RecordedSums>& recorded);

// One German line per recorded sum that differs from the file's: which sum, from where,
// expected and found.
std::vector<std::string> sumMismatches(const HavDigests& found,
                                       const std::vector<RecordedSums>& recorded);

}  // namespace korvelo
