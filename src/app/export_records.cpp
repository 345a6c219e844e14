// SPDX-License-Identifier: GPL-3.0-or-later
// What export adds for a failing disk: check sums and records beside the files.

#include "app/export_records.h"

#include <sys/stat.h>

#include <filesystem>

#include "app/manifest.h"
#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/hav_digests.h"
#include "export/hav_head.h"
#include "export/mount_and_fat_checks.h"

namespace korvelo {

bool ExportResultRecorder::record(const DirectoryEntry& entry, const ExportResult& result) {
  const std::string name = std::filesystem::path(result.path).filename().string();
  struct stat file {};
  if (folder_.statOf(name, file) != 0) return true;
  // The sums taken while writing hold when the file still has exactly the bytes they
  // cover (a write that failed half-way may have left more); otherwise it is read back.
  const HavDigests digests = result.digests && result.digests->readable &&
                                     int64_t{file.st_size} == result.digests->fileBytes
                                 ? *result.digests
                                 : digestHavFile(folder_.readPathOf(name));
  const ManifestRecord record = recordFor(entry, result, digests);
  if (!digests.readable)
    log_.append(textf("Konnte \"%s\" für die Prüfsumme nicht lesen.", result.path.c_str()),
                Severity::Error);
  log_.append(textf("SHA-256 von \"%s\": %s", record.file.c_str(),
                    digests.readable ? digests.file.c_str() : "-"));
  bool written = true;
  std::string keptAside;
  if (std::string problem = addToManifest(folder_, record, &keptAside); !problem.empty()) {
    log_.append(problem, Severity::Error);
    written = false;
  }
  if (!keptAside.empty()) {
    // The records it held are no longer where a later check looks: the run says so.
    log_.append(keptAside, Severity::Warning);
    written = false;
  }
  if (sidecar_) {
    if (std::string problem = writeRecordFile(folder_, name + ".json", record); !problem.empty()) {
      log_.append(problem, Severity::Error);
      written = false;
    }
  }
  return written;
}

}  // namespace korvelo
