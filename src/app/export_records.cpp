// SPDX-License-Identifier: GPL-3.0-or-later
// What export adds for a failing disk: check sums and records beside the files.

#include "app/export_records.h"

#include <filesystem>

#include "app/manifest.h"
#include "disk/text.h"
#include "export/hav_digests.h"
#include "export/hav_head.h"
#include "export/mount_and_fat_checks.h"

namespace korvelo {

namespace {

// The sums taken while writing hold when the file still has exactly the bytes they cover
// (a write that failed half-way may have left more); otherwise the file is read back.
HavDigests digestsOf(const ExportResult& result) {
  std::error_code error;
  const auto size = std::filesystem::file_size(result.path, error);
  if (result.digests && result.digests->readable && !error &&
      static_cast<int64_t>(size) == result.digests->fileBytes)
    return *result.digests;
  return digestHavFile(result.path);
}

}  // namespace

bool ExportResultRecorder::record(const DirectoryEntry& entry, const ExportResult& result) {
  if (!std::filesystem::exists(result.path)) return true;
  const HavDigests digests = digestsOf(result);
  const ManifestRecord record = recordFor(entry, result, digests);
  if (!digests.readable)
    log_.append(textf("Konnte \"%s\" für die Prüfsumme nicht lesen.", result.path.c_str()),
                Severity::Error);
  log_.append(textf("SHA-256 von \"%s\": %s", record.file.c_str(),
                    digests.readable ? digests.file.c_str() : "-"));
  bool written = true;
  const std::string folder = std::filesystem::path(result.path).parent_path().string();
  std::string keptAside;
  if (std::string problem = addToManifest(folder.empty() ? folder_ : folder, record, &keptAside);
      !problem.empty()) {
    log_.append(problem, Severity::Error);
    written = false;
  }
  if (!keptAside.empty()) {
    // The records it held are no longer where a later check looks: the run says so.
    log_.append(keptAside, Severity::Warning);
    written = false;
  }
  if (sidecar_) {
    if (std::string problem = writeRecordFile(result.path + ".json", record); !problem.empty()) {
      log_.append(problem, Severity::Error);
      written = false;
    }
  }
  return written;
}

}  // namespace korvelo
