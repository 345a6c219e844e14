#include "app/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

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

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A settings file that is a symbolic link is written through to its target, so the
// link survives the rename.
std::string resolveTarget(const std::string& fileName) {
  struct stat info {};
  if (::lstat(fileName.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return fileName;
  char resolved[PATH_MAX];
  if (::realpath(fileName.c_str(), resolved) == nullptr) return fileName;
  return resolved;
}

// The folder's entry for the new file is made durable as well; a folder that cannot
// be synced does not make the save fail, the file itself is on disk.
void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
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
  const int fd = ::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // A second load after a failed one starts afresh, so no line is taken twice.
  lines_.clear();
  std::string data;
  char chunk[4096];
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ok = false;
      break;
    }
    if (got == 0) break;
    data.append(chunk, static_cast<size_t>(got));
  }
  ::close(fd);
  appendLines(data, lines_);
  readFailed_ = !ok;
  return ok;
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
  // Only part of the file is known: writing it back would cut the rest away.
  if (readFailed_) return false;
  const std::string target = resolveTarget(fileName_);
  std::string temporary = target + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  struct stat old {};
  const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  bool ok = ::fchmod(fd, mode) == 0;
  for (const std::string& line : lines_) ok = writeAll(fd, line) && ok;
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  syncFolder(folderOf(target));
  return true;
}

bool SettingsStore::flush() {
  return dirty_ ? save() : true;
}

}  // namespace korvelo
