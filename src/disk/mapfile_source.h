// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An image read together with its rescue mapfile: only areas the mapfile marks as
// finished ('+') are readable; a read touching any other area, an area the mapfile
// does not describe, or anything past the image's end (finished or not), fails with
// EIO, so a sector that was never rescued is never taken for data.
//
// The mapfile is read strictly: '#' comment lines and blank lines, then one status
// line "current_pos current_status [current_pass]", then "pos size status" lines in
// ascending, non-overlapping order. Numbers are decimal or hexadecimal with 0x.
// Block statuses: '?' not tried, '*' not trimmed, '/' not scraped, '-' bad, '+' finished.

#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "disk/byte_source.h"

namespace korvelo {

// The finished areas of a mapfile as merged byte ranges: start -> end (exclusive).
using FinishedAreas = std::map<int64_t, int64_t>;

// Where and why a mapfile is not well formed. `line` counts from 1; 0 when the fault
// belongs to no single line (no status line at all, the file unreadable).
struct MapfileProblem {
  int line = 0;
  std::string reason;  // German, for the user
};

// Nothing when the text is not a well-formed mapfile; then *problem says where and why.
std::optional<FinishedAreas> parseMapfile(std::istream& text, MapfileProblem* problem = nullptr);

// Reads the mapfile at `path` the way opening a drive with it does; nothing when it is
// well formed, else the problem (an unreadable file gives line 0 and the system's reason).
std::optional<MapfileProblem> checkMapfile(const std::string& path);

// The line the front ends show: "Fehler in der Mapdatei "<path>", Zeile <n>: <reason>",
// without the line number when the fault belongs to no single line.
std::string describeMapfileProblem(const std::string& path, const MapfileProblem& problem);

class MapfileSource final : public ByteSource {
 public:
  MapfileSource(std::unique_ptr<ByteSource> image, FinishedAreas finished);

  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override;
  MediaInfo mediaInfo() const override { return image_->mediaInfo(); }
  std::optional<FileIdentity> identity() const override { return image_->identity(); }
  // Fetching ahead does not read anything the mapfile forbids: the hint goes to the image.
  void adviseSequential(int64_t offset, int64_t length) override {
    image_->adviseSequential(offset, length);
  }

  // Whether every byte of [begin, end) lies in a finished area.
  bool isFinished(int64_t begin, int64_t end) const;

 private:
  std::unique_ptr<ByteSource> image_;
  FinishedAreas finished_;
};

// Wraps `image` with the mapfile at `mapfilePath`. Null with *error (an errno value)
// when the mapfile cannot be read, or EINVAL when it is not a well-formed mapfile.
std::unique_ptr<ByteSource> openMapfileSource(std::unique_ptr<ByteSource> image,
                                              const std::string& mapfilePath, int* error = nullptr);

}  // namespace korvelo
