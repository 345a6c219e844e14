// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Records added to a folder's manifest while a run goes on are first appended to a journal
// beside it, "korvelo-manifest.json.journal": one line of JSON per record, synced before the
// next file is begun. The manifest itself is rewritten whole (a new file renamed into its
// place) only now and then: when the journal has grown and when the run ends, after which
// the journal is gone. So one more file costs the same beside 2000 records as in an empty
// folder, a crash loses no record, and whoever reads the manifest finds the old one or the
// new one, never half of one. The program's own readers merge the journal into what the
// manifest says, so a journal left by a crash counts as well.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/json_document.h"

namespace korvelo {

class TargetFolder;

inline constexpr const char* kJournalName = "korvelo-manifest.json.journal";
// The journal's size from which the next record folds it into the manifest: about 300
// records, so that a reader's merge stays cheap and a long run rewrites its manifest
// seldom (a 2000-record manifest is 1.3 MB).
inline constexpr int64_t kJournalFoldBytes = 256 * 1024;

struct JournalRecords {
  std::vector<nlohmann::json> records;  // in the order they were added
  // Lines that are no record. A last line without its line end is a record whose
  // writing a crash cut short (it was never reported saved) and is not counted.
  int damagedLines = 0;
  bool missing = false;  // there is no journal
  std::string problem;   // why it cannot be read (German, without the path)
};

// The journal of the manifest at `manifestPath`: "<manifestPath>.journal".
std::string journalBeside(const std::string& manifestPath);

// The records of the journal at `path`.
JournalRecords readJournal(const std::string& path);

// Appends `record` as one line and syncs it (and the folder, when the journal is new).
// The caller holds the manifest's lock. 0 or errno; `journalBytes` is then its size.
int appendToJournal(const TargetFolder& folder, const nlohmann::json& record,
                    int64_t& journalBytes);

// Applies the records in order: each replaces the records of its file (in `recordings` and
// earlier in `records`) and goes to the end.
void applyRecords(nlohmann::json& recordings, const std::vector<nlohmann::json>& records);

// The manifest at `path` as the program reads it: the document with the records of the
// journal beside it applied. A damaged manifest stays as it was read
// (its problem set); a missing one with a journal is a manifest of the journal's records.
// `journal` (when given) receives what the journal held.
JsonDocument readManifestDocument(const std::string& path, JournalRecords* journal = nullptr);

}  // namespace korvelo
