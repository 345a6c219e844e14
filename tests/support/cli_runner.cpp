// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "support/saved_files_check.h"

namespace korvelo::test {

namespace {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A pipe, or for stderr on a terminal the master side of a fresh pseudo-terminal.
struct Channel {
  int readEnd = -1;
  int childEnd = -1;         // for a pipe
  std::string terminalName;  // for a pseudo-terminal: opened by the child
};

Channel makePipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  return Channel{ends[0], ends[1], {}};
}

Channel makeTerminal(int columns) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
    throw std::runtime_error("no pseudo-terminal");
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = columns > 0 ? 24 : 0;
  if (::ioctl(master, TIOCSWINSZ, &size) != 0) throw std::runtime_error("no terminal size");
  return Channel{master, -1, ::ptsname(master)};
}

// What the child executes, made before fork: after it, a child of a process with
// threads may only make plain system calls.
struct Command {
  std::string program;
  std::vector<std::string> strings;  // owns what argv and envp point to
  std::vector<char*> argv;
  std::vector<char*> envp;
};

Command makeCommand(const std::vector<std::string>& arguments, const CliRunOptions& options) {
  Command command;
  command.program = options.program.empty() ? cliPath() : options.program;
  command.strings.push_back(command.program);
  command.strings.insert(command.strings.end(), arguments.begin(), arguments.end());
  const size_t environmentStart = command.strings.size();
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string entry = *variable;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& own : options.environment) replaced |= own.rfind(name, 0) == 0;
    if (!replaced) command.strings.push_back(entry);
  }
  command.strings.insert(command.strings.end(), options.environment.begin(),
                         options.environment.end());
  for (size_t i = 0; i < command.strings.size(); ++i) {
    (i < environmentStart ? command.argv : command.envp).push_back(command.strings[i].data());
  }
  command.argv.push_back(nullptr);
  command.envp.push_back(nullptr);
  return command;
}

[[noreturn]] void execChild(const Command& command, const CliRunOptions& options,
                            const Channel& out, const Channel& err) {
  if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0)
    ::_exit(126);
  ::dup2(out.childEnd, STDOUT_FILENO);
  if (err.terminalName.empty()) {
    ::dup2(err.childEnd, STDERR_FILENO);
  } else {
    const int slave = ::open(err.terminalName.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) ::_exit(126);
    ::dup2(slave, STDERR_FILENO);
  }
  const int nothing = ::open("/dev/null", O_RDONLY);
  ::dup2(nothing, STDIN_FILENO);
  // As from a terminal: a test run in the background of a script inherits ignored signals.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
  ::execvpe(command.program.c_str(), command.argv.data(), command.envp.data());
  ::_exit(127);
}

// Reads both channels until each reports its end (a terminal's master reports EIO once
// the child's side is closed).
// `tick` is called at least every 10 ms while the channels are open.
void drain(int outFd, int errFd, std::string& out, std::string& err,
           const std::function<void()>& tick) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open = 2;
  char buffer[65536];
  while (open > 0) {
    if (tick) tick();
    if (::poll(fds, 2, tick ? 10 : -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

std::string cliPath() {
  return std::string(KORVELO_BIN_DIR) + "/korvelo-cli";
}

std::vector<std::string> CliRun::errLines() const {
  return splitLines(err);
}
std::vector<std::string> CliRun::outLines() const {
  return splitLines(out);
}

CliRun runCli(const std::vector<std::string>& arguments, const CliRunOptions& options) {
  Channel out = makePipe();
  Channel err = options.stderrOnTerminal ? makeTerminal(options.terminalColumns) : makePipe();
  const Command command = makeCommand(arguments, options);
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) execChild(command, options, out, err);
  ::close(out.childEnd);
  if (err.childEnd >= 0) ::close(err.childEnd);

  CliRun run;
  bool signalled = false;
  std::function<void()> tick;
  if (options.signalWhen) {
    tick = [&] {
      if (!signalled && options.signalWhen()) {
        ::kill(child, options.signal);
        signalled = true;
      }
    };
  }
  drain(out.readEnd, err.readEnd, run.out, run.err, tick);
  ::close(out.readEnd);
  ::close(err.readEnd);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (options.program.empty() || options.program == cliPath())
    checkSavedFilesOfRun(arguments, run.out);
  return run;
}

}  // namespace korvelo::test
