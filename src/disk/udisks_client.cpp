// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/udisks_client.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <string_view>
#include <variant>

#include "disk/system_reason.h"

namespace korvelo {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kBlock = "org.freedesktop.UDisks2.Block";
constexpr const char* kDrive = "org.freedesktop.UDisks2.Drive";
constexpr const char* kPartition = "org.freedesktop.UDisks2.Partition";
constexpr const char* kLoop = "org.freedesktop.UDisks2.Loop";
// A password dialog waits for a person; the bus's own 25 seconds are too short for that.
constexpr uint64_t kAskingTimeoutMicros = 300ULL * 1000 * 1000;
constexpr uint64_t kQuickTimeoutMicros = 25ULL * 1000 * 1000;

struct BusUnref {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusUnref>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

struct BusError {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  BusError() = default;
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  ~BusError() { sd_bus_error_free(&error); }
  bool is(const char* name) const { return sd_bus_error_has_name(&error, name); }
};

using Value = std::variant<std::monostate, std::string, uint64_t>;
using Properties = std::map<std::string, Value, std::less<>>;
using Interfaces = std::map<std::string, Properties, std::less<>>;

// What a failed call means for the user. Refusals by polkit come as udisks2's own
// errors; a daemon that is not there as the bus's.
std::string reasonOf(const BusError& failure, int result) {
  if (failure.is("org.freedesktop.UDisks2.Error.NotAuthorized") ||
      failure.is("org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain"))
    return "Zugriff verweigert";
  if (failure.is("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"))
    return "die Anfrage wurde abgebrochen";
  if (failure.is("org.freedesktop.DBus.Error.ServiceUnknown") ||
      failure.is("org.freedesktop.DBus.Error.NameHasNoOwner") ||
      failure.is("org.freedesktop.DBus.Error.Spawn.ServiceNotFound"))
    return "udisks2 läuft nicht";
  if (failure.is("org.freedesktop.DBus.Error.NoReply") ||
      failure.is("org.freedesktop.DBus.Error.Timeout") || result == -ETIMEDOUT)
    return "udisks2 antwortet nicht";
  if (failure.error.message != nullptr)
    return std::string("udisks2 meldet: ") + failure.error.message;
  return std::string("udisks2 meldet: ") + systemReason(-result);
}

bool isRefusal(const BusError& failure) {
  return failure.is("org.freedesktop.UDisks2.Error.NotAuthorized") ||
         failure.is("org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain") ||
         failure.is("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed");
}

// The system bus, or the one DBUS_SYSTEM_BUS_ADDRESS names. Empty with the reason.
Bus openBus(std::string& failure) {
  sd_bus* bus = nullptr;
  if (const int result = sd_bus_open_system(&bus); result < 0) {
    failure = "udisks2 ist nicht erreichbar, kein Systembus (" + systemReason(-result) + ")";
    return nullptr;
  }
  return Bus(bus);
}

// The value of one property; types other than strings, object paths, numbers and byte
// arrays are passed over (nothing here needs them).
int readValue(sd_bus_message* message, Value& value) {
  char type = 0;
  const char* contents = nullptr;
  int result = sd_bus_message_peek_type(message, &type, &contents);
  if (result < 0) return result;
  std::string_view signature(contents ? contents : "");
  if (signature != "s" && signature != "o" && signature != "t" && signature != "ay")
    return sd_bus_message_skip(message, "v");
  if ((result = sd_bus_message_enter_container(message, 'v', contents)) < 0) return result;
  if (signature == "t") {
    uint64_t number = 0;
    result = sd_bus_message_read_basic(message, 't', &number);
    value = number;
  } else if (signature == "ay") {
    // Device paths come as NUL-terminated byte arrays.
    const void* bytes = nullptr;
    size_t size = 0;
    result = sd_bus_message_read_array(message, 'y', &bytes, &size);
    std::string text(static_cast<const char*>(bytes), size);
    value = text.substr(0, text.find('\0'));
  } else {
    const char* text = nullptr;
    result = sd_bus_message_read_basic(message, signature[0], &text);
    value = std::string(text ? text : "");
  }
  if (result < 0) return result;
  return sd_bus_message_exit_container(message);
}

int readProperties(sd_bus_message* message, Properties& properties) {
  int result = sd_bus_message_enter_container(message, 'a', "{sv}");
  while (result >= 0 && (result = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
    const char* name = nullptr;
    if ((result = sd_bus_message_read_basic(message, 's', &name)) < 0) break;
    if ((result = readValue(message, properties[name])) < 0) break;
    result = sd_bus_message_exit_container(message);
  }
  return result < 0 ? result : sd_bus_message_exit_container(message);
}

int readInterfaces(sd_bus_message* message, Interfaces& interfaces) {
  int result = sd_bus_message_enter_container(message, 'a', "{sa{sv}}");
  while (result >= 0 && (result = sd_bus_message_enter_container(message, 'e', "sa{sv}")) > 0) {
    const char* name = nullptr;
    if ((result = sd_bus_message_read_basic(message, 's', &name)) < 0) break;
    if ((result = readProperties(message, interfaces[name])) < 0) break;
    result = sd_bus_message_exit_container(message);
  }
  return result < 0 ? result : sd_bus_message_exit_container(message);
}

// GetManagedObjects' answer: every object path with its interfaces and their properties.
int readManagedObjects(sd_bus_message* message, std::map<std::string, Interfaces>& objects) {
  int result = sd_bus_message_enter_container(message, 'a', "{oa{sa{sv}}}");
  while (result >= 0 && (result = sd_bus_message_enter_container(message, 'e', "oa{sa{sv}}")) > 0) {
    const char* path = nullptr;
    if ((result = sd_bus_message_read_basic(message, 'o', &path)) < 0) break;
    if ((result = readInterfaces(message, objects[path])) < 0) break;
    result = sd_bus_message_exit_container(message);
  }
  return result < 0 ? result : sd_bus_message_exit_container(message);
}

std::string text(const Properties& properties, std::string_view name) {
  const auto found = properties.find(name);
  if (found == properties.end()) return {};
  const std::string* value = std::get_if<std::string>(&found->second);
  return value ? *value : std::string();
}

uint64_t number(const Properties& properties, std::string_view name) {
  const auto found = properties.find(name);
  if (found == properties.end()) return 0;
  const uint64_t* value = std::get_if<uint64_t>(&found->second);
  return value ? *value : 0;
}

// udisks2's ConnectionBus as people call it; an internal disk says nothing.
std::string connectionName(const std::string& bus) {
  if (bus == "usb") return "USB";
  if (bus == "ieee1394") return "FireWire";
  if (bus == "sdio") return "SD";
  return bus;
}

std::vector<UdisksDisk> wholeDisks(const std::map<std::string, Interfaces>& objects) {
  std::vector<UdisksDisk> disks;
  for (const auto& [path, interfaces] : objects) {
    const auto block = interfaces.find(kBlock);
    if (block == interfaces.end() || interfaces.count(kPartition) != 0) continue;
    const std::string drivePath = text(block->second, "Drive");
    const auto owner = objects.find(drivePath);
    const bool hasDrive = drivePath != "/" && owner != objects.end();
    if (!hasDrive && interfaces.count(kLoop) == 0) continue;
    UdisksDisk disk{path, text(block->second, "Device"), {}, number(block->second, "Size"), {}};
    if (disk.device.empty() || disk.sizeBytes == 0) continue;  // no medium
    if (hasDrive) {
      if (const auto drive = owner->second.find(kDrive); drive != owner->second.end()) {
        const std::string vendor = text(drive->second, "Vendor");
        const std::string model = text(drive->second, "Model");
        disk.model = vendor.empty() || model.empty() ? vendor + model : vendor + " " + model;
        disk.connection = connectionName(text(drive->second, "ConnectionBus"));
      }
    }
    disks.push_back(std::move(disk));
  }
  std::sort(disks.begin(), disks.end(),
            [](const UdisksDisk& a, const UdisksDisk& b) { return a.device < b.device; });
  return disks;
}

}  // namespace

UdisksListing listUdisksDisks() {
  UdisksListing listing;
  const Bus bus = openBus(listing.failure);
  if (!bus) return listing;
  BusError failure;
  sd_bus_message* reply = nullptr;
  const int result = sd_bus_call_method(bus.get(), kService, "/org/freedesktop/UDisks2",
                                        "org.freedesktop.DBus.ObjectManager", "GetManagedObjects",
                                        &failure.error, &reply, "");
  const Message owned(reply);
  if (result < 0) {
    listing.failure = reasonOf(failure, result);
    return listing;
  }
  std::map<std::string, Interfaces> objects;
  if (const int parsed = readManagedObjects(reply, objects); parsed < 0) {
    listing.failure = "unverständliche Antwort von udisks2 (" + systemReason(-parsed) + ")";
    return listing;
  }
  listing.disks = wholeDisks(objects);
  return listing;
}

UdisksOpening openThroughUdisks(const std::string& device, bool mayAsk) {
  UdisksOpening opening;
  UdisksListing listing = listUdisksDisks();
  if (!listing.failure.empty()) {
    opening.failure = std::move(listing.failure);
    return opening;
  }
  const auto disk = std::find_if(listing.disks.begin(), listing.disks.end(),
                                 [&](const UdisksDisk& known) { return known.device == device; });
  if (disk == listing.disks.end()) {
    opening.failure = "udisks2 kennt keine solche Festplatte";
    return opening;
  }
  const Bus bus = openBus(opening.failure);
  if (!bus) return opening;
  sd_bus_set_allow_interactive_authorization(bus.get(), mayAsk ? 1 : 0);
  sd_bus_message* call = nullptr;
  int result = sd_bus_message_new_method_call(bus.get(), &call, kService, disk->objectPath.c_str(),
                                              kBlock, "OpenDevice");
  const Message ownedCall(call);
  if (result >= 0) result = sd_bus_message_append(call, "sa{sv}", "r", 0);
  BusError failure;
  sd_bus_message* reply = nullptr;
  if (result >= 0)
    result = sd_bus_call(bus.get(), call, mayAsk ? kAskingTimeoutMicros : kQuickTimeoutMicros,
                         &failure.error, &reply);
  const Message ownedReply(reply);
  if (result < 0) {
    opening.failure = reasonOf(failure, result);
    opening.refused = isRefusal(failure);
    return opening;
  }
  int handed = -1;
  if ((result = sd_bus_message_read_basic(reply, 'h', &handed)) < 0) {
    opening.failure = "unverständliche Antwort von udisks2 (" + systemReason(-result) + ")";
    return opening;
  }
  // The reply owns the handed descriptor and closes it with the message.
  PosixFile descriptor(::fcntl(handed, F_DUPFD_CLOEXEC, 3));
  const int flags = ::fcntl(descriptor.get(), F_GETFL);
  if (flags < 0 || (flags & O_ACCMODE) != O_RDONLY) {
    opening.failure = "udisks2 hat die Festplatte nicht nur zum Lesen geöffnet";
    return opening;
  }
  opening.descriptor = std::move(descriptor);
  return opening;
}

}  // namespace korvelo
