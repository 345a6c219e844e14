// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way the tests start a child process: the built korvelo-cli, or any program
// (options.program, looked up in PATH when it has no slash), without a shell, with
// stdin from /dev/null and stdout and stderr collected apart, and its exit status.
//
//   CliRun run = runCli({"--drive", image, "list"});
//   EXPECT_EQ(run.status, 0);   run.out, run.err, run.errLines()
//   runCli({"--find", "--show", image}, {.program = "losetup"})

#include <csignal>
#include <functional>
#include <string>
#include <vector>

namespace korvelo::test {

struct CliRun {
  int status = -1;  // the exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;

  // stderr split at LF (the last line's LF is not followed by an empty line).
  std::vector<std::string> errLines() const;
  std::vector<std::string> outLines() const;
};

struct CliRunOptions {
  std::string program = {};                   // empty: the built korvelo-cli
  std::vector<std::string> environment = {};  // "NAME=value" set for the child only
  std::string workingDirectory = {};          // empty: the test's own
  bool stderrOnTerminal = false;              // stderr is a pseudo-terminal instead of a pipe
  int terminalColumns = 0;                    // that terminal's width; 0: it does not say
  // Asked every few milliseconds while the program runs; once it answers true, the
  // program gets `signal` (once).
  std::function<bool()> signalWhen = {};
  int signal = SIGINT;
};

CliRun runCli(const std::vector<std::string>& arguments, const CliRunOptions& options = {});

// The path of the program under test.
std::string cliPath();

}  // namespace korvelo::test
