// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/target_checks.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "disk/posix_file.h"
#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/hav_head.h"

namespace korvelo {

std::string sourceTargetRefusal(const std::string& path) {
  return textf("\"%s\" ist die Festplatte, von der gelesen wird.", path.c_str());
}

std::string chosenTwiceRefusal(const std::string& path) {
  return textf("\"%s\" wird in diesem Lauf schon geschrieben.", path.c_str());
}

namespace {

uint32_t littleEndian32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

// The fixed fields every ".hav" head carries: 113 at 0, the entry image's size at 16.
bool beginsWithHavHead(std::span<const uint8_t> front) {
  return front.size() >= 20 && littleEndian32(front.data()) == 113 &&
         littleEndian32(front.data() + 16) == kEntryImageBytes;
}

}  // namespace

TargetOwner ownerOfExisting(const std::string& path, std::span<const uint8_t> expectedFront) {
  PosixFile file;
  if (file.open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) != 0)
    return TargetOwner::NoRecording;
  std::vector<uint8_t> front(expectedFront.size());
  const int64_t got = file.readAt(0, front);
  if (got < 0) return TargetOwner::NoRecording;
  front.resize(static_cast<size_t>(got));
  if (std::equal(front.begin(), front.end(), expectedFront.begin()))
    return TargetOwner::ThisRecording;
  return beginsWithHavHead(front) ? TargetOwner::OtherRecording : TargetOwner::NoRecording;
}

std::string otherRecordingKeptLine(const std::string& path, const std::string& instead) {
  return textf("\"%s\" gehört zu einer anderen Aufnahme und bleibt; gespeichert wird in \"%s\".",
               path.c_str(), instead.c_str());
}

std::string hardLinkRefusal(const std::string& path) {
  return textf("\"%s\" hat weitere Namen (harte Verknüpfung); dorthin wird nie geschrieben.",
               path.c_str());
}

std::string RunTargets::refusal(const std::string& path, const TargetFolder& folder,
                                const std::string& name) const {
  if (chosen_.count(path) > 0) return chosenTwiceRefusal(path);
  struct stat info {};
  if (folder.statOf(name, info) == 0 && S_ISLNK(info.st_mode)) return symbolicLinkRefusal(path);
  return {};
}

}  // namespace korvelo
