// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A bus of the test's own (dbus-daemon with a configuration written here) with a stand-in
// for the udisks2 daemon on it (fake_udisks.py), which serves one disk image as a USB disk.
// The programs under test find it through DBUS_SYSTEM_BUS_ADDRESS.
//
//   FakeUdisks udisks(image(), UdisksAnswer::Grant);
//   runCli({"--drive", "udisks:" + image(), "list"}, {.environment = {udisks.environment()}});
//   udisks.calls()  // {"OpenDevice r"}

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace korvelo::test {

enum class UdisksAnswer { Grant, Refuse, Writable };

class FakeUdisks {
 public:
  // Empty when a bus and the service can run here, else what is missing.
  static std::string missingPrerequisite();

  // Starts the bus and the service and waits until the service has its name.
  FakeUdisks(const std::string& image, UdisksAnswer answer);
  ~FakeUdisks();
  FakeUdisks(const FakeUdisks&) = delete;
  FakeUdisks& operator=(const FakeUdisks&) = delete;

  // "DBUS_SYSTEM_BUS_ADDRESS=unix:path=..." for a child; apply() sets it for this process
  // until the stand-in ends.
  std::string environment() const;
  void apply() const;
  // The methods the service was asked, one line each ("OpenDevice r").
  std::vector<std::string> calls() const;
  // Ends the service while the bus stays: udisks2 is not running.
  void stopService();

 private:
  TempDir folder_;
  pid_t bus_ = -1;
  pid_t service_ = -1;
  mutable bool applied_ = false;
};

}  // namespace korvelo::test
