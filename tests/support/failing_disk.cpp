// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/failing_disk.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace korvelo::test {
namespace {

// The system's python, which the Debian fusepy module belongs to (not a python of the user's).
constexpr const char* kPython = "/usr/bin/python3";

std::string serverScript() {
  return std::string(KORVELO_SOURCE_DIR) + "/tests/support/failing_disk_fs.py";
}

// Runs a program without a shell; its standard output when it exited with 0.
std::optional<std::string> runCaptured(const std::vector<std::string>& command) {
  int ends[2];
  if (::pipe(ends) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, ends[0]);
  std::vector<char*> argv;
  for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
  argv.push_back(nullptr);
  pid_t child = -1;
  const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  std::string output;
  char chunk[256];
  for (ssize_t got; spawned == 0 && (got = ::read(ends[0], chunk, sizeof chunk)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    output.append(chunk, static_cast<size_t>(got));
  }
  ::close(ends[0]);
  if (spawned != 0) return std::nullopt;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
  return output;
}

bool onPath(const std::string& program) {
  return runCaptured({"which", program}).has_value();
}

void writeAtomically(const std::string& path, const std::string& text) {
  const std::string fresh = path + ".new";
  {
    std::ofstream out(fresh, std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + fresh);
  }
  std::filesystem::rename(fresh, path);
}

}  // namespace

std::string FailingDisk::missingPrerequisite() {
  if (::geteuid() != 0) return "a FUSE mount and a loop device need root";
  if (::access("/dev/fuse", R_OK | W_OK) != 0) return "/dev/fuse is missing";
  if (!onPath("losetup")) return "losetup is missing (util-linux)";
  if (!runCaptured({kPython, "-c", "import fusepy"})) return "python3-fusepy is missing";
  return {};
}

FailingDisk::FailingDisk(const std::string& image, LoopCache cache)
    : mountPoint_(folder_.file("mnt")) {
  std::filesystem::create_directory(mountPoint_);
  writeAtomically(folder_.file("control"), "");
  const std::vector<std::string> command = {
      kPython,    serverScript(), image, folder_.file("control"), folder_.file("reads.log"),
      mountPoint_};
  std::vector<char*> argv;
  for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
  argv.push_back(nullptr);
  if (::posix_spawn(&server_, kPython, nullptr, nullptr, argv.data(), environ) != 0) {
    server_ = -1;
    throw std::runtime_error("cannot start the FUSE server");
  }
  const std::string file = mountPoint_ + "/disk.img";
  for (int tries = 0; tries < 200; ++tries) {
    struct stat status {};
    if (::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
      mounted_ = true;
      break;
    }
    if (::waitpid(server_, nullptr, WNOHANG) == server_) {
      server_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  if (!mounted_) {
    detachAndUnmount();
    throw std::runtime_error("the FUSE file system did not come up");
  }
  const auto loop = runCaptured({"losetup", "--find", "--show", "--read-only",
                                 cache == LoopCache::Direct ? "--direct-io=on" : "--direct-io=off",
                                 "--sector-size", "512", file});
  if (!loop || loop->empty()) {
    detachAndUnmount();
    throw std::runtime_error("losetup could not attach " + file);
  }
  device_ = *loop;
  // Whatever probes a new block device (udev) has read before the test begins does not count.
  runCaptured({"udevadm", "settle", "--timeout=5"});
  clearReadLog();
}

FailingDisk::~FailingDisk() {
  detachAndUnmount();
}

void FailingDisk::detachAndUnmount() {
  if (!device_.empty()) {
    runCaptured({"losetup", "--detach", device_});
    device_.clear();
  }
  if (mounted_) {
    if (!runCaptured({"fusermount3", "-u", mountPoint_}))
      runCaptured({"umount", "-l", mountPoint_});
    mounted_ = false;
  }
  if (server_ > 0) {
    // The server ends with its mount; one that hangs is stopped.
    for (int tries = 0; tries < 100 && ::waitpid(server_, nullptr, WNOHANG) == 0; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (::kill(server_, 0) == 0) {
      ::kill(server_, SIGKILL);
      ::waitpid(server_, nullptr, 0);
    }
    server_ = -1;
  }
}

void FailingDisk::setBehaviour(const DiskBehaviour& behaviour) {
  std::ostringstream text;
  for (const SectorRange& range : behaviour.failing)
    text << "fail " << range.first << ' ' << range.count << '\n';
  for (const SectorRange& range : behaviour.slow)
    text << "slow " << range.first << ' ' << range.count << ' ' << behaviour.slowMilliseconds
         << '\n';
  if (behaviour.gone) text << "gone\n";
  if (behaviour.diesAfter >= 0) text << "dies-after " << behaviour.diesAfter << '\n';
  writeAtomically(folder_.file("control"), text.str());
}

void FailingDisk::clearReadLog() {
  std::ofstream(folder_.file("reads.log"), std::ios::trunc);
}

std::vector<DeviceRead> FailingDisk::reads() const {
  std::vector<DeviceRead> reads;
  std::ifstream in(folder_.file("reads.log"));
  for (DeviceRead read; in >> read.offset >> read.size >> read.result;) reads.push_back(read);
  return reads;
}

int FailingDisk::failingReads() const {
  int count = 0;
  for (const DeviceRead& read : reads()) count += read.failed() ? 1 : 0;
  return count;
}

}  // namespace korvelo::test
