// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fake_udisks.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace korvelo::test {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kBusDaemon = "/usr/bin/dbus-daemon";

// The bus daemon's complaints about its limits go nowhere; the service's errors stay visible.
pid_t spawn(const std::vector<std::string>& command, bool quiet = false) {
  std::vector<char*> argv;
  for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? child : -1;
}

void end(pid_t& child) {
  if (child <= 0) return;
  ::kill(child, SIGTERM);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  child = -1;
}

bool waitFor(const std::string& path, pid_t child) {
  for (int tries = 0; tries < 400; ++tries) {
    if (std::filesystem::exists(path)) return true;
    if (::waitpid(child, nullptr, WNOHANG) == child) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

}  // namespace

std::string FakeUdisks::missingPrerequisite() {
  if (::access(kBusDaemon, X_OK) != 0) return "dbus-daemon is missing";
  const pid_t probe = spawn({kPython, "-c", "import dbus.service, gi.repository.GLib"});
  int status = 0;
  while (probe > 0 && ::waitpid(probe, &status, 0) < 0 && errno == EINTR) {
  }
  if (probe <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "python3-dbus or python3-gi is missing";
  return {};
}

FakeUdisks::FakeUdisks(const std::string& image, UdisksAnswer answer) {
  const std::string socket = folder_.file("bus");
  std::ofstream(folder_.file("bus.conf"))
      << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig><type>session</type><listen>unix:path="
      << socket
      << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
         "<allow own=\"*\"/><allow receive_sender=\"*\"/></policy></busconfig>\n";
  bus_ = spawn({kBusDaemon, "--config-file=" + folder_.file("bus.conf"), "--nofork", "--nopidfile"},
               true);
  if (bus_ < 0 || !waitFor(socket, bus_)) throw std::runtime_error("the test bus did not start");
  const char* answers[] = {"grant", "refuse", "writable"};
  service_ = spawn({kPython, std::string(KORVELO_SOURCE_DIR) + "/tests/support/fake_udisks.py",
                    "unix:path=" + socket, image, folder_.file("calls"), folder_.file("ready"),
                    answers[static_cast<int>(answer)]});
  if (service_ < 0 || !waitFor(folder_.file("ready"), service_)) {
    end(bus_);
    throw std::runtime_error("the udisks2 stand-in did not start");
  }
}

FakeUdisks::~FakeUdisks() {
  if (applied_) ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  end(service_);
  end(bus_);
}

std::string FakeUdisks::environment() const {
  return "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + folder_.file("bus");
}

void FakeUdisks::apply() const {
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + folder_.file("bus")).c_str(), 1);
  applied_ = true;
}

std::vector<std::string> FakeUdisks::calls() const {
  std::vector<std::string> lines;
  std::ifstream log(folder_.file("calls"));
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

void FakeUdisks::stopService() {
  end(service_);
}

}  // namespace korvelo::test
