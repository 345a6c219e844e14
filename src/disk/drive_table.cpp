#include "disk/drive_table.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string_view>

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

bool allDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(uint8_t(c)); });
}

// The families of whole-disk names, in the order they take drive numbers; -1 for
// everything that is not a whole disk (partitions never show up in /sys/block).
int diskFamily(std::string_view name) {
  auto startsWith = [&](std::string_view prefix) {
    return name.substr(0, prefix.size()) == prefix;
  };
  if (startsWith("sd") && name.size() > 2) return 0;
  if (startsWith("nvme")) {
    // nvme<ctrl>n<ns>; the hidden multipath paths nvme<ctrl>c<x>n<ns> are left out.
    const std::string_view rest = name.substr(4);
    const size_t n = rest.find('n');
    if (n != std::string_view::npos && allDigits(rest.substr(0, n)) &&
        allDigits(rest.substr(n + 1)))
      return 1;
    return -1;
  }
  if (startsWith("vd") && name.size() > 2) return 2;
  if (startsWith("hd") && name.size() > 2) return 3;
  if (startsWith("mmcblk") && allDigits(name.substr(6))) return 4;  // not boot0 / rpmb
  return -1;
}

// Kernel names count sda ... sdz, sdaa ...: letter runs compare by length first,
// digit runs by value, so sdz comes before sdaa and nvme2n1 before nvme10n1.
bool kernelNameLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitA = std::isdigit(uint8_t(a[i])), digitB = std::isdigit(uint8_t(b[j]));
    size_t endA = i, endB = j;
    while (endA < a.size() && bool(std::isdigit(uint8_t(a[endA]))) == digitA) ++endA;
    while (endB < b.size() && bool(std::isdigit(uint8_t(b[endB]))) == digitB) ++endB;
    std::string_view runA(a.data() + i, endA - i), runB(b.data() + j, endB - j);
    if (digitA && digitB) {
      while (runA.size() > 1 && runA[0] == '0') runA.remove_prefix(1);
      while (runB.size() > 1 && runB[0] == '0') runB.remove_prefix(1);
    }
    if (runA.size() != runB.size()) return runA.size() < runB.size();
    if (runA != runB) return runA < runB;
    i = endA;
    j = endB;
  }
  return a.size() - i < b.size() - j;
}

// An empty card-reader slot is listed with size 0; it is not a drive with a medium.
bool hasMedium(const std::filesystem::path& sysfsFolder) {
  std::ifstream sizeFile(sysfsFolder / "size");
  long long sectors = 0;
  return (sizeFile >> sectors) && sectors > 0;
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
  std::vector<std::pair<int, std::string>> found;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator("/sys/block", error)) {
    const std::string name = item.path().filename().string();
    const int family = diskFamily(name);
    if (family >= 0 && hasMedium(item.path())) found.emplace_back(family, name);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return kernelNameLess(a.second, b.second);
  });
  std::vector<std::string> paths;
  for (const auto& [family, name] : found) paths.push_back("/dev/" + name);
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
