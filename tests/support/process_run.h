// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a built program of the project as a child process (through runCli), optionally
// under strace, and gives back what it wrote and how it ended.
//
//   ProcessRun run = runProgram(cliProgram(), {"--drive", image, "list"});
//   run.status, run.out, run.errLines()

#include <string>
#include <vector>

#include "support/cli_runner.h"

namespace korvelo::test {

using ProcessRun = CliRun;

// The built korvelo-cli next to the test programs.
std::string cliProgram();

// Runs `program` with `arguments`; with `straceLog` set, the program runs under
// strace -f, and the system calls that open files are written to that file.
ProcessRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& straceLog = {});

// The strace program on this machine, or empty when there is none.
std::string straceProgram();

}  // namespace korvelo::test
