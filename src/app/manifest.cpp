#include "app/manifest.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/app_state.h"
#include "disk/text.h"
#include "recfs/directory_entry.h"

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

std::optional<DamagedArea> areaFromJson(const nlohmann::json& item) {
  if (!item.is_object()) return std::nullopt;
  const auto number = [&](const char* key) -> std::optional<int64_t> {
    const auto found = item.find(key);
    if (found == item.end() || !found->is_number_integer()) return std::nullopt;
    return found->get<int64_t>();
  };
  const auto first = number("first_sector"), count = number("sectors"), offset = number("file_offset");
  const std::string state = item.value("state", std::string());
  if (!first || !count || !offset || *first < 0 || *count < 1 || *offset < 0 ||
      (state != "unreadable" && state != "not_tried"))
    return std::nullopt;
  return DamagedArea{*first, *count, *offset,
                     state == "not_tried" ? DamageState::NotTried : DamageState::Unreadable};
}

nlohmann::json toJson(const ManifestRecord& r) {
  return {{"entry_number", r.entryNumber},
          {"title", r.title},
          {"start", r.start},
          {"duration_seconds", r.durationSeconds},
          {"size_bytes", r.sizeBytes},
          {"hojins", r.hojins},
          {"damaged_hojins", r.damagedHojins},
          {"unreadable_sectors", r.unreadableSectors},
          {"damaged_areas", areasJson(r.damagedAreas)},
          {"file", r.file},
          {"file_bytes", r.fileBytes},
          {"sha256_file", r.sha256File},
          {"sha256_hojin_data", r.sha256HojinData},
          {"complete", r.complete}};
}

// Writes beside the target and renames, so that an interruption never leaves half a file.
std::string replaceFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".neu";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      return textf("Konnte \"%s\" nicht schreiben.", path.c_str());
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return textf("Konnte \"%s\" nicht schreiben.", path.c_str());
  }
  return {};
}

nlohmann::json readManifest(const std::string& path) {
  std::ifstream in(path);
  if (in) {
    nlohmann::json document = nlohmann::json::parse(in, nullptr, false);
    if (document.is_object() && document.contains("recordings") && document["recordings"].is_array())
      return document;
  }
  return {{"program", std::string("korvelo-cli ") + kVersion}, {"recordings", nlohmann::json::array()}};
}

}  // namespace

ManifestRecord recordFor(const DirectoryEntry& entry) {
  ManifestRecord record;
  record.entryNumber = entry.getEntryNumber();
  record.title = latin1ToUtf8(filterPrintable(entry.getTitle()));
  const StartTime start = entry.getStartTime();
  record.start = textf("%04d-%02d-%02d %02d:%02d", start.year, start.month, start.day, start.hour,
                       start.minute);
  record.durationSeconds = entry.getDurationMs() / 1000;
  record.sizeBytes = entry.getSizeInBytes();
  record.hojins = entry.getNumberOfHojins();
  return record;
}

std::string recordJson(const ManifestRecord& record) { return toJson(record).dump(2) + "\n"; }

std::string addToManifest(const std::string& folder, const ManifestRecord& record) {
  const std::string path = folder + "/" + kManifestName;
  nlohmann::json document = readManifest(path);
  nlohmann::json& recordings = document["recordings"];
  for (auto it = recordings.begin(); it != recordings.end();) {
    if (it->is_object() && it->value("file", std::string()) == record.file)
      it = recordings.erase(it);
    else
      ++it;
  }
  recordings.push_back(toJson(record));
  return replaceFile(path, document.dump(2) + "\n");
}

std::optional<std::vector<DamagedArea>> damagedAreasInManifest(const std::string& folder,
                                                               const std::string& file) {
  const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + kManifestName;
  std::ifstream in(path);
  if (!in) return std::nullopt;
  const nlohmann::json document = nlohmann::json::parse(in, nullptr, false);
  if (!document.is_object() || !document.contains("recordings") || !document["recordings"].is_array())
    return std::nullopt;
  for (const nlohmann::json& record : document["recordings"]) {
    if (!record.is_object() || record.value("file", std::string()) != file) continue;
    const auto list = record.find("damaged_areas");
    if (list == record.end() || !list->is_array()) return std::nullopt;
    std::vector<DamagedArea> areas;
    for (const nlohmann::json& item : *list) {
      const std::optional<DamagedArea> area = areaFromJson(item);
      if (!area) return std::nullopt;
      areas.push_back(*area);
    }
    return areas;
  }
  return std::nullopt;
}

std::string writeRecordFile(const std::string& path, const ManifestRecord& record) {
  return replaceFile(path, recordJson(record));
}

}  // namespace korvelo
