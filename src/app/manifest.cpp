#include "app/manifest.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/app_state.h"
#include "disk/text.h"
#include "recfs/directory_entry.h"

namespace korvelo {

namespace {

nlohmann::json toJson(const ManifestRecord& r) {
  return {{"entry_number", r.entryNumber},
          {"title", r.title},
          {"start", r.start},
          {"duration_seconds", r.durationSeconds},
          {"size_bytes", r.sizeBytes},
          {"hojins", r.hojins},
          {"damaged_hojins", r.damagedHojins},
          {"unreadable_sectors", r.unreadableSectors},
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

std::string writeRecordFile(const std::string& path, const ManifestRecord& record) {
  return replaceFile(path, recordJson(record));
}

}  // namespace korvelo
