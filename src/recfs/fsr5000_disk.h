// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recorder disk: its open drive, its directory once read, the File-FAT-Size and
// its file FATs, the most recently used one and those read ahead for a run of several
// recordings. Pvr8005Disk is the Tevion model.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/physical_drive.h"
#include "recfs/directory_entry.h"
#include "recfs/disk_layout.h"

namespace korvelo {

class BlockOwnership;
class FileFat;
class HojinBuffer;

class Fsr5000Disk {
 public:
  // Opens the drive read-only. Empties the status text on success, replaces it with
  // "  Konnte nicht auf das Laufwerk %c zugreifen." on failure (the object remains).
  explicit Fsr5000Disk(char driveChar);
  virtual ~Fsr5000Disk();
  Fsr5000Disk(const Fsr5000Disk&) = delete;
  Fsr5000Disk& operator=(const Fsr5000Disk&) = delete;

  virtual bool readDirectory(bool force);
  virtual int getNumberOfEntries();
  virtual int getSizeFileFAT();
  virtual int64_t getSectorNumberOfHojin(int entryNumber, int hojinNumber);
  virtual void setSizeFileFAT(int value);
  virtual int verifySizeFileFAT();
  // Reads the file FATs of every recording of the directory in one pass, ascending over the
  // file-FAT area in requests of up to 1 MiB, and returns which blocks each names (see
  // buildBlockOwnership). Of these recordings it keeps the block numbers their HOJINs need
  // (no more in all than the data area has blocks), so that saving them one after the other
  // does not go back there for every recording. Replaces those read ahead before. A file
  // FAT that cannot be read is not kept: it is read when asked for, as without the pass.
  // Empty while the File-FAT-Size is not settled.
  virtual BlockOwnership readFileFatsAhead(const std::vector<const DirectoryEntry*>& recordings);

  const std::vector<std::unique_ptr<DirectoryEntry>>& getEntries() const { return entries; }
  bool isDirectoryRead() const { return directoryRead; }
  // Directory slots of the last read whose entry image could not be read: any recording
  // in them is missing from getEntries(), so the list is not the whole directory.
  int getUnreadableSlots() const { return unreadableSlots_; }
  char getDriveChar() const { return driveChar; }
  // The File-FAT-Size as held, without probing (-1 or 0: unset).
  int heldFileFatSize() const { return fileFatSize; }
  PhysicalDrive& getDrive() { return drive; }
  const DiskLayout& layout() const { return layout_; }

 protected:
  Fsr5000Disk(char driveChar, const DiskLayout& layout);

  bool directoryRead = false;
  char driveChar;
  int fileFatSize = -1;
  std::vector<std::unique_ptr<DirectoryEntry>> entries;
  std::string lineBreak = "\r\n";
  PhysicalDrive drive;

 private:
  const DiskLayout& layout_;
  int unreadableSlots_ = 0;  // counted by the last directory read, reported and skipped
  // The file FATs held: the one loaded last and those read ahead, as block numbers.
  struct FatCache;
  std::unique_ptr<FatCache> cache_;

  // The file FAT of an entry for File-FAT-Size `size` that knows where block `ordinal`
  // lies: read ahead, from the cache, or read anew (with the read trace line); null when
  // it cannot be read.
  const FileFat* loadFileFat(int entryNumber, int size, int64_t ordinal);
  // The A-sector of the first HOJIN of the recording at a list position, read where the
  // current F puts it; `sector` is where it was looked for (-1: not located).
  bool readFirstHojin(int position, HojinBuffer& hojin, int64_t& sector);
};

class Pvr8005Disk : public Fsr5000Disk {
 public:
  explicit Pvr8005Disk(char driveChar);
  ~Pvr8005Disk() override;

  bool readDirectory(bool force) override;
  int getNumberOfEntries() override;
  int getSizeFileFAT() override;
  int64_t getSectorNumberOfHojin(int entryNumber, int hojinNumber) override;
  int verifySizeFileFAT() override;
};

}  // namespace korvelo
