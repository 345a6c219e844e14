// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "disk/input_file.h"
#include "disk/posix_file.h"
#include "disk/text.h"

namespace korvelo {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Splits what was read into lines that keep their LF; a CR before the LF is dropped,
// so files written on Windows come back with plain LF line ends.
void appendLines(std::string_view data, std::vector<std::string>& lines) {
  while (!data.empty()) {
    const size_t lf = data.find('\n');
    std::string_view line = data.substr(0, lf == std::string_view::npos ? data.size() : lf + 1);
    data.remove_prefix(line.size());
    if (line.size() >= 2 && line.ends_with("\r\n")) {
      lines.emplace_back(line.substr(0, line.size() - 2)).push_back('\n');
    } else {
      lines.emplace_back(line);
    }
  }
}

// The folder of a link's text that is not absolute: the folder of the link itself.
std::string besideLink(const std::string& link, const std::string& text) {
  if (text.starts_with('/')) return text;
  const size_t slash = link.rfind('/');
  return slash == std::string::npos ? text : link.substr(0, slash + 1) + text;
}

std::string linkProblem(const char* format, const std::string& fileName) {
  return std::string("Einstellungen nicht gespeichert: ") + textf(format, fileName.c_str());
}

// Where the settings are written: the file itself, or the file a symbolic link in its
// place leads to (the link stays). Through links only when each of them and the file
// behind belong to the user the program runs as: run as root in someone else's folder,
// a link placed there must not choose which file is overwritten. Empty with `target`
// set, or the reason why nothing is written.
std::string settingsTarget(const std::string& fileName, std::string& target) {
  constexpr int kMostLinks = 40;  // as the system follows them
  const uid_t user = ::geteuid();
  std::string path = fileName;
  int hops = 0;
  for (; hops <= kMostLinks; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) break;
    if (!S_ISLNK(info.st_mode)) {
      if (hops > 0 && info.st_uid != user)
        return linkProblem(
            "das Ziel des symbolischen Verweises \"%s\" gehört nicht dem "
            "Benutzer, unter dem Korvelo läuft.",
            fileName);
      target = path;
      return {};
    }
    if (info.st_uid != user)
      return linkProblem(
          "der symbolische Verweis \"%s\" gehört nicht dem Benutzer, unter "
          "dem Korvelo läuft.",
          fileName);
    std::string text(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
    if (length <= 0 || static_cast<size_t>(length) >= text.size()) break;
    text.resize(static_cast<size_t>(length));
    path = besideLink(path, text);
  }
  if (hops == 0) {  // no file yet: it is made
    target = fileName;
    return {};
  }
  return linkProblem("der symbolische Verweis \"%s\" führt zu keiner Datei.", fileName);
}

}  // namespace

std::string settingsFileNameFor(const std::string& basePath) {
  const size_t nameStart = basePath.rfind('/') == std::string::npos ? 0 : basePath.rfind('/') + 1;
  const size_t dot = basePath.rfind('.');
  // Only a dot in the file's own name counts, never one of a folder or a leading one.
  const bool hasShortExtension =
      dot != std::string::npos && dot > nameStart && dot + 4 >= basePath.size();
  if (hasShortExtension) return basePath.substr(0, dot) + ".INI";
  return basePath + ".INI";
}

SettingsStore::SettingsStore(std::string basePath) : fileName_(settingsFileNameFor(basePath)) {}

SettingsStore::~SettingsStore() {
  flush();
}

bool SettingsStore::load() {
  // A second load after a failed one starts afresh, so no line is taken twice.
  lines_.clear();
  loadProblem_.clear();
  std::string data;
  int error = 0;
  const std::string reason = readInputFile(fileName_, kSettingsLimit, data, &error);
  // A file that is not there is no fault; one that is there but is no settings file (a
  // FIFO, a device, a huge one) is never read and never overwritten.
  readFailed_ = !reason.empty() && error != ENOENT;
  if (readFailed_)
    loadProblem_ = textf("Die Einstellungsdatei \"%s\" wird nicht gelesen: %s.", fileName_.c_str(),
                         reason.c_str());
  if (!reason.empty()) return false;
  appendLines(data, lines_);
  return true;
}

bool SettingsStore::ensureLoaded() {
  if (!loaded_ && !dirty_) loaded_ = load();
  return loaded_ || dirty_;
}

long SettingsStore::findKey(std::string_view key) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string_view line = lines_[i];
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (equalsIgnoringCase(trim(line.substr(0, equals)), key)) return static_cast<long>(i);
  }
  return -1;
}

std::optional<std::string> SettingsStore::getValue(std::string_view key) {
  if (!ensureLoaded()) return std::nullopt;
  const long index = findKey(key);
  if (index < 0) return std::nullopt;
  const std::string_view line = lines_[static_cast<size_t>(index)];
  return std::string(trim(line.substr(line.find('=') + 1)));
}

bool SettingsStore::setValue(std::string_view key, std::string_view value) {
  if (value.find_first_of("\r\n") != std::string_view::npos) return false;
  ensureLoaded();
  const long index = findKey(key);
  if (index >= 0) {
    std::string& line = lines_[static_cast<size_t>(index)];
    line.erase(line.find('=') + 1);
    line.append(" ").append(value).append("\n");
  } else {
    // A last line without its line break must not swallow the new one.
    if (!lines_.empty() && !lines_.back().ends_with('\n')) lines_.back() += '\n';
    lines_.emplace_back(key).append(" = ").append(value).append("\n");
  }
  dirty_ = true;
  return true;
}

bool SettingsStore::save() {
  saveProblem_.clear();
  // Only part of the file is known: writing it back would cut the rest away.
  if (readFailed_) return false;
  std::string target;
  saveProblem_ = settingsTarget(fileName_, target);
  if (!saveProblem_.empty()) return false;
  std::string text;
  for (const std::string& line : lines_) text += line;
  return atomicReplace(target, text) == 0;
}

bool SettingsStore::flush() {
  return dirty_ ? save() : true;
}

}  // namespace korvelo
