// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bytes behind one drive designator: a block device, an image file, an image
// whose unreadable areas come from a rescue mapfile, or an in-memory disk in tests.
// Every kind is read-only: there is no write operation anywhere in this interface.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>

namespace korvelo {

enum class MediaKind { NotADisk, Fixed, Removable };

struct MediaInfo {
  MediaKind kind = MediaKind::NotADisk;
  int bytesPerSector = 512;  // logical sector size
  int64_t sizeBytes = -1;    // -1 when the size query was refused
};

// Device and inode of the file behind a source, so that an export target that
// is the source itself can be refused before anything is written.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Reads up to buffer.size() bytes at byte offset `offset` (>= 0).
  // Returns the number of bytes transferred (0 at or past the end of the medium,
  // fewer than asked only where the medium ends or the call was cut short),
  // or -errno when the read failed (for example EIO for a bad sector).
  virtual int64_t readAt(int64_t offset, std::span<uint8_t> buffer) = 0;

  virtual MediaInfo mediaInfo() const = 0;

  virtual std::optional<FileIdentity> identity() const { return std::nullopt; }

  // Whether a failing read costs real time (a disk trying a bad sector again and again),
  // so that a run of failures is better given up on than tried sector by sector. False
  // for images, whose unreadable areas fail at once.
  virtual bool failuresAreCostly() const { return false; }

  // A hint that [offset, offset + length) will be read next, front to back, so that the
  // system can fetch it while earlier bytes are still being written elsewhere. Promises
  // nothing and reports nothing; sources without such a system do nothing.
  virtual void adviseSequential(int64_t /*offset*/, int64_t /*length*/) {}

  // Whether large reads, one under way on another thread while the last is used, pay here
  // (a device or a file; not the memory of a test). Such a source is then read from one
  // thread at a time, never two at once.
  virtual bool readsAhead() const { return false; }
};

}  // namespace korvelo
