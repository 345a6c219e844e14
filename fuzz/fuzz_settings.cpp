// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file from fuzzed bytes: loading must give every key a non-empty value,
// a value set must read back as set, and a saved file must load again to the same
// values, leaving nothing but the settings file in its folder.
//
// Input: the file's bytes, then after the first NUL byte up to four pairs of key and
// value separated by NUL bytes, set one after the other.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"
#include "app/settings_store.h"
#include "fuzz_disk.h"

using namespace korvelo;

namespace {

const char* const kKeys[] = {"PathToHAVs",           "DebugInfo",        "NoFileSysCheck",
                             "FATSizeAuto",          "FATSizeManuel",    "UseRecordDate",
                             "SuppressWarnings",     "TevionPVR8005HDD", "MillisecondsPause",
                             "EntryNumberInFileName"};

// Outlives every static object, so that the clean-up at exit can still name it.
char folderPath[128];

void removeFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folderPath, ignored);
}

std::string folder() {
  if (folderPath[0] == '\0') {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::snprintf(folderPath, sizeof folderPath, "%s/korvelo-fuzz-settings-XXXXXX", base);
    if (mkdtemp(folderPath) == nullptr) korvelo::fuzz::fail("no temporary folder");
    std::atexit(removeFolder);
  }
  return folderPath;
}

std::vector<std::string_view> splitAtNul(std::string_view text) {
  std::vector<std::string_view> parts;
  for (size_t nul; (nul = text.find('\0')) != std::string_view::npos;) {
    parts.push_back(text.substr(0, nul));
    text.remove_prefix(nul + 1);
  }
  parts.push_back(text);
  return parts;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

// A key as the program spells its own: findable again once set.
bool isCleanKey(std::string_view key) {
  return !key.empty() && key.find_first_of("=\r\n") == std::string_view::npos &&
         !isBlank(key.front()) && !isBlank(key.back());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> parts = splitAtNul(input);
  const std::string base = folder() + "/korvelo";
  const std::string fileName = base + ".INI";
  {
    std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
    file.write(parts[0].data(), static_cast<std::streamsize>(parts[0].size()));
  }

  std::vector<std::string> keys(std::begin(kKeys), std::end(kKeys));
  std::vector<std::optional<std::string>> values;
  {
    SettingsStore store(base);
    KORVELO_FUZZ_CHECK(store.fileName() == fileName);
    Settings settings;
    loadSettings(store, settings);
    for (const char* key : kKeys) {
      const std::optional<std::string> value = store.getValue(key);
      KORVELO_FUZZ_CHECK(value && !value->empty());
    }
    KORVELO_FUZZ_CHECK(settings.fatSizeManuel ==
                       parseSettingsInt(*store.getValue("FATSizeManuel")));
    KORVELO_FUZZ_CHECK(!settings.tevionPVR8005HDD || settings.noFileSysCheck);

    for (size_t i = 1; i + 1 < parts.size() && i < 9; i += 2) {
      const std::string key(parts[i]);
      const std::string value(parts[i + 1]);
      if (!isCleanKey(key)) continue;  // keys come from the program, never from the file
      const bool set = store.setValue(key, value);
      KORVELO_FUZZ_CHECK(set == (value.find_first_of("\r\n") == std::string::npos));
      if (set) KORVELO_FUZZ_CHECK(store.getValue(key) == trimmed(value));
      keys.push_back(key);
    }
    for (const std::string& key : keys) values.push_back(store.getValue(key));
    KORVELO_FUZZ_CHECK(saveSettings(store, settings));
    // saveSettings writes the values of `settings` back, which may differ from the file's.
    values.clear();
    for (const std::string& key : keys) values.push_back(store.getValue(key));
  }

  SettingsStore reloaded(base);
  for (size_t i = 0; i < keys.size(); ++i)
    KORVELO_FUZZ_CHECK(reloaded.getValue(keys[i]) == values[i]);
  size_t files = 0;
  for (const auto& item : std::filesystem::directory_iterator(folder())) {
    KORVELO_FUZZ_CHECK(item.path() == fileName);
    ++files;
  }
  KORVELO_FUZZ_CHECK(files == 1);
  return 0;
}
