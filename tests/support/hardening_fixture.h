// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the bad-input tests share: a sample disk built from a description (pokes and
// all, the shared BuiltDisk), installed as drive "0" with a log of every read,
// optionally cut short; a
// save-as answer that puts the proposed name into a chosen folder; the status text and
// job messages cut into lines.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"
#include "support/built_disk.h"
#include "support/memory_source.h"
#include "support/scripted_chooser.h"
#include "support/temp_dir.h"

namespace korvelo::test {

// Sectors at which reads began, in order.
using SectorLog = std::vector<int64_t>;

class HardeningDisk {
 public:
  // Builds the image; with `cutAtByte` >= 0 the image file is then cut to that size.
  explicit HardeningDisk(const sample::DiskDescription& description, int64_t cutAtByte = -1)
      : built_(description,
               {.badSectors = {}, .via = BadSectorsVia::FailingReads, .cutAtByte = cutAtByte}) {}

  const std::string& imagePath() const { return built_.imagePath(); }
  SectorLog reads() const;
  void clearReads() { built_.clearReads(); }
  // The folder the tests save into (beside the image, which lies in a folder of its own).
  const std::string& outputFolder() const { return output_.path(); }

 private:
  BuiltDisk built_;
  TempDir output_;
};

// Answers the save-as question with <folder>/<proposed name> and keeps every request.
class FolderChooser : public ScriptedChooser {
 public:
  explicit FolderChooser(std::string folder) : ScriptedChooser(choosingIn(std::move(folder))) {}
};

// A recording in `slot` (entry number the same) of `sectors` sectors in the given blocks.
sample::Recording recordingAt(int slot, std::vector<uint32_t> blocks, uint32_t sectors);

// An entry image poke: the 1536 bytes into the first sector of a slot.
std::pair<int64_t, std::vector<uint8_t>> slotPoke(int slot, std::vector<uint8_t> image);

// The text cut at its CR LF pairs; empty text gives no line.
std::vector<std::string> linesOf(const std::string& text);

// The names of the files in a folder, sorted.
std::vector<std::string> filesIn(const std::string& folder);

}  // namespace korvelo::test
