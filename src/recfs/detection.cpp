// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/detection.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "disk/drive_table.h"
#include "disk/physical_drive.h"
#include "disk/text.h"
#include "recfs/disk_layout.h"
#include "recfs/open_failure.h"
#include "recfs/status_text.h"

namespace korvelo {

bool fileSysCheckRelaxed = false;

namespace {

constexpr char kVolumeSignature[] = "Handan HFS Vol000";  // 17 characters
constexpr char kFileSystemName[] = "file_system.sys";     // 15 characters

enum CheckResult { kPassed = 0, kMismatch = 1, kNotOpenable = 2, kNotReadable = 3 };

int reportNotOpenable(char drive) {
  setStatus(textf("  Konnte nicht auf das Laufwerk %c zugreifen.", drive));
  return kNotOpenable;
}

// The signature, then NUL bytes up to the end of the sector.
bool isSignatureSector(const uint8_t* sector) {
  constexpr size_t kLength = sizeof kVolumeSignature - 1;
  if (std::memcmp(sector, kVolumeSignature, kLength) != 0) return false;
  for (size_t i = kLength; i < kSectorSize; ++i) {
    if (sector[i] != 0) return false;
  }
  return true;
}

}  // namespace

int checkSignature(char drive) {
  PhysicalDrive probe;
  if (!probe.open(drive)) return reportNotOpenable(drive);
  const std::unique_ptr<uint8_t[]> sectors =
      probe.readSector(kSignatureFirstSector, kSignatureSectorCount);
  if (!sectors) {
    setStatus("  Konnte nicht auf die Sektoren der Signatur zugreifen.");
    return kNotReadable;
  }
  for (int i = 0; i < kSignatureSectorCount; ++i) {
    if (!isSignatureSector(sectors.get() + i * kSectorSize)) {
      setStatus("  Signatur stimmt nicht.");
      return kMismatch;
    }
  }
  setStatus("  Signatur stimmt!");
  return kPassed;
}

int checkFileSystemSector(char drive) {
  PhysicalDrive probe;
  if (!probe.open(drive)) return reportNotOpenable(drive);
  const std::unique_ptr<uint8_t[]> sector = probe.readSector(kFileSystemSector, 1);
  if (!sector) {
    setStatus("  Konnte nicht auf \"file_system.sys\"-Sektor zugreifen.");
    return kNotReadable;
  }
  // The name and its terminating NUL; what follows is not looked at.
  const bool present = std::memcmp(sector.get(), kFileSystemName, sizeof kFileSystemName) == 0;
  if (fileSysCheckRelaxed) {
    setStatus(present ? "  \"file_system.sys\"-Sektor nicht beachtet."
                      : "  \"file_system.sys\"-Sektor nicht beanstandet.");
    return kPassed;
  }
  setStatus(present ? "  \"file_system.sys\"-Sektor vorhanden."
                    : "  \"file_system.sys\"-Sektor fehlt!");
  return present ? kPassed : kMismatch;
}

char findRecorderDrive() {
  std::string report;
  char found = 0;
  for (char designator = '0'; designator <= '9'; ++designator) {
    const int signature = checkSignature(designator);
    if (signature == kNotOpenable) {
      // The drive numbers end at the first gap. A drive that is there but refused, or a
      // path the user named, says why; the plain end of the machine's table stays silent.
      // When drives follow, the line says that they are not looked at.
      const std::optional<OpenAttempt> attempt = DriveTable::lastAttempt(designator);
      if (attempt && attempt->error != 0) {
        std::string line = openFailureLine(designator, attempt->path, attempt->error);
        if (designator < '9' && DriveTable::lookup(static_cast<char>(designator + 1)))
          line += textf(" Die Suche endet hier; Festplatte %c und weitere werden nicht untersucht.",
                        designator + 1);
        addLine(report, line);
      }
      break;
    }
    addLine(report, textf(" Untersuche Festplatte %c ...", designator));
    report += statusText();
    if (signature != kPassed) continue;
    const int fileSystem = checkFileSystemSector(designator);
    report += " - ";
    report += statusText();
    if (fileSystem == kPassed) {
      found = designator;
      break;
    }
  }
  setStatus(report);
  return found;
}

}  // namespace korvelo
