// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/text_agent.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace korvelo::cli {
namespace {

constexpr const char* kAgent = "/usr/bin/pkttyagent";
// The agent says it is ready by closing the descriptor; a slow start is not waited for long.
constexpr int kReadyTimeoutMillis = 5000;

}  // namespace

TextAgent::TextAgent() {
  if (::access(kAgent, X_OK) != 0) return;
  int ready[2] = {-1, -1};
  if (::pipe2(ready, O_CLOEXEC) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    // The agent asks on behalf of its parent, this process; it reads the terminal itself.
    const int notify = ::fcntl(ready[1], F_DUPFD, 3);  // without close-on-exec
    const std::string fd = std::to_string(notify);
    ::execl(kAgent, kAgent, "--notify-fd", fd.c_str(), "--fallback", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ready[1]);
  if (pid_ > 0) {
    pollfd wait{ready[0], POLLIN, 0};
    while (::poll(&wait, 1, kReadyTimeoutMillis) < 0 && errno == EINTR) {
    }
  }
  ::close(ready[0]);
}

TextAgent::~TextAgent() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace korvelo::cli
