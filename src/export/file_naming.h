// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a recording is saved: the file name proposed from its title, the folder part
// of a chosen path, and the free space there.

#include <cstdint>
#include <string>
#include <string_view>

#include "recfs/directory_entry.h"

namespace korvelo {

// Names longer than this (as formed from the filtered title) are refused before any
// dialog is shown.
inline constexpr size_t kMaxProposedNameLength = 510;

struct ProposedName {
  std::string name;  // UTF-8, without : \ ? * /
  bool tooLong = false;
};

// "%02d %s.hav" with the entry number, or "%s.hav", from the printable part of the
// title; the title's Latin-1 is turned into UTF-8 and the characters that other
// file systems refuse in names, and the folder separator, are removed.
ProposedName proposeFileName(const DirectoryEntry& entry, bool entryNumberInFileName);
ProposedName proposeFileName(uint16_t entryNumber, std::string_view rawTitle,
                             bool entryNumberInFileName);

// Every ':', '\\', '?', '*' and '/' removed; everything else stays.
std::string removeForbiddenCharacters(std::string_view name);

// The folder part of a full path: up to (not including) its last '/'; "/" for a file
// in the root; empty when the path names no folder.
std::string folderOf(const std::string& path);

}  // namespace korvelo
