// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What of a recording went into its file as zeros: runs of sectors with where they lie on
// the disk and in the file, and whether they failed or were not tried. Everything else an
// export says about damage (unreadable sectors, damaged HOJINs) is worked out from here.

#include <cstdint>
#include <vector>

namespace korvelo {

enum class DamageState { Unreadable, NotTried };

// A run of zero-filled sectors. sectorCount > 0; fileOffset is the byte offset of the
// first of them in the ".hav" file (or, for a single read, in the buffer read into).
struct DamagedArea {
  int64_t firstSector = 0;  // on the disk
  int64_t sectorCount = 0;
  int64_t fileOffset = 0;
  DamageState state = DamageState::Unreadable;
  bool operator==(const DamagedArea&) const = default;
};

class DamageLedger {
 public:
  DamageLedger() = default;
  explicit DamageLedger(std::vector<DamagedArea> areas);

  // Records a run. It joins the last area when it continues that one on the disk and in
  // the file and has its state; otherwise it becomes an area of its own.
  void add(const DamagedArea& run);
  // Records a run that may lie before areas already recorded: it takes its place in file
  // order and joins its neighbours by the same rule.
  void insert(const DamagedArea& run);
  // Records every area of `other`, its file offsets moved by `fileOffsetShift`.
  void addAll(const DamageLedger& other, int64_t fileOffsetShift = 0);

  const std::vector<DamagedArea>& areas() const { return areas_; }
  bool empty() const { return areas_.empty(); }
  // Zero-filled sectors, whether they failed or were not tried.
  int64_t zeroFilledSectors() const;
  int64_t sectorsIn(DamageState state) const;
  // HOJINs of the file (the sectors after the last whole one count as one more) that
  // hold at least one zero-filled sector.
  int damagedHojins() const;
  // The part of the ledger that lies in the first `fileBytes` bytes of the file.
  DamageLedger before(int64_t fileBytes) const;

 private:
  std::vector<DamagedArea> areas_;
};

}  // namespace korvelo
