// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/saved_files_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "support/expected_output.h"
#include "support/file_util.h"

namespace korvelo::test {
namespace {

std::mutex& registryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, const sample::DiskDescription*>& registry() {
  static std::map<std::string, const sample::DiskDescription*> disks;
  return disks;
}

std::optional<std::string> valueAfter(const std::vector<std::string>& arguments,
                                      const std::string& option) {
  const auto found = std::find(arguments.begin(), arguments.end(), option);
  if (found == arguments.end() || found + 1 == arguments.end()) return std::nullopt;
  return *(found + 1);
}

// The folder's last record of `name`: the manifest's, unless its journal has a later one.
std::optional<nlohmann::json> lastRecordOf(const std::filesystem::path& folder,
                                           const std::string& name) {
  std::optional<nlohmann::json> found;
  const auto names = [&](const nlohmann::json& record) {
    return record.is_object() && record.contains("file") && record["file"] == name;
  };
  std::ifstream manifest(folder / "korvelo-manifest.json");
  const nlohmann::json document = nlohmann::json::parse(manifest, nullptr, false);
  if (document.is_object() && document.contains("recordings") && document["recordings"].is_array())
    for (const nlohmann::json& record : document["recordings"])
      if (names(record)) found = record;
  std::ifstream journal(folder / "korvelo-manifest.json.journal");
  for (std::string line; std::getline(journal, line);) {
    const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    if (names(record)) found = record;
  }
  return found;
}

const sample::Recording* recordingNumbered(const sample::DiskDescription& disk, int number) {
  for (const sample::Recording& recording : disk.recordings)
    if (recording.entryNumber == number) return &recording;
  return nullptr;
}

}  // namespace

void registerSampleDisk(const std::string& imagePath, const sample::DiskDescription* disk) {
  const std::lock_guard lock(registryMutex());
  registry()[imagePath] = disk;
}

void forgetSampleDisk(const std::string& imagePath) {
  const std::lock_guard lock(registryMutex());
  registry().erase(imagePath);
}

void checkSavedFilesOfRun(const std::vector<std::string>& arguments, const std::string& out) {
  if (std::find(arguments.begin(), arguments.end(), "export") == arguments.end()) return;
  const bool rescued = std::find(arguments.begin(), arguments.end(), "rescue") != arguments.end();
  const sample::DiskDescription* disk = nullptr;
  const std::optional<std::string> image = valueAfter(arguments, "--drive");
  if (image && !rescued) {
    const std::lock_guard lock(registryMutex());
    if (const auto known = registry().find(*image); known != registry().end()) disk = known->second;
  }
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::filesystem::path file(line);
    if (file.extension() != ".hav" || !std::filesystem::is_regular_file(file)) continue;
    SCOPED_TRACE("called saved: " + line);
    const std::optional<nlohmann::json> record =
        lastRecordOf(file.parent_path(), file.filename().string());
    if (!record) {
      // Where the manifest could not be written (it is a link, say), the run says so.
      if (std::filesystem::is_regular_file(
              std::filesystem::symlink_status(file.parent_path() / "korvelo-manifest.json")))
        ADD_FAILURE() << "no record of a file the run called saved";
      continue;
    }
    const std::vector<uint8_t> bytes = readFileBytes(line);
    EXPECT_EQ(record->value("complete", false), true) << record->dump();
    EXPECT_EQ(record->value("file_bytes", int64_t{-1}), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(record->value("sha256_file", ""), sha256Hex(bytes))
        << "the record's sum is not the file's";
    if (!disk) continue;
    const sample::Recording* recording =
        recordingNumbered(*disk, record->value("entry_number", -1));
    if (!recording) continue;
    EXPECT_TRUE(bytes == expectedHavFile(*image, *disk, *recording))
        << "the file is not the recording's export";
  }
}

}  // namespace korvelo::test
