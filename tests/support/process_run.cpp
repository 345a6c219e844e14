#include "support/process_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/temp_dir.h"

namespace korvelo::test {
namespace {

std::vector<std::string> splitAtNewline(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

[[noreturn]] void execInChild(const std::vector<std::string>& command, const std::string& outPath,
                              const std::string& errPath) {
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0) _exit(127);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  // The leak check stops the process with ptrace, which fails while strace traces it.
  ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  std::vector<char*> argv;
  for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  _exit(127);
}

}  // namespace

std::vector<std::string> ProcessRun::errLines() const { return splitAtNewline(err); }
std::vector<std::string> ProcessRun::outLines() const { return splitAtNewline(out); }

std::string cliProgram() { return std::string(KORVELO_BIN_DIR) + "/korvelo-cli"; }

std::string straceProgram() {
  for (const char* candidate : {"/usr/bin/strace", "/bin/strace", "/usr/local/bin/strace"})
    if (::access(candidate, X_OK) == 0) return candidate;
  return {};
}

ProcessRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& straceLog) {
  std::vector<std::string> command;
  if (!straceLog.empty()) {
    // -s: whole paths, never cut short; -f: every thread and child.
    command = {straceProgram(), "-f", "-s", "4096", "-e", "trace=open,openat,openat2,creat",
               "-o", straceLog};
  }
  command.push_back(program);
  command.insert(command.end(), arguments.begin(), arguments.end());

  TempDir capture;
  const std::string outPath = capture.file("out"), errPath = capture.file("err");
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) execInChild(command, outPath, errPath);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  ProcessRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = slurp(outPath);
  run.err = slurp(errPath);
  return run;
}

}  // namespace korvelo::test
