// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/drive_table.h"

#include <fcntl.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "disk/machine_disks.h"
#include "disk/mapfile_source.h"

namespace korvelo {
namespace {

constexpr size_t kMaxDrives = 10;

struct TableState {
  std::mutex mutex;
  bool machine = true;            // true: the machine's disks, looked up afresh each time
  std::vector<DriveSpec> drives;  // the replacement table when machine is false
  std::map<char, OpenAttempt> attempts;
};

TableState& state() {
  static TableState table;
  return table;
}

}  // namespace

void DriveTable::useMachineDisks() {
  std::lock_guard lock(state().mutex);
  state().machine = true;
  state().drives.clear();
  state().attempts.clear();
}

void DriveTable::useDrives(std::vector<DriveSpec> drives) {
  if (drives.size() > kMaxDrives) drives.resize(kMaxDrives);
  std::lock_guard lock(state().mutex);
  state().machine = false;
  state().drives = std::move(drives);
  state().attempts.clear();
}

void DriveTable::usePaths(const std::vector<std::string>& paths) {
  std::vector<DriveSpec> drives;
  for (const std::string& path : paths) drives.push_back(DriveSpec{path, {}, {}});
  useDrives(std::move(drives));
}

std::optional<DriveSpec> DriveTable::lookup(char designator) {
  if (designator < '0' || designator > '9') return std::nullopt;
  const size_t index = static_cast<size_t>(designator - '0');
  {
    std::lock_guard lock(state().mutex);
    if (!state().machine) {
      if (index >= state().drives.size()) return std::nullopt;
      return state().drives[index];
    }
  }
  const std::vector<std::string> disks = machineDisks();
  if (index >= disks.size()) return std::nullopt;
  return DriveSpec{disks[index], {}, {}};
}

std::optional<OpenAttempt> DriveTable::lastAttempt(char designator) {
  std::lock_guard lock(state().mutex);
  const auto found = state().attempts.find(designator);
  if (found == state().attempts.end()) return std::nullopt;
  return found->second;
}

void DriveTable::recordAttempt(char designator, OpenAttempt attempt) {
  std::lock_guard lock(state().mutex);
  state().attempts[designator] = std::move(attempt);
}

std::vector<std::string> DriveTable::machineDisks() {
  std::vector<std::string> paths;
  for (const MachineDisk& disk : listMachineDisks()) paths.push_back(disk.path);
  return paths;
}

std::unique_ptr<ByteSource> openDriveSource(char designator, int* error) {
  const std::optional<DriveSpec> driveSpec = DriveTable::lookup(designator);
  if (!driveSpec) {
    if (error) *error = ENOENT;
    return nullptr;
  }
  std::unique_ptr<ByteSource> source;
  if (driveSpec->factory) {
    source = driveSpec->factory();
    if (error) *error = source ? 0 : EIO;
  } else if (driveSpec->descriptor) {
    int descriptorError = 0;
    PosixFile duplicate(::fcntl(driveSpec->descriptor->get(), F_DUPFD_CLOEXEC, 0));
    if (duplicate.isOpen())
      source = openDescriptorSource(std::move(duplicate), &descriptorError);
    else
      descriptorError = errno;
    if (error) *error = descriptorError;
    DriveTable::recordAttempt(designator, OpenAttempt{driveSpec->path, descriptorError});
  } else {
    int pathError = 0;
    source = openPathSource(driveSpec->path, &pathError);
    if (error) *error = pathError;
    DriveTable::recordAttempt(designator, OpenAttempt{driveSpec->path, pathError});
  }
  if (!source || driveSpec->mapfile.empty()) return source;
  return openMapfileSource(std::move(source), driveSpec->mapfile, error);
}

}  // namespace korvelo
