// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/process_run.h"

#include <unistd.h>

namespace korvelo::test {

std::string cliProgram() {
  return cliPath();
}

std::string straceProgram() {
  for (const char* candidate : {"/usr/bin/strace", "/bin/strace", "/usr/local/bin/strace"})
    if (::access(candidate, X_OK) == 0) return candidate;
  return {};
}

ProcessRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& straceLog) {
  CliRunOptions options;
  options.program = program;
  if (straceLog.empty()) return runCli(arguments, options);
  // -s: whole paths, never cut short; -f: every thread and child.
  std::vector<std::string> command = {
      "-f", "-s", "4096", "-e", "trace=open,openat,openat2,creat", "-o", straceLog, program};
  command.insert(command.end(), arguments.begin(), arguments.end());
  options.program = straceProgram();
  // The leak check stops the process with ptrace, which fails while strace traces it.
  options.environment = {"ASAN_OPTIONS=detect_leaks=0"};
  return runCli(command, options);
}

}  // namespace korvelo::test
