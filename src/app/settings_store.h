// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A reader and writer of "key = value" text files that keeps every line it does
// not touch in its place. Written to a temporary file and renamed over the old one,
// so an interrupted write never leaves a truncated file behind.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvelo {

class SettingsStore {
 public:
  // Derives the file name from the base path: an extension of one to three characters
  // in its last component is replaced by ".INI", otherwise ".INI" is appended.
  explicit SettingsStore(std::string basePath);
  virtual ~SettingsStore();  // flushes
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Reads the file's lines (LF or CR LF, kept whole however long); false when the
  // file cannot be opened or read. Only a regular file of at most kSettingsLimit bytes is
  // read; any other stays unread and is never overwritten (loadProblem() says why).
  bool load();
  // Why the last load left a file that is there unread: one German line; else empty.
  const std::string& loadProblem() const { return loadProblem_; }
  // The trimmed text after the first "=" of the first line whose key matches without
  // regard to case; none when no line has the key or nothing could be read.
  std::optional<std::string> getValue(std::string_view key);
  // Changes the first line with the key (its text up to "=" kept) or appends one.
  // A value holding a line break would split the line and is refused: false, nothing changed.
  bool setValue(std::string_view key, std::string_view value);
  // Writes every line (LF line ends) to a temporary file beside the target, syncs it
  // and renames it over the target. False on any failure; the old file then stays.
  // A file that could be read only in part is never overwritten. A settings file that
  // is a symbolic link is written through to the file it leads to only when the link
  // and that file belong to the user the program runs as.
  bool save();
  // Why the last save wrote nothing, when the user should hear of it (a symbolic link
  // that is not the user's own, or one that leads nowhere): one German line; else empty.
  const std::string& saveProblem() const { return saveProblem_; }
  // save() when a value was set since construction; true otherwise.
  bool flush();

  const std::string& fileName() const { return fileName_; }

 private:
  // Index of the first line carrying `key`, or -1.
  long findKey(std::string_view key) const;
  bool ensureLoaded();

  std::string fileName_;
  std::vector<std::string> lines_;  // each with its LF as read; only the last may lack it
  bool loaded_ = false;
  bool dirty_ = false;       // never reset: every flush after a setValue writes
  bool readFailed_ = false;  // the last load broke off: the file is never overwritten
  std::string saveProblem_;
  std::string loadProblem_;
};

// The file name the store derives from a base path ("/w/korvelo" gives "/w/korvelo.INI").
std::string settingsFileNameFor(const std::string& basePath);

}  // namespace korvelo
