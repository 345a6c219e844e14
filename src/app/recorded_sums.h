// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The check sums an export recorded for a file (in the folder's manifest and in the
// ".hav.json" beside it), held against the sums the file has now. Both are read as
// hostile documents: a record with a field of the wrong type or out of range is damaged
// and reported, never trusted and never a crash.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/json_document.h"
#include "export/hav_digests.h"

namespace korvelo {

struct RecordedSums {
  std::string source;  // the file that recorded them, as named to the user
  std::string sha256File;
  std::string sha256HojinData;
  std::string damage;      // why the record cannot be used (German); its sums are then empty
  int64_t fileBytes = -1;  // the file's length the sums are of (-1: not recorded)
  // What the record says of the file beyond its sums: it was not saved completely.
  bool incomplete = false;
  int64_t unreadableSectors = 0;  // filled with zeros
  int64_t damagedAreas = 0;
  int64_t firstDamagedSector = -1;
  std::string doubt;  // why it is not complete although nothing was unreadable
  // Of an incomplete file: the sums of its first bytes at the proof boundaries, for a
  // resume to prove the part it keeps. Entries that are not such sums are left out.
  std::vector<PrefixDigest> prefixes;
};

// A manifest read once, with what each of its records says.
struct ManifestSums {
  std::string path;
  bool missing = false;            // no file at the path
  std::string problem;             // why the manifest cannot be used at all (German, with its path)
  std::vector<std::string> files;  // the files its records name, as paths beside it, in order
  std::vector<std::string> damaged;  // one German line per record that cannot be used
  // Why the journal beside it cannot be read (German, with its path): the records it may
  // hold are unknown. Also among `damaged`.
  std::string journalProblem;
  std::map<std::string, std::vector<RecordedSums>> sumsByFile;  // by the file's name
};

// The manifest at the path, its journal merged in (manifest_journal.h).
ManifestSums readManifestSums(const std::string& manifestPath);
// The same of a document read already, named by its path.
ManifestSums manifestSums(const JsonDocument& document, const std::string& manifestPath);

// What the manifest and the sidecar "<havPath>.json" record for the file; a source that is
// missing or silent about the file gives nothing, a damaged one a RecordedSums with its
// damage.
std::vector<RecordedSums> recordedSumsFor(const std::string& havPath, const ManifestSums& manifest);

// The manifest beside the file: "<folder>/korvelo-manifest.json".
std::string manifestBeside(const std::string& havPath);

// One German line per record that calls its file not complete: the zero-filled sectors
// and areas it names, or its doubt. Matching sums never make such a file good.
std::vector<std::string> recordedDamage(const std::vector<RecordedSums>& recorded);

// One German line per recorded sum that differs from the file's (which sum, from where,
// expected and found; only when `found` is readable) and per damaged record.
std::vector<std::string> sumMismatches(const HavDigests& found,
                                       const std::vector<RecordedSums>& recorded);

}  // namespace korvelo
