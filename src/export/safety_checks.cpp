#include "export/safety_checks.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "disk/text.h"

namespace korvelo {
namespace {

bool isOctal(char c) {
  return c >= '0' && c <= '7';
}

// mountinfo writes blanks, tabs, newlines and backslashes in paths as \ooo.
std::string decodeOctalEscapes(const std::string& text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool escape = text[i] == '\\' && i + 3 < text.size() && isOctal(text[i + 1]) &&
                        isOctal(text[i + 2]) && isOctal(text[i + 3]);
    if (escape) {
      decoded += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

std::optional<std::pair<unsigned, unsigned>> readDevFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  unsigned major = 0, minor = 0;
  char colon = 0;
  if (in >> major >> colon >> minor && colon == ':') return std::make_pair(major, minor);
  return std::nullopt;
}

}  // namespace

std::optional<long> queryFileSystemType(const std::string& folder) {
  struct statfs info {};
  if (::statfs(folder.c_str(), &info) != 0) return std::nullopt;
  return static_cast<long>(info.f_type);
}

std::string fileSizeLimitProblem(const std::string& folder, uint64_t bytes,
                                 const FileSystemTypeQuery& query) {
  if (bytes <= kLargestFatFile || !query) return {};
  const std::optional<long> type = query(folder);
  if (!type || *type != kMsdosSuperMagic) return {};
  return textf(
      "Der Zielordner \"%s\" liegt auf einem FAT-Dateisystem, das keine Datei ab 4 GiB "
      "aufnimmt; die Datei bräuchte %s Bytes. Bitte einen Ordner auf einem anderen "
      "Dateisystem wählen (etwa ext4, NTFS oder exFAT).",
      folder.c_str(), formatThousands(static_cast<int64_t>(bytes), '.').c_str());
}

std::vector<Mount> parseMountinfo(const std::string& text) {
  std::vector<Mount> mounts;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint;
    if (!(fields >> id >> parent >> device >> root >> mountPoint)) continue;
    Mount mount;
    char colon = 0;
    std::istringstream numbers(device);
    if (!(numbers >> mount.major >> colon >> mount.minor) || colon != ':') continue;
    mount.mountPoint = decodeOctalEscapes(mountPoint);
    mounts.push_back(mount);
  }
  return mounts;
}

bool isPartitionInSysfs(unsigned major, unsigned minor, unsigned diskMajor, unsigned diskMinor) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path node = fs::canonical(textf("/sys/dev/block/%u:%u", major, minor), error);
  if (error || !fs::exists(node / "partition", error)) return false;
  const auto parent = readDevFile(node.parent_path() / "dev");
  return parent && parent->first == diskMajor && parent->second == diskMinor;
}

std::vector<std::string> mountPointsOf(dev_t device, const std::vector<Mount>& mounts,
                                       const PartitionQuery& isPartition) {
  const unsigned diskMajor = major(device), diskMinor = minor(device);
  std::vector<std::string> points;
  for (const Mount& mount : mounts) {
    const bool same = mount.major == diskMajor && mount.minor == diskMinor;
    if (same || (isPartition && isPartition(mount.major, mount.minor, diskMajor, diskMinor)))
      points.push_back(mount.mountPoint);
  }
  return points;
}

std::string mountedSourceProblem(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) return {};
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  const std::vector<std::string> points = mountPointsOf(info.st_rdev, parseMountinfo(text.str()));
  if (points.empty()) return {};
  return textf(
      "\"%s\" ist eingehängt (unter \"%s\"); bitte erst aushängen, die Festplatte wird "
      "nur ungenutzt gelesen.",
      path.c_str(), points.front().c_str());
}

}  // namespace korvelo
