// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/fat_geometry.h"

#include <cinttypes>
#include <optional>
#include <string>

#include "disk/drive_table.h"
#include "disk/text.h"
#include "recfs/disk_layout.h"
#include "recfs/status_text.h"

namespace korvelo {
namespace {

// The drive geometry in the form the estimate was designed for: a whole number of
// cylinders of 255 tracks of 63 sectors, as the platform reports disks.
struct DriveGeometry {
  int64_t cylinders = 0;
  uint32_t tracksPerCylinder = 255;
  uint32_t sectorsPerTrack = 63;
  uint32_t bytesPerSector = 512;
};

// Nothing when the medium is not a fixed or removable disk, or its size is unknown.
std::optional<DriveGeometry> synthesiseGeometry(const MediaInfo& media) {
  if (media.kind != MediaKind::Fixed && media.kind != MediaKind::Removable) return std::nullopt;
  if (media.sizeBytes < 0 || media.bytesPerSector <= 0) return std::nullopt;
  DriveGeometry geometry;
  geometry.bytesPerSector = static_cast<uint32_t>(media.bytesPerSector);
  const int64_t totalSectors = media.sizeBytes / media.bytesPerSector;
  geometry.cylinders =
      totalSectors / (int64_t{geometry.tracksPerCylinder} * geometry.sectorsPerTrack);
  return geometry;
}

std::string grouped(int64_t value) {
  return formatThousands(value, '.');
}

// Every division truncates toward zero, step by step, as the report shows them.
int estimateAndReport(const DriveGeometry& g) {
  const int64_t sectors = g.cylinders * g.tracksPerCylinder * g.sectorsPerTrack;
  const int64_t bytes = sectors * g.bytesPerSector;
  const int64_t gigabytes = bytes / 1024 / 1024 / 1024;
  const int64_t space = sectors - kFsrFatAreaStart;
  const int64_t blocks = space / kSectorsPerHojin / kHojinsPerBlock;
  const int64_t estimate = blocks / 512 / 8 + 1;
  const int64_t totalFat = estimate * kFatRegions;
  const int64_t added = blocks * kSectorsPerBlock + totalFat + kFsrFatAreaStart;

  std::string report;
  const char* prefix = "calcFAT::IOCTL_DISK_GET_DRIVE_GEOMETRY, ";
  addLine(report, textf("%ssectors on disk: %" PRId64, prefix, sectors));
  addLine(report, textf("%sCylinders: %" PRId64, prefix, g.cylinders));
  addLine(report, textf("%sTracks p.c.: %u", prefix, g.tracksPerCylinder));
  addLine(report, textf("%sSectors p.t.: %u", prefix, g.sectorsPerTrack));
  addLine(report,
          textf("calcFAT::Gesamtanzahl der Sektoren (%" PRId64 "c %uh %us): %s", g.cylinders,
                g.tracksPerCylinder, g.sectorsPerTrack, grouped(sectors).c_str()));
  addLine(report, textf("calcFAT::Plattengröße: %s Byte = c.a. %d Gigabyte", grouped(bytes).c_str(),
                        static_cast<int>(gigabytes)));
  addLine(report, textf("calcFAT::Platz für FAT und HAVs: %s Sektoren", grouped(space).c_str()));
  addLine(report, textf("calcFAT::Platz / SpHOJIN / HOJINpBlock = max. %s Blöcke",
                        grouped(blocks).c_str()));
  addLine(report, textf("calcFAT::Für Blöcke gebrauchte FAT-Sektoren: %s Sektoren",
                        grouped(estimate).c_str()));
  addLine(report, textf("calcFAT::Gesamt FAT Größe: %s Sektoren", grouped(totalFat).c_str()));
  addLine(report, textf("calcFAT::Addierte Größe: %s Sektoren", grouped(added).c_str()));
  setStatus(report);
  return static_cast<int>(estimate);
}

}  // namespace

int calcFAT(char driveChar) {
  // A query handle: the source is opened read-only and nothing is read from it.
  const std::unique_ptr<ByteSource> query = openDriveSource(driveChar);
  if (!query) return -1;
  const std::optional<DriveGeometry> geometry = synthesiseGeometry(query->mediaInfo());
  if (!geometry) return 0;
  return estimateAndReport(*geometry);
}

}  // namespace korvelo
