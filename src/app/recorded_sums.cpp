// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recorded_sums.h"

#include <algorithm>
#include <filesystem>

#include "app/json_document.h"
#include "app/manifest.h"
#include "app/manifest_journal.h"
#include "disk/input_file.h"
#include "disk/text.h"

namespace korvelo {
namespace {

int64_t integerOf(const nlohmann::json& record, const char* key) {
  const auto found = record.find(key);
  return found != record.end() && found->is_number_integer() ? found->get<int64_t>() : 0;
}

// A wrong entry only makes a resume read more again from the disk, so the list is taken
// as far as it can be, never trusted beyond a sum that the file's bytes must give.
void takePrefixes(const nlohmann::json& record, RecordedSums& sums) {
  constexpr size_t kMostPrefixes = 4096;  // 280 GB of recording at one per 68 MB
  const auto list = record.find("sha256_prefixes");
  if (list == record.end() || !list->is_array()) return;
  for (const nlohmann::json& item : *list) {
    if (sums.prefixes.size() == kMostPrefixes) break;
    if (!item.is_object()) continue;
    const auto bytes = item.find("bytes");
    const auto sum = item.find("sha256");
    if (bytes == item.end() || !bytes->is_number_integer() || bytes->get<int64_t>() <= 0 ||
        sum == item.end() || !sum->is_string() || !isSha256Text(sum->get<std::string>()))
      continue;
    sums.prefixes.push_back({bytes->get<int64_t>(), sum->get<std::string>()});
  }
}

// "complete": false, and the damage the record names with it.
void takeCompleteness(const nlohmann::json& record, RecordedSums& sums) {
  if (!record.is_object()) return;
  const auto complete = record.find("complete");
  sums.incomplete = complete != record.end() && complete->is_boolean() && !complete->get<bool>();
  sums.unreadableSectors = integerOf(record, "unreadable_sectors");
  const auto areas = record.find("damaged_areas");
  if (areas != record.end() && areas->is_array() && !areas->empty()) {
    sums.damagedAreas = static_cast<int64_t>(areas->size());
    if (areas->front().is_object())
      sums.firstDamagedSector = integerOf(areas->front(), "first_sector");
  }
  const auto doubt = record.find("doubt");
  if (doubt != record.end() && doubt->is_string()) sums.doubt = doubt->get<std::string>();
  takePrefixes(record, sums);
}

// The sums of a record, each a SHA-256 text or empty; `damage` says which field is not.
RecordedSums sumsOf(const nlohmann::json& record, const std::string& source) {
  RecordedSums sums{source, {}, {}, {}};
  const auto sum = [&](const char* key, std::string& into) {
    if (!sums.damage.empty()) return;
    const std::optional<std::string> text = textField(record, key, &sums.damage);
    if (!text) return;
    if (!text->empty() && !isSha256Text(*text))
      sums.damage = textf("\"%s\" ist keine SHA-256-Prüfsumme", key);
    else
      into = *text;
  };
  sum("sha256_file", sums.sha256File);
  sum("sha256_hojin_data", sums.sha256HojinData);
  if (!sums.damage.empty()) sums.sha256File.clear(), sums.sha256HojinData.clear();
  takeCompleteness(record, sums);
  if (record.is_object()) {
    const auto bytes = record.find("file_bytes");
    if (bytes != record.end() && bytes->is_number_integer())
      sums.fileBytes = std::max<int64_t>(-1, bytes->get<int64_t>());
  }
  return sums;
}

bool saysSomething(const RecordedSums& sums) {
  return !sums.damage.empty() || !sums.sha256File.empty() || !sums.sha256HojinData.empty() ||
         sums.incomplete;
}

std::string folderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

}  // namespace

std::string manifestBeside(const std::string& havPath) {
  return folderOf(havPath) + "/" + kManifestName;
}

ManifestSums readManifestSums(const std::string& manifestPath) {
  JournalRecords journal;
  ManifestSums sums = manifestSums(readManifestDocument(manifestPath, &journal), manifestPath);
  // A journal or a line that cannot be read may hold a record of a file nobody would be
  // told to check; a FIFO or a huge file in its place is refused before it is read.
  if (!journal.problem.empty()) {
    sums.journalProblem = textf(
        "Das Journal \"%s\" ist nicht lesbar (%s); die Aufnahmen, die es "
        "verzeichnet, bleiben ungeprüft.",
        journalBeside(manifestPath).c_str(), journal.problem.c_str());
    sums.damaged.push_back(sums.journalProblem);
  }
  if (journal.damagedLines > 0)
    sums.damaged.push_back(textf("Das Journal \"%s\" enthält %d unlesbare %s.",
                                 journalBeside(manifestPath).c_str(), journal.damagedLines,
                                 journal.damagedLines == 1 ? "Zeile" : "Zeilen"));
  return sums;
}

ManifestSums manifestSums(const JsonDocument& document, const std::string& manifestPath) {
  ManifestSums manifest;
  manifest.path = manifestPath;
  manifest.missing = document.missing;
  const nlohmann::json* recordings = manifestRecordings(document.json);
  if (!document.problem.empty() || !recordings) {
    manifest.problem =
        textf("Das Manifest \"%s\" ist nicht lesbar: %s.", manifestPath.c_str(),
              document.problem.empty() ? "es ist kein Manifest" : document.problem.c_str());
    return manifest;
  }
  const std::string folder = folderOf(manifestPath);
  int number = 0;
  for (const nlohmann::json& record : *recordings) {
    ++number;
    std::string problem;
    const std::optional<std::string> file = textField(record, "file", &problem);
    if (file && !isPlainFileName(*file))
      problem = file->empty() ? "\"file\" fehlt" : "\"file\" ist kein Dateiname im Ordner";
    if (!problem.empty()) {
      manifest.damaged.push_back(textf("Eintrag %d des Manifests \"%s\" ist beschädigt: %s.",
                                       number, manifestPath.c_str(), problem.c_str()));
      continue;
    }
    manifest.files.push_back(folder + "/" + *file);
    RecordedSums sums = sumsOf(record, manifestPath);
    if (saysSomething(sums)) manifest.sumsByFile[*file].push_back(std::move(sums));
  }
  return manifest;
}

std::vector<RecordedSums> recordedSumsFor(const std::string& havPath,
                                          const ManifestSums& manifest) {
  std::vector<RecordedSums> found;
  const std::string name = std::filesystem::path(havPath).filename().string();
  if (const auto sums = manifest.sumsByFile.find(name); sums != manifest.sumsByFile.end())
    found = sums->second;
  const std::string sidecar = havPath + ".json";
  const JsonDocument document = readJsonDocument(sidecar, kSidecarLimit);
  if (document.missing) return found;
  RecordedSums sums = document.problem.empty()
                          ? sumsOf(document.json, sidecar)
                          : RecordedSums{sidecar, {}, {}, "die Datei " + document.problem};
  if (saysSomething(sums)) found.push_back(std::move(sums));
  return found;
}

std::vector<std::string> recordedDamage(const std::vector<RecordedSums>& recorded) {
  std::vector<std::string> lines;
  for (const RecordedSums& sums : recorded) {
    if (!sums.incomplete || !sums.damage.empty()) continue;
    std::string line = textf("Laut \"%s\" nicht vollständig gespeichert", sums.source.c_str());
    if (sums.unreadableSectors > 0 || sums.damagedAreas > 0) {
      line += textf(": %lld %s mit Nullen gefüllt in %lld %s",
                    static_cast<long long>(sums.unreadableSectors),
                    sums.unreadableSectors == 1 ? "Sektor" : "Sektoren",
                    static_cast<long long>(sums.damagedAreas),
                    sums.damagedAreas == 1 ? "Bereich" : "Bereichen");
      if (sums.firstDamagedSector >= 0)
        line +=
            textf(" (der erste ab Sektor %lld)", static_cast<long long>(sums.firstDamagedSector));
    } else if (!sums.doubt.empty()) {
      line += ": " + sums.doubt;
    }
    lines.push_back(line + ".");
  }
  return lines;
}

std::vector<std::string> sumMismatches(const HavDigests& found,
                                       const std::vector<RecordedSums>& recorded) {
  std::vector<std::string> lines;
  auto compare = [&](const char* what, const std::string& expected, const std::string& actual,
                     const std::string& source) {
    if (expected.empty() || expected == actual) return;
    lines.push_back(
        textf("SHA-256 der %s stimmt nicht mit \"%s\" überein: erwartet %s, "
              "gefunden %s.",
              what, source.c_str(), expected.c_str(), actual.c_str()));
  };
  for (const RecordedSums& sums : recorded) {
    if (!sums.damage.empty()) {
      lines.push_back(textf("Die aufgezeichneten Prüfsummen in \"%s\" sind beschädigt: %s.",
                            sums.source.c_str(), sums.damage.c_str()));
      continue;
    }
    if (!found.readable) continue;  // the file's own sums are unknown
    compare("Datei", sums.sha256File, found.file, sums.source);
    compare("HOJIN-Daten", sums.sha256HojinData, found.hojinData, sums.source);
  }
  return lines;
}

}  // namespace korvelo
