// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/quit_on_signal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

namespace korvelo {

namespace {

// The handler may only write to a descriptor; the event loop reads the other end.
int signalPipe[2] = {-1, -1};

void forwardSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

QuitOnSignal::QuitOnSignal(std::function<void()> beforeQuit, QObject* parent)
    : QObject(parent), beforeQuit_(std::move(beforeQuit)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
  notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignal::onSignalled);
  struct sigaction action {};
  action.sa_handler = forwardSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kSignals) sigaction(signal, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal() {
  for (const int signal : kSignals) std::signal(signal, SIG_DFL);
  for (int& fd : signalPipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void QuitOnSignal::onSignalled() {
  char byte = 0;
  [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], &byte, 1);
  if (beforeQuit_) beforeQuit_();
  QCoreApplication::quit();
}

}  // namespace korvelo
