// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// polkit's text agent (pkttyagent) for this process while a terminal user may be asked
// for a password: without an agent of the desktop, polkit would refuse at once. Where
// the agent is not installed, or a desktop agent already answers, nothing changes.

#include <sys/types.h>

namespace korvelo::cli {

class TextAgent {
 public:
  // Starts the agent and waits until it has registered.
  TextAgent();
  // Ends the agent again.
  ~TextAgent();
  TextAgent(const TextAgent&) = delete;
  TextAgent& operator=(const TextAgent&) = delete;

 private:
  pid_t pid_ = -1;  // -1: no agent running
};

}  // namespace korvelo::cli
