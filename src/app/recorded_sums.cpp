// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recorded_sums.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/manifest.h"
#include "disk/text.h"

namespace korvelo {
namespace {

nlohmann::json readJson(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  return nlohmann::json::parse(in, nullptr, false);
}

const nlohmann::json* recordingsOf(const nlohmann::json& manifest) {
  if (!manifest.is_object()) return nullptr;
  const auto list = manifest.find("recordings");
  return list != manifest.end() && list->is_array() ? &*list : nullptr;
}

int64_t integerOf(const nlohmann::json& record, const char* key) {
  const auto found = record.find(key);
  return found != record.end() && found->is_number_integer() ? found->get<int64_t>() : 0;
}

// "complete": false, and the damage the record names with it.
void takeCompleteness(const nlohmann::json& record, RecordedSums& sums) {
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
}

std::optional<RecordedSums> sumsOf(const nlohmann::json& record, const std::string& source) {
  if (!record.is_object()) return std::nullopt;
  RecordedSums sums;
  sums.source = source;
  sums.sha256File = record.value("sha256_file", std::string());
  sums.sha256HojinData = record.value("sha256_hojin_data", std::string());
  takeCompleteness(record, sums);
  if (sums.sha256File.empty() && sums.sha256HojinData.empty() && !sums.incomplete)
    return std::nullopt;
  return sums;
}

std::string folderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

}  // namespace

std::string manifestBeside(const std::string& havPath) {
  return folderOf(havPath) + "/" + kManifestName;
}

std::vector<RecordedSums> recordedSumsFor(const std::string& havPath,
                                          const std::string& manifestPath) {
  std::vector<RecordedSums> found;
  const std::string name = std::filesystem::path(havPath).filename().string();
  const nlohmann::json manifest = readJson(manifestPath);
  if (const nlohmann::json* recordings = recordingsOf(manifest)) {
    for (const nlohmann::json& record : *recordings) {
      if (!record.is_object() || record.value("file", std::string()) != name) continue;
      if (auto sums = sumsOf(record, manifestPath)) found.push_back(std::move(*sums));
    }
  }
  const std::string sidecar = havPath + ".json";
  if (auto sums = sumsOf(readJson(sidecar), sidecar)) found.push_back(std::move(*sums));
  return found;
}

std::optional<std::vector<std::string>> filesInManifest(const std::string& manifestPath) {
  const nlohmann::json manifest = readJson(manifestPath);
  const nlohmann::json* recordings = recordingsOf(manifest);
  if (!recordings) return std::nullopt;
  std::vector<std::string> files;
  const std::string folder = folderOf(manifestPath);
  for (const nlohmann::json& record : *recordings) {
    const std::string file = record.is_object() ? record.value("file", std::string()) : "";
    if (!file.empty()) files.push_back(folder + "/" + file);
  }
  return files;
}

std::vector<std::string> recordedDamage(const std::vector<RecordedSums>& recorded) {
  std::vector<std::string> lines;
  for (const RecordedSums& sums : recorded) {
    if (!sums.incomplete) continue;
    std::string line = textf("Laut \"%s\" nicht vollständig gespeichert", sums.source.c_str());
    if (sums.unreadableSectors > 0 || sums.damagedAreas > 0) {
      line += textf(": %lld Sektoren mit Nullen gefüllt in %lld Bereichen",
                    static_cast<long long>(sums.unreadableSectors),
                    static_cast<long long>(sums.damagedAreas));
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
    compare("Datei", sums.sha256File, found.file, sums.source);
    compare("HOJIN-Daten", sums.sha256HojinData, found.hojinData, sums.source);
  }
  return lines;
}

}  // namespace korvelo
