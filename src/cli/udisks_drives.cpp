// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/udisks_drives.h"

#include <unistd.h>

#include <map>
#include <memory>

#include "app/udisks_access.h"
#include "cli/text_agent.h"

namespace korvelo::cli {
namespace {

// The descriptors granted in this run, by device path; they live until the program ends.
std::map<std::string, std::shared_ptr<const PosixFile>>& granted() {
  static std::map<std::string, std::shared_ptr<const PosixFile>> descriptors;
  return descriptors;
}

// Why a device was not granted, by device path, for the drives table.
std::map<std::string, std::string>& refusals() {
  static std::map<std::string, std::string> reasons;
  return reasons;
}

std::optional<std::string> udisksDevice(const std::string& value) {
  if (value.rfind(kUdisksPrefix, 0) != 0) return std::nullopt;
  return value.substr(kUdisksPrefix.size());
}

}  // namespace

std::optional<ExitCode> openUdisksDrives(const GlobalOptions& global, Terminal& terminal,
                                         bool pastRefusals) {
  // Only someone at a terminal can answer polkit's question; a script gets the policy's
  // answer at once.
  const bool mayAsk = ::isatty(STDIN_FILENO) == 1;
  std::optional<TextAgent> agent;
  for (const std::string& value : global.drives) {
    const std::optional<std::string> device = udisksDevice(value);
    if (!device || granted().count(*device) != 0 || refusals().count(*device) != 0) continue;
    if (mayAsk && !agent) agent.emplace();
    UdisksGrant grant = requestUdisksAccess(*device, mayAsk);
    if (!grant.drive || !global.quiet)
      terminal.logLine(grant.line, grant.drive ? Severity::Info : Severity::Error);
    if (!grant.drive) {
      if (!pastRefusals) return ExitCode::NoRecorderDisk;
      refusals()[*device] = grant.reason;
      continue;
    }
    granted()[*device] = grant.drive->descriptor;
  }
  return std::nullopt;
}

std::optional<std::string> udisksRefusal(const std::string& value) {
  const std::optional<std::string> device = udisksDevice(value);
  if (!device) return std::nullopt;
  const auto found = refusals().find(*device);
  if (found == refusals().end()) return std::nullopt;
  return found->second;
}

DriveSpec driveSpecOf(const std::string& value, const std::string& mapfile) {
  const std::optional<std::string> device = udisksDevice(value);
  if (!device) return DriveSpec{value, mapfile, {}};
  const auto found = granted().find(*device);
  return DriveSpec{*device, mapfile, {}, found == granted().end() ? nullptr : found->second};
}

}  // namespace korvelo::cli
