// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/file_naming.h"

#include <sys/statvfs.h>

#include <cerrno>

#include "disk/text.h"
#include "export/hav_export_job.h"

namespace korvelo {

ProposedName proposeFileName(const DirectoryEntry& entry, bool entryNumberInFileName) {
  return proposeFileName(entry.getEntryNumber(), entry.getTitle(), entryNumberInFileName);
}

ProposedName proposeFileName(uint16_t entryNumber, std::string_view rawTitle,
                             bool entryNumberInFileName) {
  const std::string title = filterPrintable(rawTitle);
  const std::string formed = entryNumberInFileName
                                 ? textf("%02d %s.hav", int(entryNumber), title.c_str())
                                 : textf("%s.hav", title.c_str());
  ProposedName proposed;
  // The limit counts the characters of the name as the recorder's texts have them,
  // one byte each, before anything is removed or converted.
  proposed.tooLong = formed.size() > kMaxProposedNameLength;
  proposed.name = removeForbiddenCharacters(latin1ToUtf8(formed));
  return proposed;
}

std::string removeForbiddenCharacters(std::string_view name) {
  std::string result;
  result.reserve(name.size());
  for (char c : name) {
    if (c != ':' && c != '\\' && c != '?' && c != '*' && c != '/') result += c;
  }
  return result;
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

FreeSpace queryFreeSpace(const std::string& path) {
  const std::string folder = folderOf(path);
  struct statvfs info {};
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &info) != 0)
    return FreeSpace{std::nullopt, errno};
  return FreeSpace{static_cast<uint64_t>(info.f_bavail) * info.f_frsize, 0};
}

}  // namespace korvelo
