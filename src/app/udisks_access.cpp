// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/udisks_access.h"

#include <unistd.h>

#include <cerrno>
#include <memory>

#include "app/export_summary.h"
#include "disk/text.h"
#include "recfs/open_failure.h"

namespace korvelo {

UdisksGrant requestUdisksAccess(const std::string& device, bool mayAsk) {
  UdisksGrant grant;
  UdisksOpening opening = openThroughUdisks(device, mayAsk);
  grant.refused = opening.refused;
  if (!opening.failure.empty()) {
    // The hint is the way round udisks2 (root, the device's group); root has it already,
    // and the device never refused root, so root is told nothing about being root.
    grant.reason = opening.failure;
    if (::geteuid() != 0) grant.reason += " (" + accessHint(device) + ")";
    grant.line = textf(" Festplatte \"%s\" lässt sich über udisks2 nicht öffnen: %s.",
                       device.c_str(), grant.reason.c_str());
    return grant;
  }
  DriveSpec drive;
  drive.path = device;
  drive.descriptor = std::make_shared<const PosixFile>(std::move(opening.descriptor));
  grant.drive = std::move(drive);
  grant.line = textf(" Festplatte \"%s\" über udisks2 zum Lesen geöffnet.", device.c_str());
  return grant;
}

std::string describeUdisksDisk(const UdisksDisk& disk) {
  std::string text = disk.model.empty() ? std::string("unbekanntes Modell") : disk.model;
  text += ", " + siSize(disk.sizeBytes);
  if (!disk.connection.empty()) text += ", " + disk.connection;
  return text + " (" + disk.device + ")";
}

std::optional<std::string> refusedDrivePath() {
  for (char designator = '0'; designator <= '9'; ++designator) {
    const std::optional<OpenAttempt> attempt = DriveTable::lastAttempt(designator);
    if (attempt && (attempt->error == EACCES || attempt->error == EPERM)) return attempt->path;
  }
  return std::nullopt;
}

}  // namespace korvelo
