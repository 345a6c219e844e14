// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The questions every file a run writes is asked before a byte goes into it, each with
// its one answer and its one wording: is it the disk being read, is it a symbolic link,
// was it chosen already in this run.

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "disk/byte_source.h"

namespace korvelo {

class TargetFolder;

// "\"…\" ist die Festplatte, von der gelesen wird."
std::string sourceTargetRefusal(const std::string& path);
// "\"…\" wird in diesem Lauf schon geschrieben."
std::string chosenTwiceRefusal(const std::string& path);

// What a file already at a target is to the recording about to be saved there.
enum class TargetOwner {
  ThisRecording,   // it begins with this recording's head and entry image (as far as it goes)
  OtherRecording,  // it begins with a ".hav" head, but another recording's
  NoRecording,     // anything else: no ".hav" file at all
};
// Reads the front of the file at `path` (never through a symbolic link) and compares it
// with `expectedFront`, this recording's head and entry image.
TargetOwner ownerOfExisting(const std::string& path, std::span<const uint8_t> expectedFront);
// "\"…\" gehört zu einer anderen Aufnahme und bleibt; gespeichert wird in \"…\"."
std::string otherRecordingKeptLine(const std::string& path, const std::string& instead);
// A file with more than one name: writing it would change the file under its other names
// too, which may lie outside the target folder.
std::string hardLinkRefusal(const std::string& path);

// The targets of one run: none is written twice, none is the source, none a link.
class RunTargets {
 public:
  void clear() { chosen_.clear(); }
  // Empty when `path`, the file `name` in `folder`, may be written in this run (chosen
  // once, no symbolic link); else the German reason. Whether it is an input of the run
  // (the disk itself among them) is the caller's to ask.
  std::string refusal(const std::string& path, const TargetFolder& folder,
                      const std::string& name) const;
  void add(const std::string& path) { chosen_.insert(path); }

 private:
  std::set<std::string> chosen_;
};

}  // namespace korvelo
