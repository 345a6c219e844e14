// SPDX-License-Identifier: GPL-3.0-or-later
// What export adds for a failing disk: check sums and records beside the files.

#include "app/export_records.h"

#include <filesystem>

#include "app/manifest.h"
#include "disk/text.h"
#include "export/hav_digests.h"
#include "export/hav_head.h"
#include "export/safety_checks.h"

namespace korvelo {

namespace {

// The sums taken while writing hold when the file still has exactly the bytes they cover
// (a write that failed half-way may have left more); otherwise the file is read back.
HavDigests digestsOf(const SavedRecording& saved) {
  std::error_code error;
  const auto size = std::filesystem::file_size(saved.path, error);
  if (saved.digests && saved.digests->readable && !error &&
      static_cast<int64_t>(size) == saved.digests->fileBytes)
    return *saved.digests;
  return digestHavFile(saved.path);
}

}  // namespace

bool ExportResultRecorder::record(const SavedRecording& saved) {
  if (saved.entry == nullptr || !std::filesystem::exists(saved.path)) return true;
  ManifestRecord record = recordFor(*saved.entry);
  record.file = std::filesystem::path(saved.path).filename().string();
  record.damagedHojins = saved.damagedHojins;
  record.unreadableSectors = saved.unreadableSectors;
  record.damagedAreas = saved.damagedAreas;
  record.doubt = saved.doubt;
  const HavDigests digests = digestsOf(saved);
  if (digests.readable) {
    record.fileBytes = digests.fileBytes;
    record.sha256File = digests.file;
    record.sha256HojinData = digests.hojinData;
  } else {
    log_.append(textf("Konnte \"%s\" für die Prüfsumme nicht lesen.", saved.path.c_str()));
  }
  record.complete = saved.complete && digests.readable;
  log_.append(textf("SHA-256 von \"%s\": %s", record.file.c_str(),
                    digests.readable ? digests.file.c_str() : "-"));
  bool written = true;
  const std::string folder = std::filesystem::path(saved.path).parent_path().string();
  if (std::string problem = addToManifest(folder.empty() ? folder_ : folder, record);
      !problem.empty()) {
    log_.append(problem);
    written = false;
  }
  if (sidecar_) {
    if (std::string problem = writeRecordFile(saved.path + ".json", record); !problem.empty()) {
      log_.append(problem);
      written = false;
    }
  }
  return written;
}

}  // namespace korvelo
