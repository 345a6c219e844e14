// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/mount_and_fat_checks.h"

#include <libmount/libmount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "disk/text.h"

namespace korvelo {
namespace {

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

namespace {

struct TableDeleter {
  void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
struct IteratorDeleter {
  void operator()(libmnt_iter* iterator) const { mnt_free_iter(iterator); }
};
struct StreamCloser {
  void operator()(FILE* stream) const { std::fclose(stream); }
};

// A line libmount cannot read is left out; the rest of the table still counts.
int skipBadLine(libmnt_table*, const char*, int) {
  return 1;
}

}  // namespace

std::vector<Mount> parseMountinfo(const std::string& text) {
  std::vector<Mount> mounts;
  if (text.empty()) return mounts;
  std::unique_ptr<FILE, StreamCloser> stream(
      ::fmemopen(const_cast<char*>(text.data()), text.size(), "r"));
  std::unique_ptr<libmnt_table, TableDeleter> table(mnt_new_table());
  if (!stream || !table) return mounts;
  mnt_table_set_parser_errcb(table.get(), skipBadLine);
  if (mnt_table_parse_stream(table.get(), stream.get(), "mountinfo") != 0) return mounts;
  std::unique_ptr<libmnt_iter, IteratorDeleter> iterator(mnt_new_iter(MNT_ITER_FORWARD));
  libmnt_fs* fs = nullptr;
  while (iterator && mnt_table_next_fs(table.get(), iterator.get(), &fs) == 0) {
    const char* target = mnt_fs_get_target(fs);
    if (target == nullptr) continue;
    const dev_t device = mnt_fs_get_devno(fs);
    mounts.push_back(Mount{major(device), minor(device), target});
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
