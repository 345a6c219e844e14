// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an export leaves for the user to check later: korvelo-manifest.json in the target
// folder with one record per saved recording, and on request one ".hav.json" beside each
// file. Both name the check sums of the file and of its HOJIN data.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/json_document.h"
#include "export/damage_ledger.h"
#include "export/export_result.h"

namespace korvelo {
class DirectoryEntry;
class TargetFolder;
}  // namespace korvelo

namespace korvelo {

inline constexpr const char* kManifestName = "korvelo-manifest.json";

struct ManifestRecord {
  int entryNumber = 0;
  std::string title;     // UTF-8
  std::string start;     // "YYYY-MM-DD HH:MM", the recorder's own clock
  std::string startIso;  // the same instant as the file date, ISO 8601 with the local offset
  uint32_t durationMs = 0;
  uint64_t sizeBytes = 0;  // the recording's size on the disk
  uint32_t hojins = 0;
  DamageLedger damage;  // where the file holds zeros instead of the disk's bytes
  std::string file;     // name within the folder
  int64_t fileBytes = -1;
  std::string sha256File;
  std::string sha256HojinData;
  // For a file that is not complete: the sums of its first bytes at each proof boundary,
  // with which a resume proves the part it keeps.
  std::vector<PrefixDigest> prefixes;
  bool complete = false;
  int slowReads = 0;          // reads of more than kSlowReadMillis in this export
  int64_t longestReadMs = 0;  // the longest of its reads when one was slow, else 0
  // Why the file is not complete although nothing failed to be read (a rescued chain
  // whose blocks may belong to different recordings); written only when not empty.
  std::string doubt;
};

// The program that writes new manifests names itself once at start ("korvelo-cli",
// "korvelo"); a new manifest's "program" is that name and the version, so a user can
// tell which front end made it. "korvelo" until a front end says otherwise.
void setManifestProgram(std::string name);
// "<name> <version>" as it goes into a new manifest.
std::string manifestProgram();

// The record's fields taken from the entry; the rest is the caller's.
ManifestRecord recordFor(const DirectoryEntry& entry);
// The record of an export: the entry's facts, the file's name, sums and length from
// `digests`, and what the result says of damage and completeness.
ManifestRecord recordFor(const DirectoryEntry& entry, const ExportResult& result,
                         const HavDigests& digests);

// The record as a JSON text (an object, indented).
std::string recordJson(const ManifestRecord& record);

// Adds the record to the folder's manifest, replacing one for the same file. A manifest
// that is no manifest (damaged JSON) is renamed to "<name>.beschädigt-<local time>" with
// its bytes unchanged and a new one begun; *keptAside then says so (German). Exports
// into the same folder at the same time take turns (manifest_lock.h), so every record stays. Once
// the folder has a manifest, records go to its journal (manifest_journal.h) until
// foldManifestJournal(), and a damaged manifest is found then. Never written through a
// symbolic link. Empty when written, else the reason (German).
std::string addToManifest(const TargetFolder& folder, const ManifestRecord& record,
                          std::string* keptAside = nullptr);
// The same for the folder at `folder`, opened for this record; the manifest holds the
// record when this returns.
std::string addToManifest(const std::string& folder, const ManifestRecord& record,
                          std::string* keptAside = nullptr);
// Counts the folder's manifest, as it is now, among the inputs of the run (it is then
// never a target).
void noteManifestIn(const TargetFolder& folder);
// Writes the records this process left in a journal into their manifest and removes the
// journal; nothing to do when none is pending. Called when a run ends. Empty or the reason.
std::string foldManifestJournal(std::string* keptAside = nullptr);
// Called by every fold once the new manifest is in place and before the journal goes: the
// moment at which another export's record would be lost if it could come in. Tests stop a
// run there; nothing by default.
void setAfterManifestReplaced(void (*hook)());

// The zero-filled areas the folder's manifest records for that file, whose size is
// `fileBytes`; nothing when the manifest or the record is missing or unreadable, or any
// area has a field of the wrong type or lies outside the file's recording data (then
// `damage` says so in a German line).
std::optional<std::vector<DamagedArea>> damagedAreasInManifest(const std::string& folder,
                                                               const std::string& file,
                                                               int64_t fileBytes,
                                                               std::string* damage = nullptr);
std::optional<std::vector<DamagedArea>> damagedAreasInManifest(const TargetFolder& folder,
                                                               const std::string& file,
                                                               int64_t fileBytes,
                                                               std::string* damage = nullptr);
// The same from a manifest read already (readManifestDocument), named `path` to the user.
std::optional<std::vector<DamagedArea>> damagedAreasIn(const JsonDocument& manifest,
                                                       const std::string& path,
                                                       const std::string& file, int64_t fileBytes,
                                                       std::string* damage = nullptr);

// Writes the record as the file `name` in `folder` (replacing it, never through a symbolic
// link). Empty when written, else the reason.
std::string writeRecordFile(const TargetFolder& folder, const std::string& name,
                            const ManifestRecord& record);

}  // namespace korvelo
