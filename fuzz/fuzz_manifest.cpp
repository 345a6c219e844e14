// SPDX-License-Identifier: GPL-3.0-or-later
// A folder's manifest, its journal and a ".hav.json" from fuzzed bytes, read the ways the
// programs read them: the sums for verify, the zero-filled areas for a continued export,
// and a new record added by an export. Nothing may throw or crash; every area taken over
// lies within the file's recording data; an added record stays beside every record that
// was there; the journal is gone afterwards, or kept aside with its lines.
//
// Input: the manifest's bytes; after the first NUL byte, the bytes of the sidecar, which
// are the journal's too.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "app/manifest.h"
#include "app/manifest_journal.h"
#include "app/recorded_sums.h"
#include "export/hav_head.h"
#include "fuzz_disk.h"

using namespace korvelo;

namespace {

char folderPath[128];

void removeFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folderPath, ignored);
}

std::string folder() {
  if (folderPath[0] == '\0') {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::snprintf(folderPath, sizeof folderPath, "%s/korvelo-fuzz-manifest-XXXXXX", base);
    if (mkdtemp(folderPath) == nullptr) korvelo::fuzz::fail("no temporary folder");
    std::atexit(removeFolder);
  }
  return folderPath;
}

void write(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

size_t recordsIn(const std::string& path) {
  std::ifstream in(path);
  const nlohmann::json document = nlohmann::json::parse(in, nullptr, false);
  if (!document.is_object() || !document.contains("recordings")) return 0;
  return document["recordings"].is_array() ? document["recordings"].size() : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string manifest = folder() + "/" + kManifestName;
  const std::string hav = folder() + "/a.hav";
  write(manifest, input.substr(0, nul));
  const std::string_view second = nul == std::string_view::npos ? "" : input.substr(nul + 1);
  write(hav + ".json", second);
  const std::string journal = folder() + "/" + kJournalName;
  write(journal, second);

  const ManifestSums sums = readManifestSums(manifest);
  for (const std::string& file : sums.files)
    KORVELO_FUZZ_CHECK(file.rfind(folder() + "/", 0) == 0 &&
                       file.find('/', folder().size() + 1) == std::string::npos);
  for (const RecordedSums& recorded : recordedSumsFor(hav, sums))
    KORVELO_FUZZ_CHECK(recorded.damage.empty() ||
                       (recorded.sha256File.empty() && recorded.sha256HojinData.empty()));

  constexpr int64_t kFileBytes = kHavFrontBytes + 3 * 33280;
  std::string damage;
  if (const auto areas = damagedAreasInManifest(folder(), "a.hav", kFileBytes, &damage)) {
    for (const DamagedArea& area : *areas) {
      KORVELO_FUZZ_CHECK(area.sectorCount >= 1 && area.fileOffset >= kHavFrontBytes);
      KORVELO_FUZZ_CHECK(area.fileOffset + area.sectorCount * 512 <= kFileBytes);
    }
  }

  const size_t before = recordsIn(manifest) + readJournal(journal).records.size();
  ManifestRecord record;
  record.file = "neu.hav";
  std::string keptAside;
  KORVELO_FUZZ_CHECK(addToManifest(folder(), record, &keptAside).empty());
  const size_t after = recordsIn(manifest);
  KORVELO_FUZZ_CHECK(after >= 1 && after <= before + 1);
  // A damaged manifest kept aside holds the input's bytes; it goes, so that the next inputs
  // of this second find its name free again.
  for (const auto& item : std::filesystem::directory_iterator(folder())) {
    const std::string name = item.path().filename().string();
    if (name.rfind(std::string(kManifestName) + ".", 0) != 0) continue;
    std::ifstream in(item.path(), std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool ofJournal = name.rfind(std::string(kJournalName) + ".", 0) == 0;
    KORVELO_FUZZ_CHECK(name != kJournalName);
    // A journal kept aside keeps its lines; a last line a crash would have cut short may
    // have given way to the new record.
    const std::string_view lines = second.substr(0, second.rfind('\n') + 1);
    KORVELO_FUZZ_CHECK(!keptAside.empty() &&
                       (ofJournal ? kept.rfind(lines, 0) == 0 : kept == input.substr(0, nul)));
    std::filesystem::remove(item.path());
  }
  return 0;
}
