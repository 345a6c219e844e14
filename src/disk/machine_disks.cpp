// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/machine_disks.h"

#include <libudev.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

namespace korvelo {
namespace {

bool allDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(uint8_t(c)); });
}

// The families of whole-disk names, in the order they take drive numbers; -1 for
// everything that is not a whole disk.
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

std::string trimmed(std::string text) {
  const auto notSpace = [](char c) { return !std::isspace(uint8_t(c)); };
  text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
  return text;
}

std::string readSysfsText(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string text;
  std::getline(in, text);
  return trimmed(text);
}

// The bus as the device's place in the sysfs tree shows it; the innermost named
// controller wins (a USB card reader's mmc slot still counts as usb).
std::string busOfDevicePath(std::string_view devicePath) {
  for (const auto& [marker, bus] : {std::pair{"/usb", "usb"},
                                    {"/nvme", "nvme"},
                                    {"/ata", "ata"},
                                    {"/virtio", "virtio"},
                                    {"/mmc_host", "mmc"},
                                    {"/host", "scsi"}}) {
    if (devicePath.find(marker) != std::string_view::npos) return bus;
  }
  return {};
}

// "size" counts 512-byte units whatever the sector size of the disk.
uint64_t bytesOfSizeText(const std::string& text) {
  try {
    return text.empty() ? 0 : std::stoull(text) * 512;
  } catch (const std::exception&) {
    return 0;
  }
}

void sortIntoDesignatorOrder(std::vector<MachineDisk>& disks) {
  const auto nameOf = [](const MachineDisk& disk) { return disk.path.substr(5); };
  std::sort(disks.begin(), disks.end(), [&](const MachineDisk& a, const MachineDisk& b) {
    const std::string nameA = nameOf(a), nameB = nameOf(b);
    const int familyA = diskFamily(nameA), familyB = diskFamily(nameB);
    if (familyA != familyB) return familyA < familyB;
    return kernelNameLess(nameA, nameB);
  });
}

std::vector<MachineDisk> sysfsDisks() {
  std::vector<MachineDisk> disks;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator("/sys/block", error)) {
    const std::string name = item.path().filename().string();
    if (diskFamily(name) < 0) continue;
    MachineDisk disk;
    disk.path = "/dev/" + name;
    // An empty card-reader slot is listed with size 0; it is not a drive with a medium.
    disk.sizeBytes = bytesOfSizeText(readSysfsText(item.path() / "size"));
    if (disk.sizeBytes == 0) continue;
    disk.model = readSysfsText(item.path() / "device" / "model");
    disk.serial = readSysfsText(item.path() / "device" / "serial");
    disk.removable = readSysfsText(item.path() / "removable") == "1";
    std::error_code linkError;
    disk.bus = busOfDevicePath(std::filesystem::canonical(item.path(), linkError).string());
    disks.push_back(std::move(disk));
  }
  return disks;
}

struct UdevDeleter {
  void operator()(udev* handle) const { udev_unref(handle); }
  void operator()(udev_enumerate* handle) const { udev_enumerate_unref(handle); }
  void operator()(udev_device* handle) const { udev_device_unref(handle); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string text(const char* value) {
  return value ? trimmed(value) : std::string();
}

// udev's ID_MODEL writes blanks as underscores; the sysfs attribute keeps them.
std::string udevModel(udev_device* device) {
  std::string model = text(udev_device_get_sysattr_value(device, "device/model"));
  if (model.empty()) model = text(udev_device_get_property_value(device, "ID_MODEL"));
  std::replace(model.begin(), model.end(), '_', ' ');
  return model;
}

std::vector<MachineDisk> udevDisks(udev* context) {
  UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context));
  if (!enumerate) return sysfsDisks();
  udev_enumerate_add_match_subsystem(enumerate.get(), "block");
  udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", "disk");
  if (udev_enumerate_scan_devices(enumerate.get()) < 0) return sysfsDisks();
  std::vector<MachineDisk> disks;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
    UdevPtr<udev_device> device(
        udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
    if (!device) continue;
    const std::string name = text(udev_device_get_sysname(device.get()));
    if (diskFamily(name) < 0) continue;
    MachineDisk disk;
    disk.path = "/dev/" + name;
    disk.sizeBytes = bytesOfSizeText(text(udev_device_get_sysattr_value(device.get(), "size")));
    if (disk.sizeBytes == 0) continue;
    disk.model = udevModel(device.get());
    disk.serial = text(udev_device_get_property_value(device.get(), "ID_SERIAL_SHORT"));
    if (disk.serial.empty())
      disk.serial = text(udev_device_get_sysattr_value(device.get(), "device/serial"));
    disk.removable = text(udev_device_get_sysattr_value(device.get(), "removable")) == "1";
    disk.bus = text(udev_device_get_property_value(device.get(), "ID_BUS"));
    if (disk.bus.empty()) disk.bus = busOfDevicePath(text(udev_device_get_devpath(device.get())));
    disks.push_back(std::move(disk));
  }
  return disks;
}

// udev's own records live in /run/udev; without its daemon they are missing and
// /sys/block says just as much.
bool udevDaemonRuns() {
  return std::filesystem::exists("/run/udev/control");
}

}  // namespace

std::vector<MachineDisk> listMachineDisks(DiskCatalog catalog) {
  if (catalog == DiskCatalog::automatic)
    catalog = udevDaemonRuns() ? DiskCatalog::udev : DiskCatalog::sysfs;
  std::vector<MachineDisk> disks;
  if (catalog == DiskCatalog::udev) {
    UdevPtr<udev> context(udev_new());
    disks = context ? udevDisks(context.get()) : sysfsDisks();
  } else {
    disks = sysfsDisks();
  }
  sortIntoDesignatorOrder(disks);
  return disks;
}

}  // namespace korvelo
