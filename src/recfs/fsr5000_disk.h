// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recorder disk: its open drive, its directory once read, the File-FAT-Size and
// the cache of the most recently used file FAT. Pvr8005Disk is the Tevion model.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/physical_drive.h"
#include "recfs/directory_entry.h"
#include "recfs/disk_layout.h"

namespace korvelo {

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
  // File-FAT cache: entry number and F of the loaded file FAT, and its set bits in order.
  struct FatCache;
  std::unique_ptr<FatCache> cache_;  // null: no file FAT loaded

  // The file FAT of an entry for File-FAT-Size `size`, from the cache or read anew
  // (with the read trace line); null when it cannot be read.
  const FileFat* loadFileFat(int entryNumber, int size);
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
