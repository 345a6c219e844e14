// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/manifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/json_document.h"
#include "app/manifest_journal.h"
#include "app/manifest_lock.h"
#include "app/workflow_support.h"
#include "disk/input_file.h"
#include "disk/posix_file.h"
#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/hav_head.h"
#include "export/output_file.h"
#include "recfs/directory_entry.h"
#include "recfs/disk_layout.h"

namespace korvelo {

namespace {

const char* stateName(DamageState state) {
  return state == DamageState::NotTried ? "not_tried" : "unreadable";
}

nlohmann::json areasJson(const std::vector<DamagedArea>& areas) {
  nlohmann::json list = nlohmann::json::array();
  for (const DamagedArea& area : areas)
    list.push_back({{"first_sector", area.firstSector},
                    {"sectors", area.sectorCount},
                    {"file_offset", area.fileOffset},
                    {"state", stateName(area.state)}});
  return list;
}

// An area as the manifest records it, when every field has its type and the area lies
// within the file's recording data: sector aligned after the front, ending within
// `fileBytes` (so a "sectors" of 2^62 is refused, not retried for hours).
std::optional<DamagedArea> areaFromJson(const nlohmann::json& item, int64_t fileBytes) {
  if (!item.is_object()) return std::nullopt;
  const auto number = [&](const char* key) -> std::optional<int64_t> {
    const auto found = item.find(key);
    if (found == item.end() || !found->is_number_integer()) return std::nullopt;
    if (found->is_number_unsigned() && found->get<uint64_t>() > INT64_MAX) return std::nullopt;
    return found->get<int64_t>();
  };
  const auto first = number("first_sector"), count = number("sectors"),
             offset = number("file_offset");
  const std::optional<std::string> state = textField(item, "state", nullptr);
  if (!first || !count || !offset || !state || *first < 0 || *count < 1 ||
      *offset < kHavFrontBytes || *offset >= fileBytes ||
      (*offset - kHavFrontBytes) % kSectorSize != 0 ||
      *count > (fileBytes - *offset) / kSectorSize || *first > INT64_MAX - *count ||
      (*state != "unreadable" && *state != "not_tried"))
    return std::nullopt;
  return DamagedArea{*first, *count, *offset,
                     *state == "not_tried" ? DamageState::NotTried : DamageState::Unreadable};
}

nlohmann::json toJson(const ManifestRecord& r) {
  // "entry", "start_iso" and "duration_ms" as the recording list names them; the older
  // names stay for the scripts that read them.
  nlohmann::json record = {{"entry_number", r.entryNumber},
                           {"entry", r.entryNumber},
                           {"title", r.title},
                           {"start", r.start},
                           {"start_iso", r.startIso},
                           {"duration_seconds", r.durationMs / 1000},
                           {"duration_ms", r.durationMs},
                           {"size_bytes", r.sizeBytes},
                           {"hojins", r.hojins},
                           {"damaged_hojins", r.damage.damagedHojins()},
                           {"unreadable_sectors", r.damage.zeroFilledSectors()},
                           {"damaged_areas", areasJson(r.damage.areas())},
                           {"file", r.file},
                           {"file_bytes", r.fileBytes},
                           {"sha256_file", r.sha256File},
                           {"sha256_hojin_data", r.sha256HojinData},
                           {"complete", r.complete},
                           {"slow_reads", r.slowReads},
                           {"longest_read_ms", r.longestReadMs}};
  if (!r.doubt.empty()) record["doubt"] = r.doubt;
  if (!r.complete && !r.prefixes.empty()) {
    nlohmann::json prefixes = nlohmann::json::array();
    for (const PrefixDigest& prefix : r.prefixes)
      prefixes.push_back({{"bytes", prefix.bytes}, {"sha256", prefix.sha256}});
    record["sha256_prefixes"] = std::move(prefixes);
  }
  return record;
}

// Opens the manifest, made empty when missing; the caller holds the folder's lock. 0 or errno.
int openManifest(const TargetFolder& folder, PosixFile& manifest) {
  const int flags = O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if (const int error = manifest.openAt(folder.descriptor(), kManifestName, flags); error != 0)
    return error;
  struct stat held {};
  if (::fstat(manifest.get(), &held) != 0) return errno;
  return S_ISREG(held.st_mode) ? 0 : ENOTSUP;
}

// Waits for the folder's lock and opens its manifest. 0 or errno; `failed` names the file
// that could not be had.
int lockAndOpen(const TargetFolder& folder, ManifestLock& lock, PosixFile& manifest,
                std::string& failed) {
  if (const int error = lock.take(folder); error != 0) {
    failed = folder.pathOf(kManifestLockName);
    return error;
  }
  failed = folder.pathOf(kManifestName);
  return openManifest(folder, manifest);
}

// The manifest's text; false when it is larger than a manifest may be.
bool readAll(const PosixFile& file, std::string& text) {
  std::vector<uint8_t> chunk(65536);
  for (;;) {
    const int64_t got = file.readAt(static_cast<int64_t>(text.size()), chunk);
    if (got <= 0) return true;
    text.append(reinterpret_cast<const char*>(chunk.data()), static_cast<size_t>(got));
    if (static_cast<int64_t>(text.size()) > kManifestLimit) return false;
  }
}

nlohmann::json emptyManifest() {
  return {{"program", manifestProgram()},
          {"recordings", nlohmann::json::array()},
          {"schema", kJsonSchema}};
}

// The manifest's document; nothing when the text is no manifest (an empty text is a
// manifest not yet written).
std::optional<nlohmann::json> parseManifest(const std::string& text) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return emptyManifest();
  nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  if (document.is_object() && document.contains("recordings") && document["recordings"].is_array())
    return document;
  return std::nullopt;
}

// "<name>.beschädigt-<local time>", with "-2", "-3" ... added while that name is taken.
// The damaged file keeps its bytes under the new name; 0 or errno.
int keepAside(const TargetFolder& folder, const std::string& name, std::string& aside) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
  const std::string base = name + ".beschädigt-" + stamp;
  for (int attempt = 1; attempt < 100; ++attempt) {
    aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
    const int error = folder.renameNoReplace(name, aside);
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

// Which file a manifest is, and in which state: the one this process wrote last, as long
// as nobody has replaced or changed it since.
struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  int64_t changedNs = -1;
  bool operator==(const FileState&) const = default;
};

FileState stateFrom(const struct stat& status) {
  return {status.st_dev, status.st_ino, status.st_size,
          int64_t{status.st_ctim.tv_sec} * 1000000000 + status.st_ctim.tv_nsec};
}

FileState stateOf(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 ? stateFrom(status) : FileState{};
}

// The manifest as this process wrote it last, and the file each of its records names. A
// run of 2000 recordings into one folder then neither reads, parses nor serialises again,
// for every file, the records it has just written (that made the run's time grow with the
// square of the files). Used only while the manifest is still the file written then,
// unchanged, so a record another export added in between is never lost. Only the process
// that wrote the manifest as it is now appends to its journal; any other folds first.
struct LastWritten {
  std::string path;
  std::string text;
  std::set<std::string> files;
  FileState state;
  std::optional<TargetFolder> pending;  // its folder, while the journal holds records
};

// The state of the manifest just renamed into place; nobody else changes it while the lock
// is held.
FileState writtenState(const TargetFolder& folder) {
  struct stat status {};
  return folder.statOf(kManifestName, status) == 0 ? stateFrom(status) : FileState{};
}

void (*afterManifestReplaced)() = nullptr;

LastWritten& lastWritten() {
  static LastWritten last;
  return last;
}

// How dump(2) ends a document whose non-empty array of records is followed only by the
// schema (keys are written in sorted order).
constexpr std::string_view kRecordsEnd = "\n  ],\n  \"schema\": 1\n}\n";
static_assert(kJsonSchema == 1, "kRecordsEnd names the schema");

// The files the records name as addToManifest compares them (an object without a file
// names ""), when a record can be spliced into the document's text: "recordings" holds
// records and only "schema" follows it. Nothing when a record names its file other than
// by text.
std::optional<std::set<std::string>> spliceableFiles(const nlohmann::json& document) {
  auto key = document.crbegin();
  if (key.key() != "schema" || *key != kJsonSchema || (++key).key() != "recordings")
    return std::nullopt;
  const nlohmann::json& recordings = key.value();
  if (recordings.empty()) return std::nullopt;
  std::set<std::string> files;
  for (const nlohmann::json& record : recordings) {
    if (!record.is_object()) continue;
    const auto file = record.find("file");
    if (file != record.end() && !file->is_string()) return std::nullopt;
    files.insert(file == record.end() ? std::string() : file->get<std::string>());
  }
  return files;
}

// `before` (the dump(2) of a document as spliceableFiles accepts it, and a line end) with
// `added` appended to its records: the same bytes as dumping the whole document again,
// since dump(2) puts each record of that array on lines of its own, indented by the two
// levels it stands at.
std::string appendedText(const std::string& before, const std::vector<nlohmann::json>& added) {
  std::string text = before.substr(0, before.size() - kRecordsEnd.size());
  for (const nlohmann::json& record : added) {
    text += ",\n    ";
    for (const char c : record.dump(2)) {
      text += c;
      if (c == '\n') text += "    ";
    }
  }
  text += kRecordsEnd;
  return text;
}

// True when every record names a file of its own that `files` does not hold yet (adds them).
bool allNew(const std::vector<nlohmann::json>& records, std::set<std::string>& files) {
  std::set<std::string> added;
  for (const nlohmann::json& record : records)
    if (files.contains(recordFile(record)) || !added.insert(recordFile(record)).second)
      return false;
  files.merge(added);
  return true;
}

// The manifest's text with the records applied; `files` what spliceableFiles says of it.
std::string withRecords(nlohmann::json document, const std::vector<nlohmann::json>& records,
                        std::optional<std::set<std::string>>& files) {
  document["schema"] = kJsonSchema;  // a manifest written before the schema was named
  applyRecords(document["recordings"], records);
  files = spliceableFiles(document);
  return document.dump(2) + "\n";
}

// Writes the manifest anew with the journal's records and `added` (when given) applied,
// then removes the journal: renamed aside instead when it held lines that are no records.
// The caller holds the folder's lock. Empty when written, else the reason.
std::string fold(const TargetFolder& folder, const PosixFile& manifest, const nlohmann::json* added,
                 std::string* keptAside) {
  const std::string path = folder.pathOf(kManifestName);
  const std::string journalPath = folder.pathOf(kJournalName);
  LastWritten& last = lastWritten();
  const bool known = last.path == path && last.state == stateOf(manifest.get()) &&
                     last.text.ends_with(kRecordsEnd);
  const JournalRecords journal = readJournal(folder.readPathOf(kJournalName));
  if (!journal.problem.empty())
    return textf(
        "Das Journal \"%s\" des Manifests ist nicht lesbar (%s); das Manifest wird "
        "nicht ergänzt.",
        journalPath.c_str(), journal.problem.c_str());
  std::vector<nlohmann::json> records = journal.records;
  if (added) records.push_back(*added);
  if (records.empty() && journal.damagedLines == 0) {
    if (!journal.missing) ::unlinkat(folder.descriptor(), kJournalName, 0);  // empty
    return {};
  }
  std::optional<std::set<std::string>> files;
  std::string text;
  if (known && allNew(records, last.files)) {
    files = std::move(last.files);
    text = appendedText(last.text, records);
  } else {
    std::string before = known ? std::move(last.text) : std::string();
    if (!known && !readAll(manifest, before))
      return textf("Das Manifest \"%s\" ist größer als %s Bytes und wird nicht ergänzt.",
                   path.c_str(), formatThousands(kManifestLimit, '.').c_str());
    std::optional<nlohmann::json> document = parseManifest(before);
    if (!document) {
      // Never replaced unseen: the records it may still hold are the user's to recover.
      std::string aside;
      if (const int error = keepAside(folder, kManifestName, aside); error != 0)
        return textf(
            "Das Manifest \"%s\" ist beschädigt und ließ sich nicht beiseitelegen "
            "(%s); es wird nicht ergänzt.",
            path.c_str(), describeError(error).c_str());
      if (keptAside)
        *keptAside += std::string(keptAside->empty() ? "" : " ") +
                      textf(
                          "Das Manifest \"%s\" ist beschädigt und bleibt unverändert als "
                          "\"%s\" erhalten; ein neues Manifest wird angelegt.",
                          path.c_str(), folder.pathOf(aside).c_str());
      document = emptyManifest();
    }
    text = withRecords(std::move(*document), records, files);
  }
  last = LastWritten{};
  removeLeftoverTemporaries(folder);
  const int error = folder.atomicReplace(kManifestName, text);
  if (error != 0) return writeProblem(path, error);
  if (struct stat replaced{}; ::fstat(manifest.get(), &replaced) == 0)
    forgetManifestRead(FileIdentity{replaced.st_dev, replaced.st_ino});
  noteManifestIn(folder);
  if (afterManifestReplaced) afterManifestReplaced();
  // Only now that the manifest holds its records: a crash before this leaves them in both,
  // and applying them twice gives the same manifest.
  if (journal.damagedLines > 0) {
    std::string aside;
    if (keepAside(folder, kJournalName, aside) == 0 && keptAside)
      *keptAside +=
          std::string(keptAside->empty() ? "" : " ") +
          textf(
              "Das Journal \"%s\" enthielt %d unlesbare %s; es bleibt als \"%s\" "
              "erhalten.",
              journalPath.c_str(), journal.damagedLines,
              journal.damagedLines == 1 ? "Zeile" : "Zeilen", folder.pathOf(aside).c_str());
  } else if (!journal.missing) {
    ::unlinkat(folder.descriptor(), kJournalName, 0);
  }
  if (files) {
    const FileState state = writtenState(folder);
    last = LastWritten{path, std::move(text), std::move(*files), state, std::nullopt};
  }
  return {};
}

// The areas of the manifest read from `readPath`, named `path` to the user.
std::optional<std::vector<DamagedArea>> damagedAreasIn(const std::string& readPath,
                                                       const std::string& path,
                                                       const std::string& file, int64_t fileBytes,
                                                       std::string* damage) {
  const JsonDocument document = readManifestDocument(readPath);
  if (PosixFile read; read.open(readPath, O_PATH | O_CLOEXEC) == 0)
    noteManifestRead(std::move(read));
  return damagedAreasIn(document, path, file, fileBytes, damage);
}

// The manifest a record is added to may be one this run read (it usually is): only the
// run's other inputs are refused in its place.
std::string notAnotherInput(const TargetFolder& folder, const std::string& name,
                            const std::string& path) {
  struct stat info {};
  if (folder.statOf(name, info) != 0) return {};
  const RunInput input = inputOfRun(FileIdentity{info.st_dev, info.st_ino}, nullptr);
  return input == RunInput::Manifest ? std::string() : inputRefusal(path, input);
}

}  // namespace

void setAfterManifestReplaced(void (*hook)()) {
  afterManifestReplaced = hook;
}

void noteManifestIn(const TargetFolder& folder) {
  PosixFile manifest;
  if (manifest.openAt(folder.descriptor(), kManifestName, O_PATH | O_NOFOLLOW | O_CLOEXEC) == 0)
    noteManifestRead(std::move(manifest));
}

std::optional<std::vector<DamagedArea>> damagedAreasIn(const JsonDocument& document,
                                                       const std::string& path,
                                                       const std::string& file, int64_t fileBytes,
                                                       std::string* damage) {
  const nlohmann::json* recordings = manifestRecordings(document.json);
  if (!recordings) return std::nullopt;
  const auto damaged = [&](const char* why) {
    if (damage)
      *damage = textf(
          "Die beschädigten Stellen, die \"%s\" für \"%s\" verzeichnet, sind "
          "unbrauchbar (%s); sie werden nicht übernommen.",
          path.c_str(), file.c_str(), why);
    return std::nullopt;
  };
  for (const nlohmann::json& record : *recordings) {
    if (!record.is_object() || recordFile(record) != file) continue;
    const auto list = record.find("damaged_areas");
    if (list == record.end()) return std::nullopt;
    if (!list->is_array()) return damaged("keine Liste");
    std::vector<DamagedArea> areas;
    for (const nlohmann::json& item : *list) {
      const std::optional<DamagedArea> area = areaFromJson(item, fileBytes);
      if (!area) return damaged("ein Bereich liegt außerhalb der Datei oder ist fehlerhaft");
      areas.push_back(*area);
    }
    return areas;
  }
  return std::nullopt;
}

namespace {
std::mutex programMutex;
std::string programName = "korvelo";  // guarded by programMutex
}  // namespace

void setManifestProgram(std::string name) {
  const std::lock_guard<std::mutex> lock(programMutex);
  programName = std::move(name);
}

std::string manifestProgram() {
  const std::lock_guard<std::mutex> lock(programMutex);
  return programName + " " + kVersion;
}

ManifestRecord recordFor(const DirectoryEntry& entry) {
  ManifestRecord record;
  record.entryNumber = entry.getEntryNumber();
  record.title = latin1ToUtf8(filterPrintable(entry.getTitle()));
  const StartTime start = entry.getStartTime();
  record.start = startText(start);
  record.startIso = startIso(start);
  record.durationMs = entry.getDurationMs();
  record.sizeBytes = entry.getSizeInBytes();
  record.hojins = entry.getNumberOfHojins();
  return record;
}

ManifestRecord recordFor(const DirectoryEntry& entry, const ExportResult& result,
                         const HavDigests& digests) {
  ManifestRecord record = recordFor(entry);
  record.file = std::filesystem::path(result.path).filename().string();
  record.damage = result.damage;
  record.doubt = result.doubt;
  record.slowReads = result.readCosts.slowReads;
  // Only a slow read's length says something of the disk; a healthy export records 0.
  record.longestReadMs = result.readCosts.slowReads > 0 ? result.readCosts.longestMillis : 0;
  if (digests.readable) {
    record.fileBytes = digests.fileBytes;
    record.sha256File = digests.file;
    record.sha256HojinData = digests.hojinData;
    record.prefixes = digests.prefixes;
  }
  record.complete = result.complete() && digests.readable;
  return record;
}

std::string recordJson(const ManifestRecord& record) {
  nlohmann::json sidecar = toJson(record);
  sidecar["schema"] = kJsonSchema;
  return sidecar.dump(2) + "\n";
}

std::string addToManifest(const std::string& folder, const ManifestRecord& record,
                          std::string* keptAside) {
  TargetFolder opened;
  if (const int error = opened.open(folder); error != 0)
    return writeProblem(opened.pathOf(kManifestName), error);
  if (std::string problem = addToManifest(opened, record, keptAside); !problem.empty())
    return problem;
  return foldManifestJournal(keptAside);
}

std::string addToManifest(const TargetFolder& folder, const ManifestRecord& record,
                          std::string* keptAside) {
  const std::string path = folder.pathOf(kManifestName);
  if (std::string refusal = notAnotherInput(folder, kManifestName, path); !refusal.empty())
    return refusal;
  LastWritten& last = lastWritten();
  std::string earlier;  // the journal of another folder this process left pending
  if (last.pending && last.path != path) earlier = foldManifestJournal(keptAside);
  // Held until the record is in the journal or the manifest, and across a fold.
  ManifestLock lock;
  PosixFile manifest;
  std::string failed;
  if (const int error = lockAndOpen(folder, lock, manifest, failed); error != 0)
    return writeProblem(failed, error);
  noteManifestIn(folder);
  const nlohmann::json added = toJson(record);
  std::string problem;
  // A folder's first record makes its manifest; after that records wait in the journal.
  if (stateOf(manifest.get()).size > 0) {
    int64_t journalBytes = 0;
    if (const int error = appendToJournal(folder, added, journalBytes); error != 0) {
      problem = writeProblem(folder.pathOf(kJournalName), error);
    } else if (journalBytes < kJournalFoldBytes) {
      if (!last.pending) last.pending = folder.duplicate();
    } else {
      problem = fold(folder, manifest, nullptr, keptAside);
    }
  } else {
    problem = fold(folder, manifest, &added, keptAside);
  }
  if (!earlier.empty()) problem = earlier + (problem.empty() ? "" : " " + problem);
  return problem;
}

std::string foldManifestJournal(std::string* keptAside) {
  LastWritten& last = lastWritten();
  if (!last.pending) return {};
  const TargetFolder folder = std::move(*last.pending);
  last.pending.reset();
  ManifestLock lock;
  PosixFile manifest;
  std::string failed;
  if (const int error = lockAndOpen(folder, lock, manifest, failed); error != 0)
    return writeProblem(failed, error);
  return fold(folder, manifest, nullptr, keptAside);
}

std::optional<std::vector<DamagedArea>> damagedAreasInManifest(const std::string& folder,
                                                               const std::string& file,
                                                               int64_t fileBytes,
                                                               std::string* damage) {
  const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + kManifestName;
  return damagedAreasIn(path, path, file, fileBytes, damage);
}

std::optional<std::vector<DamagedArea>> damagedAreasInManifest(const TargetFolder& folder,
                                                               const std::string& file,
                                                               int64_t fileBytes,
                                                               std::string* damage) {
  return damagedAreasIn(folder.readPathOf(kManifestName), folder.pathOf(kManifestName), file,
                        fileBytes, damage);
}

std::string writeRecordFile(const TargetFolder& folder, const std::string& name,
                            const ManifestRecord& record) {
  const std::string path = folder.pathOf(name);
  if (std::string refusal = inputOfRunProblem(folder, name, path, nullptr); !refusal.empty())
    return refusal;
  return writeProblem(path, folder.atomicReplace(name, recordJson(record)));
}

}  // namespace korvelo
