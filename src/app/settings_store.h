#pragma once
// A reader and writer of "key = value" text files that keeps every line it does
// not touch in its place. Written to a temporary file and renamed over the old one.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvelo {

class SettingsStore {
 public:
  // Derives the file name from the base path: an extension of one to three characters
  // is replaced by ".INI", otherwise ".INI" is appended.
  explicit SettingsStore(std::string basePath);
  virtual ~SettingsStore();  // flushes
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  bool load();
  std::optional<std::string> getValue(std::string_view key);
  void setValue(std::string_view key, std::string_view value);
  bool save();
  bool flush();

  const std::string& fileName() const { return fileName_; }

 private:
  std::string fileName_;
  std::vector<std::string> lines_;  // each with its line break as read
  bool loaded_ = false;
  bool dirty_ = false;
  bool diagnostics_ = false;
};

}  // namespace korvelo
