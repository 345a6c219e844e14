#pragma once
// Runs a built program of the project as a child process, stdout and stderr caught in
// files, optionally under strace, and gives back what it wrote and how it ended.
//
//   ProcessRun run = runProgram(cliProgram(), {"--drive", image, "list"});
//   run.status, run.out, run.errLines()

#include <string>
#include <vector>

namespace korvelo::test {

struct ProcessRun {
  int status = -1;  // exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
  std::vector<std::string> errLines() const;
  std::vector<std::string> outLines() const;
};

// The built korvelo-cli next to the test programs.
std::string cliProgram();

// Runs `program` with `arguments`; with `straceLog` set, the program runs under
// strace -f, and the system calls that open files are written to that file.
ProcessRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& straceLog = {});

// The strace program on this machine, or empty when there is none.
std::string straceProgram();

}  // namespace korvelo::test
